/* Grammar of the C expressions of the test script. */
%code top {
/* Deeper nesting is reported as an error in the expression. */
#define YYMAXDEPTH 80000
}

%code requires {
#include "canalysis/declarations/cgloba.h"
}

%code {
int cexprlex(CEXPRSTYPE* value, qvm::canalysis::ExprParse& parse);
void cexprerror(qvm::canalysis::ExprParse& parse, const char* message);

using namespace qvm::canalysis;
}

%define api.pure full
%define api.prefix {cexpr}
%define api.token.prefix {ETOK_}
%parse-param {qvm::canalysis::ExprParse& parse}
%lex-param {qvm::canalysis::ExprParse& parse}
%expect 0

%union {
    qvm::canalysis::ExprNode* node;
    int op;
}

%token <node> IDENTIFIER INT_CONST FLOAT_CONST STRING CAST
%token SIZEOF KEYWORD
%token RANGE ".." ARROW "->" FATARROW "=>" INC "++" DEC "--"
%token LSHIFT "<<" RSHIFT ">>" LE "<=" GE ">=" EQ "==" NE "!=" ANDAND "&&" OROR "||"
%token <op> ASSIGN_OP

%type <node> expression assignment conditional binary cast_expression unary postfix primary
%type <node> arguments list_elements strings

%left "||"
%left "&&"
%left '|'
%left '^'
%left '&'
%left "==" "!="
%left '<' '>' "<=" ">="
%left "<<" ">>"
%left '+' '-'
%left '*' '/' '%'

%%

start
    : %empty                    { parse.tree->root = nullptr; }
    | expression                { parse.tree->root = $1; }
    ;

expression
    : assignment
    | expression ',' assignment { $$ = expr::refused(parse, "SOUSEXPRE", $1); }
    ;

assignment
    : conditional
    | unary '=' assignment       { $$ = expr::refused(parse, "AFFECTATI", $1); }
    | unary ASSIGN_OP assignment { $$ = expr::refused(parse, "AFFECTATI", $1); }
    ;

conditional
    : binary
    | binary '?' expression ':' conditional
        { $$ = expr::node(parse, kExprConditional, $1, $3, $5); }
    ;

binary
    : cast_expression
    | binary "||" binary        { $$ = expr::binary(parse, kOpOr, $1, $3); }
    | binary "&&" binary        { $$ = expr::binary(parse, kOpAnd, $1, $3); }
    | binary '|' binary         { $$ = expr::binary(parse, '|', $1, $3); }
    | binary '^' binary         { $$ = expr::binary(parse, '^', $1, $3); }
    | binary '&' binary         { $$ = expr::binary(parse, '&', $1, $3); }
    | binary "==" binary        { $$ = expr::binary(parse, kOpEqual, $1, $3); }
    | binary "!=" binary        { $$ = expr::binary(parse, kOpNotEqual, $1, $3); }
    | binary '<' binary         { $$ = expr::binary(parse, '<', $1, $3); }
    | binary '>' binary         { $$ = expr::binary(parse, '>', $1, $3); }
    | binary "<=" binary        { $$ = expr::binary(parse, kOpLessEqual, $1, $3); }
    | binary ">=" binary        { $$ = expr::binary(parse, kOpGreaterEqual, $1, $3); }
    | binary "<<" binary        { $$ = expr::binary(parse, kOpShiftLeft, $1, $3); }
    | binary ">>" binary        { $$ = expr::binary(parse, kOpShiftRight, $1, $3); }
    | binary '+' binary         { $$ = expr::binary(parse, '+', $1, $3); }
    | binary '-' binary         { $$ = expr::binary(parse, '-', $1, $3); }
    | binary '*' binary         { $$ = expr::binary(parse, '*', $1, $3); }
    | binary '/' binary         { $$ = expr::binary(parse, '/', $1, $3); }
    | binary '%' binary         { $$ = expr::binary(parse, '%', $1, $3); }
    ;

cast_expression
    : unary
    | CAST cast_expression      { $$ = expr::setOperand($1, $2); }
    ;

unary
    : postfix
    | '-' cast_expression       { $$ = expr::unary(parse, '-', $2); }
    | '+' cast_expression       { $$ = expr::unary(parse, '+', $2); }
    | '!' cast_expression       { $$ = expr::unary(parse, '!', $2); }
    | '~' cast_expression       { $$ = expr::unary(parse, '~', $2); }
    | '*' cast_expression       { $$ = expr::unary(parse, '*', $2); }
    | '&' cast_expression       { $$ = expr::unary(parse, '&', $2); }
    | SIZEOF unary              { $$ = expr::node(parse, kExprSizeof, $2); }
    | SIZEOF CAST               { $$ = expr::node(parse, kExprSizeof); $$->type = $2->type; }
    | "++" unary                { $$ = expr::refused(parse, "POSTINCRE", $2); }
    | "--" unary                { $$ = expr::refused(parse, "POSTDECRE", $2); }
    ;

postfix
    : primary
    | postfix '[' expression ']'
        { $$ = expr::node(parse, kExprIndex, $1, $3); }
    | postfix '[' expression ".." expression ']'
        { $$ = expr::node(parse, kExprSlice, $1, $3, $5); }
    | postfix '(' ')'
        { $$ = expr::node(parse, kExprCall, $1); }
    | postfix '(' arguments ')'
        { $$ = expr::node(parse, kExprCall, $1, $3); }
    | postfix '.' IDENTIFIER
        { $$ = expr::node(parse, kExprMember, $1); $$->name = $3->name; $$->op = '.'; }
    | postfix "->" IDENTIFIER
        { $$ = expr::node(parse, kExprMember, $1); $$->name = $3->name; $$->op = kOpArrow; }
    | postfix "++"              { $$ = expr::refused(parse, "POSTINCRE", $1); }
    | postfix "--"              { $$ = expr::refused(parse, "POSTDECRE", $1); }
    ;

arguments
    : assignment
    | arguments ',' assignment  { $$ = expr::append($1, $3); }
    ;

primary
    : IDENTIFIER
    | INT_CONST
    | FLOAT_CONST
    | strings
    | '(' expression ')'        { $$ = expr::node(parse, kExprParenthesised, $2); }
    | '{' list_elements '}'     { $$ = expr::node(parse, kExprList, $2); }
    | '{' list_elements ',' '}' { $$ = expr::node(parse, kExprList, $2); }
    | '[' conditional ".." conditional ']'
        { $$ = expr::node(parse, kExprRange, $2, $4); }
    | '[' ".." conditional ']'  { $$ = expr::badRange(parse); }
    | '[' conditional ".." ']'  { $$ = expr::badRange(parse); }
    | '[' conditional ']'       { $$ = expr::badRange(parse); }
    ;

strings
    : STRING
    | strings STRING            { $$ = expr::joinStrings($1, $2); }
    ;

list_elements
    : assignment
    | list_elements ',' assignment  { $$ = expr::append($1, $3); }
    ;

%%
