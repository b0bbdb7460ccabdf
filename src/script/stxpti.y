/* Grammar of the test script language. In the tree a list is a chain in
   script order: child 0 the element, the last child the rest of the list.
   The grammar builds those chains with left-recursive rules that append each
   new link at the tail, so the parser stack does not grow with the length
   of a list; a list's rule ends with ctx.finish once its last element is in. */

%require "3.6"
%define api.pure full
%define api.prefix {stx}
%define api.token.prefix {TK_}
%define parse.error simple
%param {qvm::script::ParserContext& ctx}

%code requires {
#include "script/stxpti_context.h"
}

%union {
    qvm::script::SyntaxNode* node;
    qvm::script::NodeChain chain;
    const qvm::script::KeptText* text;
    int token;
}

%code {
#include <string_view>

#define YYMAXDEPTH 102400

using namespace qvm::script;

int stxlex(STXSTYPE* value, ParserContext& ctx);
void stxerror(ParserContext& ctx, const char* message);
}

%token NEWLINE "NEWLINE"
%token LPAREN "("
%token RPAREN ")"
%token LBRACKET "["
%token RBRACKET "]"
%token ARROW "=>"
%token COMMA ","
%token AT "@"
%token COLON ":"
%token SEMICOLON ";"
%token ELLIPSIS "..."
%token STAR "*"

%token ADD_ID CALL CALLBACK VIRTUAL_CALLBACK CASE CATCH CLEAR_ID COMMTYPE CHANNEL
%token DEF_MESSAGE DEF_TRIGGER DISABLE_CLEANUP ELSE ENABLE_CLEANUP END ERROR EXCEPTION
%token EXIT FAMILY FD_ADD FD_DEL HEADER IF INCLUDE INITIALIZATION IS LOOP ON
%token OTHERS MESSAGE MESSAGE_DATE MULTIPLEXING NO_MESSAGE PAUSE PRINT PROC REF
%token DECLARE_INSTANCE INSTANCE SEND PROCSEND VIRTUAL_PROCSEND TRACE_ON TRACE_OFF
%token FLUSH_TRACE INTERSEND INTERRECV RENDEZVOUS RESET SCENARIO SET SHARE TERMINATION
%token TIMEOUT TIMER THEN TRIGGER UNSET EV_EQ VAR WAITTIL WITH WHEN WHILE
%token MATCH_COMMA MATCH_CLOSE MATCHING MATCHED NOTMATCHING NOTMATCHED BAD_SEQUENCE

%token <text> FORMAT INIT EV
%token <text> NUMBER STRING ENV_VAR SCOPED_IDENT IDENT CHAR_CONST COMMENT
%token <text> NATIVE_HASH_LINE NATIVE_AT_LINE FILTER_SINGLE FILTER_DOUBLE NATIVE_EXPR

/* An INCLUDE line right after a declaration belongs to the declaration part;
   the scenario part starts with the first item that cannot be a declaration. */
%precedence DECLARATIONS_END
%precedence INCLUDE

%type <node> header header_value declarations declaration_entry instance_block
%type <node> instance_declarations instance_declaration declaration trigger_fields procedure
%type <node> parameters parameter include format_instruction catch commtype properties channel
%type <node> message name_list callback virtual_callback procsend virtual_procsend
%type <node> callback_name callback_on procsend_name procsend_on scenario_items scenario_item
%type <node> scenario scenario_loop family_part scenario_contents initialization termination
%type <node> exception block_mark body hash_lines instance_begin instance_names
%type <node> instance_lines nested_body instruction_line filter_part instruction call_at
%type <node> arguments argument at_expression expression match_piece match_names when_clauses
%type <node> when_clause when_list when_value else_part trigger_values var_check name
%type <node> family_names body_element nested_element when_head parameter_type
%type <node> first_scenario_items leading_scenario_item
/* The keywords that are words: met where a name belongs, one of them is
   reported as reserved and read as the name, so that the line parses on. */
%type <token> ADD_ID CALL CALLBACK CASE CATCH CLEAR_ID COMMTYPE CHANNEL DEF_MESSAGE DEF_TRIGGER
%type <token> DISABLE_CLEANUP ELSE ENABLE_CLEANUP END ERROR EXCEPTION EXIT FAMILY FD_ADD FD_DEL
%type <token> HEADER IF INCLUDE INITIALIZATION IS LOOP ON OTHERS MESSAGE MESSAGE_DATE MULTIPLEXING
%type <token> NO_MESSAGE PAUSE PRINT PROC REF DECLARE_INSTANCE INSTANCE SEND PROCSEND TRACE_ON
%type <token> TRACE_OFF FLUSH_TRACE INTERSEND INTERRECV RENDEZVOUS RESET SCENARIO SET SHARE
%type <token> TERMINATION TIMEOUT TIMER THEN TRIGGER UNSET VAR WAITTIL WITH WHEN WHILE reserved_word
%type <chain> declaration_links instance_declaration_links trigger_field_links parameter_links
%type <chain> property_links name_links scenario_item_links family_name_links
%type <chain> body_ending_hash body_ending_plain hash_line_links instance_name_links
%type <chain> instance_line_links nested_links when_clause_links when_links trigger_value_links
%type <chain> argument_links piece_links first_scenario_item_links

%%

script:
    header declarations scenario_items
        { ctx.setRoot(ctx.node(STX_SCRIPT, $1, $2, $3)); }
  | header first_scenario_items
        { ctx.setRoot(ctx.node(STX_SCRIPT, $1, nullptr, $2)); }
    ;

/* A script without declarations starts its scenario part at once; an
   INCLUDE right after the header stays a declaration. */
first_scenario_items:
    first_scenario_item_links  { $$ = ctx.finish($1); }
    ;

first_scenario_item_links:
    leading_scenario_item
        { $$ = ctx.chain(ctx.node(STX_SCENARIO_ITEM_LIST, $1)); }
  | first_scenario_item_links scenario_item
        { $$ = ctx.append($1, ctx.node(STX_SCENARIO_ITEM_LIST, $2)); }
    ;

leading_scenario_item:
    scenario                { $$ = $1; }
  | initialization NEWLINE  { $$ = $1; }
  | termination NEWLINE     { $$ = $1; }
  | exception NEWLINE       { $$ = $1; }
    ;

header:
    HEADER header_value "," header_value "," header_value NEWLINE
        { $$ = ctx.node(STX_HEADER, $2, $4, $6); }
  | NEWLINE header
        { $$ = $2; }
    ;

header_value:
    STRING   { $$ = ctx.leaf(STX_STRING, $1); }
  | ENV_VAR  { $$ = ctx.leaf(STX_ENV_VAR, $1); }
    ;

/* ---- declaration part ---- */

declarations:
    declaration_links %prec DECLARATIONS_END
        { $$ = ctx.finish($1); }
    ;

declaration_links:
    declaration_entry                    { $$ = ctx.chain(ctx.declarationLink($1)); }
  | declaration_links declaration_entry  { $$ = ctx.append($1, ctx.declarationLink($2)); }
    ;

declaration_entry:
    declaration
        { $$ = $1; }
  | DECLARE_INSTANCE instance_names NEWLINE
        { $$ = ctx.node(STX_DECLARE_INSTANCE, $2); }
  | instance_block
        { $$ = $1; }
  | error NEWLINE
        { $$ = nullptr; }
    ;

instance_block:
    INSTANCE instance_names ":" NEWLINE instance_declarations END INSTANCE NEWLINE
        { $$ = ctx.node(STX_INSTANCE_BLOCK, $2, $5); }
    ;

instance_declarations:
    instance_declaration_links  { $$ = ctx.finish($1); }
    ;

instance_declaration_links:
    instance_declaration
        { $$ = ctx.chain(ctx.node(STX_INSTANCE_DECL_LIST, $1)); }
  | instance_declaration_links instance_declaration
        { $$ = ctx.append($1, ctx.node(STX_INSTANCE_DECL_LIST, $2)); }
    ;

instance_declaration:
    declaration   { $$ = $1; }
  | error NEWLINE { $$ = nullptr; }
    ;

declaration:
    NATIVE_HASH_LINE NEWLINE              { $$ = ctx.leaf(STX_HASH_LINE, $1); }
  | NATIVE_AT_LINE NEWLINE                { $$ = ctx.leaf(STX_AT_LINE, $1); }
  | TRIGGER name trigger_fields NEWLINE   { $$ = ctx.node(STX_TRIGGER, $2, $3); }
  | SHARE name NEWLINE                    { $$ = ctx.node(STX_SHARE, $2); }
  | procedure NEWLINE                     { $$ = $1; }
  | include                               { $$ = $1; }
  | format_instruction NEWLINE            { $$ = $1; }
  | catch NEWLINE                         { $$ = $1; }
  | commtype NEWLINE                      { $$ = $1; }
  | channel NEWLINE                       { $$ = $1; }
  | message NEWLINE                       { $$ = $1; }
  | callback NEWLINE                      { $$ = $1; }
  | virtual_callback NEWLINE              { $$ = $1; }
  | procsend NEWLINE                      { $$ = $1; }
  | virtual_procsend NEWLINE              { $$ = $1; }
  | TIMER name NEWLINE                    { $$ = ctx.node(STX_TIMER, $2); }
  | NEWLINE                               { $$ = nullptr; }
    ;

trigger_fields:
    trigger_field_links  { $$ = ctx.finish($1); }
    ;

trigger_field_links:
    name                          { $$ = ctx.chain(ctx.node(STX_TRIGGER_FIELD_LIST, $1)); }
  | trigger_field_links "," name  { $$ = ctx.append($1, ctx.node(STX_TRIGGER_FIELD_LIST, $3)); }
    ;

procedure:
    PROC name "(" ")" NEWLINE body END PROC
        { $$ = ctx.node(STX_PROC, $2, nullptr, $6); }
  | PROC name "(" parameters ")" NEWLINE body END PROC
        { $$ = ctx.node(STX_PROC, $2, $4, $7); }
    ;

parameters:
    parameter_links  { $$ = ctx.finish($1); }
    ;

parameter_links:
    parameter                      { $$ = ctx.chain(ctx.node(STX_PARAM_LIST, $1)); }
  | parameter_links "," parameter  { $$ = ctx.append($1, ctx.node(STX_PARAM_LIST, $3)); }
    ;

/* A parameter is written as C declares it: "int n", "unsigned long n",
   "const char *text", "struct ring *r". */
parameter:
    parameter_type name  { $$ = ctx.node(STX_PARAM, $1, $2); }
    ;

parameter_type:
    name                 { $$ = ctx.typeWords(nullptr, $1); }
  | parameter_type name  { $$ = ctx.typeWords($1, $2); }
  | parameter_type "*"   { $$ = ctx.typeWords($1, nullptr); }
    ;

include:
    INCLUDE STRING NEWLINE
        { if (!ctx.openInclude($2)) { YYABORT; } $$ = ctx.node(STX_INCLUDE); }
    ;

format_instruction:
    FORMAT expression
        { $$ = ctx.node(STX_FORMAT, ctx.formatKey($1), $2); }
    ;

catch:
    CATCH name WITH name      { $$ = ctx.node(STX_CATCH, $2, $4); }
  | CATCH "..." WITH name     { $$ = ctx.node(STX_CATCH, nullptr, $4); }
    ;

commtype:
    COMMTYPE name IS name                  { $$ = ctx.node(STX_COMMTYPE, $2, $4); }
  | COMMTYPE name IS name WITH properties  { $$ = ctx.node(STX_COMMTYPE, $2, $4, $6); }
    ;

properties:
    property_links  { $$ = ctx.finish($1, ChainStamp::LinksAndElements); }
    ;

property_links:
    MULTIPLEXING
        { $$ = ctx.chain(ctx.node(STX_PROPERTY_LIST, ctx.node(STX_MULTIPLEXING))); }
  | property_links "," MULTIPLEXING
        { $$ = ctx.append($1, ctx.node(STX_PROPERTY_LIST, ctx.node(STX_MULTIPLEXING))); }
    ;

channel:
    CHANNEL name ":" name_list  { $$ = ctx.node(STX_CHANNEL, $2, ctx.relabel($4, STX_CHANNEL_ITEM_LIST)); }
    ;

message:
    MESSAGE name ":" name_list  { $$ = ctx.node(STX_MESSAGE, $2, ctx.relabel($4, STX_MESSAGE_ITEM_LIST)); }
    ;

/* A chain of names; the rule that uses it gives the chain its kind. */
name_list:
    name_links  { $$ = ctx.finish($1); }
    ;

name_links:
    name                 { $$ = ctx.chain(ctx.node(STX_EMPTY, $1)); }
  | name_links "," name  { $$ = ctx.append($1, ctx.node(STX_EMPTY, $3)); }
    ;

callback:
    CALLBACK callback_name ON callback_on NEWLINE body END CALLBACK
        { $$ = ctx.node(STX_CALLBACK, $2, $4, $6); }
    ;

virtual_callback:
    VIRTUAL_CALLBACK callback_name ON callback_on NEWLINE body END CALLBACK
        { $$ = ctx.node(STX_VIRTUAL_CALLBACK, $2, $4, $6); }
    ;

callback_name:
    name ":" name  { $$ = ctx.node(STX_CALLBACK_NAME, $1, $3); }
    ;

callback_on:
    name ":" name               { $$ = ctx.node(STX_CALLBACK_ON, $1, $3); }
  | name ":" name "[" name "]"  { $$ = ctx.node(STX_CALLBACK_ON, $1, $3, $5); }
    ;

procsend:
    PROCSEND procsend_name ON procsend_on NEWLINE body END PROCSEND
        { $$ = ctx.node(STX_PROCSEND, $2, $4, $6); }
    ;

virtual_procsend:
    VIRTUAL_PROCSEND procsend_name ON procsend_on NEWLINE body END PROCSEND
        { $$ = ctx.node(STX_VIRTUAL_PROCSEND, $2, $4, $6); }
    ;

procsend_name:
    name ":" name  { $$ = ctx.node(STX_PROCSEND_NAME, $1, $3); }
    ;

procsend_on:
    name ":" name  { $$ = ctx.node(STX_PROCSEND_ON, $1, $3); }
    ;

/* ---- scenarios ---- */

scenario_items:
    scenario_item_links  { $$ = ctx.finish($1); }
    ;

scenario_item_links:
    scenario_item                      { $$ = ctx.chain(ctx.node(STX_SCENARIO_ITEM_LIST, $1)); }
  | scenario_item_links scenario_item  { $$ = ctx.append($1, ctx.node(STX_SCENARIO_ITEM_LIST, $2)); }
    ;

scenario_item:
    scenario                { $$ = $1; }
  | initialization NEWLINE  { $$ = $1; }
  | termination NEWLINE     { $$ = $1; }
  | exception NEWLINE       { $$ = $1; }
  | include                 { $$ = $1; }
    ;

scenario:
    SCENARIO name scenario_loop family_part scenario_contents END SCENARIO NEWLINE
        { $$ = ctx.node(STX_SCENARIO, $2, ctx.node(STX_SCENARIO_BODY, $3, $4, $5)); }
    ;

scenario_loop:
    LOOP NUMBER NEWLINE  { $$ = ctx.leaf(STX_CONSTANT, $2); }
  | NEWLINE              { $$ = nullptr; }
    ;

family_part:
    %empty                         { $$ = ctx.node(STX_EMPTY); }
  | FAMILY family_names NEWLINE    { $$ = ctx.node(STX_FAMILY, $2); }
    ;

family_names:
    family_name_links  { $$ = ctx.finish($1); }
    ;

family_name_links:
    name                        { $$ = ctx.chain(ctx.node(STX_FAMILY_NAMES, $1)); }
  | family_name_links "," name  { $$ = ctx.append($1, ctx.node(STX_FAMILY_NAMES, $3)); }
    ;

scenario_contents:
    scenario_items  { $$ = $1; }
  | body            { $$ = $1; }
    ;

initialization:
    INITIALIZATION name "(" arguments ")"
        { $$ = ctx.node(STX_INITIALIZATION, $2, nullptr, $4); }
  | INITIALIZATION block_mark body END INITIALIZATION
        { $$ = ctx.node(STX_INITIALIZATION, nullptr, $3, $2); }
    ;

termination:
    TERMINATION name "(" arguments ")"
        { $$ = ctx.node(STX_TERMINATION, $2, nullptr, $4); }
  | TERMINATION block_mark body END TERMINATION
        { $$ = ctx.node(STX_TERMINATION, nullptr, $3, $2); }
    ;

exception:
    EXCEPTION name "(" arguments ")"
        { $$ = ctx.node(STX_EXCEPTION, $2, nullptr, $4); }
  | EXCEPTION block_mark body END EXCEPTION
        { $$ = ctx.node(STX_EXCEPTION, nullptr, $3, $2); }
    ;

/* Made as soon as the keyword's line ends, so it carries the line after it. */
block_mark:
    NEWLINE  { $$ = ctx.node(STX_BLOCK_MARK); }
    ;

/* ---- bodies ---- */

/* Consecutive '#' lines always form one group, so a group of '#' lines is
   followed by something else or ends the body. */
body:
    body_ending_plain  { $$ = ctx.finish($1); }
  | body_ending_hash   { $$ = ctx.finish($1); }
    ;

body_ending_hash:
    hash_lines                    { $$ = ctx.chain(ctx.node(STX_NATIVE_GROUP, $1)); }
  | body_ending_plain hash_lines  { $$ = ctx.append($1, ctx.node(STX_NATIVE_GROUP, $2)); }
    ;

body_ending_plain:
    body_element                    { $$ = ctx.chain($1); }
  | body_ending_plain body_element  { $$ = ctx.append($1, $2); }
  | body_ending_hash body_element   { $$ = ctx.append($1, $2); }
    ;

body_element:
    instruction_line
        { $$ = ctx.node(STX_INSTR_GROUP, $1); }
  | instance_begin hash_lines END INSTANCE NEWLINE
        { $$ = ctx.node(STX_NATIVE_GROUP, $1, $2); }
  | instance_begin instance_lines END INSTANCE NEWLINE
        { $$ = ctx.node(STX_INSTR_GROUP, $1, $2); }
    ;

hash_lines:
    hash_line_links  { $$ = ctx.finish($1, ChainStamp::LinksAndElements); }
    ;

hash_line_links:
    NATIVE_HASH_LINE NEWLINE
        { $$ = ctx.chain(ctx.node(STX_HASH_LINE_LIST, ctx.leaf(STX_HASH_LINE, $1))); }
  | hash_line_links NATIVE_HASH_LINE NEWLINE
        { $$ = ctx.append($1, ctx.node(STX_HASH_LINE_LIST, ctx.leaf(STX_HASH_LINE, $2))); }
    ;

instance_begin:
    INSTANCE instance_names ":" NEWLINE  { $$ = ctx.node(STX_INSTANCE_BEGIN, $2); }
    ;

instance_names:
    instance_name_links  { $$ = ctx.finish($1); }
    ;

instance_name_links:
    name                          { $$ = ctx.chain(ctx.node(STX_INSTANCE_NAME_LIST, $1)); }
  | instance_name_links "," name  { $$ = ctx.append($1, ctx.node(STX_INSTANCE_NAME_LIST, $3)); }
    ;

instance_lines:
    instance_line_links  { $$ = ctx.finish($1); }
    ;

instance_line_links:
    instruction_line                      { $$ = ctx.chain(ctx.node(STX_INSTANCE_BODY, $1)); }
  | instance_line_links instruction_line  { $$ = ctx.append($1, ctx.node(STX_INSTANCE_BODY, $2)); }
    ;

nested_body:
    nested_links  { $$ = ctx.finish($1); }
    ;

nested_links:
    nested_element               { $$ = ctx.chain($1); }
  | nested_links nested_element  { $$ = ctx.append($1, $2); }
    ;

nested_element:
    instruction_line
        { $$ = ctx.node(STX_NESTED_GROUP, $1); }
  | instance_begin instance_lines END INSTANCE NEWLINE
        { $$ = ctx.node(STX_NESTED_GROUP, $1, $2); }
    ;

/* Most lines have no filter: they take no reduction for its absence. */
instruction_line:
    instruction NEWLINE              { $$ = ctx.node(STX_INSTR_LINE, nullptr, $1); }
  | filter_part instruction NEWLINE  { $$ = ctx.node(STX_INSTR_LINE, $1, $2); }
  | error NEWLINE                    { $$ = nullptr; }
    ;

filter_part:
    FILTER_SINGLE  { $$ = ctx.leaf(STX_FILTER, $1); }
  | FILTER_DOUBLE  { $$ = ctx.leaf(STX_FILTER_DOUBLE, $1); }
    ;

/* ---- instructions ---- */

instruction:
    CALL name "(" arguments ")" call_at
        { $$ = ctx.node(STX_CALL, $2, $4, $6); }
  | SEND "(" name "," name ")"
        { $$ = ctx.node(STX_SEND, ctx.node(STX_SEND_ARGS, $3, $5)); }
  | catch
        { $$ = $1; }
  | CASE "(" expression ")" IS NEWLINE when_clauses END CASE
        { $$ = ctx.node(STX_CASE, $3, $7); }
  | COMMENT
        { $$ = ctx.comment($1); }
  | DEF_TRIGGER "(" expression "," trigger_values ")"
        { $$ = ctx.node(STX_DEF_TRIGGER, $3, $5); }
  | DISABLE_CLEANUP name "(" ")"
        { $$ = ctx.node(STX_DISABLE_CLEANUP, $2); }
  | ENABLE_CLEANUP name "(" ")"
        { $$ = ctx.node(STX_ENABLE_CLEANUP, $2); }
  | ERROR
        { $$ = ctx.node(STX_ERROR); }
  | EXIT
        { $$ = ctx.node(STX_EXIT); }
  | IF "(" expression ")" THEN NEWLINE nested_body else_part END IF
        { $$ = ctx.node(STX_IF, $3, $7, $8); }
  | NATIVE_AT_LINE
        { $$ = ctx.leaf(STX_AT_LINE, $1); }
  | SET "(" STRING ")"
        { $$ = ctx.node(STX_SET, ctx.leaf(STX_STRING, $3)); }
  | UNSET "(" STRING ")"
        { $$ = ctx.node(STX_UNSET, ctx.leaf(STX_STRING, $3)); }
  | VAR expression "," var_check
        { $$ = ctx.node(STX_VAR, $2, $4); }
  | WAITTIL "(" expression "," expression ")"
        { $$ = ctx.node(STX_WAITTIL, $3, $5); }
  | WHILE "(" expression ")" NEWLINE nested_body END WHILE
        { $$ = ctx.node(STX_WHILE, $3, $6); }
  | FD_ADD "(" expression "," expression ")"
        { $$ = ctx.node(STX_FD_ADD, $3, $5); }
  | FD_DEL "(" expression ")"
        { $$ = ctx.node(STX_FD_DEL, $3); }
  | RENDEZVOUS name
        { $$ = ctx.node(STX_RENDEZVOUS, $2); }
  | format_instruction
        { $$ = $1; }
  | DEF_MESSAGE expression "," EV
        { $$ = ctx.node(STX_DEF_MESSAGE, $2, ctx.leaf(STX_EV_TEXT, $4)); }
  | ADD_ID "(" expression "," expression ")"
        { $$ = ctx.node(STX_ADD_ID, $3, $5); }
  | CLEAR_ID "(" expression ")"
        { $$ = ctx.node(STX_CLEAR_ID, $3); }
  | NO_MESSAGE
        { $$ = ctx.node(STX_NO_MESSAGE); }
  | MESSAGE_DATE
        { $$ = ctx.node(STX_MESSAGE_DATE); }
  | TIMER name
        { $$ = ctx.node(STX_TIMER, $2); }
  | RESET name
        { $$ = ctx.node(STX_RESET, $2); }
  | PAUSE expression
        { $$ = ctx.node(STX_PAUSE, $2); }
  | PRINT name "," expression
        { $$ = ctx.node(STX_PRINT, $2, $4); }
  | FLUSH_TRACE
        { $$ = ctx.node(STX_FLUSH_TRACE); }
  | TRACE_ON
        { $$ = ctx.node(STX_TRACE_ON); }
  | TRACE_OFF
        { $$ = ctx.node(STX_TRACE_OFF); }
  | INTERSEND "(" expression "," expression ")"
        { $$ = ctx.node(STX_INTERSEND, ctx.node(STX_INTERSEND_ARGS, $3, $5)); }
  | INTERRECV "(" expression ")"
        { $$ = ctx.node(STX_INTERRECV, ctx.node(STX_INTERRECV_ARGS, $3)); }
  | INTERRECV "(" expression "," expression ")"
        { $$ = ctx.node(STX_INTERRECV, ctx.node(STX_INTERRECV_ARGS, $3, $5)); }
    ;

call_at:
    %empty                          { $$ = nullptr; }
  | "@" expression                  { $$ = ctx.node(STX_CALL_AT, $2); }
  | "@" expression "@" expression   { $$ = ctx.node(STX_CALL_AT, $2, $4); }
    ;

when_clauses:
    when_clause_links  { $$ = ctx.finish($1); }
    ;

when_clause_links:
    when_clause                    { $$ = ctx.chain(ctx.node(STX_WHEN_CLAUSE_LIST, $1)); }
  | when_clause_links when_clause  { $$ = ctx.append($1, ctx.node(STX_WHEN_CLAUSE_LIST, $2)); }
    ;

when_clause:
    when_list nested_body  { $$ = ctx.node(STX_WHEN_CLAUSE, $1, $2); }
    ;

when_list:
    when_links  { $$ = ctx.finish($1); }
    ;

when_links:
    when_head             { $$ = ctx.chain($1); }
  | when_links when_head  { $$ = ctx.append($1, $2); }
    ;

when_head:
    WHEN when_value "=>"          { $$ = ctx.node(STX_WHEN_LIST, $2); }
  | WHEN when_value "=>" NEWLINE  { $$ = ctx.node(STX_WHEN_LIST, $2); }
    ;

when_value:
    NUMBER        { $$ = ctx.leaf(STX_CONSTANT, $1); }
  | OTHERS        { $$ = ctx.node(STX_OTHERS); }
  | CHAR_CONST    { $$ = ctx.leaf(STX_CONSTANT, $1); }
  | IDENT         { $$ = ctx.leaf(STX_IDENT, $1); }
  | SCOPED_IDENT  { $$ = ctx.leaf(STX_IDENT, $1); }
    ;

else_part:
    %empty                 { $$ = ctx.node(STX_EMPTY); }
  | ELSE NEWLINE nested_body  { $$ = ctx.node(STX_ELSE, $3); }
    ;

trigger_values:
    trigger_value_links  { $$ = ctx.finish($1); }
    ;

trigger_value_links:
    expression                          { $$ = ctx.chain(ctx.node(STX_TRIGGER_VALUE_LIST, $1)); }
  | trigger_value_links "," expression  { $$ = ctx.append($1, ctx.node(STX_TRIGGER_VALUE_LIST, $3)); }
    ;

var_check:
    INIT   { $$ = ctx.leaf(STX_INIT_TEXT, $1); }
  | EV     { $$ = ctx.leaf(STX_EV_TEXT, $1); }
  | EV_EQ  { $$ = ctx.node(STX_EV_EQ); }
    ;

/* ---- arguments and native expressions ---- */

arguments:
    argument_links  { $$ = ctx.finish($1); }
    ;

argument_links:
    argument                     { $$ = ctx.chain(ctx.node(STX_ARG_LIST, $1)); }
  | argument_links "," argument  { $$ = ctx.append($1, ctx.node(STX_ARG_LIST, $3)); }
    ;

argument:
    REF "(" at_expression ")"  { $$ = ctx.node(STX_REF_ARG, $3); }
  | at_expression              { $$ = ctx.node(STX_ARG, $1); }
    ;

at_expression:
    expression                                { $$ = ctx.node(STX_AT_EXPR, $1); }
  | expression "@" expression                 { $$ = ctx.node(STX_AT_EXPR, $1, $3); }
  | expression "@" expression "@" expression  { $$ = ctx.node(STX_AT_EXPR, $1, $3, $5); }
    ;

expression:
    piece_links  { $$ = ctx.finish($1); }
    ;

/* A piece of C, by far the most common piece, goes straight into its link
   without a reduction of its own. */
piece_links:
    NATIVE_EXPR                    { $$ = ctx.chain(ctx.node(STX_EXPR, ctx.nativePiece($1))); }
  | match_piece                    { $$ = ctx.chain(ctx.node(STX_EXPR, $1)); }
  | piece_links NATIVE_EXPR        { $$ = ctx.append($1, ctx.node(STX_EXPR, ctx.nativePiece($2))); }
  | piece_links match_piece        { $$ = ctx.append($1, ctx.node(STX_EXPR, $2)); }
    ;

match_piece:
    MATCHING match_names      { $$ = ctx.relabel($2, STX_MATCHING); }
  | MATCHED match_names       { $$ = ctx.relabel($2, STX_MATCHED); }
  | NOTMATCHING match_names   { $$ = ctx.relabel($2, STX_NOTMATCHING); }
  | NOTMATCHED match_names    { $$ = ctx.relabel($2, STX_NOTMATCHED); }
    ;

match_names:
    name MATCH_CLOSE                   { $$ = ctx.node(STX_EMPTY, $1); }
  | name MATCH_COMMA name MATCH_CLOSE  { $$ = ctx.node(STX_EMPTY, $1, $3); }
    ;

name:
    IDENT          { $$ = ctx.leaf(STX_IDENT, $1); }
  | reserved_word  { $$ = ctx.reservedName($1); }
    ;

reserved_word:
    ADD_ID | CALL | CALLBACK | CASE | CATCH | CLEAR_ID | COMMTYPE | CHANNEL | DEF_MESSAGE | DEF_TRIGGER
  | DISABLE_CLEANUP | ELSE | ENABLE_CLEANUP | END | ERROR | EXCEPTION | EXIT | FAMILY | FD_ADD | FD_DEL
  | HEADER | IF | INCLUDE | INITIALIZATION | IS | LOOP | ON | OTHERS | MESSAGE | MESSAGE_DATE | MULTIPLEXING
  | NO_MESSAGE | PAUSE | PRINT | PROC | REF | DECLARE_INSTANCE | INSTANCE | SEND | PROCSEND | TRACE_ON
  | TRACE_OFF | FLUSH_TRACE | INTERSEND | INTERRECV | RENDEZVOUS | RESET | SCENARIO | SET | SHARE
  | TERMINATION | TIMEOUT | TIMER | THEN | TRIGGER | UNSET | VAR | WAITTIL | WITH | WHEN | WHILE
    ;

%%

int stxlex(STXSTYPE* value, ParserContext& ctx)
{
    return ctx.nextToken(*value);
}

// Called for a syntax error worth reporting, and for a full state stack,
// which the parser announces with its "memory exhausted" text.
void stxerror(ParserContext& ctx, const char* message)
{
    if (std::string_view(message) == "memory exhausted") {
        ctx.reportDepthLimit(YYMAXDEPTH);
        return;
    }
    ctx.reportSyntaxError();
}

