/* Grammar of C declarations: interface files and native declarations. */
%code top {
/* Room for the deepest nesting accepted; the lexer refuses deeper. */
#define YYMAXDEPTH 200000
}

%code requires {
#include "canalysis/declarations/cgloba.h"
}

%code {
namespace cdecl_ns = qvm::canalysis;
int cdecllex(CDECLSTYPE* value, cdecl_ns::DeclParse& parse);
void cdeclerror(cdecl_ns::DeclParse& parse, const char* message);
// A syntax error that is only nesting past the grammar's limit.
void cdeclTooDeep(cdecl_ns::DeclParse& parse);

using namespace qvm::canalysis;
namespace {
template <typename T>
T* fresh(DeclParse& parse) { return parse.arena.make<T>(); }

// Specifiers with one basic type word more; the first word makes them.
DeclSpecs* withBasicWord(DeclParse& parse, DeclSpecs* specs, Ident word)
{
    if (specs == nullptr) {
        specs = fresh<DeclSpecs>(parse);
    }
    decl::addBasicWord(*specs, word);
    return specs;
}
// A declarator read whole: the next name read begins another.
Declarator* endDeclarator(DeclParse& parse, Declarator* declarator)
{
    parse.declaratorName = nullptr;
    return declarator;
}

// A field of a width only, with no name.
Declarator* widthOnly(DeclParse& parse, Ident width)
{
    Declarator* declarator = fresh<Declarator>(parse);
    declarator->width = width;
    return declarator;
}

// The list with one declarator more; the first one makes it.
DeclaratorList* listWith(DeclParse& parse, DeclaratorList* list, Declarator* declarator)
{
    if (list == nullptr) {
        list = fresh<DeclaratorList>(parse);
    }
    list->items.push_back(declarator);
    return list;
}

// Derivations (pointers, arrays, functions) allowed in one declarator.
constexpr std::size_t kMaxDerivations = kMaxNesting;

// Reads on from the token read to the end of a faulty declaration: a ';'
// or '}' (outside parentheses when pastParentheses), or a function body.
// Tag bodies are skipped whole while recovering.
int skipToDeclarationEnd(DeclParse& parse, CDECLSTYPE& value, int token, bool pastParentheses)
{
    parse.lex->recovering = true;
    while (token != DTOK_YYEOF) {
        if ((token == ';' || token == '}' || token == DTOK_BODY) && (!pastParentheses || parse.lex->parenDepth == 0)) {
            break;
        }
        token = cdecllex(&value, parse);
    }
    return token;
}

// After a declaration or field that a syntax error ended: the parse goes on
// with the token read when it can follow (it begins a declaration, or ends
// the body), else after the rest of the faulty declaration. An error inside a
// parameter list that goes on past the token read ends only after the list.
void resume(DeclParse& parse, int& lookahead, int& errorStatus, CDECLSTYPE& value, bool inBody)
{
    if (lookahead == DTOK_YYEOF) {
        return;
    }
    lookahead = decl::retokenAtDeclarationStart(parse, lookahead, value.id);
    errorStatus = 0;
    const std::size_t from = parse.lex->lookahead == DTOK_BAD_TEXT ? parse.lex->badTextEnd : parse.lex->pos;
    const bool inList = decl::insideParenthesesThatGoOn(*parse.lex, from);
    if (inList || !(decl::beginsDeclaration(lookahead) || lookahead == ';' || lookahead == '}')) {
        lookahead = skipToDeclarationEnd(parse, value, lookahead, inList);
    }
    if (lookahead == ';' && decl::bodyFollows(*parse.lex)) {
        // The ';' ended an old-style parameter declaration: the body follows.
        lookahead = cdecllex(&value, parse);
    }
    const decl::Resync within = inBody ? decl::Resync::InsideBody : decl::Resync::AfterDeclaration;
    if (lookahead == DTOK_BODY || (lookahead == '}' && !inBody)) {
        // Ends the faulty declaration (a '}' out of any body is stray).
        lookahead = DTOK_CDECLEMPTY;
        decl::resynchronised(parse, within);
    } else if (lookahead != DTOK_YYEOF) {
        decl::resynchronised(parse, inBody ? within : decl::Resync::AtNextDeclaration);
    }
}

// After a faulty enumerator: the rest of it is skipped up to the ',' or '}'
// that follows. A ';' or the start of a declaration met first means the
// body was left open: it is closed there, and so is the declaration when
// the token read begins the next one.
void resumeInEnumBody(DeclParse& parse, int& lookahead, int& errorStatus, CDECLSTYPE& value)
{
    parse.lex->recovering = true;
    for (;;) {
        if (lookahead == DTOK_YYEOF) {
            return;
        }
        lookahead = decl::retokenAtDeclarationStart(parse, lookahead, value.id);
        if (lookahead == ',' || lookahead == '}' || lookahead == ';' || decl::beginsDeclaration(lookahead)) {
            break;
        }
        lookahead = cdecllex(&value, parse);
    }
    errorStatus = 0;
    decl::resynchronised(parse, decl::Resync::InsideBody);
    if (lookahead == ',' || lookahead == '}') {
        return;
    }
    parse.pending.emplace_back(lookahead, value.id);
    if (lookahead != ';') {
        parse.pending.emplace_back(';', nullptr);
    }
    parse.pending.emplace_back('}', nullptr);
    lookahead = cdecllex(&value, parse);
}
}
}

%define api.pure full
%define api.prefix {cdecl}
%define api.token.prefix {DTOK_}
%parse-param {qvm::canalysis::DeclParse& parse}
%lex-param {qvm::canalysis::DeclParse& parse}
%expect 0

%union {
    qvm::canalysis::Ident id;
    qvm::canalysis::DeclSpecs* specs;
    qvm::canalysis::TypeSpecifier* typeSpecifier;
    qvm::canalysis::Declarator* declarator;
    qvm::canalysis::DeclaratorList* declarators;
    qvm::canalysis::ParameterList* parameters;
    qvm::canalysis::FieldList* fields;
    qvm::canalysis::EnumeratorList* enumerators;
    qvm::canalysis::OldStyleDecls* oldStyle;
    unsigned storage;
    int kind;
}

%token <id> IDENTIFIER TYPE_NAME TYPE_MODIFIER CONSTANT STRING
%token <id> INITIALIZER DIMENSION BITFIELD BODY
%token <id> CHAR SHORT INT LONG FLOAT DOUBLE VOID SIGNED UNSIGNED CONST VOLATILE INLINE
/* _Bool, __int128, _Complex and the _FloatN words. */
%token <id> MODERN_BASIC
/* The parentheses of "_Atomic ( type name )". */
%token ATOMIC_OPEN ATOMIC_CLOSE
%token ELLIPSIS
/* A value left unbalanced or empty: a syntax error wherever it stands. */
%token BAD_TEXT
%token TYPEDEF EXTERN STATIC AUTO REGISTER ALIGNOF
%token STRUCT UNION ENUM
%token CASE DEFAULT IF ELSE SWITCH WHILE DO FOR GOTO CONTINUE BREAK RETURN SIZEOF

%type <specs> decl_specifiers
%type <typeSpecifier> type_specifier
%type <declarator> declarator direct_declarator pointer
%type <declarator> abstract_declarator direct_abstract_declarator
%type <declarators> init_declarator_list struct_declarator_list
%type <parameters> parameter_type_list parameter_list identifier_list
%type <fields> struct_declaration_list struct_body
%type <enumerators> enumerator_list
%type <oldStyle> old_style_decls
%type <id> tag qualifier
%type <storage> storage
%type <kind> struct_or_union

%%

translation_unit
    : %empty
    | translation_unit external_declaration
        {
            /* the working records of one declaration are done with */
            parse.arena.clear();
            parse.declaratorName = nullptr;
        }
    ;

external_declaration
    : decl_specifiers ';'
        { decl::enterDeclarations(parse, $1, DeclaratorList{}); }
    | decl_specifiers init_declarator_list ';'
        { decl::enterDeclarations(parse, $1, *$2); }
    | init_declarator_list ';'
        { decl::enterDeclarations(parse, nullptr, *$1); }
    | decl_specifiers declarator BODY
        { decl::enterFunctionDefinition(parse, $1, *$2, nullptr); }
    | decl_specifiers declarator old_style_start old_style_decls BODY
        { decl::enterFunctionDefinition(parse, $1, *$2, $4); }
    | declarator BODY
        { decl::enterFunctionDefinition(parse, nullptr, *$1, nullptr); }
    | declarator old_style_start_implicit old_style_decls BODY
        { decl::enterFunctionDefinition(parse, nullptr, *$1, $3); }
    | ';'
    | error
        { resume(parse, yychar, yyerrstatus, yylval, false); }
    /* A missing ';' when the token in error begins the next declaration;
       otherwise the rest of the declaration is skipped. */
    | decl_specifiers init_declarator_list error
        {
            decl::enterDeclarations(parse, $1, *$2);
            decl::enterFaultyTypedef(parse, *$1, yychar, yylval.id);
            resume(parse, yychar, yyerrstatus, yylval, false);
        }
    /* An error right after the specifiers, or a declarator that
       old_style_start refused (and entered). */
    | decl_specifiers error
        {
            decl::enterFaultyTypedef(parse, *$1, yychar, yylval.id);
            resume(parse, yychar, yyerrstatus, yylval, false);
        }
    ;

/* Parameter declarations may follow only a function declarator with an
   identifier list; after any other declarator the ';' is missing and the
   error stands at the token read. */
old_style_start
    : %empty
        {
            if (!decl::acceptsOldStyleParameters(*$<declarator>0)) {
                cdeclerror(parse, "");
                decl::enterMissingSemicolon(parse, $<specs>-1, *$<declarator>0);
                YYERROR;
            }
        }
    ;

old_style_start_implicit
    : %empty
        {
            if (!decl::acceptsOldStyleParameters(*$<declarator>0)) {
                cdeclerror(parse, "");
                YYERROR;
            }
        }
    ;

old_style_decls
    : decl_specifiers init_declarator_list ';'
        { $$ = fresh<OldStyleDecls>(parse); $$->decls.emplace_back($1, $2); }
    | old_style_decls decl_specifiers init_declarator_list ';'
        { $$ = $1; $$->decls.emplace_back($2, $3); }
    ;

decl_specifiers
    : storage                           { $$ = fresh<DeclSpecs>(parse); decl::addStorage(*$$, $1); }
    | qualifier                         { $$ = fresh<DeclSpecs>(parse); decl::addQualifier(*$$, $1); }
    | type_specifier                    { $$ = fresh<DeclSpecs>(parse); decl::addType(*$$, *$1); }
    | decl_specifiers storage           { $$ = $1; decl::addStorage(*$$, $2); }
    | decl_specifiers qualifier         { $$ = $1; decl::addQualifier(*$$, $2); }
    | decl_specifiers type_specifier    { $$ = $1; decl::addType(*$$, *$2); }
    /* The basic words go straight into the specifiers, with no rule and no
       record of their own: a header is mostly made of them. */
    | CHAR                            { $$ = withBasicWord(parse, nullptr, $1); }
    | SHORT                           { $$ = withBasicWord(parse, nullptr, $1); }
    | INT                             { $$ = withBasicWord(parse, nullptr, $1); }
    | LONG                            { $$ = withBasicWord(parse, nullptr, $1); }
    | FLOAT                           { $$ = withBasicWord(parse, nullptr, $1); }
    | DOUBLE                          { $$ = withBasicWord(parse, nullptr, $1); }
    | VOID                            { $$ = withBasicWord(parse, nullptr, $1); }
    | SIGNED                          { $$ = withBasicWord(parse, nullptr, $1); }
    | UNSIGNED                        { $$ = withBasicWord(parse, nullptr, $1); }
    | MODERN_BASIC                    { $$ = withBasicWord(parse, nullptr, $1); }
    | decl_specifiers CHAR            { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers SHORT           { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers INT             { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers LONG            { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers FLOAT           { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers DOUBLE          { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers VOID            { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers SIGNED          { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers UNSIGNED        { $$ = withBasicWord(parse, $1, $2); }
    | decl_specifiers MODERN_BASIC    { $$ = withBasicWord(parse, $1, $2); }
    ;

storage
    : TYPEDEF       { $$ = kTypedef; }
    | EXTERN        { $$ = kExtern; }
    | STATIC        { $$ = kStatic; }
    | AUTO          { $$ = kAuto; }
    | REGISTER      { $$ = kRegister; }
    ;

qualifier
    : CONST | VOLATILE | INLINE | TYPE_MODIFIER
    ;

type_specifier
    : TYPE_NAME
        { $$ = fresh<TypeSpecifier>(parse); $$->type = decl::typedefNameType(parse, $1); $$->spellAs($1); }
    | ATOMIC_OPEN decl_specifiers ATOMIC_CLOSE
        { $$ = decl::typeNameSpecifier(parse, *$2, nullptr); }
    | ATOMIC_OPEN decl_specifiers abstract_declarator ATOMIC_CLOSE
        { $$ = decl::typeNameSpecifier(parse, *$2, $3); }
    | struct_or_union struct_body
        {
            $$ = fresh<TypeSpecifier>(parse);
            $$->type = decl::aggregateType(parse, static_cast<TypeKind>($1), nullptr, $2);
            $$->spellAs(C_CPP_type_image($$->type.get()));
        }
    | struct_or_union tag struct_body
        {
            $$ = fresh<TypeSpecifier>(parse);
            $$->type = decl::aggregateType(parse, static_cast<TypeKind>($1), $2, $3);
            $$->spellAs(C_CPP_type_image($$->type.get()));
        }
    | struct_or_union tag
        {
            $$ = fresh<TypeSpecifier>(parse);
            $$->type = decl::aggregateType(parse, static_cast<TypeKind>($1), $2, nullptr);
            $$->spellAs(C_CPP_type_image($$->type.get()));
        }
    | ENUM '{' enumerator_list comma_opt '}'
        {
            $$ = fresh<TypeSpecifier>(parse);
            $$->type = decl::enumType(parse, nullptr, $3);
            $$->spellAs(C_CPP_type_image($$->type.get()));
        }
    | ENUM tag '{' enumerator_list comma_opt '}'
        {
            $$ = fresh<TypeSpecifier>(parse);
            $$->type = decl::enumType(parse, $2, $4);
            $$->spellAs(C_CPP_type_image($$->type.get()));
        }
    | ENUM tag
        {
            $$ = fresh<TypeSpecifier>(parse);
            $$->type = decl::enumType(parse, $2, nullptr);
            $$->spellAs(C_CPP_type_image($$->type.get()));
        }
    ;

struct_or_union
    : STRUCT        { $$ = kStruct; }
    | UNION         { $$ = kUnion; }
    ;

tag
    : IDENTIFIER | TYPE_NAME
    ;

comma_opt
    : %empty | ','
    ;

struct_body
    : '{' struct_declaration_list '}'
        { $$ = $2; parse.declaratorName = nullptr; }
    ;

struct_declaration_list
    : %empty
        { $$ = fresh<FieldList>(parse); }
    | struct_declaration_list decl_specifiers struct_declarator_list ';'
        { $$ = $1; decl::addFields(*$$, *$2, $3); }
    | struct_declaration_list decl_specifiers ';'
        { $$ = $1; decl::addFields(*$$, *$2, nullptr); }
    | struct_declaration_list ';'
        { $$ = $1; }
    | struct_declaration_list decl_specifiers struct_declarator_list error
        {
            $$ = $1;
            decl::addFields(*$$, *$2, $3);
            resume(parse, yychar, yyerrstatus, yylval, true);
        }
    | struct_declaration_list decl_specifiers error
        { $$ = $1; resume(parse, yychar, yyerrstatus, yylval, true); }
    | struct_declaration_list error
        { $$ = $1; resume(parse, yychar, yyerrstatus, yylval, true); }
    ;

/* The declarators stand in their lists rather than in rules of their own:
   one reduction fewer for each. */
struct_declarator_list
    : declarator
        { $$ = listWith(parse, nullptr, endDeclarator(parse, $1)); }
    | declarator BITFIELD
        { $1->width = $2; $$ = listWith(parse, nullptr, endDeclarator(parse, $1)); }
    | BITFIELD
        { $$ = listWith(parse, nullptr, widthOnly(parse, $1)); }
    | struct_declarator_list ',' declarator
        { $$ = listWith(parse, $1, endDeclarator(parse, $3)); }
    | struct_declarator_list ',' declarator BITFIELD
        { $3->width = $4; $$ = listWith(parse, $1, endDeclarator(parse, $3)); }
    | struct_declarator_list ',' BITFIELD
        { $$ = listWith(parse, $1, widthOnly(parse, $3)); }
    ;

enumerator_list
    : enumerator
        { $$ = fresh<EnumeratorList>(parse); decl::addEnumerator(*$$, parse.enumerator); }
    | enumerator_list ',' enumerator
        { $$ = $1; decl::addEnumerator(*$$, parse.enumerator); }
    ;

/* A syntax error drops the enumerator only when its value was faulty, or
   when no name was read. The enumerator read waits in parse.enumerator for
   the list rule, which the parser reduces right after it; keeping it out of
   the semantic values keeps every value one word. */
enumerator
    : IDENTIFIER
        { parse.enumerator = {$1, nullptr}; }
    | IDENTIFIER INITIALIZER
        { parse.enumerator = {$1, $2}; }
    | IDENTIFIER error
        {
            parse.enumerator = {yychar == DTOK_BAD_TEXT ? nullptr : $1, nullptr};
            resumeInEnumBody(parse, yychar, yyerrstatus, yylval);
        }
    | IDENTIFIER INITIALIZER error
        { parse.enumerator = {$1, $2}; resumeInEnumBody(parse, yychar, yyerrstatus, yylval); }
    | error
        { parse.enumerator = {nullptr, nullptr}; resumeInEnumBody(parse, yychar, yyerrstatus, yylval); }
    ;

init_declarator_list
    : declarator
        { $$ = listWith(parse, nullptr, endDeclarator(parse, $1)); }
    | declarator INITIALIZER
        { $1->init = $2; $$ = listWith(parse, nullptr, endDeclarator(parse, $1)); }
    | init_declarator_list ',' declarator
        { $$ = listWith(parse, $1, endDeclarator(parse, $3)); }
    | init_declarator_list ',' declarator INITIALIZER
        { $3->init = $4; $$ = listWith(parse, $1, endDeclarator(parse, $3)); }
    ;

declarator
    : pointer direct_declarator
        { $$ = $2; decl::prependOps(*$$, *$1); }
    | direct_declarator
    ;

pointer
    : '*'
        { $$ = fresh<Declarator>(parse); $$->ops.push_back({}); }
    | pointer '*'
        {
            $$ = $1;
            $$->ops.push_back({});
            if ($$->ops.size() > kMaxDerivations) { cdeclTooDeep(parse); YYERROR; }
        }
    | pointer qualifier
        { $$ = $1; $$->ops.back().qualifiers.push_back($2); }
    ;

direct_declarator
    : IDENTIFIER
        {
            $$ = fresh<Declarator>(parse);
            $$->name = $1;
            $$->line = parse.lex->line;
            if (parse.declaratorName == nullptr) {
                parse.declaratorName = $1;
            }
        }
    | '(' declarator ')'
        { $$ = $2; }
    | direct_declarator DIMENSION
        {
            $$ = $1;
            if ($$->ops.size() >= kMaxDerivations) { cdeclTooDeep(parse); YYERROR; }
            DeclaratorOp op;
            op.kind = DeclaratorOp::Array;
            op.dimension = decl::rewriteDimension(parse, $2);
            $$->ops.insert($$->ops.begin(), std::move(op));
        }
    | direct_declarator '(' parameter_type_list ')'
        {
            $$ = $1;
            if ($$->ops.size() >= kMaxDerivations) { cdeclTooDeep(parse); YYERROR; }
            decl::functionOp(*$$, $3, true);
        }
    | direct_declarator '(' identifier_list ')'
        { $$ = $1; decl::functionOp(*$$, $3, false); }
    | direct_declarator '(' ')'
        { $$ = $1; decl::functionOp(*$$, nullptr, false); }
    /* A faulty value after a declarator (initialiser, dimension, width)
       drops the declarator. */
    | direct_declarator BAD_TEXT
        { cdeclerror(parse, ""); YYERROR; }
    ;

abstract_declarator
    : pointer
    | direct_abstract_declarator
    | pointer direct_abstract_declarator
        { $$ = $2; decl::prependOps(*$$, *$1); }
    ;

direct_abstract_declarator
    : '(' abstract_declarator ')'
        { $$ = $2; }
    | DIMENSION
        {
            $$ = fresh<Declarator>(parse);
            DeclaratorOp op;
            op.kind = DeclaratorOp::Array;
            op.dimension = decl::rewriteDimension(parse, $1);
            $$->ops.push_back(std::move(op));
        }
    | direct_abstract_declarator DIMENSION
        {
            $$ = $1;
            if ($$->ops.size() >= kMaxDerivations) { cdeclTooDeep(parse); YYERROR; }
            DeclaratorOp op;
            op.kind = DeclaratorOp::Array;
            op.dimension = decl::rewriteDimension(parse, $2);
            $$->ops.insert($$->ops.begin(), std::move(op));
        }
    | '(' ')'
        { $$ = fresh<Declarator>(parse); decl::functionOp(*$$, nullptr, false); }
    | '(' parameter_type_list ')'
        { $$ = fresh<Declarator>(parse); decl::functionOp(*$$, $2, true); }
    | direct_abstract_declarator '(' ')'
        { $$ = $1; decl::functionOp(*$$, nullptr, false); }
    | direct_abstract_declarator '(' parameter_type_list ')'
        { $$ = $1; decl::functionOp(*$$, $3, true); }
    ;

parameter_type_list
    : parameter_list
    | parameter_list ',' ELLIPSIS
        { $$ = $1; $$->parameters.push_back({nullptr, C_CPP_new_type(kEllipsis)}); }
    | ELLIPSIS
        { $$ = fresh<ParameterList>(parse); $$->parameters.push_back({nullptr, C_CPP_new_type(kEllipsis)}); }
    ;

parameter_list
    : decl_specifiers declarator
        { $$ = fresh<ParameterList>(parse); $$->parameters.push_back(decl::parameterOf(*$1, $2)); }
    | decl_specifiers abstract_declarator
        { $$ = fresh<ParameterList>(parse); $$->parameters.push_back(decl::parameterOf(*$1, $2)); }
    | decl_specifiers
        { $$ = fresh<ParameterList>(parse); $$->parameters.push_back(decl::parameterOf(*$1, nullptr)); }
    | parameter_list ',' decl_specifiers declarator
        { $$ = $1; $$->parameters.push_back(decl::parameterOf(*$3, $4)); }
    | parameter_list ',' decl_specifiers abstract_declarator
        { $$ = $1; $$->parameters.push_back(decl::parameterOf(*$3, $4)); }
    | parameter_list ',' decl_specifiers
        { $$ = $1; $$->parameters.push_back(decl::parameterOf(*$3, nullptr)); }
    ;

identifier_list
    : IDENTIFIER
        { $$ = fresh<ParameterList>(parse); $$->names.push_back($1); }
    | identifier_list ',' IDENTIFIER
        { $$ = $1; $$->names.push_back($3); }
    ;

%%
