// Replays fuzz inputs without libFuzzer: every file named on the command line, and every file
// in a named directory, goes once to the target's LLVMFuzzerTestOneInput. Built with the
// ordinary compiler, it runs the seed corpus as a ctest test; a failed check aborts the run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code notDirectory;  // then argv[i] is taken as a file
    for (const fs::directory_entry& entry : fs::directory_iterator(argv[i], notDirectory)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    if (notDirectory) files.emplace_back(argv[i]);
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...: no input files found\n", argv[0]);
    return 2;
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    // Named first, so that a failed check, a sanitizer report or a crash follows its input.
    std::fprintf(stderr, "replay: %s\n", file.c_str());
    std::ifstream in(file, std::ios::binary);
    FUZZ_CHECK(in.good());
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    bytes.reserve(1);  // a valid pointer also for an empty file, as libFuzzer passes
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return 0;
}
