// The keyword words of the clause scanner: the ODBC scalar-function and SQL type keywords with the
// function codes the scanner reports for them, and six call words that are plain names. The
// scanner matches every word as a name and looks it up here; the scalar-function and CONVERT
// translators switch on the codes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct KeywordEntry {
  std::string_view word;  ///< upper case; matched without regard to case
  uint32_t functionCode;  ///< 0x2G0NN with G the group; 0 for the words that carry no code
};

/// Groups of function codes, the third hexadecimal digit from the left (0x2G0NN).
inline constexpr uint32_t kGroupSimple = 0;    ///< kept or same-length native name
inline constexpr uint32_t kGroupArranged = 1;  ///< CONCAT, LEFT, LOCATE, LOG10, RIGHT, USER
inline constexpr uint32_t kGroupDateTime = 2;  ///< date and time functions
inline constexpr uint32_t kGroupSystem = 3;    ///< DATABASE, PI, REPEAT, INSERT
inline constexpr uint32_t kGroupConvert = 4;   ///< CONVERT
inline constexpr uint32_t kGroupSqlType = 5;   ///< the SQL type names CONVERT takes

/// The group of a function code.
constexpr uint32_t functionGroup(uint32_t code) { return (code >> 12) & 0xF; }

// The codes are hexadecimal written with decimal-looking digits: 0x20009 is followed by 0x20010.
inline constexpr KeywordEntry kKeywords[] = {
    // word                  function code
    // simple functions
    {"ABS", 0x20001},
    {"ASCII", 0x20002},
    {"CEILING", 0x20003},
    {"CHAR", 0x20004},
    {"COS", 0x20005},
    {"EXP", 0x20006},
    {"FLOOR", 0x20007},
    {"IFNULL", 0x20008},
    {"LCASE", 0x20009},
    {"LENGTH", 0x20010},
    {"LOG", 0x20011},
    {"LTRIM", 0x20012},
    {"MOD", 0x20013},
    {"POWER", 0x20014},
    {"REPLACE", 0x20015},
    {"RTRIM", 0x20016},
    {"SIGN", 0x20017},
    {"SIN", 0x20018},
    {"SOUNDEX", 0x20019},
    {"SPACE", 0x20020},
    {"SQRT", 0x20021},
    {"SUBSTRING", 0x20022},
    {"TAN", 0x20023},
    {"TRUNCATE", 0x20024},
    {"UCASE", 0x20025},
    // rearranged over the clause
    {"CONCAT", 0x21001},
    {"LEFT", 0x21002},
    {"LOCATE", 0x21003},
    {"LOG10", 0x21004},
    {"RIGHT", 0x21005},
    {"USER", 0x21006},
    // date and time
    {"SECOND", 0x22001},
    {"MINUTE", 0x22002},
    {"HOUR", 0x22003},
    {"WEEK", 0x22004},
    {"MONTH", 0x22005},
    {"QUARTER", 0x22006},
    {"YEAR", 0x22007},
    {"DAYOFWEEK", 0x22008},
    {"DAYOFMONTH", 0x22009},
    {"DAYOFYEAR", 0x22010},
    {"CURDATE", 0x22011},
    {"CURTIME", 0x22012},
    {"NOW", 0x22013},
    {"MONTHNAME", 0x22014},
    {"DAYNAME", 0x22015},
    // system and string building
    {"DATABASE", 0x23001},
    {"PI", 0x23002},
    {"REPEAT", 0x23003},
    {"INSERT", 0x23004},
    // conversion
    {"CONVERT", 0x24001},
    // SQL type names
    {"SQL_CHAR", 0x25001},
    {"SQL_WCHAR", 0x25002},
    {"SQL_INTEGER", 0x25003},
    {"SQL_SMALLINT", 0x25004},
    {"SQL_TINYINT", 0x25005},
    {"SQL_BIGINT", 0x25006},
    {"SQL_BIT", 0x25007},
    {"SQL_REAL", 0x25008},
    {"SQL_FLOAT", 0x25009},
    {"SQL_NUMERIC", 0x25010},
    {"SQL_DECIMAL", 0x25011},
    {"SQL_DOUBLE", 0x25012},
    {"SQL_DATE", 0x25013},
    {"SQL_TYPE_DATE", 0x25014},
    {"SQL_TIMESTAMP", 0x25015},
    {"SQL_TYPE_TIMESTAMP", 0x25016},
    {"SQL_VARCHAR", 0x25017},
    // call words: names without a code
    {"DEFAULT", 0},
    {"EXEC", 0},
    {"EXECUTE", 0},
    {"OUTPUT", 0},
    {"RECOMPILE", 0},
    {"WITH", 0},
};

inline constexpr size_t kKeywordCount = std::size(kKeywords);
/// Longest keyword word (SQL_TYPE_TIMESTAMP); longer names are never looked up.
inline constexpr size_t kKeywordMaxLength =
    std::max_element(
        std::begin(kKeywords), std::end(kKeywords),
        [](const KeywordEntry& a, const KeywordEntry& b) { return a.word.size() < b.word.size(); })
        ->word.size();

/// The lookup's hash of an upper-case word: its length and its first, second and last characters.
constexpr uint32_t keywordHash(const char* word, size_t length) {
  const auto at = [&](size_t i) { return uint32_t(static_cast<unsigned char>(word[i])); };
  return (uint32_t(length) * 7 + at(0) * 31 + at(length > 1 ? 1 : 0) * 11 + at(length - 1) * 3) &
         255;
}

/// The lookup's table: open addressing on keywordHash, 256 slots, each the index of its word in
/// kKeywords plus one (0: empty).
inline constexpr std::array<uint8_t, 256> kKeywordSlots = [] {
  std::array<uint8_t, 256> slots{};
  for (size_t i = 0; i < kKeywordCount; ++i) {
    uint32_t h = keywordHash(kKeywords[i].word.data(), kKeywords[i].word.size());
    while (slots[h] != 0) h = (h + 1) & 255;
    slots[h] = uint8_t(i + 1);
  }
  return slots;
}();

/// The function code of word (upper case), 0 for a word that has none; usable in constant
/// expressions, so that a translator names its codes by their words: keywordCode("CONCAT").
constexpr uint32_t keywordCode(std::string_view word) {
  for (const KeywordEntry& k : kKeywords)
    if (k.word == word) return k.functionCode;
  return 0;
}

/// The entry whose word equals text (length code units, ASCII letters compared without case), or
/// null.
const KeywordEntry* findKeyword(const uint16_t* text, size_t length);

namespace keywords_detail {

constexpr bool wordsAreNames() {
  for (const KeywordEntry& k : kKeywords) {
    if (k.word.empty() || k.word[0] < 'A' || k.word[0] > 'Z') return false;
    for (char c : k.word)
      if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

constexpr bool wordsUnique() {
  for (size_t i = 0; i < kKeywordCount; ++i)
    for (size_t j = i + 1; j < kKeywordCount; ++j)
      if (kKeywords[i].word == kKeywords[j].word) return false;
  return true;
}

// The longest run of slots a lookup may probe before it meets an empty one.
constexpr size_t longestProbe() {
  size_t longest = 0;
  for (size_t start = 0; start < 256; ++start) {
    size_t n = 0;
    while (n < 256 && kKeywordSlots[(start + n) & 255] != 0) ++n;
    longest = std::max(longest, n);
  }
  return longest;
}

constexpr size_t codedCount() {
  return size_t(std::count_if(std::begin(kKeywords), std::end(kKeywords),
                              [](const KeywordEntry& k) { return k.functionCode != 0; }));
}

constexpr bool codesUniqueAndGrouped() {
  for (size_t i = 0; i < kKeywordCount; ++i) {
    const uint32_t code = kKeywords[i].functionCode;
    if (code == 0) continue;
    if ((code >> 16) != 2 || functionGroup(code) > kGroupSqlType) return false;
    for (size_t j = i + 1; j < kKeywordCount; ++j)
      if (kKeywords[j].functionCode == code) return false;
  }
  return true;
}

}  // namespace keywords_detail

static_assert(kKeywordCount == 74, "74 keyword words");
static_assert(keywords_detail::codedCount() == 68, "68 function and type keywords carry a code");
static_assert(keywords_detail::codesUniqueAndGrouped(), "codes are unique and of the form 0x2G0NN");
static_assert(keywords_detail::wordsAreNames(), "words are upper-case names");
static_assert(keywords_detail::wordsUnique(), "no word twice");
static_assert(kKeywordMaxLength == 18);
static_assert(keywords_detail::longestProbe() <= 8, "the lookup probes few slots");
