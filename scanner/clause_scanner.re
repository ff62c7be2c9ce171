// The clause scanner's rules, in priority order: the longest match wins, and of two rules that
// match the same longest text the earlier one ("BEGIN" is T_BEGIN, not a name). re2c turns this
// file into the automaton at build time. The automaton sees one 7-bit code per character
// (scanner_steps.h) and asks for a character only while some rule could still grow with it, so
// the characters read past a token are exactly those a longest-match automaton needs; they wait
// in pushback for the next token. That read-ahead decides where inputPos stands after a token.
#include "scanner/scanner_steps.h"

namespace {

// One match from the current position, finished by its rule's action.
int32_t matchOne(ScannerState* s) {
  Match m;
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

    end    = "\x00";             // the end of the text, once its one blank has been read
    char   = [\x01-\x7f];        // any character the automaton sees
    ws     = [ \t\n]*;             // no carriage return: "{\rfn" is no opening
    hws    = [ \t]*;
    digit  = [0-9];
    letter = [a-zA-Z];

    // "--(*vendor(Microsoft),product(ODBC) fn": any vendor and product text is accepted here.
    brand       = (char \ [()\n])+;
    longOpening = "--(*" hws 'VENDOR' hws "(" brand ")" "," hws 'PRODUCT' hws "(" brand ")" hws;

    // "5", "-5", "- 5", " 5", "1.", ".5", "1.2e-3": blanks and tabs before the digits belong to
    // the number even without a sign.
    number = [+-]? hws (digit+ ("." digit*)? | "." digit+) ([eE] [+-]? digit+)?;

    name       = letter [a-zA-Z0-9_#$]*;
    quotedName = ["] ((char \ ["\n\r]) | ["]["])+ ["];    // "a""b"
    string     = "N"? ['] ((char \ ['\n\r]) | [']['])* [']; // N'a''b', ''; the N upper case only
    lineRest   = (char \ [\n])*;

    // 1 to 8
    'BEGIN'  { return acceptMatch(s, m, Action::kCallOpening, T_BEGIN); }
    ":"      { return acceptMatch(s, m, Action::kToken, T_COLON); }
    ","      { return acceptMatch(s, m, Action::kToken, T_COMMA); }
    'END'    { return acceptMatch(s, m, Action::kToken, T_END); }
    "."      { return acceptMatch(s, m, Action::kToken, T_DOT); }
    "?"      { return acceptMatch(s, m, Action::kToken, T_QMARK); }
    "="      { return acceptMatch(s, m, Action::kToken, T_EQUALS); }
    ";"      { return acceptMatch(s, m, Action::kToken, T_SEMICOLON); }

    // 9 to 16: brace openings. "{?=" without CALL falls apart into "{", "?" and "=".
    "{" ws "?" ws "=" ws 'CALL'  { return acceptMatch(s, m, Action::kCallOpening, T_RETCALL); }
    "{" ws 'CALL'                { return acceptMatch(s, m, Action::kCallOpening, T_CALL); }
    "{" ws 'RESULTSET'           { return acceptMatch(s, m, Action::kToken, T_RESULTSET); }
    "{" ws 'FN'                  { return acceptMatch(s, m, Action::kOpening, T_FN); }
    "{" ws 'D'                   { return acceptMatch(s, m, Action::kOpening, T_DATE); }
    "{" ws 'T'                   { return acceptMatch(s, m, Action::kOpening, T_TIME); }
    "{" ws 'TS'                  { return acceptMatch(s, m, Action::kOpening, T_TIMESTAMP); }
    "{" ws 'ESCAPE'              { return acceptMatch(s, m, Action::kOpening, T_ESCAPE); }

    // 17 to 23: long openings. With anything between ")" and "," the text is no opening and falls
    // apart into "-", "-", "(", "*", names and punctuation.
    longOpening 'FN'             { return acceptMatch(s, m, Action::kOpening, T_FN); }
    longOpening 'D'              { return acceptMatch(s, m, Action::kOpening, T_DATE); }
    longOpening 'T'              { return acceptMatch(s, m, Action::kOpening, T_TIME); }
    longOpening 'TS'             { return acceptMatch(s, m, Action::kOpening, T_TIMESTAMP); }
    longOpening 'ESCAPE'         { return acceptMatch(s, m, Action::kOpening, T_ESCAPE); }
    longOpening 'CALL'           { return acceptMatch(s, m, Action::kCallOpening, T_CALL); }
    longOpening 'RESULTSET'      { return acceptMatch(s, m, Action::kToken, T_RESULTSET); }

    // 24 to 27
    "}"      { return acceptMatch(s, m, Action::kTerminator, T_CLAUSE_END); }
    "*)--"   { return acceptMatch(s, m, Action::kTerminator, T_CLAUSE_END); }
    "("      { return acceptMatch(s, m, Action::kToken, T_LPAREN); }
    ")"      { return acceptMatch(s, m, Action::kToken, T_RPAREN); }

    // 28
    number   { return acceptMatch(s, m, Action::kNumber, T_NUMBER); }

    // 29 to 103: a name. When it is one of the 74 keyword words (keywords.h), the keyword's rule
    // is the one that matched; every keyword word is a name too, so the two read alike, and a
    // longer name ("CONCATX", "LOG1", "SQL_CHAR2") is no keyword.
    name       { return acceptMatch(s, m, Action::kName, T_NAME); }
    // 104, 105
    quotedName { return acceptMatch(s, m, Action::kCapture, T_NAME); }
    string     { return acceptMatch(s, m, Action::kCapture, T_STRING); }

    // 106: white space, one character at a time; a run of blanks and tabs is taken at once, which
    // reads exactly what the blanks read one by one would ("  5" is still the number "  5").
    [ \t]+ | [\n\r]  { return acceptMatch(s, m, Action::kSkip, 0); }

    // 107, 108. "/*+" is an optimizer hint, not a comment: "/", "*", "+".
    "/*" (char \ [+])  { return acceptMatch(s, m, Action::kToken, T_COMMENT_OPEN); }
    "*/"               { return acceptMatch(s, m, Action::kToken, T_COMMENT_CLOSE); }

    // 109 to 111: line comments, which "--(*" never opens. The comment stops before its line
    // feed, but when only blanks and tabs follow "--" or "--(" on the line, it takes the line
    // feed and the white space after it as well.
    "--" (char \ [(\n]) lineRest   { return acceptMatch(s, m, Action::kSkip, 0); }
    "--(" (char \ [*\n]) lineRest  { return acceptMatch(s, m, Action::kSkip, 0); }
    "--" "("? hws "\n" ws          { return acceptMatch(s, m, Action::kSkip, 0); }

    // 112, 113: any other single character
    [^\x00]  { return acceptMatch(s, m, Action::kOwnCode, 0); }

    end      { return acceptMatch(s, m, Action::kEnd, 0); }
  */
}

}  // namespace

int32_t nextToken(ScannerState* s) {
  if (s->lexWork->failed != 0) return kTokenOverflow;
  int32_t token;
  do {
    token = matchOne(s);
  } while (token == kSkipped);
  return token;
}
