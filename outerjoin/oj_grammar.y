/* The outer-join grammar: one {oj ...} clause (brace or long form), from its opener to its closer,
 * turned by the actions in oj_actions.cpp into the plain list of its tables (joinText) and its ON
 * conditions with "(+)" after each column of the optional side (joinCondition). Bison generates
 * the parser at build time; it pulls tokens from the outer-join scanner of the state it is given
 * and keeps nothing outside it.
 *
 * The actions depend on when a lookahead is read: a state whose only action is a reduction
 * reduces without reading one (Bison's default reductions), so an action still sees the text of
 * the last name or number the scanner delivered. Where a reduction needs the lookahead, the
 * lookahead's text may already be in tokenText: "t2 x" reduces the table t2 with the alias x
 * read, which is why an aliased table is written from prevTokenText. Every action is one call; a
 * false result (a text past its field, no memory) ends the parse with the reason in the state. */

%define api.pure full
%define api.prefix {ojyy}
%define api.token.prefix {TOK_}
%define api.value.type {int32_t}
%param {OuterJoinScanState* s}
%expect 0

%code requires {
#include <cstdint>
struct OuterJoinScanState;
}

%code {
#include "call/parse_stack.h"
#include "outerjoin/oj_actions.h"
#include "outerjoin/oj_scanner.h"

#define YYINITDEPTH kParseStackStart
#define yyoverflow(message, states, stateBytes, values, valueBytes, depth) \
  PARSE_STACK_OVERFLOW(&s->parseStack, states, values, depth)
#define RUN(action) \
  if (!(action)) YYABORT

static int ojyylex(OJYYSTYPE*, OuterJoinScanState* s) {
  return parserToken(ojNextToken(s), TOK_OJYYUNDEF);
}
static void ojyyerror(OuterJoinScanState* s, const char*) {
  parserError(&s->parseStack);
  s->lastResult = 0;
}
}

/* The outer-join scanner's codes (oj_scanner.h); the region keywords above 65536 and any other
 * code are syntax errors here. */
%token AND 257 OR 258 LEFT 259 RIGHT 260 FULL 261 INNER 262 OUTER 263 JOIN 264 ON 265 AS 266
%token COLUMN_NAME 267 QUOTED_COLUMN_NAME 268 ARG_NAME 269 TABLE_NAME 270 QUOTED_TABLE_NAME 271
%token NUMBER 272 STRING 273 PLUS 274 COLON 275 COMMA 276 SLASH 277 DOT 278 EQ 279 GT 280 GE 281
%token LPAREN 282 LT 283 LE 284 STAR 285 NE 286 OJ_OPEN 287 QMARK 288 OJ_CLOSE 289 RPAREN 290
%token MINUS 291

%start oj_clause

%%

/******** The clause: {oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.b}, ({oj ...}) ********/

oj_clause
  : OJ_OPEN join_expr OJ_CLOSE { s->closerAccepted = 1; }
  | LPAREN oj_clause RPAREN
  ;

join_expr
  : joined_table
  | LPAREN join_expr RPAREN
  ;

/* t1 LEFT JOIN t2 ON c, t1 LEFT JOIN (t2 JOIN t3 ON c2) ON c1, t1 JOIN t2 ON c1 RIGHT JOIN t3 ON c2 */
joined_table
  : table_ref join_type JOIN table_ref on_clause
  | table_ref join_type JOIN join_expr on_clause
  | join_expr join_type JOIN table_ref on_clause
  ;

join_type
  : LEFT { RUN(pushJoinType(s, oj::LEFT)); }
  | LEFT OUTER { RUN(pushJoinType(s, oj::LEFT)); }
  | RIGHT { RUN(pushJoinType(s, oj::RIGHT)); }
  | RIGHT OUTER { RUN(pushJoinType(s, oj::RIGHT)); }
  | FULL { RUN(pushJoinType(s, oj::FULL)); }
  | FULL OUTER { RUN(pushJoinType(s, oj::FULL)); }
  | INNER { RUN(pushJoinType(s, oj::INNER)); }
  | %empty { RUN(pushJoinType(s, oj::INNER)); }
  ;

/******** Conditions: ON t1.a = t2.b AND (t1.c > 5 OR t1.d = t2.e) ********/

on_clause
  : ON { RUN(openOnClause(s)); } or_cond { RUN(closeOnClause(s)); }
  ;

or_cond
  : and_cond
  | or_cond OR { RUN(appendCondition(s, " OR ")); } and_cond
  ;

and_cond
  : predicate
  | and_cond AND { RUN(appendCondition(s, " AND ")); } predicate
  ;

predicate
  : comparison
  | LPAREN { RUN(appendCondition(s, "(")); } or_cond RPAREN { RUN(appendCondition(s, ")")); }
  ;

comparison
  : left_side cmp_tail { RUN(writeComparison(s)); }
  ;

/******** The left side: t1.a, t1.a + 1, nvl(t1.a, 0), 5, 'x', :v, :1, ? ********/

left_side
  : operand
  | operand arith_op { RUN(appendArithOp(s, &s->leftOperand)); }
    NUMBER { RUN(appendNumber(s, &s->leftOperand)); }
  ;

operand
  : column_ref { endColumnOperand(s); }
  | column_ref LPAREN { RUN(openLeftCall(s)); } func_args { RUN(appendFuncArgs(s, &s->leftOperand)); }
    RPAREN { RUN(closeCall(s, &s->leftOperand)); }
  | NUMBER { RUN(leftValue(s, "", s->numberText, s->numberTooLong)); }
  | STRING { RUN(leftValue(s, "", s->tokenText, s->tokenTooLong)); }
  | COLON col_name { RUN(leftValue(s, ":", s->tokenText, s->tokenTooLong)); }
  | COLON NUMBER { RUN(leftValue(s, ":", s->numberText, s->numberTooLong)); }
  | QMARK { RUN(leftValue(s, "? ", nullptr, 0)); }
  ;

column_ref
  : col_name { RUN(setName(s, &s->leftOperand, "")); }
  | two_part_column
  | two_part_column DOT { RUN(appendText(s, &s->leftOperand, ".")); }
    col_name { RUN(appendName(s, &s->leftOperand)); }
  ;

two_part_column
  : col_name DOT { RUN(setName(s, &s->leftOperand, ".")); } col_name { RUN(appendName(s, &s->leftOperand)); }
  ;

col_name
  : COLUMN_NAME
  | QUOTED_COLUMN_NAME
  ;

/******** Function arguments: nvl(t1.a, 0), f(:1, ?, owner.t.c) ********/

func_args
  : func_arg { RUN(firstFuncArg(s)); }
  | func_args COMMA func_arg { RUN(nextFuncArg(s)); }
  ;

func_arg
  : COLON NUMBER { RUN(setArg(s, ":", s->numberText, s->numberTooLong)); }
  | NUMBER { RUN(setArg(s, "", s->numberText, s->numberTooLong)); }
  | QMARK { RUN(setArg(s, "? ", nullptr, 0)); }
  | ARG_NAME { RUN(setName(s, &s->funcArg, "")); }
  | two_part_arg
  | two_part_arg DOT { RUN(appendText(s, &s->funcArg, ".")); } ARG_NAME { RUN(appendName(s, &s->funcArg)); }
  ;

two_part_arg
  : ARG_NAME DOT { RUN(setName(s, &s->funcArg, ".")); } ARG_NAME { RUN(appendName(s, &s->funcArg)); }
  ;

/******** The comparison's tail: = t2.b, = t2.b + 1, = f(t2.b), = 5, = (5), = 'x', = ?, = :v ********/

cmp_tail
  : rhs_expr { endRightSide(s); }
  | rhs_expr LPAREN { RUN(openRightCall(s)); } func_args { RUN(appendFuncArgs(s, &s->rightPart)); }
    RPAREN { RUN(closeCall(s, &s->rightPart)); }
  | cmp_op NUMBER { RUN(rightValue(s, "", s->numberText, s->numberTooLong, "")); }
  | cmp_op LPAREN NUMBER RPAREN { RUN(rightValue(s, "(", s->numberText, s->numberTooLong, ")")); }
  | cmp_op STRING { RUN(rightValue(s, "", s->tokenText, s->tokenTooLong, "")); }
  | cmp_op QMARK { RUN(rightValue(s, "? ", nullptr, 0, "")); }
  | cmp_op COLON col_name { RUN(rightValue(s, ":", s->tokenText, s->tokenTooLong, "")); }
  | cmp_op COLON NUMBER { RUN(rightValue(s, ":", s->numberText, s->numberTooLong, "")); }
  ;

rhs_expr
  : rhs_column
  | rhs_column arith_op { RUN(appendArithOp(s, &s->rightPart)); }
    NUMBER { RUN(appendNumber(s, &s->rightPart)); }
  ;

rhs_column
  : rhs_one_part
  | rhs_two_part
  | rhs_two_part DOT { RUN(appendText(s, &s->rightPart, ".")); } col_name { RUN(appendName(s, &s->rightPart)); }
  ;

rhs_two_part
  : rhs_one_part DOT { RUN(appendText(s, &s->rightPart, ".")); } col_name { RUN(appendName(s, &s->rightPart)); }
  ;

rhs_one_part
  : cmp_op col_name { RUN(setRightColumn(s)); }
  ;

cmp_op
  : EQ { s->compOp = " = "; }
  | GT { s->compOp = " > "; }
  | GE { s->compOp = " >= "; }
  | LT { s->compOp = " < "; }
  | LE { s->compOp = " <= "; }
  | NE { s->compOp = " <> "; }
  ;

arith_op
  : PLUS { s->arithOp = " + "; }
  | SLASH { s->arithOp = " / "; }
  | STAR { s->arithOp = " * "; }
  | MINUS { s->arithOp = " - "; }
  ;

/******** Table references: t1, owner.t1, t1 x, t1 AS x ********/

table_ref
  : table_path { RUN(writeTable(s, TableForm::kPlain, $1)); }
  | table_path from_name { RUN(writeTable(s, TableForm::kAlias, $1)); }
  | table_path AS from_name { RUN(writeTable(s, TableForm::kAsAlias, $1)); }
  ;

table_path
  : from_name { $$ = 0; RUN(setName(s, &s->tableName, "")); }
  | from_name DOT { RUN(setName(s, &s->tableName, ".")); } from_name { $$ = oj::DOT; RUN(appendName(s, &s->tableName)); }
  ;

from_name
  : TABLE_NAME
  | QUOTED_TABLE_NAME
  ;

%%

static_assert(TOK_AND == oj::AND && TOK_OR == oj::OR && TOK_LEFT == oj::LEFT);
static_assert(TOK_RIGHT == oj::RIGHT && TOK_FULL == oj::FULL && TOK_INNER == oj::INNER);
static_assert(TOK_OUTER == oj::OUTER && TOK_JOIN == oj::JOIN && TOK_ON == oj::ON && TOK_AS == oj::AS);
static_assert(TOK_COLUMN_NAME == oj::COLUMN_NAME && TOK_QUOTED_COLUMN_NAME == oj::QUOTED_COLUMN_NAME);
static_assert(TOK_ARG_NAME == oj::ARG_NAME && TOK_TABLE_NAME == oj::TABLE_NAME);
static_assert(TOK_QUOTED_TABLE_NAME == oj::QUOTED_TABLE_NAME && TOK_NUMBER == oj::NUMBER);
static_assert(TOK_STRING == oj::STRING && TOK_PLUS == oj::PLUS && TOK_COLON == oj::COLON);
static_assert(TOK_COMMA == oj::COMMA && TOK_SLASH == oj::SLASH && TOK_DOT == oj::DOT);
static_assert(TOK_EQ == oj::EQ && TOK_GT == oj::GT && TOK_GE == oj::GE && TOK_LPAREN == oj::LPAREN);
static_assert(TOK_LT == oj::LT && TOK_LE == oj::LE && TOK_STAR == oj::STAR && TOK_NE == oj::NE);
static_assert(TOK_OJ_OPEN == oj::OJ_OPEN && TOK_QMARK == oj::QMARK && TOK_OJ_CLOSE == oj::OJ_CLOSE);
static_assert(TOK_RPAREN == oj::RPAREN && TOK_MINUS == oj::MINUS);

int ojParse(OuterJoinScanState* s) {
  parseStackReset(&s->parseStack);
  s->lastResult = 1;
  const int result = ojyyparse(s);
  parseStackRelease(&s->parseStack);
  return result == 0 ? 0 : 1;
}
