// Lexer contexts of the C analysis and the working records of the
// declaration grammar. Contexts stack up: a lexer may start a nested
// declaration parse (cast detection, type names) while it runs.
#pragma once

#include "base/mstrin.h"
#include "canalysis/declarations/ctabsy.h"

#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace qvm::canalysis {

// Identifier characters of the C lexers ('$' included).
inline bool isIdentStart(char c)
{
    return base::isAsciiLetter(c) || c == '_' || c == '$';
}

inline bool isIdentChar(char c)
{
    return base::isAsciiLetter(c) || base::isDigit(c) || c == '_' || c == '$';
}

struct LexContext {
    // Characters of the last token: a view of the text read (or of a fixed
    // spelling), or of tokenStore for the texts the lexer rewrote.
    std::string_view tokenText;
    std::string tokenStore;
    std::string fileName;   // file the text comes from, as line directives name it
    int line = 1;           // line of the reading position

    // Counts a line break; the count stops at the largest line number.
    void countLine()
    {
        if (line < std::numeric_limits<int>::max()) {
            ++line;
        }
    }

    // The string identifier of the current file name.
    Ident fileIdent()
    {
        if (fileIdent_ == nullptr || fileIdentOf_ != fileName) {
            fileIdentOf_ = fileName;
            fileIdent_ = base::ident(fileName);
        }
        return fileIdent_;
    }
    LexContext* below = nullptr;  // the context this one was pushed on

    // The text read and the reading position.
    std::string_view text;
    std::size_t pos = 0;
    std::size_t lineStart = 0;

    // Declaration lexer state.
    SymbolTable* symbols = nullptr;  // where type names are looked up
    Ident scope = nullptr;           // scope of the lookups
    int previousToken = 0;           // the token before the last one returned
    bool typeSeen = false;       // a type specifier was read in the current specifiers
    bool afterPointer = false;   // a declarator's '*' (and its qualifiers) was the last thing read
    bool tagExpected = false;    // after struct, union or enum
    bool tagPending = false;     // a tag head whose '{' would open its body
    int braceDepth = 0;          // open struct, union and enum bodies
    bool atConstructStart = true;
    int constructLine = 0;       // line where the current declaration began
    int tokenLine = 0;           // line where the last token began
    int lookahead = 0;           // the last token returned (0 at the end of the text)
    bool recovering = false;     // skipping after a syntax error: bodies are skipped whole
    int parenDepth = 0;          // '(' read and not closed since the parser last resynchronised
    std::size_t badTextEnd = 0;  // where the report of a faulty value ends
    bool beyondNesting = false;  // the fault being read is nesting past kMaxNesting, not C syntax
    // For each "_Atomic (" open, innermost last, the brackets open inside it:
    // the type name inside is read between the two tokens that stand for its
    // parentheses.
    std::vector<int> atomicNesting;

    // Reads the identifier characters from the position on; they become the
    // token text.
    std::string_view readWord()
    {
        const std::size_t start = pos;
        std::size_t end = start;  // a local, which the loop keeps in a register
        while (end < text.size() && isIdentChar(text[end])) {
            ++end;
        }
        pos = end;
        tokenText = text.substr(start, end - start);
        return tokenText;
    }

private:
    Ident fileIdent_ = nullptr;
    std::string fileIdentOf_;
};

// Pushes a new context on the stack and makes it current.
LexContext* C_CPP_init_lex(LexContext* below, std::string_view fileName, int firstLine, std::size_t textCapacity);
// Pops the current context.
void C_CPP_end_lex();
LexContext* currentLexContext();

// Pushes a context on construction and pops it on destruction.
class LexScope {
public:
    LexScope(std::string_view text, std::string_view fileName, int firstLine);
    ~LexScope();
    LexScope(const LexScope&) = delete;
    LexScope& operator=(const LexScope&) = delete;
    LexContext& context() { return *context_; }

private:
    LexContext* context_;
};

// Deepest nesting the grammars accept: parentheses, brackets and bodies in
// a declaration, derivations of one declarator, levels of an expression.
constexpr int kMaxNesting = 10000;

// Runs work to its end on a stack of its own, large enough for recursive
// walks over trees of the deepest nesting accepted; an exception it throws
// passes on to the caller. Work run this way runs directly when it nests.
void runOnDeepStack(const std::function<void()>& work);

// Reports at the current context's file and line.
void reportLex(int severity, std::string_view code, std::string_view argument);

// Run-wide switches of the lexers (KQ_EXT seen, multibyte constants).
struct LexerSwitches {
    bool extSkipping = false;
    bool multibyteReported = false;
    bool multibyteOff = false;
    // The words of today's C and of its common extensions are keywords
    // (off for the K&R dialect).
    bool modernWords = true;
};
LexerSwitches& lexerSwitches();
void resetLexerSwitches();

// Counts a syntax error of the declaration grammar at the current position
// as one a C compiler refuses too (C_CPP_take_refused_syntax).
void noteRefusedSyntax();

// Working records of the declaration grammar; they live in the arena of one
// parse.
struct DeclSpecs {
    unsigned storage = 0;            // Storage bits written
    TypePtr type;                    // the type the specifiers name so far
    // Spelling of the type collected so far: an identifier's text, or the
    // spelling of a specifier of the same declaration.
    std::string_view spelling;
    std::vector<Ident> qualifiers;   // const, volatile and the like, as written
    bool failed = false;             // specifiers that make no type together
    bool hasType = false;            // a type specifier was written
};

struct TypeSpecifier {
    TypePtr type;               // the type one specifier names
    std::string_view spelling;  // its words as they are written: an identifier's text, or spellingStore
    std::string spellingStore;  // the spelling of a tag or a type name, built for the specifier

    void spellAs(Ident word) { spelling = word != nullptr ? std::string_view(word) : std::string_view(); }
    void spellAs(std::string built)
    {
        spellingStore = std::move(built);
        spelling = spellingStore;
    }
};

struct DeclaratorOp {
    enum Kind { Pointer, Array, Function } kind = Pointer;
    std::vector<Ident> qualifiers;       // pointer
    Ident dimension = nullptr;           // array
    std::vector<Parameter> parameters;   // function
    bool prototype = false;        // function: parameters declared with types
    bool identifierList = false;   // function: old-style list of names
};

struct Declarator {
    Ident name = nullptr;           // none for an abstract declarator
    std::vector<DeclaratorOp> ops;  // applied in order to the base type
    Ident init = nullptr;           // initialiser text
    Ident width = nullptr;          // bit-field width text
    int line = 0;                   // line where the declarator was read
};

struct DeclaratorList {
    std::vector<Declarator*> items;
};

struct ParameterList {
    std::vector<Parameter> parameters;
    std::vector<Ident> names;  // an identifier list
};

struct FieldList {
    std::vector<Field> fields;
};

struct EnumeratorList {
    std::vector<std::pair<Ident, Ident>> items;  // name and value text (none when not written)
};

// One enumerator as read: no name when it was faulty.
struct EnumeratorItem {
    Ident name;
    Ident value;
};

struct OldStyleDecls {
    std::vector<std::pair<DeclSpecs*, DeclaratorList*>> decls;
};

// Empty a record for its next use: every member as in a fresh record, the
// containers keeping the room they took. Each member is set on its own: a
// record is emptied after every declaration, and building a fresh one to
// move from costs several times as much.
inline void renewRecord(DeclSpecs& r)
{
    r.storage = 0;
    r.type.reset();
    r.spelling = {};
    r.qualifiers.clear();
    r.failed = false;
    r.hasType = false;
}

inline void renewRecord(TypeSpecifier& r)
{
    r.type.reset();
    r.spelling = {};
    r.spellingStore.clear();
}

inline void renewRecord(Declarator& r)
{
    r.name = nullptr;
    r.ops.clear();
    r.init = nullptr;
    r.width = nullptr;
    r.line = 0;
}

inline void renewRecord(DeclaratorList& r) { r.items.clear(); }
inline void renewRecord(ParameterList& r)
{
    r.parameters.clear();
    r.names.clear();
}
inline void renewRecord(FieldList& r) { r.fields.clear(); }
inline void renewRecord(EnumeratorList& r) { r.items.clear(); }
inline void renewRecord(OldStyleDecls& r) { r.decls.clear(); }

// The records of one kind that an arena built.
template <typename T>
struct ArenaPool {
    std::vector<T*> records;  // every record built
    std::size_t used = 0;     // the first records, in use by the current declaration

    void renewUsed()
    {
        for (std::size_t i = 0; i < used; ++i) {
            renewRecord(*records[i]);
        }
        used = 0;
    }

    void destroy()
    {
        for (T* record : records) {
            record->~T();
        }
        records.clear();
    }
};

// Records are placed one after the other in blocks that are kept from one
// declaration to the next. Each kind of record has its pool: the records
// built so far, the first ones in use by the current declaration. Clearing
// empties the records in use and keeps them for the next declaration, so
// that their containers need not be allocated again; they are destroyed
// with the arena.
class Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena()
    {
        clear();
        std::apply([](auto&... pool) { (pool.destroy(), ...); }, pools_);
        giveBack(blocks_);
    }

    template <typename T>
    T* make()
    {
        ArenaPool<T>& pool = std::get<ArenaPool<T>>(pools_);
        if (pool.used < pool.records.size()) {
            return pool.records[pool.used++];
        }
        static_assert(sizeof(T) <= kBlockSize && alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
        // Room for the record first, so that pushing it cannot fail once it is built.
        if (pool.records.size() == pool.records.capacity()) {
            pool.records.reserve(pool.records.empty() ? 64 : pool.records.size() * 2);
        }
        T* item = new (place(sizeof(T), alignof(T))) T();
        pool.records.push_back(item);
        ++pool.used;
        return item;
    }

    void clear()
    {
        std::apply([](auto&... pool) { (pool.renewUsed(), ...); }, pools_);
    }

private:
    static constexpr std::size_t kBlockSize = 16384;

    // Blocks of finished arenas wait for the next ones: most parses are of
    // one short declaration, and a fresh block each time would be fresh
    // memory each time.
    static std::unique_ptr<std::byte[]> takeBlock();
    static void giveBack(std::vector<std::unique_ptr<std::byte[]>>& blocks);

    void* place(std::size_t size, std::size_t alignment)
    {
        std::size_t start = (used_ + alignment - 1) / alignment * alignment;
        if (blocks_.empty() || start + size > kBlockSize) {
            blocks_.push_back(takeBlock());
            start = 0;
        }
        used_ = start + size;
        return blocks_.back().get() + start;
    }

    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::size_t used_ = 0;  // bytes taken of the last block
    std::tuple<ArenaPool<DeclSpecs>, ArenaPool<TypeSpecifier>, ArenaPool<Declarator>, ArenaPool<DeclaratorList>,
               ArenaPool<ParameterList>, ArenaPool<FieldList>, ArenaPool<EnumeratorList>, ArenaPool<OldStyleDecls>>
        pools_;
};

struct DeclParse {
    LexContext* lex = nullptr;      // the text being read
    SymbolTable* table = nullptr;   // where declarations are entered
    Ident scope = nullptr;          // their scope (none: global)
    Arena arena;                    // the grammar's working records
    // Reading position of the last syntax error reported: a token is
    // reported once, even when the recovery meets it again.
    std::size_t lastErrorPos = std::string_view::npos;
    // Tokens the lexer returns before reading on, the last first (a body
    // that a syntax error left open is closed with tokens of its own).
    std::vector<std::pair<int, Ident>> pending;
    // Name of the declarator being read (the first name read since the last
    // declarator ended): a typedef that a syntax error ends still declares it.
    Ident declaratorName = nullptr;
    // The enumerator last read, until the rule that lists it takes it.
    EnumeratorItem enumerator{};
    // Read from the environment at the first unnamed tag of the parse.
    std::optional<std::string> unnamedTagPrefix;

    Ident nextUnnamedTag()
    {
        if (!unnamedTagPrefix) {
            unnamedTagPrefix = canalysis::unnamedTagPrefix();
        }
        return canalysis::nextUnnamedTag(*unnamedTagPrefix);
    }
};

// Building and entering declarations (actions of the declaration grammar).
namespace decl {

void addStorage(DeclSpecs& specs, unsigned storage);
void addQualifier(DeclSpecs& specs, Ident qualifier);
void addType(DeclSpecs& specs, const TypeSpecifier& specifier);
// Adds a basic type word (int, unsigned, void, ...) to the specifiers,
// with the words before it making one type ("unsigned long").
void addBasicWord(DeclSpecs& specs, Ident word);
// word: the identifier of a basic type word (int, unsigned, void, ...).
TypePtr basicWord(Ident word);
// Drops the descriptors basic type spellings share (a new run).
void forgetSharedBasics();
// The type of a type name of basic type words or one typedef name visible
// in scope, followed by pointer stars only ("int", "unsigned long *",
// "msg_t *"), built the way the declaration grammar builds it; none for any
// other type name, and for words that make no type together.
TypePtr plainTypeName(std::string_view text, SymbolTable& table, Ident scope);
TypePtr typedefNameType(DeclParse& parse, Ident name);
// The fields of body are moved into the tag's definition.
TypePtr aggregateType(DeclParse& parse, TypeKind kind, Ident tag, FieldList* body);
TypePtr enumType(DeclParse& parse, Ident tag, const EnumeratorList* body);
TypePtr baseType(const DeclSpecs& specs);
TypePtr applyDeclarator(TypePtr base, const Declarator& declarator);
// The dimension written, rewritten as declarations show it.
Ident rewriteDimension(DeclParse& parse, Ident written);
// Moves the operations of pointer (its stars) ahead of those of declarator.
void prependOps(Declarator& declarator, Declarator& pointer);
// The parameters of list are moved into the operation.
void functionOp(Declarator& declarator, ParameterList* list, bool prototype);
Parameter parameterOf(const DeclSpecs& specs, const Declarator* declarator);
// The specifier that a type name stands for ("_Atomic ( type name )"): the
// specifiers with the abstract declarator (or none) applied.
TypeSpecifier* typeNameSpecifier(DeclParse& parse, const DeclSpecs& specs, const Declarator* abstract);
void addFields(FieldList& list, const DeclSpecs& specs, const DeclaratorList* declarators);
void addEnumerator(EnumeratorList& list, EnumeratorItem item);
void enterDeclarations(DeclParse& parse, DeclSpecs* specs, const DeclaratorList& declarators);
void enterFunctionDefinition(DeclParse& parse, const DeclSpecs* specs, Declarator& declarator,
                             const OldStyleDecls* oldStyle);

// Whether old-style parameter declarations may follow the declarator: it
// declares a function with an identifier list.
bool acceptsOldStyleParameters(const Declarator& declarator);
// Enters a declaration whose ';' is missing.
void enterMissingSemicolon(DeclParse& parse, DeclSpecs* specs, Declarator& declarator);
// After a syntax error in a typedef: the name it was declaring becomes a type
// name standing for no type (int), so that its uses are read as types. The
// name is the word read in error when it follows a declarator name outside
// parentheses (an unknown type word such as `__int128` took the declarator's
// place), else the declarator's own name. A name declared already is kept.
void enterFaultyTypedef(DeclParse& parse, const DeclSpecs& specs, int errorToken, Ident errorName);

// Where the parser took up its work again after a syntax error.
enum class Resync {
    AfterDeclaration,   // after the ';' or body that ended the faulty declaration
    AtNextDeclaration,  // a ';' was missing: the token read begins the next declaration
    InsideBody,         // within a struct or union body
};
void resynchronised(DeclParse& parse, Resync where);
// The token read after a missing ';' begins a declaration: a typedef name
// read as a declared name is a type name again.
int retokenAtDeclarationStart(DeclParse& parse, int token, Ident name);
// Whether the token read stands inside a parenthesised list that goes on:
// the text from `from` closes the open parentheses before any ';'.
bool insideParenthesesThatGoOn(const LexContext& lex, std::size_t from);
// Whether a '{' is the next character after blanks and line breaks: a
// function body, as no declaration begins with it.
bool bodyFollows(const LexContext& lex);
// Whether the token can begin declaration specifiers.
bool beginsDeclaration(int token);

}  // namespace decl

}  // namespace qvm::canalysis

#include "canalysis/declarations/cexpr.h"

namespace qvm::canalysis {

struct ExprParse {
    LexContext* lex = nullptr;
    ExprTree* tree = nullptr;
    SymbolTable* table = nullptr;
    Ident scope = nullptr;
};

// Actions of the expression grammar.
namespace expr {

ExprNode* node(ExprParse& parse, ExprKind kind, ExprNode* a = nullptr, ExprNode* b = nullptr, ExprNode* c = nullptr);
ExprNode* unary(ExprParse& parse, int op, ExprNode* operand);
ExprNode* binary(ExprParse& parse, int op, ExprNode* left, ExprNode* right);
ExprNode* refused(ExprParse& parse, const char* code, ExprNode* operand);
ExprNode* badRange(ExprParse& parse);
ExprNode* append(ExprNode* list, ExprNode* item);
ExprNode* setOperand(ExprNode* cast, ExprNode* operand);
// Adjacent string literals make one string.
ExprNode* joinStrings(ExprNode* first, const ExprNode* second);
TypePtr typeOfTypeName(ExprParse& parse, std::string_view text);

}  // namespace expr

}  // namespace qvm::canalysis
