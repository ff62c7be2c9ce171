// Output of the tvrnsql command. Plain mode prints only successful results, one per line, so
// that a partial translation left behind by a failure is never mistaken for a result; JSON mode
// prints an object for every statement, with "output" null after a failure. Either way a
// failure is also explained on standard error.
#include "cli/report.h"

#include <cstdio>
#include <vector>

#include "cli/utf8.h"
#include "tvrnsql.h"

namespace {

// Reason codes the library defines itself, with the words the command shows for them.
struct ReasonName {
  uint32_t code;
  const char* text;
};
// code                          text
constexpr ReasonName kReasonNames[] = {
    {TVRNSQL_REASON_MALFORMED, "malformed clause or statement"},
    {TVRNSQL_REASON_NO_MEMORY, "out of memory"},
    {TVRNSQL_REASON_UNSUPPORTED, "unsupported scalar function"},
    {TVRNSQL_REASON_NO_ROOM, "the result does not fit the buffer"},
};

const char* knownReason(uint32_t reason) {
  for (const ReasonName& r : kReasonNames) {
    if (r.code == reason) return r.text;
  }
  return nullptr;
}

void printLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

void printError(const std::string& label, const std::string& message) {
  std::fprintf(stderr, "tvrnsql: %s: %s\n", label.c_str(), message.c_str());
}

std::string jsonText(std::u16string_view text) { return jsonString(utf16ToUtf8(text)); }

template <typename T>
std::string jsonNumbers(const std::vector<T>& values) {
  std::string out = "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out += ',';
    out += std::to_string(unsigned(values[i]));
  }
  return out + "]";
}

}  // namespace

std::string reasonText(uint32_t reason) {
  if (const char* text = knownReason(reason)) return text;
  return "server call interface status " + std::to_string(reason);
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

void reportTranslation(const Options& options, const std::string& label, std::string_view input,
                       const Translation& t) {
  if (!t.ok) {
    std::string message = "translation failed: " + reasonText(t.reason);
    if (knownReason(t.reason) != nullptr) message += " (reason " + std::to_string(t.reason) + ")";
    printError(label, message);
  }
  if (!options.json) {
    if (t.ok) printLine(utf16ToUtf8(t.output));
    return;
  }
  std::string line = "{\"input\":" + jsonString(input);
  line += ",\"output\":" + (t.ok ? jsonText(t.output) : std::string("null"));
  line += ",\"result\":" + std::string(t.ok ? "1" : "0");
  line += ",\"markerCount\":" + std::to_string(t.markerCount);
  line += ",\"valueCount\":" + std::to_string(t.call.valueCount);
  if (t.ok && t.described) {
    line += ",\"argTypes\":" + jsonNumbers(t.argTypes);
    line += ",\"attr32\":" + jsonNumbers(t.attr32);
    line += ",\"attr213\":" + jsonNumbers(t.attr213);
    line += ",\"refCursorPositions\":" + jsonNumbers(t.refCursorPositions);
  }
  if (!t.ok) {
    line += ",\"reason\":" + std::to_string(t.reason);
    line += ",\"message\":" + jsonString(reasonText(t.reason));
  }
  printLine(line + "}");
}

void reportDerivation(const Options& options, const std::string& label, std::string_view input,
                      const Derivation& d) {
  const char* kFailure = "no SELECT derived: the statement lacks a keyword the derivation needs";
  if (!d.ok) printError(label, kFailure);
  if (!options.json) {
    if (d.ok) printLine(utf16ToUtf8(d.select) + "\t" + utf16ToUtf8(d.table));
    return;
  }
  std::string line = "{\"input\":" + jsonString(input);
  if (d.ok) {
    line += ",\"select\":" + jsonText(d.select) + ",\"table\":" + jsonText(d.table);
    line += ",\"result\":1";
  } else {
    line += ",\"select\":null,\"table\":null,\"result\":0,\"message\":" + jsonString(kFailure);
  }
  printLine(line + "}");
}

void reportBadInput(const Options& options, const std::string& label, std::string_view input,
                    const std::string& problem) {
  printError(label, "input " + problem);
  if (!options.json) return;
  std::string line = "{\"input\":" + jsonText(utf8ToUtf16Lossy(input));
  if (options.selectMode == kTranslate) {
    line += ",\"output\":null,\"result\":0,\"markerCount\":0,\"valueCount\":0";
  } else {
    line += ",\"select\":null,\"table\":null,\"result\":0";
  }
  line += ",\"message\":" + jsonString("input " + problem);
  printLine(line + "}");
}
