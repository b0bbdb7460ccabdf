// The declaration lexer of the C analysis over its lexer contexts.
#include "canalysis/declarations/ctylex.h"

#include "base/mstrin.h"
#include "canalysis/preprocessor/cprepr.h"
#include "canalysis/ctypesizes.h"
#include "y2_tab.tab.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <limits>
#include <string>
#include <unordered_map>

namespace qvm::canalysis {

namespace {

// Words skipped with their parenthesised text: asm, attributes and typeof.
enum class SkipWord { None, Asm, Attribute, Typeof };

// A reserved word of the declaration lexer: a keyword, with the grammar token
// it gives and its canonical spelling (alternate spellings such as __const
// map to const), or a word skipped with its operand.
struct ReservedWord {
    ReservedWord(std::string_view word, int token, std::string_view canonical)
        : word(word), token(token), canonical(canonical), id(canonical)
    {
    }
    ReservedWord(std::string_view word, SkipWord skip) : word(word), skip(skip), id(word) {}
    std::string_view word;
    int token = 0;  // 0 for a skipped word
    SkipWord skip = SkipWord::None;
    std::string_view canonical;
    base::CachedIdent id;  // identifier of the canonical spelling
};

// The hash of the word tables below, cheaper than a hash of every
// character: their words differ in length or in their first, middle or last
// character nearly always, and every name of a header is looked up.
struct WordHash {
    std::size_t operator()(std::string_view word) const noexcept
    {
        if (word.empty()) {
            return 0;
        }
        const auto at = [word](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(word[i])); };
        return (word.size() * 0x9E3779B1U) ^ (at(0) << 16) ^ (at(word.size() / 2) << 8) ^ at(word.size() - 1);
    }
};

template <typename Entry>
using WordTable = std::unordered_map<std::string_view, Entry, WordHash>;

// The reserved words, found through a small open-addressing index: every
// word of a header is looked up, and most are filtered out by their first
// character and length before any hash is taken.
class ReservedWords {
public:
    ReservedWords()
    {
        for (const ReservedWord& entry : words_) {
            lengths_[static_cast<unsigned char>(entry.word[0])] |= static_cast<std::uint16_t>(1U << entry.word.size());
            std::size_t i = WordHash{}(entry.word) & kMask;
            while (slots_[i] != nullptr) {
                i = (i + 1) & kMask;
            }
            slots_[i] = &entry;
        }
    }

    const ReservedWord* find(std::string_view word) const
    {
        // No reserved word is shorter or longer (the length filter below is exact).
        constexpr std::size_t kShortest = 2;
        constexpr std::size_t kLongest = 13;
        if (word.size() < kShortest || word.size() > kLongest ||
            (lengths_[static_cast<unsigned char>(word[0])] & (1U << word.size())) == 0) {
            return nullptr;
        }
        for (std::size_t i = WordHash{}(word) & kMask; slots_[i] != nullptr; i = (i + 1) & kMask) {
            if (slots_[i]->word == word) {
                return slots_[i];
            }
        }
        return nullptr;
    }

private:
    static constexpr std::size_t kSlots = 128;  // a power of two, under half full
    static constexpr std::size_t kMask = kSlots - 1;

    const std::array<ReservedWord, 51> words_ = {{
        {"typedef", DTOK_TYPEDEF, "typedef"},
        {"extern", DTOK_EXTERN, "extern"},
        {"static", DTOK_STATIC, "static"},
        {"auto", DTOK_AUTO, "auto"},
        {"register", DTOK_REGISTER, "register"},
        {"__alignof", DTOK_ALIGNOF, "__alignof"},
        {"__alignof__", DTOK_ALIGNOF, "__alignof"},
        {"inline", DTOK_INLINE, "inline"},
        {"__inline", DTOK_INLINE, "inline"},
        {"__inline__", DTOK_INLINE, "inline"},
        {"char", DTOK_CHAR, "char"},
        {"short", DTOK_SHORT, "short"},
        {"int", DTOK_INT, "int"},
        {"long", DTOK_LONG, "long"},
        {"float", DTOK_FLOAT, "float"},
        {"double", DTOK_DOUBLE, "double"},
        {"void", DTOK_VOID, "void"},
        {"signed", DTOK_SIGNED, "signed"},
        {"__signed", DTOK_SIGNED, "signed"},
        {"__signed__", DTOK_SIGNED, "signed"},
        {"unsigned", DTOK_UNSIGNED, "unsigned"},
        {"const", DTOK_CONST, "const"},
        {"__const", DTOK_CONST, "const"},
        {"__const__", DTOK_CONST, "const"},
        {"volatile", DTOK_VOLATILE, "volatile"},
        {"__volatile", DTOK_VOLATILE, "volatile"},
        {"__volatile__", DTOK_VOLATILE, "volatile"},
        {"struct", DTOK_STRUCT, "struct"},
        {"union", DTOK_UNION, "union"},
        {"enum", DTOK_ENUM, "enum"},
        {"case", DTOK_CASE, "case"},
        {"default", DTOK_DEFAULT, "default"},
        {"if", DTOK_IF, "if"},
        {"else", DTOK_ELSE, "else"},
        {"switch", DTOK_SWITCH, "switch"},
        {"while", DTOK_WHILE, "while"},
        {"do", DTOK_DO, "do"},
        {"for", DTOK_FOR, "for"},
        {"goto", DTOK_GOTO, "goto"},
        {"continue", DTOK_CONTINUE, "continue"},
        {"break", DTOK_BREAK, "break"},
        {"return", DTOK_RETURN, "return"},
        {"sizeof", DTOK_SIZEOF, "sizeof"},
        {"asm", SkipWord::Asm},
        {"__asm", SkipWord::Asm},
        {"__asm__", SkipWord::Asm},
        {"__attribute__", SkipWord::Attribute},
        {"__attribute", SkipWord::Attribute},
        {"typeof", SkipWord::Typeof},
        {"__typeof", SkipWord::Typeof},
        {"__typeof__", SkipWord::Typeof},
    }};
    std::array<std::uint16_t, 256> lengths_{};  // for each first character, bit n for a word of length n
    std::array<const ReservedWord*, kSlots> slots_{};
};

const ReservedWords reservedWords;

inline const ReservedWord* reservedWord(std::string_view word)
{
    return reservedWords.find(word);
}

const ReservedWord* keywordOf(std::string_view word)
{
    const ReservedWord* reserved = reservedWord(word);
    return reserved != nullptr && reserved->token != 0 ? reserved : nullptr;
}

SkipWord skipWordOf(std::string_view word)
{
    const ReservedWord* reserved = reservedWord(word);
    return reserved != nullptr ? reserved->skip : SkipWord::None;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

using base::isDigit;

// The text without the white space around it.
std::string_view trimmed(std::string_view text)
{
    const auto isWhiteSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (!text.empty() && isWhiteSpace(text.back())) {
        text.remove_suffix(1);
    }
    while (!text.empty() && isWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// A small reader over one directive line.
struct LineReader {
    std::string_view line;  // the directive line without its '#'
    std::size_t pos = 0;    // reading position in line

    void skipBlanks()
    {
        while (pos < line.size() && isBlank(line[pos])) {
            ++pos;
        }
    }
    std::string_view word()
    {
        const std::size_t start = pos;
        while (pos < line.size() && isIdentChar(line[pos])) {
            ++pos;
        }
        return line.substr(start, pos - start);
    }
    bool at(char c) const { return pos < line.size() && line[pos] == c; }
};

// The basic type a typedef name stands for, which size pragmas rewrite.
CType* basicBehindTypedef(LexContext& context, std::string_view name)
{
    if (context.symbols == nullptr) {
        return nullptr;
    }
    Symbol* symbol = context.symbols->find(base::ident(name), context.scope);
    if (symbol == nullptr || (symbol->storage & kTypedef) == 0) {
        return nullptr;
    }
    CType* type = C_CPP_resolve(symbol->type.get());
    return type != nullptr && type->kind == kBasic ? type : nullptr;
}

void sizeofPragma(LexContext& context, std::string_view name, int bits)
{
    TypeSizes& sizes = typeSizes();
    sizes.registerSize(name, bits / 8);
    if (name == "int") {
        sizes.intBits = bits;
    } else if (name == "short") {
        sizes.shortBits = bits;
    } else if (name == "long") {
        sizes.longBits = bits;
    } else if (name == "longlong") {
        sizes.longLongBits = bits;
    } else if (name == "char") {
        sizes.charBits = bits;
    } else if (CType* basic = basicBehindTypedef(context, name)) {
        basic->size = basic->size < 0 ? -bits : bits;
    }
}

void signofPragma(LexContext& context, std::string_view name, std::string_view sign)
{
    if (sign != "signed" && sign != "unsigned") {
        return;
    }
    const bool isUnsigned = sign == "unsigned";
    if (name == "char") {
        typeSizes().charUnsigned = isUnsigned;
    } else if (CType* basic = basicBehindTypedef(context, name)) {
        const int bits = std::abs(basic->size);
        basic->size = isUnsigned ? bits : -bits;
    }
}

// "#pragma tarvo sizeof(type) = bits" and "#pragma tarvo signof(type) =
// signed|unsigned": reader stands after "pragma". Anything else is ignored;
// a pointer type sets the size of every pointer.
void tarvoPragma(LexContext& context, LineReader& reader)
{
    reader.skipBlanks();
    if (reader.word() != "tarvo") {
        return;
    }
    reader.skipBlanks();
    const std::string_view what = reader.word();
    if (what != "sizeof" && what != "signof") {
        return;
    }
    reader.skipBlanks();
    const bool parenthesised = reader.at('(');
    if (parenthesised) {
        ++reader.pos;
        reader.skipBlanks();
    }
    std::string name(reader.word());
    reader.skipBlanks();
    // A pointer type ("void *") gives the size of every pointer.
    const bool pointer = !name.empty() && reader.at('*');
    while (reader.at('*') || (pointer && reader.at(' '))) {
        if (reader.at('*')) {
            name += '*';
        }
        ++reader.pos;
    }
    if (parenthesised && reader.at(')')) {
        ++reader.pos;
    }
    reader.skipBlanks();
    if (reader.at('=')) {
        ++reader.pos;
    }
    reader.skipBlanks();
    const std::string_view value = reader.word();
    if (name.empty() || value.empty()) {
        return;
    }
    if (what == "signof") {
        signofPragma(context, name, value);
    } else if (pointer && std::all_of(value.begin(), value.end(), isDigit)) {
        const int bits = std::atoi(std::string(value).c_str());
        // Both spellings a condition may write: "void*" and "void *".
        typeSizes().registerSize(name.substr(0, name.find('*')) + " " + name.substr(name.find('*')), bits / 8);
        typeSizes().registerSize(name, bits / 8);
        typeSizes().pointerBits = bits;
    } else if (std::all_of(value.begin(), value.end(), isDigit)) {
        sizeofPragma(context, name, std::atoi(std::string(value).c_str()));
    }
}

// The file name of a line directive, from after its opening '"' to the
// closing one: a backslash before 'n' or 'r' stands for that line end, one
// before any other character for that character.
std::string lineDirectiveName(std::string_view quoted)
{
    std::string name;
    for (std::size_t i = 0; i < quoted.size() && quoted[i] != '"'; ++i) {
        if (quoted[i] == '\\' && i + 1 < quoted.size()) {
            ++i;
            name += quoted[i] == 'n' ? '\n' : quoted[i] == 'r' ? '\r' : quoted[i];
            continue;
        }
        name += quoted[i];
    }
    return name;
}

// "# 12 "file"" or "#line 12 "file"": reader stands on the number. A number
// beyond the largest line number is refused and changes nothing.
void lineNumberDirective(LexContext& context, LineReader& reader)
{
    long long number = 0;
    while (reader.pos < reader.line.size() && isDigit(reader.line[reader.pos])) {
        if (number <= std::numeric_limits<int>::max()) {
            number = number * 10 + (reader.line[reader.pos] - '0');
        }
        ++reader.pos;
    }
    if (number > std::numeric_limits<int>::max()) {
        reportLex(CWarning, "DIESELINE", "");
        return;
    }
    reader.skipBlanks();
    if (reader.at('"')) {
        context.fileName = lineDirectiveName(reader.line.substr(reader.pos + 1));
    }
    context.line = static_cast<int>(number - 1);
}

}  // namespace

namespace {

struct ModernEntry {
    ModernWord what;             // how the lexer treats the word
    std::string_view canonical;  // the spelling it stands for
};

const WordTable<ModernEntry>& modernTable()
{
    static const WordTable<ModernEntry> table = {
        {"restrict", {ModernWord::Ignored, "restrict"}},
        {"__restrict", {ModernWord::Ignored, "restrict"}},
        {"__restrict__", {ModernWord::Ignored, "restrict"}},
        {"__extension__", {ModernWord::Ignored, "__extension__"}},
        {"_Noreturn", {ModernWord::Ignored, "_Noreturn"}},
        {"_Thread_local", {ModernWord::Ignored, "_Thread_local"}},
        {"__thread", {ModernWord::Ignored, "_Thread_local"}},
        {"_Static_assert", {ModernWord::WithOperand, "_Static_assert"}},
        {"_Alignas", {ModernWord::WithOperand, "_Alignas"}},
        {"_Atomic", {ModernWord::Atomic, "_Atomic"}},
        {"_Alignof", {ModernWord::Alignof, "__alignof"}},
        {"_Bool", {ModernWord::BasicType, "_Bool"}},
        {"__int128", {ModernWord::BasicType, "__int128"}},
        {"_Complex", {ModernWord::BasicType, "_Complex"}},
        {"__complex", {ModernWord::BasicType, "_Complex"}},
        {"__complex__", {ModernWord::BasicType, "_Complex"}},
        {"_Float16", {ModernWord::BasicType, "_Float16"}},
        {"_Float32", {ModernWord::BasicType, "_Float32"}},
        {"_Float64", {ModernWord::BasicType, "_Float64"}},
        {"_Float128", {ModernWord::BasicType, "_Float128"}},
        {"_Float32x", {ModernWord::BasicType, "_Float32x"}},
        {"_Float64x", {ModernWord::BasicType, "_Float64x"}},
        {"_Float128x", {ModernWord::BasicType, "_Float128x"}},
        {"__float80", {ModernWord::BasicType, "__float80"}},
        {"__float128", {ModernWord::BasicType, "__float128"}},
        {"__builtin_va_list", {ModernWord::BuiltinType, "__builtin_va_list"}},
    };
    return table;
}

// Lengths of the modern words (bit n for length n).
std::uint32_t modernLengths()
{
    static const std::uint32_t lengths = [] {
        std::uint32_t mask = 0;
        for (const auto& entry : modernTable()) {
            mask |= 1U << entry.first.size();
        }
        return mask;
    }();
    return lengths;
}

}  // namespace

void C_CPP_set_modern_words(bool on)
{
    lexerSwitches().modernWords = on;
}

ModernWord modernWord(std::string_view word, std::string_view& canonical)
{
    if (word.size() >= 32 || (word[0] != '_' && word[0] != 'r') || (modernLengths() & (1U << word.size())) == 0 ||
        !lexerSwitches().modernWords) {
        return ModernWord::None;
    }
    const auto& table = modernTable();
    const auto it = table.find(word);
    if (it == table.end()) {
        return ModernWord::None;
    }
    canonical = it->second.canonical;
    return it->second.what;
}

int declarationKeyword(std::string_view word, std::string_view& canonical)
{
    const ReservedWord* keyword = keywordOf(word);
    if (keyword == nullptr) {
        return 0;
    }
    canonical = keyword->canonical;
    return keyword->token;
}

bool isSkippedWord(std::string_view word)
{
    return skipWordOf(word) != SkipWord::None;
}

// The position of the '#' that begins the line at pos after its blanks, or
// npos when the line begins otherwise.
std::size_t directiveHash(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    return pos < text.size() && text[pos] == '#' ? pos : std::string_view::npos;
}

// At the start of a line: a "# n" or "#line n" directive moves the context's
// file and line, a tarvo pragma changes type sizes; the position then skips
// the directive line. Any other line is left as it is.
void followLineDirectives(LexContext& context)
{
    const std::string_view text = context.text;
    const std::size_t p = directiveHash(text, context.pos);
    if (p == std::string_view::npos) {
        return;
    }
    std::size_t end = text.find('\n', p);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    LineReader reader{text.substr(p + 1, end - p - 1)};
    reader.skipBlanks();
    if (reader.pos < reader.line.size() && isDigit(reader.line[reader.pos])) {
        lineNumberDirective(context, reader);
    } else {
        const std::string_view name = reader.word();
        if (name == "line") {
            reader.skipBlanks();
            if (reader.pos < reader.line.size() && isDigit(reader.line[reader.pos])) {
                lineNumberDirective(context, reader);
            } else {
                reportLex(CWarning, "DIESELINE", "");
            }
        } else if (name == "pragma") {
            tarvoPragma(context, reader);
        } else if (name.empty()) {
            reportLex(CWarning, "DIESELINE", "");
        }
    }
    context.pos = end;
}

namespace {

// The tokens of declaration text for the declaration grammar, read from the
// context's position on; it follows line directives and pragmas met at line
// starts and tells type names from identifiers through the context's table.
class DeclLexer {
public:
    DeclLexer(LexContext& context, CDECLSTYPE& value) : lx_(context), value_(value) {}

    // The next token (0 at the end of the text), its value stored in value_.
    int next()
    {
        for (;;) {
            skipSpaces();
            lx_.tokenLine = lx_.line;
            if (atEnd()) {
                return 0;
            }
            const char c = peek();
            const std::size_t start = lx_.pos;
            if (c == '@' && extSkipping()) {
                skipUpTo(';');
                continue;
            }
            if (isDigit(c)) {
                while (!atEnd() && isDigit(peek())) {
                    ++lx_.pos;
                }
                return textToken(DTOK_CONSTANT, start);
            }
            if (c == '"') {
                return stringToken();
            }
            if (c == '.' && peek(1) == '.' && peek(2) == '.') {
                lx_.pos += 3;
                lx_.tokenText = "...";
                return DTOK_ELLIPSIS;
            }
            if (isIdentStart(c)) {
                const int token = word();
                if (token >= 0) {
                    return token;
                }
                continue;
            }
            const int token = punctuation(c);
            if (token >= 0) {
                return token;
            }
        }
    }

private:
    LexContext& lx_;      // the text read, its position and the lexer state
    CDECLSTYPE& value_;   // the grammar's value of the token returned
    bool faulty_ = false;  // the last value captured was left unbalanced
    bool stopped_ = false; // the last capture ended at one of its stops
    bool enclosed_ = false; // the text captured stands in parentheses already open

    bool atEnd() const { return lx_.pos >= lx_.text.size(); }
    char peek(std::size_t ahead = 0) const
    {
        return lx_.pos + ahead < lx_.text.size() ? lx_.text[lx_.pos + ahead] : '\0';
    }

    // Once per line, kept out of the token loops that call it.
    [[gnu::noinline]] void newline()
    {
        ++lx_.pos;
        lx_.countLine();
        lx_.lineStart = lx_.pos;
        // Most lines hold no directive: the call is saved for those.
        if (directiveHash(lx_.text, lx_.pos) != std::string_view::npos) {
            followLineDirectives(lx_);
        }
    }

    void skipSpaces()
    {
        while (!atEnd()) {
            const char c = peek();
            if (isBlank(c)) {
                ++lx_.pos;
            } else if (c == '\n') {
                newline();
            } else if (c == '\\') {
                if (peek(1) == '\n') {
                    ++lx_.pos;
                    newline();
                } else {
                    reportLex(CWarning, "CHAINUTIL", "'\\'");
                    ++lx_.pos;
                }
            } else {
                return;
            }
        }
    }

    static bool extSkipping()
    {
        LexerSwitches& switches = lexerSwitches();
        if (!switches.extSkipping && std::getenv("KQ_EXT") != nullptr) {
            switches.extSkipping = true;
        }
        return switches.extSkipping;
    }

    void skipUpTo(char stop)
    {
        while (!atEnd() && peek() != stop) {
            if (peek() == '\n') {
                newline();
            } else {
                ++lx_.pos;
            }
        }
    }

    int textToken(int token, std::size_t start)
    {
        lx_.tokenText = lx_.text.substr(start, lx_.pos - start);
        value_.id = base::ident(lx_.tokenText);
        return token;
    }

    int stringToken()
    {
        const std::size_t start = ++lx_.pos;
        while (!atEnd() && !(peek() == '"' && lx_.text[lx_.pos - 1] != '\\')) {
            if (peek() == '\n') {
                newline();
            } else {
                ++lx_.pos;
            }
        }
        if (atEnd()) {
            return 0;
        }
        const int token = textToken(DTOK_STRING, start);
        ++lx_.pos;
        return token;
    }

    // Reads the word at the position, as the context's readWord does, through
    // a table of the identifier characters: every word of a header is read here.
    std::string_view readWord()
    {
        static const std::array<bool, 256> identChars = [] {
            std::array<bool, 256> table{};
            for (int c = 0; c < 256; ++c) {
                table[static_cast<std::size_t>(c)] = isIdentChar(static_cast<char>(c));
            }
            return table;
        }();
        const std::string_view t = lx_.text;
        std::size_t end = lx_.pos;
        while (end < t.size() && identChars[static_cast<unsigned char>(t[end])]) {
            ++end;
        }
        const std::string_view word = t.substr(lx_.pos, end - lx_.pos);
        lx_.pos = end;
        lx_.tokenText = word;
        return word;
    }

    // Returns the token, or -1 when the word was skipped.
    int word()
    {
        const std::string_view text = readWord();
        const ReservedWord* reserved = reservedWord(text);
        if (const SkipWord skipped = reserved != nullptr ? reserved->skip : SkipWord::None; skipped != SkipWord::None) {
            skipParenthesisedAfterWord();
            if (faulty_) {
                return faultyText();
            }
            if (skipped == SkipWord::Typeof) {
                // The word after the skipped specifier names the declarator.
                lx_.typeSeen = true;
                lx_.tagPending = false;
            }
            return -1;
        }
        if (reserved != nullptr) {
            value_.id = reserved->id.get();
            return reserved->token;
        }
        std::string_view canonical;
        // Every modern word begins with '_' or 'r'.
        const ModernWord modern =
            text[0] == '_' || text[0] == 'r' ? modernWord(text, canonical) : ModernWord::None;
        if (modern != ModernWord::None && !declaredAsName(modern, canonical, text)) {
            return modernToken(modern, canonical);
        }
        const Ident name = base::ident(text);
        value_.id = name;
        if (lx_.tagExpected) {
            return DTOK_IDENTIFIER;
        }
        // A word after a declarator's '*' can only be the name it declares,
        // even when it is a type name elsewhere: "int (*T)(void);".
        if (!lx_.typeSeen && !lx_.afterPointer && lx_.symbols != nullptr) {
            const Symbol* symbol = lx_.symbols->find(name, lx_.scope);
            if (symbol != nullptr && (symbol->storage & kTypedef) != 0) {
                return DTOK_TYPE_NAME;
            }
        }
        const auto& modifiers = C_CPP_type_modifiers();
        if (std::find(modifiers.begin(), modifiers.end(), text) != modifiers.end()) {
            return DTOK_TYPE_MODIFIER;
        }
        return DTOK_IDENTIFIER;
    }

    // The types that headers for older compilers define themselves
    // (typedef float _Float32; typedef char *__builtin_va_list;) are names
    // where a type was already given, and where such a typedef declared them.
    bool declaredAsName(ModernWord modern, std::string_view canonical, std::string_view text) const
    {
        const bool selfDefinable = modern == ModernWord::BuiltinType ||
                                   (modern == ModernWord::BasicType && canonical != "_Complex" &&
                                    canonical != "_Bool" && canonical != "__int128");
        if (!selfDefinable) {
            return false;
        }
        if (lx_.typeSeen) {
            return !afterComplex(lx_.pos - text.size());
        }
        const Symbol* symbol = lx_.symbols != nullptr ? lx_.symbols->find(base::ident(text), lx_.scope) : nullptr;
        return symbol != nullptr && (symbol->storage & kTypedef) != 0;
    }

    // Whether the word before position start is _Complex (or a spelling of it).
    bool afterComplex(std::size_t start) const
    {
        std::size_t end = start;
        while (end > 0 && (isBlank(lx_.text[end - 1]) || lx_.text[end - 1] == '\n')) {
            --end;
        }
        std::size_t begin = end;
        while (begin > 0 && isIdentChar(lx_.text[begin - 1])) {
            --begin;
        }
        std::string_view canonical;
        return modernWord(lx_.text.substr(begin, end - begin), canonical) == ModernWord::BasicType &&
               canonical == "_Complex";
    }

    // Returns the token of a modern word, or -1 when the word was skipped.
    int modernToken(ModernWord modern, std::string_view canonical)
    {
        switch (modern) {
        case ModernWord::WithOperand:
            skipParenthesisedAfterWord();
            return faulty_ ? faultyText() : -1;
        case ModernWord::Atomic:
            return atomicSpecifier();
        case ModernWord::BasicType:
            value_.id = base::ident(canonical);
            return DTOK_MODERN_BASIC;
        case ModernWord::BuiltinType:
            value_.id = base::ident(canonical);
            return DTOK_TYPE_NAME;
        case ModernWord::Alignof:
            value_.id = base::ident(canonical);
            return DTOK_ALIGNOF;
        case ModernWord::Ignored:
        case ModernWord::None:
            break;
        }
        return -1;
    }

    // "_Atomic ( type name )" stands for that type: its parentheses are
    // tokens of their own. "_Atomic" alone is a qualifier without effect here.
    int atomicSpecifier()
    {
        skipSpaces();
        if (peek() == '(') {
            ++lx_.pos;
            lx_.atomicNesting.push_back(0);
            return DTOK_ATOMIC_OPEN;
        }
        return -1;
    }

    enum class AtomicBracket { Other, Closing, Unclosed };

    // Follows the brackets inside "_Atomic ( ... )": the ')' that closes it
    // is told apart; a ';' outside brackets leaves it unclosed.
    AtomicBracket atomicBracket(char c)
    {
        if (lx_.atomicNesting.empty()) {
            return AtomicBracket::Other;
        }
        int& nesting = lx_.atomicNesting.back();
        if (c == '(' || c == '{') {
            ++nesting;
        } else if (c == ')' && nesting == 0) {
            lx_.atomicNesting.pop_back();
            return AtomicBracket::Closing;
        } else if (c == ')' || c == '}') {
            --nesting;
        } else if (c == ';' && nesting == 0) {
            lx_.atomicNesting.clear();
            return AtomicBracket::Unclosed;
        }
        return AtomicBracket::Other;
    }

    // Skips blanks, qualifier words and a balanced parenthesised text after
    // a word.
    void skipParenthesisedAfterWord()
    {
        for (;;) {
            skipSpaces();
            if (!atEnd() && isIdentStart(peek())) {
                const std::size_t start = lx_.pos;
                while (!atEnd() && isIdentChar(peek())) {
                    ++lx_.pos;
                }
                const std::string_view qualifierWord = lx_.text.substr(start, lx_.pos - start);
                std::string_view canonical;
                if (declarationKeyword(qualifierWord, canonical) == DTOK_VOLATILE || qualifierWord == "goto") {
                    continue;
                }
                lx_.pos = start;
            }
            break;
        }
        faulty_ = false;
        if (peek() != '(') {
            return;
        }
        ++lx_.pos;
        enclosed_ = true;
        capture(")", true, true);
        enclosed_ = false;
    }

    // Reads up to one of the stop characters met outside nested brackets
    // (consumed when consumeStop), or up to an unbalanced closing bracket.
    // Strings and character constants are stepped over, line breaks become
    // blanks. A value (initialiser, dimension, width, attribute) ends early
    // and is faulty at a closing bracket that does not match the open one or
    // at a ';' in brackets (but for a tag body inside parentheses, as in
    // sizeof(struct { int a; })); one that must end with its stop also at a
    // closing bracket or ';' met in its place. An initialiser or width ends
    // before a word that begins a declaration outside brackets: no
    // expression holds one there, the ';' before it is missing.
    std::string capture(std::string_view stops, bool consumeStop, bool value = false)
    {
        std::string text;
        std::string open;  // the brackets open, innermost last
        faulty_ = false;
        stopped_ = false;
        const bool wordsMatter = value && !consumeStop;
        while (!atEnd()) {
            const std::size_t run = plainRunLength(stops, wordsMatter);
            if (run != 0) {
                text.append(lx_.text, lx_.pos, run);
                lx_.pos += run;
                continue;
            }
            const char c = peek();
            if (open.empty() && isOneOf(c, stops)) {
                if (consumeStop) {
                    ++lx_.pos;
                }
                stopped_ = true;
                return text;
            }
            if (c == '(' || c == '[' || c == '{') {
                open += c;
            } else if (c == ')' || c == ']' || c == '}') {
                if (open.empty() || (value && c != closerOf(open.back()))) {
                    faulty_ = value && (consumeStop || !open.empty());
                    return text;
                }
                open.pop_back();
            } else if (value && c == ';' && !inTagBodyWithinParentheses(open)) {
                faulty_ = true;
                return text;
            } else if (value && !consumeStop && open.empty() && isIdentStart(c) &&
                       (lx_.pos == 0 || !isIdentChar(lx_.text[lx_.pos - 1]))) {
                if (declarationWordFollows()) {
                    return text;
                }
                text += lx_.readWord();
                continue;
            } else if (c == '"' || c == '\'') {
                text += quoted(c);
                continue;
            } else if (c == '\n') {
                newline();
                text += ' ';
                continue;
            }
            text += (c == '\t' || c == '\r' || c == '\v' || c == '\f') ? ' ' : c;
            ++lx_.pos;
        }
        return text;
    }

    // The characters that a capture always looks at: brackets, ';', quotes,
    // line breaks and the blanks it turns into spaces.
    static constexpr std::array<bool, 256> kCaptureLooksAt = [] {
        std::array<bool, 256> table{};
        for (const char c : std::string_view("()[]{};\"'\n\t\r\v\f")) {
            table[static_cast<unsigned char>(c)] = true;
        }
        return table;
    }();

    static bool isOneOf(char c, std::string_view set)
    {
        for (const char member : set) {
            if (c == member) {
                return true;
            }
        }
        return false;
    }

    // The number of characters from the position on that a capture copies as
    // they are: none of them is one it looks at, a stop, or a word start
    // when words matter.
    std::size_t plainRunLength(std::string_view stops, bool wordsMatter) const
    {
        const std::string_view t = lx_.text;
        std::size_t end = lx_.pos;
        while (end < t.size()) {
            const char c = t[end];
            if (kCaptureLooksAt[static_cast<unsigned char>(c)] || isOneOf(c, stops) ||
                (wordsMatter && isIdentStart(c))) {
                break;
            }
            ++end;
        }
        return end - lx_.pos;
    }

    std::string quoted(char quote)
    {
        std::string text(1, quote);
        ++lx_.pos;
        while (!atEnd() && peek() != quote) {
            if (peek() == '\\' && lx_.pos + 1 < lx_.text.size()) {
                text += peek();
                ++lx_.pos;
            }
            if (peek() == '\n') {
                newline();
                text += ' ';
                continue;
            }
            text += peek();
            ++lx_.pos;
        }
        if (!atEnd()) {
            text += quote;
            ++lx_.pos;
        }
        return text;
    }

    static char closerOf(char opening) { return opening == '(' ? ')' : opening == '[' ? ']' : '}'; }

    bool declarationWordFollows() const
    {
        std::size_t end = lx_.pos;
        while (end < lx_.text.size() && isIdentChar(lx_.text[end])) {
            ++end;
        }
        std::string_view canonical;
        return decl::beginsDeclaration(declarationKeyword(lx_.text.substr(lx_.pos, end - lx_.pos), canonical));
    }

    bool inTagBodyWithinParentheses(const std::string& open) const
    {
        return !open.empty() && open.back() == '{' && (enclosed_ || open.find('(') != std::string::npos);
    }

    // A value left unbalanced or empty: the report of the syntax error shows
    // the line up to the character that made it so.
    int faultyText()
    {
        lx_.badTextEnd = atEnd() ? lx_.pos : lx_.pos + 1;
        value_.id = nullptr;
        return DTOK_BAD_TEXT;
    }

    // A tag body nested too deep: skipped whole, a syntax error where it ends.
    [[gnu::noinline]] int bodyTooDeep()
    {
        lx_.beyondNesting = true;
        capture("}", true);
        lx_.tagPending = false;
        lx_.badTextEnd = lx_.pos;
        value_.id = nullptr;
        return DTOK_BAD_TEXT;
    }

    void keepTokenText(std::string_view text)
    {
        lx_.tokenStore.assign(text);
        lx_.tokenText = lx_.tokenStore;
    }

    // Returns the token, or -1 when the text was skipped.
    int punctuation(char c)
    {
        ++lx_.pos;
        lx_.tokenText = lx_.text.substr(lx_.pos - 1, 1);
        switch (atomicBracket(c)) {
        case AtomicBracket::Closing:
            return DTOK_ATOMIC_CLOSE;
        case AtomicBracket::Unclosed:
            // A syntax error before the ';', which then ends the declaration.
            --lx_.pos;
            return faultyText();
        case AtomicBracket::Other:
            break;
        }
        switch (c) {
        case '=': {
            keepTokenText(trimmed(capture(",;", false, true)));
            const std::string_view text = lx_.tokenText;
            if (faulty_ || (text.empty() && !atEnd())) {
                return faultyText();
            }
            if (!text.empty() && (text[0] == '<' || text[0] == '=' || text[0] == '>')) {
                reportLex(CWarning, "SYNTAXERR", text);
            }
            value_.id = base::ident(text);
            return DTOK_INITIALIZER;
        }
        case '[': {
            keepTokenText(trimmed(capture("]", true, true)));
            const std::string_view text = lx_.tokenText;
            if (faulty_) {
                return faultyText();
            }
            value_.id = base::ident(text);
            return DTOK_DIMENSION;
        }
        case ':': {
            keepTokenText(trimmed(capture(",;", false, true)));
            const std::string_view text = lx_.tokenText;
            if (faulty_ || (text.empty() && !atEnd())) {
                return faultyText();
            }
            value_.id = base::ident(text);
            return DTOK_BITFIELD;
        }
        case '{':
            if (lx_.tagPending && lx_.recovering) {
                // Skipped whole, so that its ';' and '}' cannot end the recovery.
                lx_.tagPending = false;
                capture("}", true);
                return -1;
            }
            if (lx_.tagPending && lx_.parenDepth + lx_.braceDepth >= kMaxNesting) {
                return bodyTooDeep();
            }
            if (lx_.tagPending) {
                return '{';
            }
            capture("}", true);
            if (!stopped_ && atEnd()) {
                // A body the text leaves open: the definition is unfinished.
                return 0;
            }
            value_.id = nullptr;
            return DTOK_BODY;
        default:
            return static_cast<unsigned char>(c);
        }
    }
};

// Keeps the context's view of the declaration being read up to date after
// each token: whether a type was seen, a tag is expected or pending, the
// depth of bodies and parentheses, and where the current construct began.
void updateState(LexContext& lx, int token)
{
    if (token != 0 && lx.atConstructStart) {
        lx.constructLine = lx.tokenLine;
        lx.atConstructStart = false;
    }
    const bool tagWord = lx.tagExpected && (token == DTOK_IDENTIFIER || token == DTOK_TYPE_NAME);
    switch (token) {
    case DTOK_CHAR:
    case DTOK_SHORT:
    case DTOK_INT:
    case DTOK_LONG:
    case DTOK_FLOAT:
    case DTOK_DOUBLE:
    case DTOK_VOID:
    case DTOK_SIGNED:
    case DTOK_UNSIGNED:
    case DTOK_TYPE_NAME:
    case DTOK_MODERN_BASIC:
    case DTOK_ATOMIC_CLOSE:
        lx.typeSeen = true;
        lx.tagPending = false;
        break;
    case DTOK_ATOMIC_OPEN:
        lx.typeSeen = false;
        lx.tagPending = false;
        break;
    case DTOK_STRUCT:
    case DTOK_UNION:
    case DTOK_ENUM:
        lx.tagExpected = true;
        lx.tagPending = true;
        lx.typeSeen = true;
        return;
    case '{':
        ++lx.braceDepth;
        lx.typeSeen = false;
        lx.tagPending = false;
        break;
    case '}':
        lx.braceDepth = std::max(0, lx.braceDepth - 1);
        lx.typeSeen = true;
        lx.tagPending = false;
        break;
    case ';':
    case DTOK_BODY:
        lx.typeSeen = false;
        lx.tagPending = false;
        if (lx.braceDepth == 0) {
            lx.atConstructStart = true;
        }
        break;
    case '(':
    case ')':
        lx.parenDepth = std::max(0, lx.parenDepth + (token == '(' ? 1 : -1));
        lx.typeSeen = false;
        lx.tagPending = false;
        break;
    case ',':
        lx.typeSeen = false;
        lx.tagPending = false;
        break;
    default:
        if (!tagWord) {
            lx.tagPending = false;
        }
        break;
    }
    lx.tagExpected = false;
    // Qualifiers may stand between a '*' and the name it declares.
    const bool pointerQualifier = token == DTOK_CONST || token == DTOK_VOLATILE || token == DTOK_TYPE_MODIFIER;
    lx.afterPointer = token == '*' || (lx.afterPointer && pointerQualifier);
    lx.previousToken = token;
}

}  // namespace

}  // namespace qvm::canalysis

int cdecllex(CDECLSTYPE* value, qvm::canalysis::DeclParse& parse)
{
    using namespace qvm::canalysis;
    LexContext& context = *parse.lex;
    context.symbols = parse.table;
    context.scope = parse.scope;
    if (context.pos == 0 && context.previousToken == 0) {
        followLineDirectives(context);
    }
    int token = 0;
    if (!parse.pending.empty()) {
        token = parse.pending.back().first;
        value->id = parse.pending.back().second;
        parse.pending.pop_back();
    } else {
        value->id = nullptr;
        token = DeclLexer(context, *value).next();
    }
    context.lookahead = token;
    updateState(context, token);
    if (token == '(' && context.parenDepth + context.braceDepth > kMaxNesting) {
        // Nested too deep: a syntax error at the parenthesis.
        context.beyondNesting = true;
        context.badTextEnd = context.pos;
        context.lookahead = DTOK_BAD_TEXT;
        token = DTOK_BAD_TEXT;
    }
    return token;
}

void cdeclerror(qvm::canalysis::DeclParse& parse, const char* /*message*/)
{
    using namespace qvm::canalysis;
    LexContext& context = *parse.lex;
    context.recovering = true;
    const bool beyondNesting = std::exchange(context.beyondNesting, false);
    if (parse.lastErrorPos == context.pos) {
        return;
    }
    parse.lastErrorPos = context.pos;
    if (context.lookahead == 0) {
        report(CError, "UNEXP_EOF", "", context.fileName,
               context.atConstructStart ? context.line : context.constructLine);
        return;
    }
    const std::size_t position = context.lookahead == DTOK_BAD_TEXT ? context.badTextEnd : context.pos;
    // The report shows the line up to the faulty token, or only its last
    // characters when that part is long.
    constexpr std::size_t kWholeLineShown = 60;
    constexpr std::size_t kTailShown = 59;
    const std::size_t length = position - context.lineStart;
    const std::string_view argument = length <= kWholeLineShown
                                          ? context.text.substr(context.lineStart, length)
                                          : context.text.substr(position - kTailShown, kTailShown);
    reportLex(CWarning, "SYNTAXERR", argument);
    // Under the K&R dialect the words of today's C are names, and a header
    // a compiler reads may not parse.
    if (!beyondNesting && lexerSwitches().modernWords) {
        noteRefusedSyntax();
    }
}

void cdeclTooDeep(qvm::canalysis::DeclParse& parse)
{
    parse.lex->beyondNesting = true;
    cdeclerror(parse, "");
}
