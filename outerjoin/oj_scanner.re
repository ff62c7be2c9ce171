// The outer-join scanner's rules, in priority order: the longest match wins, and of two rules that
// match the same longest text the earlier one ("LEFT" is LEFT, not a name; "LEFTX" is a name).
// re2c turns this file into the automaton at build time. The automaton sees one code per
// character (characters above U+007E as 'Z') and asks for a character only while some rule could
// still grow with it; what it read past the winning rule waits in pushback for the next token.
#include "outerjoin/oj_scanner_steps.h"

namespace {

using namespace oj;

// One match from the read position, finished by its rule's action.
int32_t matchOne(OuterJoinScanState* s) {
  Match m;
  ojBeginMatch(s);
  /*!re2c
    re2c:api = custom;
    re2c:api:style = free-form;
    re2c:define:YYCTYPE = uint8_t;
    re2c:define:YYPEEK = "(m.cursor < m.fetched ? uint8_t(s->matchText[m.cursor]) : fetchChar(s, m))";
    re2c:define:YYSKIP = "++m.cursor;";
    re2c:define:YYBACKUP = "m.marker = m.cursor;";
    re2c:define:YYRESTORE = "m.cursor = m.marker;";
    re2c:yyfill:enable = 0;
    re2c:indent:top = 1;

    end    = "\x00";       // the end of the text, once its one blank has been read
    char   = [\x01-\x7f];  // any character the automaton sees
    ws     = [ \t\n]*;
    hws    = [ \t]*;
    digit  = [0-9];
    letter = [a-zA-Z];
    print  = [\x20-\x7e\t];

    // "--(*vendor(Microsoft),product(ODBC) oj": any vendor and product text is accepted here.
    brand       = (char \ [()\n])+;
    longOpening = "--(*" hws 'VENDOR' hws "(" brand ")" "," hws 'PRODUCT' hws "(" brand ")" hws;

    // "5", "-5", "- 5", " 5", "1.5", ".5", "1e-3": blanks and tabs before the digits belong to
    // the number even without a sign, so in "a = 1" the number is " 1".
    number = [+-]? hws (digit+ ("." digit+)? | "." digit+) ([eE] [+-]? digit+)?;

    name       = letter [a-zA-Z0-9_#$]*;
    quotedName = ["] ((print \ ["]) | ["]["])+ ["];       // "a""b"
    string     = "N"? ['] ((print \ [']) | [']['])* [']; // N'a''b', ''
    lineRest   = (char \ [\n])*;

    // 1 to 16: keywords, before the name rule.
    'AND'        { return ojAccept(s, m, OjAction::kToken, AND, kModeOperand); }
    'AS'         { return ojAccept(s, m, OjAction::kToken, AS, kModeTable); }
    'FULL'       { return ojAccept(s, m, OjAction::kToken, FULL, kNoModeChange); }
    'GROUP'      { return ojAccept(s, m, OjAction::kToken, GROUP, kNoModeChange); }
    'HAVING'     { return ojAccept(s, m, OjAction::kToken, HAVING, kNoModeChange); }
    'INNER'      { return ojAccept(s, m, OjAction::kToken, INNER, kNoModeChange); }
    'INTERSECT'  { return ojAccept(s, m, OjAction::kToken, INTERSECT, kNoModeChange); }
    'JOIN'       { return ojAccept(s, m, OjAction::kToken, JOIN, kModeTable); }
    'LEFT'       { return ojAccept(s, m, OjAction::kToken, LEFT, kNoModeChange); }
    'ON'         { return ojAccept(s, m, OjAction::kToken, ON, kModeOperand); }
    'OR'         { return ojAccept(s, m, OjAction::kToken, OR, kModeOperand); }
    'ORDER'      { return ojAccept(s, m, OjAction::kToken, ORDER, kNoModeChange); }
    'OUTER'      { return ojAccept(s, m, OjAction::kToken, OUTER, kNoModeChange); }
    'RIGHT'      { return ojAccept(s, m, OjAction::kToken, RIGHT, kNoModeChange); }
    'UNION'      { return ojAccept(s, m, OjAction::kToken, UNION, kNoModeChange); }
    'WHERE'      { return ojAccept(s, m, OjAction::kToken, WHERE, kNoModeChange); }

    // 17 to 30: punctuation; the comparison operators expect an operand next.
    ":"   { return ojAccept(s, m, OjAction::kToken, COLON, kNoModeChange); }
    "+"   { return ojAccept(s, m, OjAction::kToken, PLUS, kNoModeChange); }
    ","   { return ojAccept(s, m, OjAction::kToken, COMMA, kNoModeChange); }
    "/"   { return ojAccept(s, m, OjAction::kToken, SLASH, kNoModeChange); }
    "."   { return ojAccept(s, m, OjAction::kToken, DOT, kNoModeChange); }
    "?"   { return ojAccept(s, m, OjAction::kToken, QMARK, kNoModeChange); }
    "="   { return ojAccept(s, m, OjAction::kToken, EQ, kModeOperand); }
    ">"   { return ojAccept(s, m, OjAction::kToken, GT, kModeOperand); }
    ">="  { return ojAccept(s, m, OjAction::kToken, GE, kModeOperand); }
    "<"   { return ojAccept(s, m, OjAction::kToken, LT, kModeOperand); }
    "<="  { return ojAccept(s, m, OjAction::kToken, LE, kModeOperand); }
    "*"   { return ojAccept(s, m, OjAction::kToken, STAR, kNoModeChange); }
    "<>"  { return ojAccept(s, m, OjAction::kToken, NE, kModeOperand); }
    "-"   { return ojAccept(s, m, OjAction::kToken, MINUS, kNoModeChange); }

    // 31 to 34: the clause's opener and closer.
    "{" ws 'OJ'          { return ojAccept(s, m, OjAction::kOpener, OJ_OPEN, kModeTable); }
    longOpening 'OJ'     { return ojAccept(s, m, OjAction::kOpener, OJ_OPEN, kModeTable); }
    "}"                  { return ojAccept(s, m, OjAction::kCloser, OJ_CLOSE, kNoModeChange); }
    "*)--"               { return ojAccept(s, m, OjAction::kCloser, OJ_CLOSE, kNoModeChange); }

    // 35, 36: "(" right after a column name opens a function call.
    "("   { return ojAccept(s, m, OjAction::kOpenParen, LPAREN, kNoModeChange); }
    ")"   { return ojAccept(s, m, OjAction::kToken, RPAREN, kModeTable); }

    // 37 to 40
    number      { return ojAccept(s, m, OjAction::kNumber, NUMBER, kNoModeChange); }
    name        { return ojAccept(s, m, OjAction::kName, TABLE_NAME, kNoModeChange); }
    quotedName  { return ojAccept(s, m, OjAction::kQuotedName, QUOTED_TABLE_NAME, kNoModeChange); }
    string      { return ojAccept(s, m, OjAction::kString, STRING, kNoModeChange); }

    // 41: white space; it ends "just after a column name". A run of blanks and tabs is taken at
    // once, which has the effect of its blanks one by one ("   5" is still the number "   5")
    // without reading the run again for each of them.
    [ \t]+ | [\n\f\r]  { return ojAccept(s, m, OjAction::kBlank, 0, kNoModeChange); }

    // 42 to 44: line comments, which "--(*" never opens.
    "--" (char \ [(\n]) lineRest   { return ojAccept(s, m, OjAction::kSkip, 0, kNoModeChange); }
    "--(" (char \ [*\n]) lineRest  { return ojAccept(s, m, OjAction::kSkip, 0, kNoModeChange); }
    "--" "("? hws "\n" ws          { return ojAccept(s, m, OjAction::kSkip, 0, kNoModeChange); }

    // 45: any other single character
    [^\x00]  { return ojAccept(s, m, OjAction::kOwnCode, 0, kNoModeChange); }

    end      { return ojAccept(s, m, OjAction::kEnd, 0, kNoModeChange); }
  */
}

}  // namespace

int32_t ojNextToken(OuterJoinScanState* s) {
  if (s->lex.failed != 0) return kOverflow;
  int32_t token;
  do {
    token = matchOne(s);
  } while (token == kOjSkipped);
  return token;
}
