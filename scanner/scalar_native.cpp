// The native texts of the scalar functions in three tables: the functions that keep their name or
// get a native name of the same length, the functions whose native text is laid over the clause
// or replaces it, and the types CONVERT converts to; and the filling of a text's slots (%1 to %4
// for the arguments as written, %L for a timestamp literal).
#include "scanner/scalar_native.h"

#include <cstring>
#include <string_view>

#include "scanner/keywords.h"

namespace {

constexpr uint32_t code(std::string_view word) { return keywordCode(word); }

constexpr std::string_view wordOf(uint32_t functionCode) {
  for (const KeywordEntry& k : kKeywords)
    if (k.functionCode == functionCode) return k.word;
  return {};
}

// ---- Kept names --------------------------------------------------------------------------------

struct KeptName {
  uint32_t code;
  const char* native;  // written over the name, its length; "" keeps the name as written
};

constexpr KeptName kKeptNames[] = {
    // ODBC function, written over its name
    {code("ABS"), ""},
    {code("ASCII"), ""},
    {code("CEILING"), "   CEIL"},
    {code("CHAR"), " CHR"},
    {code("COS"), ""},
    {code("EXP"), ""},
    {code("FLOOR"), ""},
    {code("IFNULL"), "   NVL"},
    {code("LCASE"), "LOWER"},
    {code("LENGTH"), ""},
    {code("LOG"), " LN"},
    {code("LTRIM"), ""},
    {code("MOD"), ""},
    {code("POWER"), ""},
    {code("REPLACE"), ""},
    {code("RTRIM"), ""},
    {code("SIGN"), ""},
    {code("SIN"), ""},
    {code("SOUNDEX"), ""},
    {code("SQRT"), ""},
    {code("SUBSTRING"), "   SUBSTR"},
    {code("TAN"), ""},
    {code("TRUNCATE"), "   TRUNC"},
    {code("UCASE"), "UPPER"},
};

// ---- Native forms ------------------------------------------------------------------------------

using W = NativeWay;
using P = PadTo;
using F = Finish;

// The rows of one function are adjacent, the one with the most arguments first.
constexpr NativeForm kForms[] = {
    // function, arguments used, way, blanks up to, then, estimate base, native text
    // laid over the clause
    {code("CONCAT"), 2, W::kArrange, P::kA2Start, F::kBlankParen, 0, "%1 || "},
    {code("LEFT"), 2, W::kArrange, P::kA2Start, F::kNothing, 0, "SUBSTR(%1,1,"},
    {code("LOCATE"), 3, W::kArrangeCopied, P::kA3Start, F::kNothing, 0, "INSTR(%2,%1,"},
    {code("LOCATE"), 2, W::kArrangeCopied, P::kParen, F::kNothing, 0, "INSTR(%2,%1"},
    {code("LOG10"), 1, W::kArrange, P::kA1Start, F::kNothing, 0, "LOG(10,"},
    {code("RIGHT"), 2, W::kArrange, P::kA1Start, F::kNegateLast, 0, "SUBSTR("},
    {code("SPACE"), 1, W::kArrange, P::kA1Start, F::kNothing, 0, "LPAD(' ',"},
    {code("USER"), 0, W::kArrange, P::kPastParen, F::kNothing, 0, "USER      "},
    // replacing the clause: date and time
    {code("SECOND"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'SS')) "},
    {code("MINUTE"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'MI')) "},
    {code("HOUR"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'HH24')) "},
    {code("WEEK"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'WW')) "},
    {code("MONTH"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'MM')) "},
    {code("QUARTER"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'Q')) "},
    {code("YEAR"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'YYYY')) "},
    {code("DAYOFWEEK"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'D')) "},
    {code("DAYOFMONTH"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'DD')) "},
    {code("DAYOFYEAR"), 1, W::kRebuild, P::kNone, F::kNothing, 0, " TO_NUMBER(TO_CHAR(%1,'DDD')) "},
    {code("MONTHNAME"), 1, W::kRebuild, P::kNone, F::kNothing, 0,
     " TRIM(TRAILING FROM INITCAP(TO_CHAR(%1,'MONTH')))"},
    {code("DAYNAME"), 1, W::kRebuild, P::kNone, F::kNothing, 0,
     " TRIM(TRAILING FROM INITCAP(TO_CHAR(%1,'DAY')))"},
    // replacing the clause: no arguments (any written are ignored)
    {code("CURDATE"), 0, W::kRebuild, P::kNone, F::kNothing, 0,
     "TO_DATE(TO_CHAR(SYSDATE,'YYYY-MM-DD'),'YYYY-MM-DD')"},
    {code("CURTIME"), 0, W::kRebuild, P::kNone, F::kNothing, 0,
     "TO_DATE(TO_CHAR(SYSDATE,'YYYY-MM-DD HH24:MI:SS'),'YYYY-MM-DD HH24:MI:SS')"},
    {code("NOW"), 0, W::kRebuild, P::kNone, F::kNothing, 0,
     "TO_DATE(TO_CHAR(SYSDATE,'YYYY-MM-DD HH24:MI:SS'),'YYYY-MM-DD HH24:MI:SS')"},
    {code("DATABASE"), 0, W::kRebuild, P::kNone, F::kNothing, 0, "(SELECT * FROM GLOBAL_NAME)"},
    {code("PI"), 0, W::kRebuild, P::kNone, F::kNothing, 0, "3.141592653589793"},
    // replacing the clause: string building, whose work area is sized by an estimate
    {code("REPEAT"), 2, W::kRebuild, P::kNone, F::kNothing, 23, " RPAD(%1,(%2)*LENGTH(%1),%1) "},
    {code("INSERT"), 4, W::kRebuild, P::kNone, F::kNothing, 40,
     " SUBSTR(%1,1,(%2)-1) || %4 || SUBSTR(%1,(%2)+(%3)) "},
    // replacing the clause: the text is chosen by the target type (kConvertForms)
    {code("CONVERT"), 2, W::kRebuild, P::kNone, F::kNothing, 0, nullptr},
};

// ---- CONVERT target types ----------------------------------------------------------------------

constexpr const char* kToDateTime =
    "TO_DATE(TO_CHAR(%1,'YYYY-MM-DD HH24:MI:SS'),'YYYY-MM-DD HH24:MI:SS')";
constexpr const char* kTimestampLiteral = "TO_DATE (%L,'YYYY-MM-DD HH24:MI:SS')";

constexpr ConvertForm kConvertForms[] = {
    // type, text, text when a1 opens with a string literal, that literal's accepted lengths
    {code("SQL_CHAR"), " TO_CHAR(%1) ", nullptr, 0, 0},
    {code("SQL_WCHAR"), " TO_CHAR(%1) ", nullptr, 0, 0},
    {code("SQL_VARCHAR"), " TO_CHAR(%1) ", nullptr, 0, 0},
    {code("SQL_INTEGER"), " TO_NUMBER(TRUNC(%1)) ", nullptr, 0, 0},
    {code("SQL_SMALLINT"), " TO_NUMBER(TRUNC(%1)) ", nullptr, 0, 0},
    {code("SQL_TINYINT"), " TO_NUMBER(TRUNC(%1)) ", nullptr, 0, 0},
    {code("SQL_BIGINT"), " TO_NUMBER(TRUNC(%1)) ", nullptr, 0, 0},
    {code("SQL_BIT"), " TO_NUMBER(TRUNC(%1)) ", nullptr, 0, 0},
    {code("SQL_REAL"), " TO_NUMBER(%1) ", nullptr, 0, 0},
    {code("SQL_FLOAT"), " TO_NUMBER(%1) ", nullptr, 0, 0},
    {code("SQL_NUMERIC"), " TO_NUMBER(%1) ", nullptr, 0, 0},
    {code("SQL_DECIMAL"), " TO_NUMBER(%1) ", nullptr, 0, 0},
    {code("SQL_DOUBLE"), " TO_NUMBER(%1) ", nullptr, 0, 0},
    {code("SQL_DATE"), " TO_DATE(%1)", " TO_DATE(%1,'YYYY-MM-DD')", 0, 0},
    {code("SQL_TYPE_DATE"), " TO_DATE(%1)", " TO_DATE(%1,'YYYY-MM-DD')", 0, 0},
    {code("SQL_TIMESTAMP"), kToDateTime, kTimestampLiteral, 21, 31},
    {code("SQL_TYPE_TIMESTAMP"), kToDateTime, kTimestampLiteral, 21, 31},
};

// ---- Invariants --------------------------------------------------------------------------------

// Slots: '%' followed by '1' to '4' or 'L'.
constexpr bool isSlot(const char* p) {
  return p[0] == '%' && ((p[1] >= '1' && p[1] <= '4') || p[1] == 'L');
}

constexpr size_t slotCount(const char* text, char which) {
  size_t n = 0;
  for (const char* p = text; *p != 0; ++p)
    if (isSlot(p) && p[1] == which) ++n, ++p;
  return n;
}

constexpr size_t fixedLength(const char* text) {
  size_t n = 0;
  for (const char* p = text; *p != 0; ++p) {
    if (isSlot(p)) {
      ++p;
    } else {
      ++n;
    }
  }
  return n;
}

constexpr bool keptNamesFit() {
  for (const KeptName& k : kKeptNames) {
    if (k.code == 0 || functionGroup(k.code) != kGroupSimple) return false;
    const size_t n = std::string_view(k.native).size();
    if (n != 0 && n != wordOf(k.code).size()) return false;
  }
  return true;
}

constexpr bool isKept(uint32_t functionCode) {
  for (const KeptName& k : kKeptNames)
    if (k.code == functionCode) return true;
  return false;
}

constexpr bool hasForm(uint32_t functionCode) {
  for (const NativeForm& f : kForms)
    if (f.code == functionCode) return true;
  return false;
}

constexpr bool isConvertType(uint32_t functionCode) {
  for (const ConvertForm& c : kConvertForms)
    if (c.type == functionCode) return true;
  return false;
}

// Every coded keyword has exactly one place: a kept name, a function with forms, or a type.
constexpr bool everyKeywordPlaced() {
  for (const KeywordEntry& k : kKeywords) {
    if (k.functionCode == 0) continue;
    const int places = int(isKept(k.functionCode)) + int(hasForm(k.functionCode)) +
                       int(isConvertType(k.functionCode));
    const bool isType = functionGroup(k.functionCode) == kGroupSqlType;
    if (places != 1 || isType != isConvertType(k.functionCode)) return false;
  }
  return true;
}

constexpr bool formsWellMade() {
  for (size_t i = 0; i < std::size(kForms); ++i) {
    const NativeForm& f = kForms[i];
    // The rows of a function are adjacent, the one with the most arguments first.
    const bool continues = i > 0 && kForms[i - 1].code == f.code;
    for (size_t j = 0; j + 1 < i && !continues; ++j)
      if (kForms[j].code == f.code) return false;
    if (continues && kForms[i - 1].arity <= f.arity) return false;
    // The blanks stop at an argument the form has; only rebuilt forms have no such stop.
    if (f.pad >= PadTo::kA1Start && f.pad <= PadTo::kA3Start &&
        int(f.pad) - int(PadTo::kA1Start) >= f.arity)
      return false;
    if ((f.way == NativeWay::kRebuild) != (f.pad == PadTo::kNone)) return false;
    if (f.text == nullptr) {
      if (f.code != code("CONVERT")) return false;
      continue;
    }
    // Slots name arguments the form has; %L only in CONVERT's texts.
    for (char a = '1'; a <= '4'; ++a)
      if (a - '0' > f.arity && slotCount(f.text, a) != 0) return false;
    if (slotCount(f.text, 'L') != 0) return false;
    // A form written over the clause in place uses a1 at most, once, and what it writes before
    // a1 is shorter than the clause's text before it ("SUBSTR(" against "{fn LEFT("), so a1 is
    // moved before anything reaches it.
    if (f.way == NativeWay::kArrange) {
      if (slotCount(f.text, '2') + slotCount(f.text, '3') + slotCount(f.text, '4') != 0 ||
          slotCount(f.text, '1') > 1)
        return false;
      const std::string_view text(f.text);
      const size_t before = text.find('%') == std::string_view::npos ? 0 : text.find('%');
      if (before > std::string_view("{fn (").size() + wordOf(f.code).size()) return false;
    }
  }
  return true;
}

constexpr bool convertFormsWellMade() {
  for (const ConvertForm& c : kConvertForms) {
    if (slotCount(c.text, 'L') != 0 || slotCount(c.text, '1') != 1) return false;
    if (c.literalText == nullptr) {
      if (c.literalShortest != 0) return false;
      continue;
    }
    // %L, cut to a length, or %1 as written; never both.
    const bool cut = slotCount(c.literalText, 'L') == 1 && slotCount(c.literalText, '1') == 0;
    const bool whole = slotCount(c.literalText, 'L') == 0 && slotCount(c.literalText, '1') == 1;
    if (!(cut ? c.literalShortest >= 2 && c.literalShortest <= c.literalLongest
              : whole && c.literalShortest == 0))
      return false;
  }
  return true;
}

constexpr const NativeForm& formOf(std::string_view word) {
  for (const NativeForm& f : kForms)
    if (f.code == code(word)) return f;
  return kForms[0];
}

static_assert(std::size(kKeptNames) == 24, "24 kept-name functions");
static_assert(keptNamesFit(), "a native name has the length of the ODBC name it is written over");
static_assert(std::size(kForms) == 28, "27 functions, LOCATE twice");
static_assert(std::size(kConvertForms) == 17, "every SQL type keyword is a CONVERT target");
static_assert(everyKeywordPlaced(), "each of the 68 coded keywords has exactly one place");
static_assert(formsWellMade());
static_assert(convertFormsWellMade());
// The work-area estimates: REPEAT the statement + 23 + a2 + 3 * a1, INSERT the statement + 40
// + 2 * (a1 + a2) + a3 + a4. They are computed as the statement + estimateBase + the lengths the
// slots fill, which is the same sum as long as the slots are counted so, and they cover the text.
static_assert(slotCount(formOf("REPEAT").text, '1') == 3 &&
              slotCount(formOf("REPEAT").text, '2') == 1);
static_assert(fixedLength(formOf("REPEAT").text) <= formOf("REPEAT").estimateBase);
static_assert(slotCount(formOf("INSERT").text, '1') == 2 &&
              slotCount(formOf("INSERT").text, '2') == 2 &&
              slotCount(formOf("INSERT").text, '3') == 1 &&
              slotCount(formOf("INSERT").text, '4') == 1);
static_assert(fixedLength(formOf("INSERT").text) <= formOf("INSERT").estimateBase);
// USER covers "{fn USER(" and one more character.
static_assert(fixedLength(formOf("USER").text) == std::string_view("{fn USER()").size());

const ArgText* slotText(const char* p, const NativeArgs& args) {
  return p[1] == 'L' ? &args.literal : &args.arg[p[1] - '1'];
}

}  // namespace

const char* keptName(uint32_t functionCode) {
  if (functionCode == 0) return nullptr;
  for (const KeptName& k : kKeptNames)
    if (k.code == functionCode) return k.native;
  return nullptr;
}

std::span<const NativeForm> nativeForms(uint32_t functionCode) {
  if (functionCode == 0) return {};
  size_t first = 0;
  while (first < std::size(kForms) && kForms[first].code != functionCode) ++first;
  size_t last = first;
  while (last < std::size(kForms) && kForms[last].code == functionCode) ++last;
  return std::span<const NativeForm>(kForms + first, last - first);
}

const ConvertForm* convertForm(uint32_t type) {
  if (type == 0) return nullptr;
  for (const ConvertForm& c : kConvertForms)
    if (c.type == type) return &c;
  return nullptr;
}

size_t nativeLength(const char* text, const NativeArgs& args) {
  size_t n = 0;
  for (const char* p = text; *p != 0; ++p) {
    if (isSlot(p)) {
      n += slotText(p, args)->length;
      ++p;
    } else {
      ++n;
    }
  }
  return n;
}

size_t nativePrefixLength(const char* text) {
  size_t n = 0;
  while (text[n] != 0 && !isSlot(text + n)) ++n;
  return n;
}

size_t nativeFixedLength(const char* text) { return fixedLength(text); }

void fillNative(const char* text, const NativeArgs& args, uint16_t* out) {
  for (const char* p = text; *p != 0; ++p) {
    if (isSlot(p)) {
      const ArgText* slot = slotText(p, args);
      if (slot->length != 0) std::memmove(out, slot->text, slot->length * sizeof(uint16_t));
      out += slot->length;
      ++p;
    } else {
      *out++ = uint16_t(static_cast<unsigned char>(*p));
    }
  }
}
