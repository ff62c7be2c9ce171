// The shared benchmark corpus, as a host sends it: BM_Corpus/<file> reads a corpus file (one
// statement per line, UTF-8), copies each statement into a fresh buffer and translates it through
// ODBCSqlToTVRNSql, the entry point drivers call. The files come from the corpus generator
// (bench/make_corpus.sh writes them into the build tree); the benchmarks look for them in the
// directory named by --corpus_dir=DIR or the environment variable TVRNSQL_CORPUS_DIR, else in the
// build tree, and skip with a message when they are missing.
//
// One iteration translates one statement; for the files of one statement, "per_item" is the time
// per literal (b_insert_1mb), per marker (c_markers) or per clause (d_nested, inner ones counted).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.h"

#ifndef TVRNSQL_CORPUS_DEFAULT_DIR
#define TVRNSQL_CORPUS_DEFAULT_DIR "corpus"
#endif

namespace {

std::string corpusDir = [] {
  const char* env = std::getenv("TVRNSQL_CORPUS_DIR");
  return std::string(env != nullptr && *env != 0 ? env : TVRNSQL_CORPUS_DEFAULT_DIR);
}();

// UTF-8 to UTF-16 code units; the corpus is ASCII, but a multi-byte sequence is decoded all the
// same (no checks: the generator writes valid UTF-8).
void appendUtf8(Text* out, std::string_view line) {
  for (size_t i = 0; i < line.size();) {
    const auto b = static_cast<unsigned char>(line[i]);
    const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
    for (size_t k = 1; k < n && i + k < line.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(line[i + k]) & 0x3F);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(uint16_t(0xD800 + (cp >> 10)));
      out->push_back(uint16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(uint16_t(cp));
    }
    i += n;
  }
}

// The statements of one file, each terminated, side by side.
struct Corpus {
  Text units;
  std::vector<uint32_t> offsets;  // start of each statement, then the end of the last
  size_t longest = 0;             // code units, terminator included
};

bool load(const std::string& name, Corpus* corpus) {
  std::ifstream in(corpusDir + "/" + name, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    corpus->offsets.push_back(uint32_t(corpus->units.size()));
    appendUtf8(&corpus->units, line);
    corpus->units.push_back(0);
    corpus->longest = std::max(corpus->longest, corpus->units.size() - corpus->offsets.back());
  }
  corpus->offsets.push_back(uint32_t(corpus->units.size()));
  return corpus->offsets.size() > 1;
}

int32_t translateLegacy(uint16_t* statement) {
  uint16_t markers = 0, refCursors = 0;
  return ODBCSqlToTVRNSql(nullptr, statement, &markers, nullptr, &refCursors, nullptr, nullptr,
                          nullptr, kServerVersion, 0, 0, 0, nullptr);
}

enum class Per { kStatement, kClause, kMarker };

// Clause openers ("{" and "--(*") and markers outside single-quoted literals, counted as the
// generator's manifest counts them.
double countItems(const Corpus& corpus, Per per) {
  double n = 0;
  bool quoted = false;
  const Text& t = corpus.units;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\'') {
      quoted = !quoted;
    } else if (t[i] == 0) {
      quoted = false;
    } else if (!quoted && per == Per::kMarker) {
      n += t[i] == '?';
    } else if (!quoted) {
      n += t[i] == '{' || (t[i] == '-' && i + 3 < t.size() && t[i + 1] == '-' && t[i + 2] == '(' &&
                           t[i + 3] == '*');
    }
  }
  return n;
}

// Files of many statements report the time per statement; a file of one statement also reports
// the time per clause or marker ("per_item").
void BM_Corpus(benchmark::State& state, const char* file, Per per) {
  Corpus corpus;
  if (!load(file, &corpus)) {
    state.SkipWithError(("corpus file " + corpusDir + "/" + file +
                         " is missing: run bench/make_corpus.sh <build dir>, or set "
                         "TVRNSQL_CORPUS_DIR or --corpus_dir")
                            .c_str());
    return;
  }
  // A fresh buffer per statement, with room for what the translation adds (a literal becomes a
  // TO_DATE call 2.1 times as long, a function up to 2.6 times; markers gain digits).
  const size_t count = corpus.offsets.size() - 1;
  const size_t capacity = 4 * corpus.longest + 64;
  size_t i = 0;
  uint64_t units = 0;
  for (auto _ : state) {
    const uint32_t begin = corpus.offsets[i], end = corpus.offsets[i + 1];
    std::vector<uint16_t> buffer(capacity);
    std::memcpy(buffer.data(), corpus.units.data() + begin, (end - begin) * sizeof(uint16_t));
    benchmark::DoNotOptimize(translateLegacy(buffer.data()));
    benchmark::ClobberMemory();
    units += end - begin - 1;
    if (++i == count) i = 0;
  }
  using benchmark::Counter;
  state.counters["chars"] = Counter(double(units), Counter::kIsRate);
  if (per == Per::kStatement) {
    state.SetItemsProcessed(int64_t(state.iterations()));  // statements, summed over threads
  } else {
    const double itemsPerStatement = countItems(corpus, per) / double(count);
    state.SetItemsProcessed(int64_t(double(state.iterations()) * itemsPerStatement));
    state.counters["per_item"] =
        Counter(itemsPerStatement, Counter::kIsIterationInvariantRate | Counter::kInvert);
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_Corpus, a_short, "a_short.sql", Per::kStatement);
BENCHMARK_CAPTURE(BM_Corpus, b_insert_1mb, "b_insert_1mb.sql", Per::kClause);
BENCHMARK_CAPTURE(BM_Corpus, c_markers, "c_markers.sql", Per::kMarker);
BENCHMARK_CAPTURE(BM_Corpus, d_nested, "d_nested.sql", Per::kClause);
BENCHMARK_CAPTURE(BM_Corpus, e_vendor, "e_vendor.sql", Per::kStatement);
// Translations on different threads share nothing mutable: statements per second (wall clock)
// with two threads should be about twice those with one.
BENCHMARK_CAPTURE(BM_Corpus, a_short_threads, "a_short.sql", Per::kStatement)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();

int main(int argc, char** argv) {
  // --corpus_dir=DIR, taken out before the library sees the arguments.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    constexpr std::string_view kFlag = "--corpus_dir=";
    if (std::string_view(argv[i]).substr(0, kFlag.size()) == kFlag) {
      corpusDir = argv[i] + kFlag.size();
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
