/* The call-clause grammar: one {call ...} or {?=call ...} clause (brace or long form), from its
 * opening token to the end of the statement, turned into an anonymous block by the actions in
 * call_actions.cpp while it is parsed. Bison generates the parser at build time; it pulls tokens
 * from the clause scanner of the ScannerState it is given and keeps nothing outside it.
 *
 * The actions depend on when a lookahead is read: a state whose only action is a reduction
 * reduces without reading one (Bison's default reductions), so an action still sees the text of
 * the last name or number the scanner delivered. Every action is one call; a false result (a text
 * past its bound, no memory) ends the parse with the reason left in the state. */

%define api.pure full
%define api.prefix {callyy}
%define api.token.prefix {TOK_}
%define api.value.type {int32_t}
%param {ScannerState* s}
%expect 0

%code requires {
#include <cstdint>
struct ScannerState;
}

%code {
#include "call/call_actions.h"
#include "call/parse_stack.h"
#include "scanner/scanner_state.h"

#define YYINITDEPTH kParseStackStart
#define yyoverflow(message, states, stateBytes, values, valueBytes, depth) \
  PARSE_STACK_OVERFLOW(s->parserWork, states, values, depth)
#define RUN(action) \
  if (!(action)) YYABORT

static int callyylex(CALLYYSTYPE*, ScannerState* s) {
  return parserToken(nextToken(s), TOK_CALLYYUNDEF);
}
static void callyyerror(ScannerState* s, const char*) { parserError(s->parserWork); }
}

/* The clause scanner's codes; any other code it returns is a syntax error here. */
%token T_NAME 257 T_NUMBER 260 T_STRING 261 T_BEGIN 263 T_CALL 266 T_RETCALL 267 T_COLON 268
%token T_COMMA 269 T_DOT 272 T_END 273 T_LPAREN 278 T_QMARK 280 T_CLAUSE_END 281 T_RPAREN 282
%token T_RESULTSET 284 T_SEMICOLON 285

%start statement

%%

/******** The clause: {call p(?)}, {?=call f(?)}, and BEGIN p(?); END; ********/

statement
  : call_clause
  | T_BEGIN call_body T_SEMICOLON T_END T_SEMICOLON
  ;

call_clause
  : T_CALL { RUN(beginBlock(s)); } call_body T_CLAUSE_END { RUN(endBlock(s)); }
  | T_RETCALL { RUN(beginReturnCall(s)); } call_body T_CLAUSE_END { RUN(endBlock(s)); }
  ;

/******** The call: p, p(), p(?, 'x', 5) ********/

call_body
  : proc_name
  | proc_name T_LPAREN T_RPAREN
  | proc_name T_LPAREN { RUN(openArgList(s)); } arg_list T_RPAREN { RUN(closeArgList(s)); }
  ;

arg_list
  : arg_item
  | arg_list T_COMMA { RUN(appendComma(s)); } arg_item
  ;

arg_item
  : argument { RUN(addArgument(s)); }
  | result_group
  ;

/******** One argument: ?, 5, 'x', a, a-1, :1, :a, f(?, 1) ********/

argument
  : T_QMARK { RUN(markerArgument(s)); }
  | T_NUMBER { RUN(numberArgument(s)); }
  | T_STRING { RUN(tokenArgument(s)); }
  | T_NAME { RUN(tokenArgument(s)); }
  | T_NAME { RUN(tokenArgument(s)); } T_NUMBER { RUN(appendNumberArgument(s)); }
  | T_COLON T_NUMBER { RUN(colonNumberArgument(s)); }
  | T_COLON T_NAME { RUN(colonNameArgument(s)); }
  | proc_name T_LPAREN { RUN(functionCallArgument(s)); }
  ;

/******** A resultset group: {resultset 2, a, b} ********/

result_group
  : T_RESULTSET { RUN(openGroup(s)); } T_NUMBER T_COMMA { RUN(setGroupNumber(s)); }
    group_items { RUN(closeGroupItems(s)); } T_CLAUSE_END { RUN(closeGroup(s)); }
  ;

group_items
  : argument { RUN(firstGroupItem(s)); }
  | group_items T_COMMA { RUN(appendComma(s)); } argument { RUN(nextGroupItem(s)); }
  ;

/******** Names: p, owner.p, owner.package.p ********/

proc_name
  : T_NAME { RUN(singleName(s)); RUN(procNameDone(s)); }
  | two_part_name { RUN(procNameDone(s)); }
  | three_part_name { RUN(procNameDone(s)); }
  ;

three_part_name
  : two_part_name T_DOT T_NAME { RUN(appendDotName(s)); }
  ;

two_part_name
  : name_dot T_NAME { RUN(appendName(s)); }
  ;

name_dot
  : T_NAME T_DOT { RUN(nameWithDot(s)); }
  ;

%%

static_assert(TOK_T_NAME == T_NAME && TOK_T_NUMBER == T_NUMBER && TOK_T_STRING == T_STRING);
static_assert(TOK_T_BEGIN == T_BEGIN && TOK_T_CALL == T_CALL && TOK_T_RETCALL == T_RETCALL);
static_assert(TOK_T_COLON == T_COLON && TOK_T_COMMA == T_COMMA && TOK_T_DOT == T_DOT);
static_assert(TOK_T_END == T_END && TOK_T_LPAREN == T_LPAREN && TOK_T_QMARK == T_QMARK);
static_assert(TOK_T_CLAUSE_END == T_CLAUSE_END && TOK_T_RPAREN == T_RPAREN);
static_assert(TOK_T_RESULTSET == T_RESULTSET && TOK_T_SEMICOLON == T_SEMICOLON);

int bcoCallParser(ScannerState* s) {
  parseStackReset(s->parserWork);
  const int result = callyyparse(s);
  parseStackRelease(s->parserWork);
  return result == 0 ? 0 : 1;
}
