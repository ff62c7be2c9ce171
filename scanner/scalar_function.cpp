// Scalar-function clauses, which the dispatcher hands over after the clauses nested in them. A
// function keeps its name or gets a native name of the same length, and the delimiters become
// blanks ("{fn UCASE(n)}" is "    UPPER(n) "); or its native text is written over the clause,
// which keeps its length ("{fn LEFT(s,3)}" is "SUBSTR(s,1,3) "); or the clause is replaced by
// its native text ("{fn HOUR(d)}" is " TO_NUMBER(TO_CHAR(d,'HH24')) "). The native texts are in
// scalar_native.cpp; here are the argument scan and the three ways of writing them.
#include <algorithm>
#include <cstring>
#include <span>

#include "driver/memory.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/translators.h"
#include "driver/work_buffer.h"
#include "scanner/keywords.h"
#include "scanner/scalar_native.h"
#include "scanner/scan_jumps.h"
#include "scanner/scanner_buffers.h"
#include "scanner/scanner_state.h"

namespace {

constexpr uint64_t kWorkSlack = 1024;  // the work area holds the statement and this many more

// One clause. The scanner's positions are read-only; `at` gives the writable position one stands
// for (every position the translation writes lies in the clause, which starts at base).
struct Clause {
  ConversionContext* ctx;
  ScannerState* scan;
  uint16_t* base;  // the opening, where native text is written
  uint16_t* name;
  uint16_t* closing;
  uint16_t* end;
  uint16_t* at(const uint16_t* p) const { return base + (p - base); }
};

// The argument list as the scan finds it; null where a position was not found.
struct ArgumentList {
  const uint16_t* open = nullptr;   // a1s: right after the first '('
  const uint16_t* comma[3] = {};    // the first three commas at the top level of the list
  const uint16_t* after[3] = {};    // a2s, a3s, a4s: the input position after each of them
  const uint16_t* paren = nullptr;  // the ')' that closes the list
  uint32_t commas = 0;
};

// The work area: the statement's length and 1024 characters, uninitialised but for its first
// character. The native text of a rebuilt clause, and LOCATE's swapped arguments, are assembled
// in it. It comes from the call's scratch pool, which hands a large block out again to the
// clauses after it while the statement has not outgrown it (see driver/scratch.h).
struct WorkArea {
  ScratchPool* pool = nullptr;
  uint16_t* data = nullptr;
  uint64_t capacity = 0;  // characters

  WorkArea() = default;
  WorkArea(const WorkArea&) = delete;
  WorkArea& operator=(const WorkArea&) = delete;
  ~WorkArea() { bcoRelease(pool, data); }

  // A new area of `characters` (only the empty text is kept: the text around the clause is never
  // copied).
  [[nodiscard]] Status allocate(ConversionContext* ctx, uint64_t characters) {
    pool = &ctx->scratch;
    const uint64_t bytes = characters * sizeof(uint16_t);
    if (bytes > UINT32_MAX) return bcoFail(ctx, kReasonNoMemory);
    uint32_t obtained = 0;
    auto* block = static_cast<uint16_t*>(bcoObtain(
        pool, {uint32_t(bytes), Fill::kUninitialised, uint32_t(bytes), Fill::kUninitialised},
        &obtained));
    if (block == nullptr) return bcoFail(ctx, kReasonNoMemory);
    bcoRelease(pool, data);
    block[0] = 0;
    data = block;
    capacity = obtained / sizeof(uint16_t);
    return kOk;
  }
};

// The nearest character c before the input position, found by stepping back; the input position
// is restored. That is the token just read, or a later one when characters read ahead of it wait
// in pushback.
const uint16_t* backTo(ScannerState* scan, int32_t c) {
  scan->cursor = scan->inputPos;
  const uint16_t* found = nullptr;
  for (int32_t ch = stepBack(scan); ch != kNoChar; ch = stepBack(scan)) {
    if (ch == c) {
      found = scan->inputPos;
      break;
    }
  }
  scan->inputPos = scan->cursor;
  return found;
}

// The argument scan, from the token after the name until the input position passes the closing:
// the first '(' opens the list, and commas and ')' count at its top level only. Those inside
// string literals and quoted names are inside tokens; those inside a comment are not
// ("F(a /* b, c */)" has a comma at the top level). False when a token overflows the scanner.
[[nodiscard]] bool scanArguments(ScannerState* scan, const uint16_t* closing, ArgumentList* list) {
  scan->parenDepth = 0;
  if (*scan->inputPos == 0) return true;
  while (scan->inputPos <= closing) {
    scan->lastToken = nextToken(scan);
    if (scan->lastToken < 0) return false;
    switch (scan->lastToken) {
      case T_LPAREN:
        if (list->open == nullptr) {
          list->open = scan->inputPos;
        } else {
          ++scan->parenDepth;
        }
        break;
      case T_COMMA:
        if (scan->parenDepth != 0) break;
        if (list->commas < 3) {
          list->after[list->commas] = scan->inputPos;
          list->comma[list->commas] = backTo(scan, ',');
        }
        ++list->commas;
        break;
      case T_RPAREN:
        // "F(a)(b)": the depth goes below 0 after the first ')' and back to 0 at the second,
        // which then closes the list.
        if (scan->parenDepth == 0) list->paren = backTo(scan, ')');
        --scan->parenDepth;
        break;
      default:
        break;
    }
    if (*scan->inputPos == 0) break;
  }
  return true;
}

// The texts of a form's arguments, checked to lie in order inside the list: a1 up to the first
// comma, a2 from after it, and so on; the last argument the form uses runs up to the ')', so that
// REPEAT's a2 takes any further commas with it. False when a position is missing or out of order.
[[nodiscard]] bool argumentTexts(const ArgumentList& list, uint32_t arity, NativeArgs* args) {
  const uint16_t* from = list.open;
  for (uint32_t i = 0; i < arity; ++i) {
    const bool last = i + 1 == arity;
    const uint16_t* to = last ? list.paren : list.comma[i];
    if (from == nullptr || to == nullptr || to < from) return false;
    args->arg[i] = ArgText{from, size_t(to - from)};
    from = last ? nullptr : list.after[i];
  }
  return true;
}

// Clause openings record positions in the scanner (openingPos, afterKeyword).
bool isOpening(int32_t token) {
  return token == T_FN || token == T_DATE || token == T_TIME || token == T_TIMESTAMP ||
         token == T_ESCAPE;
}

// Rule T: tokens from `from` until the clause's terminator, while the input position has not
// passed the closing. Returns the terminator's length (1 for "}", 4 for "*)--"), 0 when the scan
// ends without one, -1 when a token overflows the scanner.
//
// Stretches an earlier scan read are jumped over (scanner/scan_jumps.h), and the stretch this
// scan reads between its first clean point after the first token and its last clean point before
// the terminator is kept for the scans of enclosing clauses: in "{fn UCASE({fn UCASE(x)})}" the
// outer scan jumps from the inner "(" over "x)".
int32_t terminatorFrom(ConversionContext* ctx, ScannerState* scan, const uint16_t* from,
                       const uint16_t* closing) {
  restartAt(scan, from);
  ScanJumps* jumps = scanJumpsFor(ctx);
  const WorkBuffer* wb = ctx->work;
  uint32_t stretchFrom = 0, stretchTo = 0;  // keys of clean points; 0: none yet
  bool first = true;
  int32_t result = 0;
  while (scan->inputPos <= closing) {
    if (jumps != nullptr && !first && scannerClean(scan)) {
      const uint32_t key = wbFromEnd(wb, scan->inputPos);
      if (stretchFrom == 0) stretchFrom = key;
      stretchTo = key;
      if (const uint32_t to = scanJumpFrom(jumps, key); to != 0) {
        restartAt(scan, wbAtFromEnd(wb, to));
        continue;
      }
    }
    first = false;
    const int32_t token = nextToken(scan);
    if (token < 0) {
      result = -1;
      break;
    }
    if (token == T_CLAUSE_END) {
      result = scan->terminatorLength;
      break;
    }
    if (token == 0) break;
    if (isOpening(token)) stretchFrom = 0;  // a stretch holds no opening: start after it
  }
  if (jumps != nullptr && stretchFrom != 0) scanJumpsLearn(jumps, stretchFrom, stretchTo);
  return result;
}

// Blanks the terminator that rule T found, from the closing on; returns how many characters.
size_t blankTerminator(const Clause& c, int32_t length) {
  // A "*)--" met inside a brace clause ("{fn abs(a*)--b)}xyz") blanks four characters from the
  // '}': the three after the clause too, but never the statement's terminator.
  WorkBuffer* wb = c.ctx->work;
  const size_t n = std::min(size_t(length), size_t(wb->data + wb->rightEnd - c.closing));
  bcuFillW(c.closing, ' ', n);
  if (n > size_t(c.end - c.closing)) wbNoteWideEdit(wb);
  return n;
}

// Kept names: "{fn ceiling(x)}" becomes "       CEIL(x) ". The native name, which has the length
// of the ODBC name, is written at the name; the opening with its fn keyword and the blank after
// it, and the terminator, become blanks. The arguments are not looked at.
[[nodiscard]] Status keepName(const Clause& c, const char* native) {
  ConversionContext* ctx = c.ctx;
  ScannerState* scan = c.scan;
  const size_t n = std::strlen(native);
  if (n != 0) {
    // The name token may stand after a comment that runs past the closing.
    if (n > size_t(c.closing - c.name)) return bcoFail(ctx, kReasonMalformed);
    const uint32_t edits = ctx->work->edits;
    for (size_t i = 0; i < n; ++i) c.name[i] = uint16_t(native[i]);
    wbNoteEdit(ctx->work);
    scanJumpsWrote(ctx, edits, {{c.name, c.name + n}});
  }
  // The native name stays when the clause does not scan as an opening: the clause search takes a
  // long form with a blank before the comma of its vendor prefix, the scanner does not.
  restartAt(scan, c.base);
  if (nextToken(scan) != T_FN || scan->openingPos < c.base || scan->afterKeyword >= c.closing) {
    return bcoFail(ctx, kReasonMalformed);
  }
  const int32_t terminator = terminatorFrom(ctx, scan, c.name, c.closing);
  if (terminator < 0) return bcoFail(ctx, kReasonMalformed);
  const uint32_t edits = ctx->work->edits;
  uint16_t* from = c.at(scan->openingPos);
  uint16_t* to = c.at(scan->afterKeyword) + 1;
  bcuFillW(from, ' ', size_t(to - from));
  const size_t blanked = blankTerminator(c, terminator);
  wbNoteEdit(ctx->work);
  // Only the opening and the terminator changed: what the scans read between them stays known.
  scanJumpsWrote(ctx, edits, {{from, to}, {c.closing, c.closing + blanked}});
  ctx->bracelessEdits = ctx->work->edits;  // a native name and blanks
  return kOk;
}

// Native text written over the clause from its opening, then blanks up to the form's position;
// the clause keeps its length. "{fn LOCATE('b',s)}" becomes "INSTR(s,'b'     ) ".
[[nodiscard]] Status arrange(const Clause& c, const NativeForm& form, const ArgumentList& list,
                             const NativeArgs& args, WorkArea& work) {
  ConversionContext* ctx = c.ctx;
  uint16_t* stop = c.base;
  switch (form.pad) {
    case PadTo::kA1Start:
    case PadTo::kA2Start:
    case PadTo::kA3Start:
      stop = c.at(args.arg[int(form.pad) - int(PadTo::kA1Start)].text);
      break;
    case PadTo::kParen:
      stop = c.at(list.paren);
      break;
    case PadTo::kPastParen:
      // "{fn USER()}" blanks through its ')'; without parentheses, through the clause up to its
      // closing ("--(*vendor(Microsoft),product(ODBC) fn USER*)--" leaves only USER).
      stop = list.open != nullptr ? c.at(list.paren) + 1 : c.closing;
      break;
    case PadTo::kNone:
      break;
  }
  size_t length = nativeLength(form.text, args);
  if (form.pad == PadTo::kPastParen) {
    // USER's ten characters cover "{fn USER()"; "{fn USER}" is shorter, and the text stops
    // before the closing.
    length = std::min(length, size_t(c.closing - c.base));
    stop = std::max(stop, c.base + length);
  } else if (length > size_t(stop - c.base) ||
             (form.arity != 0 &&
              nativePrefixLength(form.text) > size_t(args.arg[0].text - c.base))) {
    return bcoFail(ctx, kReasonMalformed);  // never for a list in order; checked all the same
  }
  const int32_t terminator = terminatorFrom(ctx, c.scan, c.closing, c.closing);
  if (terminator < 0) return bcoFail(ctx, kReasonMalformed);

  if (form.way == NativeWay::kArrangeCopied) {
    // LOCATE swaps its arguments over text it overwrites: both go through the work area.
    if (length > work.capacity) return bcoFail(ctx, kReasonNoMemory);  // never: see WorkArea
    fillNative(form.text, args, work.data);
    std::memcpy(c.base, work.data, length * sizeof(uint16_t));
  } else if (form.arity == 0) {
    for (size_t i = 0; i < length; ++i) c.base[i] = uint16_t(form.text[i]);
  } else {
    fillNative(form.text, args, c.base);  // a1 moves left before anything reaches it
  }
  bcuFillW(c.base + length, ' ', size_t(stop - (c.base + length)));
  blankTerminator(c, terminator);

  switch (form.finish) {
    case Finish::kBlankParen:
      *c.at(list.paren) = ' ';
      break;
    case Finish::kNegateLast: {
      // "{fn RIGHT(s,2)}": "2)" moves onto the blanked "}" and "-" takes its place.
      uint16_t* from = c.at(args.arg[form.arity - 1].text);
      uint16_t* paren = c.at(list.paren);
      std::memmove(from + 1, from, size_t(paren + 1 - from) * sizeof(uint16_t));
      *from = '-';
      break;
    }
    case Finish::kNothing:
      break;
  }
  wbNoteEdit(ctx->work);
  return kOk;
}

// CONVERT(a1, type): the type is the first token after the comma. For a date or timestamp type,
// a1's first token decides: "CONVERT('2001-02-03 12:30:00.5', SQL_TIMESTAMP)" takes the literal
// alone, cut to its seconds, where "CONVERT(d, SQL_TIMESTAMP)" converts d through TO_CHAR.
[[nodiscard]] Status convertText(const Clause& c, const ArgumentList& list, NativeArgs* args,
                                 const char** text) {
  ConversionContext* ctx = c.ctx;
  ScannerState* scan = c.scan;
  restartAt(scan, list.after[0]);
  scan->functionCode = 0;
  if (nextToken(scan) < 0) return bcoFail(ctx, kReasonMalformed);
  const ConvertForm* form = convertForm(scan->functionCode);
  scan->functionCode = 0;
  if (form == nullptr) return bcoFail(ctx, kReasonUnsupported);
  *text = form->text;
  if (form->literalText == nullptr) return kOk;

  restartAt(scan, list.open);
  const int32_t first = nextToken(scan);
  if (first < 0) return bcoFail(ctx, kReasonMalformed);
  if (first != T_STRING) return kOk;
  *text = form->literalText;
  if (form->literalShortest == 0) return kOk;  // a1 as written
  scan->literalLength = int32_t(scan->tokenLength);
  uint32_t length = scan->tokenLength;
  if (length < form->literalShortest || length > form->literalLongest) {
    return bcoFail(ctx, kReasonMalformed);
  }
  if (length > form->literalShortest) {
    // "'2001-02-03 12:30:00.5'" keeps its date and time: its 21st character becomes the quote.
    length = form->literalShortest;
    scan->tokenText[length - 1] = '\'';
  }
  args->literal = ArgText{scan->tokenText, length};
  return kOk;
}

// The clause [opening, end) replaced by the native text, which is assembled in the work area;
// then the statement's trailing blanks are trimmed. REPEAT and INSERT first make sure the area
// holds their estimate.
[[nodiscard]] Status rebuild(const Clause& c, const NativeForm& form, const char* text,
                             const NativeArgs& args, WorkArea& work) {
  ConversionContext* ctx = c.ctx;
  const size_t length = nativeLength(text, args);
  if (form.estimateBase != 0) {
    // The statement, a constant, and the arguments as often as the text uses them.
    const uint64_t estimate =
        uint64_t(wbLength(ctx->work)) + form.estimateBase + (length - nativeFixedLength(text));
    if (work.capacity <= estimate) {
      if (const Status s = work.allocate(ctx, estimate + 1); s != kOk) return s;
    }
  }
  if (length > work.capacity) return bcoFail(ctx, kReasonNoMemory);  // never: see WorkArea
  fillNative(text, args, work.data);
  uint16_t* moved = nullptr;
  if (wbReplace(ctx->work, c.base, c.end, std::span<const uint16_t>(work.data, length), &moved) !=
      kOk) {
    return bcoFail(ctx, kReasonNoMemory);
  }
  wbTrimTail(ctx->work, moved);
  return kOk;
}

// Every function but the kept names: the argument scan, then the function's form.
[[nodiscard]] Status convertByForm(const Clause& c, uint32_t code) {
  ConversionContext* ctx = c.ctx;
  const std::span<const NativeForm> forms = nativeForms(code);
  WorkArea work;
  if (forms.empty() || forms.front().way != NativeWay::kArrange) {
    const uint64_t characters = uint64_t(wbLength(ctx->work)) + kWorkSlack;
    if (const Status s = work.allocate(ctx, characters); s != kOk) return s;
  }

  ArgumentList list;
  if (!scanArguments(c.scan, c.closing, &list)) return bcoFail(ctx, kReasonMalformed);
  // "{fn NOW}" needs no parentheses; "{fn FOO}" and "{fn HOUR}" are malformed.
  const bool bare = !forms.empty() && forms.front().arity == 0;
  if (list.open == nullptr && !bare) return bcoFail(ctx, kReasonMalformed);
  if (forms.empty()) return bcoFail(ctx, kReasonUnsupported);
  // An opened list must be closed inside the clause: "{fn NOW(}" is malformed.
  if (list.open != nullptr &&
      (list.paren == nullptr || list.paren < list.open || list.paren >= c.closing)) {
    return bcoFail(ctx, kReasonMalformed);
  }
  // LOCATE with three arguments or more, else with two; too few commas for any form is malformed.
  const NativeForm* form = nullptr;
  for (const NativeForm& f : forms) {
    if (f.arity <= uint64_t(list.commas) + 1) {
      form = &f;
      break;
    }
  }
  NativeArgs args;
  if (form == nullptr || !argumentTexts(list, form->arity, &args)) {
    return bcoFail(ctx, kReasonMalformed);
  }
  if (form->way != NativeWay::kRebuild) return arrange(c, *form, list, args, work);
  const char* text = form->text;
  if (text == nullptr) {
    if (const Status s = convertText(c, list, &args, &text); s != kOk) return s;
  }
  return rebuild(c, *form, text, args, work);
}

// A character the clause scanner reads as, or within, a token that cannot start a literal, a
// quoted name, a comment, a clause opening or a terminator, nor a number with blanks in it
// ("+ 5").
bool plainUnit(uint16_t c) {
  return c >= 0x20 && c < 0x7F && c != '{' && c != '}' && c != '\'' && c != '"' && c != '-' &&
         c != '/' && c != '*' && c != '+';
}
bool nameUnit(uint16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#' || c == '$';
}

// The longest text from a function's name to its closing that is looked at without the scanner.
constexpr ptrdiff_t kPlainClauseLongest = 256;

// Skips blanks and tabs.
const uint16_t* skipHws(const uint16_t* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}
// After "(brand)" of a long opening: a brand of printable characters but parentheses; null when
// p does not start one.
const uint16_t* afterBrand(const uint16_t* p) {
  if (*p != '(') return nullptr;
  const uint16_t* q = ++p;
  while (*q >= 0x20 && *q < 0x7F && *q != '(' && *q != ')') ++q;
  return q != p && *q == ')' ? q + 1 : nullptr;
}

// Where the fn keyword of a clause opening ends, when the opening is one the scanner reads as a
// function opening from `opening` on: "{fn", or "--(*vendor(Microsoft),product(ODBC) fn" (blanks
// and tabs where the scanner takes them, any case). Null otherwise.
const uint16_t* plainOpeningEnd(const uint16_t* opening) {
  const uint16_t* p = opening;
  if (*p == '{') {
    ++p;
  } else {
    if (!bcuStartsWithNoCase(p, "--(*")) return nullptr;
    p = skipHws(p + 4);
    if (!bcuStartsWithNoCase(p, "VENDOR")) return nullptr;
    if ((p = afterBrand(skipHws(p + 6))) == nullptr || *p != ',') return nullptr;
    p = skipHws(p + 1);
    if (!bcuStartsWithNoCase(p, "PRODUCT")) return nullptr;
    if ((p = afterBrand(skipHws(p + 7))) == nullptr) return nullptr;
    p = skipHws(p);
  }
  return bcuUpper(p[0]) == 'F' && bcuUpper(p[1]) == 'N' ? p + 2 : nullptr;
}

// "{fn UCASE(c1)}": a function that keeps its name (or gets a native one of the same length), in
// a clause whose opening the scanner reads as such, one blank after its fn keyword, and only
// plain characters after the name up to the closing, the last of them ')' or a blank. The
// scanner's tokens there are known without it: the opening through the keyword, the name, plain
// tokens, and the terminator at the closing ("}" or "*)--"), reached before the read position
// passes it (a name or number right before it, as in "{fn UCASE}", reads it ahead and leaves it
// in place). The clause is written as keepName writes it. False, with nothing changed, for any
// other clause.
bool keepPlainName(ConversionContext* ctx, uint16_t* opening, uint16_t* name, uint16_t* closing) {
  const uint16_t* keywordEnd = plainOpeningEnd(opening);
  // A long clause goes to the scanner, whose jumps over text read before keep nested clauses
  // ("{fn UCASE({fn UCASE(...)})}" thousands deep) from reading their insides again.
  if (keywordEnd == nullptr || *keywordEnd != ' ' || name != keywordEnd + 1 || name >= closing ||
      closing - name > kPlainClauseLongest) {
    return false;
  }
  const size_t terminator = *closing == '}' ? 1 : 4;  // else the clause search found "*)--"
  const uint16_t* p = name;
  while (p < closing && nameUnit(*p)) ++p;
  const KeywordEntry* keyword = findKeyword(name, size_t(p - name));
  const char* native = keyword == nullptr ? nullptr : keptName(keyword->functionCode);
  if (native == nullptr) return false;
  if (p == closing || (closing[-1] != ')' && closing[-1] != ' ')) return false;
  for (; p < closing; ++p) {
    if (!plainUnit(*p)) return false;
  }
  WorkBuffer* wb = ctx->work;
  const size_t n = std::strlen(native);
  if (n != 0) {
    const uint32_t edits = wb->edits;
    for (size_t i = 0; i < n; ++i) name[i] = uint16_t(native[i]);
    wbNoteEdit(wb);
    scanJumpsWrote(ctx, edits, {{name, name + n}});
  }
  const uint32_t edits = wb->edits;
  bcuFillW(opening, ' ', size_t(name - opening));
  bcuFillW(closing, ' ', terminator);
  wbNoteEdit(wb);
  scanJumpsWrote(ctx, edits, {{opening, name}, {closing, closing + terminator}});
  ctx->bracelessEdits = wb->edits;
  return true;
}

}  // namespace

Status bcoConvertScalarFunction(ConversionContext* ctx, uint16_t* opening, uint16_t* writePos,
                                uint16_t* name, uint16_t* closing, uint16_t* end) {
  // Not while tracing (the trace shows the scanner's allocations) nor in the reference
  // translation, which the tests compare this shortcut with.
  if (!bcuTraceOn() && !ctx->reference && writePos == opening &&
      keepPlainName(ctx, opening, name, closing)) {
    return kOk;
  }
  ScannerBuffers buffers;
  if (const Status s = buffers.open(ctx, opening, name); s != kOk) return s;
  ScannerState* scan = buffers.state;
  scan->textEnd = ctx->work->data + ctx->work->rightEnd;
  scan->functionCode = 0;
  const Clause clause{ctx, scan, writePos, name, closing, end};

  scan->lastToken = nextToken(scan);  // the function name
  if (scan->lastToken < 0) return bcoFail(ctx, kReasonMalformed);
  const uint32_t code = scan->functionCode;
  if (const char* native = keptName(code); native != nullptr) return keepName(clause, native);
  return convertByForm(clause, code);
}
