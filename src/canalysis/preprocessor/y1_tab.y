/* Grammar of the constant expressions of #if and #elif. */
%code top {
/* The parser stack holds at most 150 states; a deeper expression is a syntax error. */
#define YYINITDEPTH 150
#define YYMAXDEPTH 150
}

%code requires {
#include "canalysis/preprocessor/cevalif_detail.h"
}

%code {
int cpiflex(CPIFSTYPE* token, qvm::canalysis::evalif::Context& ctx);
void cpiferror(qvm::canalysis::evalif::Context& ctx, const char* message);

using qvm::canalysis::evalif::BinaryOp;
using qvm::canalysis::evalif::UnaryOp;
namespace evalif = qvm::canalysis::evalif;
}

%define api.pure full
%define api.prefix {cpif}
%define api.token.prefix {IFTOK_}
%define api.value.type {qvm::canalysis::evalif::Value}
%parse-param {qvm::canalysis::evalif::Context& ctx}
%lex-param {qvm::canalysis::evalif::Context& ctx}
%expect 0

%token NUMBER CHARACTER NAME SIZEOF
%token ANDAND "&&" OROR "||" LSHIFT "<<" RSHIFT ">>"
%token EQUAL "==" NOTEQUAL "!=" LESSEQUAL "<=" GREATEREQUAL ">="

%right '?' ':'
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
%precedence UNARY

%%

start
    : exp1
        {
            ctx.result = $1;
            ctx.accepted = true;
            ctx.textLeft = yychar != IFTOK_CPIFEMPTY && yychar != IFTOK_YYEOF;
            YYACCEPT;
        }
    ;

exp1
    : exp
    | exp1 ',' exp              { $$ = $3; }
    ;

exp
    : '-' exp %prec UNARY       { $$ = evalif::unary(UnaryOp::Negate, $2); }
    | '!' exp %prec UNARY       { $$ = evalif::unary(UnaryOp::Not, $2); }
    | '+' exp %prec UNARY       { $$ = evalif::unary(UnaryOp::Plus, $2); }
    | '~' exp %prec UNARY       { $$ = evalif::unary(UnaryOp::Complement, $2); }
    | '(' exp1 ')'              { $$ = $2; }
    | exp '*' exp               { $$ = evalif::binary(BinaryOp::Multiply, $1, $3); }
    | exp '/' exp               { $$ = evalif::binary(BinaryOp::Divide, $1, $3); }
    | exp '%' exp               { $$ = evalif::binary(BinaryOp::Remainder, $1, $3); }
    | exp '+' exp               { $$ = evalif::binary(BinaryOp::Add, $1, $3); }
    | exp '-' exp               { $$ = evalif::binary(BinaryOp::Subtract, $1, $3); }
    | exp "<<" exp              { $$ = evalif::binary(BinaryOp::ShiftLeft, $1, $3); }
    | exp ">>" exp              { $$ = evalif::binary(BinaryOp::ShiftRight, $1, $3); }
    | exp "==" exp              { $$ = evalif::binary(BinaryOp::Equal, $1, $3); }
    | exp "!=" exp              { $$ = evalif::binary(BinaryOp::NotEqual, $1, $3); }
    | exp "<=" exp              { $$ = evalif::binary(BinaryOp::LessEqual, $1, $3); }
    | exp ">=" exp              { $$ = evalif::binary(BinaryOp::GreaterEqual, $1, $3); }
    | exp '<' exp               { $$ = evalif::binary(BinaryOp::Less, $1, $3); }
    | exp '>' exp               { $$ = evalif::binary(BinaryOp::Greater, $1, $3); }
    | exp '&' exp               { $$ = evalif::binary(BinaryOp::BitAnd, $1, $3); }
    | exp '^' exp               { $$ = evalif::binary(BinaryOp::BitXor, $1, $3); }
    | exp '|' exp               { $$ = evalif::binary(BinaryOp::BitOr, $1, $3); }
    | exp "&&" exp              { $$ = evalif::binary(BinaryOp::LogicalAnd, $1, $3); }
    | exp "||" exp              { $$ = evalif::binary(BinaryOp::LogicalOr, $1, $3); }
    | exp '?' exp ':' exp       { $$ = evalif::conditional($1, $3, $5); }
    | NUMBER
    | CHARACTER
    | NAME                      { $$ = evalif::Value{}; }
    | SIZEOF
    ;

%%

void cpiferror(qvm::canalysis::evalif::Context& ctx, const char*)
{
    ctx.reportError();
}
