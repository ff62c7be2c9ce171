// Replays fuzz inputs without libFuzzer: every file named on the command line, and every file
// in a named directory, goes once to the target's LLVMFuzzerTestOneInput. Built with the
// ordinary compiler, it runs the seed corpus as a ctest test; a failed check aborts the run.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The input being replayed, named when a failed check aborts the run.
const char* currentInput = "";

void onAbort(int) {
  const char prefix[] = "replay: aborted on input ";
  (void)!write(STDERR_FILENO, prefix, sizeof prefix - 1);
  (void)!write(STDERR_FILENO, currentInput, std::strlen(currentInput));
  (void)!write(STDERR_FILENO, "\n", 1);
  std::signal(SIGABRT, SIG_DFL);
  std::raise(SIGABRT);
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg(argv[i]);
    if (fs::is_directory(arg)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...: no input files found\n", argv[0]);
    return 2;
  }
  std::sort(files.begin(), files.end());
  std::signal(SIGABRT, onAbort);
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      return 2;
    }
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    // A valid pointer also for an empty file, as libFuzzer passes.
    bytes.reserve(1);
    currentInput = file.c_str();
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return 0;
}
