// The test script lexer.
#include "script/stxpti_lexer.h"

#include "base/cstsyst.h"
#include "base/filesread.h"
#include "base/mstrin.h"
#include "diag/i18nerrgest.h"
#include "stxpti.tab.h"

#include <array>
#include <cerrno>
#include <filesystem>

namespace qvm::script {

namespace {

constexpr int kEof = -1;
constexpr int kSkip = -2;
constexpr int kEndOfInput = -3;

struct TokenEntry {
    int token;
    std::string_view name;      // shown in token listings
    diag::MessageCode message;  // reported on a syntax error met on the token; none for some
};

// In the order the syntax error messages are searched.
constexpr TokenEntry kTokenTable[] = {
    {TK_NEWLINE, "NEWLINE", "UNEXPTRET"},
    {TK_LPAREN, "(", "UNEXPLPAR"},
    {TK_RPAREN, ")", "UNEXPRPAR"},
    {TK_LBRACKET, "[", "UNEXPLBRA"},
    {TK_RBRACKET, "]", "UNEXPRBRA"},
    {TK_ARROW, "=>", "UNEXPARRW"},
    {TK_COMMA, ",", "UNEXPCOMM"},
    {TK_AT, "@", "UNEXPAROB"},
    {TK_COLON, ":", "UNEXPCOLN"},
    {TK_SEMICOLON, ";", "UNEXPSEMI"},
    {TK_ELLIPSIS, "...", "UNEXPALLC"},
    {TK_ADD_ID, "ADD_ID", "UNEXPADDI"},
    {TK_CALL, "CALL", "UNEXPCALL"},
    {TK_CALLBACK, "CALLBACK", "UNEXPCLBK"},
    {TK_CASE, "CASE", "UNEXPCASE"},
    {TK_CATCH, "CATCH", "UNEXPCATC"},
    {TK_CLEAR_ID, "CLEAR_ID", "UNEXPCLRI"},
    {TK_COMMTYPE, "COMMTYPE", "UNEXPCMTY"},
    {TK_CHANNEL, "CHANNEL", "UNEXPCHAN"},
    {TK_DEF_MESSAGE, "DEF_MESSAGE", "UNEXPDFMS"},
    {TK_DEF_TRIGGER, "DEF_TRIGGER", "UNEXPDFTR"},
    {TK_DISABLE_CLEANUP, "DISABLE_CLEANUP", "UNEXPDISC"},
    {TK_ELSE, "ELSE", "UNEXPELSE"},
    {TK_ENABLE_CLEANUP, "ENABLE_CLEANUP", "UNEXPENAC"},
    {TK_END, "END", "UNEXPTEND"},
    {TK_ERROR, "ERROR", "UNEXPERRR"},
    {TK_EXCEPTION, "EXCEPTION", "UNEXPEXCP"},
    {TK_EXIT, "EXIT", "UNEXPEXIT"},
    {TK_FAMILY, "FAMILY", "UNEXPFAML"},
    {TK_FORMAT, "FORMAT=", "UNEXPFRMT"},
    {TK_FD_ADD, "FD_ADD", "UNEXPFDAD"},
    {TK_FD_DEL, "FD_DEL", "UNEXPFDDE"},
    {TK_HEADER, "HEADER", "UNEXPHEAD"},
    {TK_IF, "IF", "UNEXPTKIF"},
    {TK_INCLUDE, "INCLUDE", "UNEXPINCL"},
    {TK_INITIALIZATION, "INITIALIZATION", "UNEXPINTZ"},
    {TK_INIT, "INIT", "UNEXPVARI"},
    {TK_IS, "IS", "UNEXPTKIS"},
    {TK_LOOP, "LOOP", "UNEXPLOOP"},
    {TK_ON, "ON", "UNEXPCBON"},
    {TK_OTHERS, "OTHERS", "UNEXPOTHR"},
    {TK_MESSAGE, "MESSAGE", "UNEXPMSGE"},
    {TK_MESSAGE_DATE, "MESSAGE_DATE", "UNEXPMSDT"},
    {TK_MULTIPLEXING, "MULTIPLEXING", "UNEXPMULT"},
    {TK_NO_MESSAGE, "NO_MESSAGE", "UNEXPNOMS"},
    {TK_PAUSE, "PAUSE", "UNEXPAUSE"},
    {TK_PRINT, "PRINT", "UNEXPRINT"},
    {TK_PROC, "PROC", "UNEXPPROC"},
    {TK_REF, "REF", "UNEXPTREF"},
    {TK_DECLARE_INSTANCE, "DECLARE_INSTANCE", "UNEXPIDCL"},
    {TK_INSTANCE, "INSTANCE", "UNEXPIST"},
    {TK_SEND, "SEND", "UNEXPSND"},
    {TK_PROCSEND, "PROCSEND", "UNEXPPSND"},
    {TK_TRACE_ON, "TRACE_ON", "UNEXPTRON"},
    {TK_TRACE_OFF, "TRACE_OFF", "UNEXPTROF"},
    {TK_FLUSH_TRACE, "FLUSH_TRACE", "UNEXPFTRC"},
    {TK_INTERSEND, "INTERSEND", "UNEXPISND"},
    {TK_INTERRECV, "INTERRECV", "UNEXPIRCV"},
    {TK_RENDEZVOUS, "RENDEZVOUS", "UNEXPTRDV"},
    {TK_RESET, "RESET", "UNEXPREST"},
    {TK_SCENARIO, "SCENARIO", "UNEXPSCEN"},
    {TK_SET, "SET", "UNEXPTSET"},
    {TK_SHARE, "SHARE", "UNEXPSHAR"},
    {TK_TERMINATION, "TERMINATION", "UNEXPTERM"},
    {TK_TIMEOUT, "TIMEOUT", "UNEXPTOUT"},
    {TK_TIMER, "TIMER", "UNEXPTIMR"},
    {TK_THEN, "THEN", "UNEXPTHEN"},
    {TK_TRIGGER, "TRIGGER", "UNEXPTRIG"},
    {TK_UNSET, "UNSET", "UNEXPUNST"},
    {TK_EV, "EV", "UNEXPVARV"},
    {TK_EV_EQ, "EV==", "UNEXPVARV"},
    {TK_VAR, "VAR", "UNEXPTVAR"},
    {TK_WAITTIL, "WAITTIL", "UNEXPWAIT"},
    {TK_WITH, "WITH", "UNEXPWITH"},
    {TK_WHEN, "WHEN", "UNEXPWHEN"},
    {TK_WHILE, "WHILE", "UNEXPWHIL"},
    {TK_NUMBER, "NUMBER", "UNEXPDECM"},
    {TK_STRING, "STRING", "UNEXPSTRG"},
    {TK_ENV_VAR, "ENV_VAR", "UNEXPENVV"},
    {TK_SCOPED_IDENT, "SCOPED_IDENT", "UNEXPIDWH"},
    {TK_IDENT, "IDENT", "UNEXPIDNT"},
    {TK_CHAR_CONST, "CHAR_CONST", "UNEXPTCAR"},
    {TK_COMMENT, "COMMENT", "UNEXPCMMT"},
    {TK_NATIVE_HASH_LINE, "NATIVE_HASH_LINE", "UNEXPNIAN"},
    {TK_NATIVE_AT_LINE, "NATIVE_AT_LINE", "UNEXPNIAN"},
    {TK_FILTER_SINGLE, "FILTER_SINGLE", "UNEXPFILT"},
    {TK_FILTER_DOUBLE, "FILTER_DOUBLE", "UNEXPFILT"},
    {TK_NATIVE_EXPR, "NATIVE_EXPR", "UNEXPEXPR"},
    {TK_BAD_SEQUENCE, "BAD_SEQUENCE", "LEXSEQUNK"},
    {TK_STAR, "*", "LEXSEQUNK"},  // only PROC parameter types take it
    {TK_MATCHING, "MATCHING", "UNEXMATIG"},
    {TK_MATCHED, "MATCHED", "UNEXMATED"},
    {TK_NOTMATCHING, "NOTMATCHING", "UNEXNMTIG"},
    {TK_NOTMATCHED, "NOTMATCHED", "UNEXNMTED"},
    {TK_MATCH_COMMA, "MATCH_COMMA", "UNEXPCOMM"},
    {TK_MATCH_CLOSE, "MATCH_CLOSE", "UNEXPRPAR"},
    // Tokens without a message of their own.
    {TK_VIRTUAL_CALLBACK, "VIRTUAL CALLBACK", {}},
    {TK_VIRTUAL_PROCSEND, "VIRTUAL PROCSEND", {}},
};

// What a keyword does besides being a token.
enum KeywordEffect : unsigned {
    None = 0,
    ClearsNative = 1,   // parentheses after it hold ordinary tokens
    StartsNative = 2,   // the keyword itself starts a native expression
};

struct Keyword {
    std::string_view word;  // as written in a script
    int token;
    unsigned effect;        // KeywordEffect bits
};

constexpr Keyword kKeywords[] = {
    {"ADD_ID", TK_ADD_ID, None},
    {"CALL", TK_CALL, None},
    {"CALLBACK", TK_CALLBACK, ClearsNative},
    {"CASE", TK_CASE, None},
    {"CATCH", TK_CATCH, None},
    {"CLEAR_ID", TK_CLEAR_ID, None},
    {"COMMTYPE", TK_COMMTYPE, ClearsNative},
    {"CHANNEL", TK_CHANNEL, ClearsNative},
    {"DEF_MESSAGE", TK_DEF_MESSAGE, ClearsNative | StartsNative},
    {"DEF_TRIGGER", TK_DEF_TRIGGER, None},
    {"DISABLE_CLEANUP", TK_DISABLE_CLEANUP, ClearsNative},
    {"ELSE", TK_ELSE, None},
    {"ENABLE_CLEANUP", TK_ENABLE_CLEANUP, ClearsNative},
    {"END", TK_END, None},
    {"ERROR", TK_ERROR, None},
    {"EXCEPTION", TK_EXCEPTION, None},
    {"EXIT", TK_EXIT, None},
    {"FAMILY", TK_FAMILY, ClearsNative},
    {"FD_ADD", TK_FD_ADD, None},
    {"FD_DEL", TK_FD_DEL, None},
    {"HEADER", TK_HEADER, ClearsNative},
    {"IF", TK_IF, None},
    {"INCLUDE", TK_INCLUDE, None},
    {"INITIALIZATION", TK_INITIALIZATION, None},
    {"IS", TK_IS, None},
    {"LOOP", TK_LOOP, None},
    {"ON", TK_ON, None},
    {"OTHERS", TK_OTHERS, None},
    {"MESSAGE", TK_MESSAGE, ClearsNative},
    {"MESSAGE_DATE", TK_MESSAGE_DATE, None},
    {"MULTIPLEXING", TK_MULTIPLEXING, None},
    {"NO_MESSAGE", TK_NO_MESSAGE, None},
    {"PAUSE", TK_PAUSE, StartsNative},
    {"PRINT", TK_PRINT, None},
    {"PROC", TK_PROC, ClearsNative},
    {"REF", TK_REF, None},
    {"DECLARE_INSTANCE", TK_DECLARE_INSTANCE, ClearsNative},
    {"INSTANCE", TK_INSTANCE, ClearsNative},
    {"SEND", TK_SEND, ClearsNative},
    {"PROCSEND", TK_PROCSEND, ClearsNative},
    {"TRACE_ON", TK_TRACE_ON, ClearsNative},
    {"TRACE_OFF", TK_TRACE_OFF, ClearsNative},
    {"FLUSH_TRACE", TK_FLUSH_TRACE, ClearsNative},
    {"INTERSEND", TK_INTERSEND, None},
    {"INTERRECV", TK_INTERRECV, None},
    {"RENDEZVOUS", TK_RENDEZVOUS, None},
    {"RESET", TK_RESET, None},
    {"SCENARIO", TK_SCENARIO, None},
    {"SET", TK_SET, ClearsNative},
    {"SHARE", TK_SHARE, ClearsNative},
    {"TERMINATION", TK_TERMINATION, None},
    {"TIMEOUT", TK_TIMEOUT, None},
    {"TIMER", TK_TIMER, None},
    {"THEN", TK_THEN, None},
    {"TRIGGER", TK_TRIGGER, ClearsNative},
    {"UNSET", TK_UNSET, ClearsNative},
    {"VAR", TK_VAR, ClearsNative | StartsNative},
    {"WAITTIL", TK_WAITTIL, None},
    {"WITH", TK_WITH, None},
    {"WHEN", TK_WHEN, None},
    {"WHILE", TK_WHILE, None},
};

// A word that, inside a piece of C, opens an argument list of its own.
struct MatchWord {
    std::string_view word;
    int token;  // handed to the parser at the '(' after the word
};

constexpr MatchWord kMatchWords[] = {
    {"MATCHING", TK_MATCHING},
    {"MATCHED", TK_MATCHED},
    {"NOTMATCHING", TK_NOTMATCHING},
    {"NOTMATCHED", TK_NOTMATCHED},
};

// The characters scanNative looks at in a piece of C: quotes, separators,
// brackets, form feeds and the first letters of the match words. Any other
// character is passed over, the rest of a word included: a match word
// starts no word that began before it.
constexpr auto kNativeLooksAt = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view("\"',@\n()[]\f")) {
        table[static_cast<unsigned char>(c)] = true;
    }
    for (const MatchWord& match : kMatchWords) {
        table[static_cast<unsigned char>(match.word.front())] = true;
    }
    return table;
}();

constexpr bool isLetter(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

using base::isDigit;

bool isHexDigit(int c)
{
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool startsIdentifier(int c)
{
    return isLetter(c) || c == '_';
}

constexpr bool continuesIdentifier(int c)
{
    return isLetter(c) || isDigit(c) || c == '_' || c == '$';
}

constexpr auto kContinuesIdentifier = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[static_cast<std::size_t>(c)] = continuesIdentifier(c);
    }
    return table;
}();

bool isBlank(int c)
{
    return c == ' ' || c == '\t';
}

bool isFilterLetter(int c)
{
    return (c >= 'A' && c <= 'Z') || c == '+' || c == '~';
}

// Every word is looked up, so the keywords are grouped by their first
// letter (all are upper case).
const Keyword* findKeyword(std::string_view word)
{
    static const auto byFirstLetter = [] {
        std::array<std::vector<const Keyword*>, 26> groups;
        for (const Keyword& keyword : kKeywords) {
            groups[static_cast<std::size_t>(keyword.word.front() - 'A')].push_back(&keyword);
        }
        return groups;
    }();
    if (word.empty() || word.front() < 'A' || word.front() > 'Z') {
        return nullptr;
    }
    for (const Keyword* keyword : byFirstLetter[static_cast<std::size_t>(word.front() - 'A')]) {
        if (keyword->word == word) {
            return keyword;
        }
    }
    return nullptr;
}

// A STRING keeps its quotes; a backslash before '"' or '\\' is removed.
std::string stringText(std::string_view lexeme)
{
    std::string text;
    text.reserve(lexeme.size());
    for (std::size_t i = 0; i < lexeme.size(); ++i) {
        if (lexeme[i] == '\\' && i + 1 < lexeme.size() - 1 && (lexeme[i + 1] == '"' || lexeme[i + 1] == '\\')) {
            ++i;
        }
        text += lexeme[i];
    }
    return text;
}

bool sameFile(const std::string& a, const std::string& b)
{
    if (a == b) {
        return true;
    }
    std::error_code failure;
    return std::filesystem::equivalent(a, b, failure) && !failure;
}

// Scripts are text: a UTF-8 byte-order mark at the start is no part of it, a
// carriage return before a newline belongs to the line end (as a text-mode
// read gives it), and a last line without its newline is read as if it had
// one. The file record keeps the raw bytes.
std::string textOf(std::string raw)
{
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    const std::size_t start = std::string_view(raw).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    // Most scripts have neither: they are kept as read.
    if (start > 0 || raw.find("\r\n") != std::string::npos) {
        std::size_t kept = 0;
        for (std::size_t i = start; i < raw.size(); ++i) {
            if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) {
                raw[kept++] = raw[i];
            }
        }
        raw.resize(kept);
    }
    if (!raw.empty() && raw.back() != '\n') {
        raw += '\n';
    }
    return raw;
}

}  // namespace

std::optional<std::string> readSourceFile(const std::string& path)
{
    std::optional<std::string> content = base::readWholeFile(path);
    if (content) {
        base::recordFileRead(path);
    }
    return content;
}

std::string_view tokenName(int token)
{
    if (token == 0) {
        return "EOF";
    }
    for (const TokenEntry& entry : kTokenTable) {
        if (entry.token == token) {
            return entry.name;
        }
    }
    return "?";
}

diag::MessageCode tokenMessage(int token)
{
    for (const TokenEntry& entry : kTokenTable) {
        if (entry.token == token) {
            return entry.message;
        }
    }
    return {};
}

ScriptLexer::ScriptLexer(std::vector<std::string> includeDirectories, SourceReader reader)
    : includeDirectories_(std::move(includeDirectories)), reader_(std::move(reader))
{
}

void ScriptLexer::start(const std::string& path)
{
    errno = 0;
    std::optional<std::string> content = reader_(path);
    if (!content) {
        diag::fatalFile("FICNOTOPN", path, errno);
    }
    Input input;
    input.name = path;
    input.content = std::move(*content);
    SourceFileRecord record = describeSourceFile(path, input.content);
    input.content = textOf(std::move(input.content));
    inputs_.push_back(std::move(input));
    current().fileId = sourceFiles_.enter(record);
    ++fileSwitches_;
}

const std::string& ScriptLexer::fileName() const
{
    static const std::string none;
    return inputs_.empty() ? none : current().name;
}

int ScriptLexer::fileId() const
{
    return inputs_.empty() ? 0 : current().fileId;
}

// The parser took the keyword for a name: scanning goes on as after a name.
void ScriptLexer::forgetKeywordEffects()
{
    state_ = beforeKeyword_.state;
    nativeAfterParen_ = beforeKeyword_.nativeAfterParen;
    continuationOff_ = beforeKeyword_.continuationOff;
    scriptFlags_ = beforeKeyword_.scriptFlags;
}

void ScriptLexer::publishPosition() const
{
    diag::setCurrentFile(fileName());
    diag::setCurrentLine(tokenLine_);
}

// ---- characters ----

int ScriptLexer::readRaw()
{
    if (!pushback_.empty()) {
        const int c = static_cast<unsigned char>(pushback_.back());
        pushback_.pop_back();
        return c;
    }
    Input& input = current();
    if (input.position >= input.content.size()) {
        return kEof;
    }
    return static_cast<unsigned char>(input.content[input.position++]);
}

// A newline followed by '&' joins the next line to this one: both are
// dropped and the character after the '&' comes instead.
int ScriptLexer::readChar()
{
    for (;;) {
        const int c = readRaw();
        if (c != '\n') {
            return c;
        }
        ++current().line;
        if (continuationOff_ || peekRaw() != '&') {
            return c;
        }
        readRaw();
    }
}

// The character readRaw would give, left where it is.
int ScriptLexer::peekRaw() const
{
    if (!pushback_.empty()) {
        return static_cast<unsigned char>(pushback_.back());
    }
    const Input& input = current();
    return input.position < input.content.size() ? static_cast<unsigned char>(input.content[input.position]) : kEof;
}

void ScriptLexer::pushBack(int c)
{
    if (c == '\n') {
        --current().line;
    }
    pushback_.push_back(static_cast<char>(c));
}

// Reads the next character into the text of the token being matched.
int ScriptLexer::take()
{
    if (pending_.size() >= kMaxTokenLength) {
        publishPosition();
        diag::fatalAt("LEXTKTLNG", std::to_string(kMaxTokenLength));
    }
    const int c = readChar();
    if (c != kEof) {
        pending_.push_back(static_cast<char>(c));
        directRun_ = 0;
    }
    return c;
}

int ScriptLexer::peekFurther(std::size_t index)
{
    while (pending_.size() <= index) {
        takeDirectRun(index);
        if (pending_.size() <= index && take() == kEof) {
            return kEof;
        }
    }
    return static_cast<unsigned char>(pending_[index]);
}

// Characters up to a little past index are copied at once from the content
// while nothing waits in the push-back and no newline (which may join the
// next line) comes; the token length limit is left to take().
void ScriptLexer::takeDirectRun(std::size_t index)
{
    constexpr std::size_t kReadAhead = 32;
    if (!pushback_.empty() || pending_.size() >= kMaxTokenLength) {
        return;
    }
    Input& input = current();
    const std::string& content = input.content;
    const std::size_t wanted = std::min(index + kReadAhead, kMaxTokenLength) - pending_.size();
    const std::size_t limit = std::min(content.size(), input.position + wanted);
    const std::string_view run = std::string_view(content).substr(input.position, limit - input.position);
    const std::size_t end = input.position + std::min(run.find('\n'), run.size());
    pending_.append(content, input.position, end - input.position);
    directRun_ += end - input.position;
    input.position = end;
}

// Starts matching a token in the content itself when nothing waits in the
// push-back.
void ScriptLexer::openWindow()
{
    direct_ = false;
    window_ = {};
    if (!pushback_.empty() || inputs_.empty()) {
        return;
    }
    Input& input = current();
    if (input.position < input.lineFrom || input.position > input.lineEnd) {
        input.lineFrom = input.position;
        input.lineEnd = std::min(input.content.find('\n', input.position), input.content.size());
    }
    window_ = std::string_view(input.content)
                  .substr(input.position, std::min(input.lineEnd - input.position, kMaxTokenLength));
    direct_ = true;
}

// The token goes past the window: its characters are copied as a direct run
// and reading goes on character by character.
void ScriptLexer::leaveWindow()
{
    direct_ = false;
    windowKept_ = false;
    pending_.assign(window_);
    directRun_ = window_.size();
    current().position += window_.size();
}

bool ScriptLexer::plainNewlineAfterWindow() const
{
    if (window_.size() >= kMaxTokenLength) {
        return false;
    }
    const Input& input = current();
    const std::string& content = input.content;
    const std::size_t at = input.position + window_.size();
    return at < content.size() && content[at] == '\n' &&
           (continuationOff_ || at + 1 == content.size() || content[at + 1] != '&');
}

void ScriptLexer::keepThroughNewline()
{
    Input& input = current();
    const std::size_t length = window_.size() + 1;
    kept_ = std::string_view(input.content).substr(input.position, length);
    input.position += length;
    ++input.line;
    previousChar_ = '\n';
    direct_ = false;
}

// The match is the first length characters of those read; the rest go back
// to the input.
void ScriptLexer::keepRead(std::size_t length)
{
    const std::size_t extra = pending_.size() - std::min(length, pending_.size());
    if (extra <= directRun_) {
        current().position -= extra;
        directRun_ -= extra;
    } else {
        for (std::size_t i = pending_.size(); i > length; --i) {
            pushBack(static_cast<unsigned char>(pending_[i - 1]));
        }
        directRun_ = 0;
    }
    pending_.resize(length);
    kept_ = pending_;
    if (length > 0) {
        previousChar_ = static_cast<unsigned char>(pending_.back());
    }
}

// Value and comment texts run to the end of the line: the characters read
// ahead are searched at once, then more are read.
std::size_t ScriptLexer::restOfLine(std::size_t from)
{
    std::size_t end = from;
    for (;;) {
        const std::string_view read = peeked();
        const std::size_t newline = end < read.size() ? read.find('\n', end) : std::string_view::npos;
        if (newline != std::string_view::npos) {
            return newline;
        }
        end = std::max(end, read.size());
        const int c = peekAt(end);
        if (c == kEof || c == '\n') {
            return end;
        }
    }
}

std::size_t ScriptLexer::identifierLength(std::size_t from)
{
    if (!startsIdentifier(peekAt(from))) {
        return 0;
    }
    std::size_t end = from + 1;
    if (direct_) {
        while (end < window_.size() && kContinuesIdentifier[static_cast<unsigned char>(window_[end])]) {
            ++end;
        }
        if (end < window_.size()) {
            return end - from;  // ended inside the window
        }
    }
    while (continuesIdentifier(peekAt(end))) {
        ++end;
    }
    return end - from;
}

// The blanks and form feeds at the start of the token, skipped at once.
std::size_t ScriptLexer::blankRun()
{
    std::size_t end = 1;
    for (int c = peekAt(end); c == ' ' || c == '\t' || c == '\f'; c = peekAt(end)) {
        ++end;
    }
    return end;
}

std::size_t ScriptLexer::blanksFrom(std::size_t from)
{
    std::size_t end = from;
    while (isBlank(peekAt(end))) {
        ++end;
    }
    return end;
}

// ---- tokens ----

// Runs the scanner of the current state until it gives a token, going back
// to the including file at the end of an included one.
int ScriptLexer::next()
{
    for (;;) {
        tokenLine_ = line();
        pending_.clear();
        directRun_ = 0;
        text_ = {};
        kept_ = {};
        if (windowKept_) {
            windowKept_ = false;
            direct_ = true;
        } else {
            openWindow();
        }
        int token = kSkip;
        switch (state_) {
        case State::InstrStart:
        case State::InInstr:
            token = scanInstruction();
            break;
        case State::NativeExpr:
            token = scanNative();
            break;
        case State::MatchArgs:
            token = scanMatchArgs();
            break;
        case State::CallName:
            token = scanCallName();
            break;
        }
        if (token == kSkip) {
            continue;
        }
        if (token == kEndOfInput) {
            if (popInclude()) {
                continue;
            }
            tokenLine_ = current().lastTokenLine > 0 ? current().lastTokenLine : tokenLine_;
            return 0;
        }
        if (token != TK_NEWLINE) {
            atLineStart_ = false;
        }
        current().lastTokenLine = tokenLine_;
        return token;
    }
}

int ScriptLexer::badSequence()
{
    keep(1);
    return TK_BAD_SEQUENCE;
}

void ScriptLexer::enterNative()
{
    parenDepth_ = 0;
    bracketDepth_ = 0;
    state_ = State::NativeExpr;
}

// The tokens of instruction lines: blanks and "--" comments (skipped),
// newlines (empty lines collapsed), punctuation, '@' and '#' lines, '%'
// filters, strings, character constants, $NAME references, numbers and
// words; anything else is an unknown sequence.
int ScriptLexer::scanInstruction()
{
    const int c = peekAt(0);
    switch (c) {
    case kEof:
        return kEndOfInput;
    case ' ':
    case '\t':
    case '\f':
        keep(blankRun());
        if (!windowKept_) {
            return kSkip;
        }
        // Blanks kept in the window: the token after them starts in its rest.
        windowKept_ = false;
        direct_ = true;
        kept_ = {};
        return scanInstruction();
    case '\n':
        keep(1);
        if (atLineStart_) {
            return kSkip;
        }
        atLineStart_ = true;
        nativeAfterParen_ = true;
        continuationOff_ = false;
        state_ = State::InstrStart;
        return TK_NEWLINE;
    case '(':
    case ',':
        keep(1);
        if (nativeAfterParen_) {
            enterNative();
        }
        return c == '(' ? TK_LPAREN : TK_COMMA;
    case ')':
        keep(1);
        return TK_RPAREN;
    case '[':
        keep(1);
        return TK_LBRACKET;
    case ']':
        keep(1);
        return TK_RBRACKET;
    case ':':
        keep(1);
        return TK_COLON;
    case ';':
        keep(1);
        return TK_SEMICOLON;
    case '*':
        keep(1);
        return TK_STAR;
    case '=':
        if (peekAt(1) == '>') {
            keep(2);
            return TK_ARROW;
        }
        return badSequence();
    case '.':
        if (peekAt(1) == '.' && peekAt(2) == '.') {
            keep(3);
            return TK_ELLIPSIS;
        }
        return badSequence();
    case '-':
        if (peekAt(1) == '-') {
            keep(restOfLine(2));
            return kSkip;
        }
        return badSequence();
    case '@':
        if (state_ == State::InstrStart) {
            keep(restOfLine(1));
            text_ = kept_.substr(1);
            return TK_NATIVE_AT_LINE;
        }
        keep(1);
        enterNative();
        return TK_AT;
    case '#':
        keep(restOfLine(1));
        text_ = kept_.substr(1);
        return TK_NATIVE_HASH_LINE;
    case '%':
        return scanFilter();
    case '"':
        return scanString();
    case '\'':
        return scanCharConstant();
    case '$': {
        std::size_t end = 1;
        while (isLetter(peekAt(end)) || peekAt(end) == '_') {
            ++end;
        }
        if (end == 1) {
            return badSequence();
        }
        keep(end);
        text_ = kept_;
        return TK_ENV_VAR;
    }
    default:
        break;
    }
    if (isDigit(c)) {
        return scanNumber();
    }
    if (startsIdentifier(c)) {
        return scanWord();
    }
    return badSequence();
}

int ScriptLexer::scanNumber()
{
    std::size_t end = 1;
    if (peekAt(0) == '0' && (peekAt(1) == 'x' || peekAt(1) == 'X') && isHexDigit(peekAt(2))) {
        end = 3;
        while (isHexDigit(peekAt(end))) {
            ++end;
        }
    } else {
        while (isDigit(peekAt(end))) {
            ++end;
        }
    }
    for (int c = peekAt(end); c == 'L' || c == 'U' || c == 'l' || c == 'u'; c = peekAt(end)) {
        ++end;
    }
    keep(end);
    text_ = kept_;
    return TK_NUMBER;
}

int ScriptLexer::scanString()
{
    std::size_t end = 1;
    for (;;) {
        const int c = peekAt(end);
        if (c == kEof || c == '\n') {
            return badSequence();
        }
        if (c == '"') {
            break;
        }
        if (c == '\\') {
            const int escaped = peekAt(end + 1);
            if (escaped == kEof || escaped == '\n') {
                return badSequence();
            }
            ++end;
        }
        ++end;
    }
    keep(end + 1);
    unescaped_ = stringText(kept_);
    text_ = unescaped_;
    return TK_STRING;
}

// A C character constant: one character or one escape (up to three octal
// digits, \x with hex digits, or any other character) between quotes;
// anything else is an unknown sequence.
int ScriptLexer::scanCharConstant()
{
    std::size_t end = 1;
    const int c = peekAt(1);
    if (c == '\\') {
        const int escaped = peekAt(2);
        if (escaped >= '0' && escaped <= '7') {
            end = 3;
            while (end < 5 && peekAt(end) >= '0' && peekAt(end) <= '7') {
                ++end;
            }
        } else if (escaped == 'x' && isHexDigit(peekAt(3))) {
            end = 4;
            while (isHexDigit(peekAt(end))) {
                ++end;
            }
        } else if (escaped != kEof && escaped != '\n') {
            end = 3;
        } else {
            return badSequence();
        }
    } else if (c != kEof && c != '\n' && c != '\'') {
        end = 2;
    } else {
        return badSequence();
    }
    if (peekAt(end) != '\'') {
        return badSequence();
    }
    keep(end + 1);
    text_ = kept_;
    return TK_CHAR_CONST;
}

// Filter prefixes exist only at the very beginning of a line.
int ScriptLexer::scanFilter()
{
    if (previousChar_ != '\n') {
        return badSequence();
    }
    const bool isDouble = peekAt(1) == '%';
    const std::size_t lettersFrom = isDouble ? 2 : 1;
    std::size_t end = lettersFrom;
    while (isFilterLetter(peekAt(end))) {
        ++end;
    }
    if (end == lettersFrom) {
        return badSequence();
    }
    keep(end);
    text_ = kept_.substr(1);
    return isDouble ? TK_FILTER_DOUBLE : TK_FILTER_SINGLE;
}

// A word: a keyword, an identifier, or one of the longer forms that start
// with a word. The longest match wins; at equal length the keyword forms come
// before the scoped identifier, which comes before COMMENT.
int ScriptLexer::scanWord()
{
    const std::size_t wordLength = identifierLength(0);
    // A view of the content stays valid while more is read; pending_ may move.
    std::string copied;
    std::string_view word = peeked().substr(0, wordLength);
    if (!direct_) {
        copied = word;
        word = copied;
    }
    const Keyword* keyword = findKeyword(word);

    int token = keyword ? keyword->token : TK_IDENT;
    std::size_t length = wordLength;
    auto offer = [&](int candidate, std::size_t candidateLength) {
        if (candidateLength > length) {
            token = candidate;
            length = candidateLength;
        }
    };

    if (word == "VIRTUAL") {
        const std::size_t after = blanksFrom(wordLength);
        if (after > wordLength) {
            const std::size_t second = identifierLength(after);
            const std::string_view next = peeked().substr(after, second);
            if (next.substr(0, 8) == "CALLBACK") {
                offer(TK_VIRTUAL_CALLBACK, after + 8);
            } else if (next.substr(0, 8) == "PROCSEND") {
                offer(TK_VIRTUAL_PROCSEND, after + 8);
            }
        }
    } else if (word == "FORMAT") {
        const std::size_t after = blanksFrom(wordLength);
        if (peekAt(after) == '=') {
            offer(TK_FORMAT, after + 1);
        }
    } else if (word == "INIT") {
        const std::size_t after = blanksFrom(wordLength);
        if (peekAt(after) == '=') {
            offer(TK_INIT, restOfLine(after + 1));
        }
    } else if (word == "EV" || word == "VA") {
        if (word == "EV" && peekAt(2) == '=' && peekAt(3) == '=') {
            offer(TK_EV_EQ, 4);
        }
        const std::size_t after = blanksFrom(wordLength);
        const int valueStart = peekAt(after + 1);
        if (peekAt(after) == '=' && valueStart != '=' && valueStart != '\n' && valueStart != kEof) {
            offer(TK_EV, restOfLine(after + 2));
        }
    }

    if (peekAt(wordLength) == ':' && peekAt(wordLength + 1) == ':') {
        const std::size_t second = identifierLength(wordLength + 2);
        if (second > 0) {
            offer(TK_SCOPED_IDENT, wordLength + 2 + second);
        }
    }

    if (word == "COMMENT") {
        const int separator = peekAt(wordLength);
        if (separator != kEof && separator != '\n' && !continuesIdentifier(separator)) {
            offer(TK_COMMENT, restOfLine(wordLength + 1));
        }
    }

    keep(length);
    return finishWord(token, keyword ? keyword->effect : None);
}

// Sets the kept text of the word token and applies the keyword's effects.
int ScriptLexer::finishWord(int token, unsigned keywordEffect)
{
    beforeKeyword_ = {state_, nativeAfterParen_, continuationOff_, scriptFlags_};
    switch (token) {
    case TK_IDENT:
    case TK_SCOPED_IDENT:
    case TK_INIT:
    case TK_EV:
        text_ = kept_;
        return token;
    case TK_COMMENT:
        text_ = kept_.substr(8);
        return token;
    case TK_FORMAT:
        // Only the blanks between FORMAT and '=' beyond the first are kept.
        text_ = kept_.size() > 8 ? kept_.substr(7, kept_.size() - 8) : std::string_view();
        enterNative();
        return token;
    case TK_VIRTUAL_CALLBACK:
    case TK_VIRTUAL_PROCSEND:
        nativeAfterParen_ = false;
        return token;
    case TK_EV_EQ:
        return token;
    default:
        break;
    }
    if (keywordEffect & ClearsNative) {
        nativeAfterParen_ = false;
    }
    if (keywordEffect & StartsNative) {
        enterNative();
    }
    switch (token) {
    case TK_CALL:
        state_ = State::CallName;
        break;
    case TK_REF:
        state_ = State::InInstr;
        break;
    case TK_INCLUDE:
        continuationOff_ = true;
        includeLine_ = current().line;
        break;
    // COMMTYPE once TRIGGER was met, or TRIGGER once COMMTYPE was, is a bad sequence.
    case TK_COMMTYPE:
        scriptFlags_ |= ScriptUsesCommtype;
        return (scriptFlags_ & ScriptUsesTrigger) != 0 ? TK_BAD_SEQUENCE : token;
    case TK_TRIGGER:
        scriptFlags_ |= ScriptUsesTrigger;
        return (scriptFlags_ & ScriptUsesCommtype) != 0 ? TK_BAD_SEQUENCE : token;
    default:
        break;
    }
    return token;
}

// Native C text is gathered whole up to a ',', '@', ')' or newline outside
// parentheses and brackets; strings and character constants count as one
// piece. A MATCHING-family call inside ends the text gathered so far.
int ScriptLexer::scanNative()
{
    const std::size_t refAt = blanksFrom(0);
    if (peekAt(refAt) == 'R' && peekAt(refAt + 1) == 'E' && peekAt(refAt + 2) == 'F' &&
        !continuesIdentifier(peekAt(refAt + 3))) {
        keep(refAt + 3);
        state_ = State::InInstr;
        return TK_REF;
    }
    std::size_t at = 0;
    for (;;) {
        if (direct_) {
            at = plainNativeEnd(at);
        }
        const int c = peekAt(at);
        if (c == kEof) {
            if (at == 0) {
                return kEndOfInput;
            }
            break;
        }
        if (c == '\f') {
            if (direct_) {
                leaveWindow();
            }
            pending_.erase(at, 1);
            directRun_ = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            at = quotedEnd(at + 1, c);
            continue;
        }
        const bool outside = parenDepth_ == 0 && bracketDepth_ == 0;
        if ((c == ',' || c == '@' || c == '\n') && outside) {
            break;
        }
        if (c == ')') {
            if (parenDepth_ > 0) {
                --parenDepth_;
            } else if (bracketDepth_ == 0) {
                break;
            }
        } else if (c == '(') {
            ++parenDepth_;
        } else if (c == '[') {
            ++bracketDepth_;
        } else if (c == ']' && bracketDepth_ > 0) {
            --bracketDepth_;
        } else if (startsIdentifier(c) && (at == 0 || !continuesIdentifier(static_cast<unsigned char>(peeked()[at - 1])))) {
            const std::size_t length = identifierLength(at);
            const std::string_view word = peeked().substr(at, length);
            for (const MatchWord& match : kMatchWords) {
                if (match.word == word && peekAt(at + length) == '(') {
                    keep(at + length);
                    text_ = kept_.substr(0, at);
                    savedMatchToken_ = match.token;
                    state_ = State::MatchArgs;
                    return TK_NATIVE_EXPR;
                }
            }
            at += length;
            continue;
        }
        ++at;
    }
    keep(at);
    text_ = kept_;
    state_ = State::InInstr;
    return TK_NATIVE_EXPR;
}

// The index of the first character from at on in the window that scanNative
// must look at, or the window's end.
std::size_t ScriptLexer::plainNativeEnd(std::size_t at) const
{
    while (at < window_.size() && !kNativeLooksAt[static_cast<unsigned char>(window_[at])]) {
        ++at;
    }
    return at;
}

// Index just after a string or character constant whose opening quote is
// before from; an unterminated one stops before the end of the line.
std::size_t ScriptLexer::quotedEnd(std::size_t from, int quote)
{
    std::size_t at = from;
    for (;;) {
        const int c = peekAt(at);
        if (c == kEof || c == '\n') {
            return at;
        }
        if (c == quote) {
            return at + 1;
        }
        if (c == '\\') {
            const int escaped = peekAt(at + 1);
            if (escaped != kEof && escaped != '\n') {
                ++at;
            }
        }
        ++at;
    }
}

// Inside the parentheses after a match word: identifiers, REF and commas,
// until the ')' that returns to the piece of C.
int ScriptLexer::scanMatchArgs()
{
    const int c = peekAt(0);
    switch (c) {
    case kEof:
        return kEndOfInput;
    case ' ':
    case '\t':
    case '\f':
        keep(blankRun());
        return kSkip;
    case '(':
        keep(1);
        return savedMatchToken_;
    case ',':
        keep(1);
        return TK_MATCH_COMMA;
    case ')':
        keep(1);
        state_ = State::NativeExpr;
        return TK_MATCH_CLOSE;
    default:
        break;
    }
    if (!startsIdentifier(c)) {
        return badSequence();
    }
    keep(identifierLength(0));
    if (kept_ == "REF") {
        return TK_REF;
    }
    text_ = kept_;
    return TK_IDENT;
}

// After CALL, everything up to the next '(' or newline is the name.
int ScriptLexer::scanCallName()
{
    std::size_t end = 0;
    for (int c = peekAt(end); c != kEof && c != '(' && c != '\n'; c = peekAt(end)) {
        ++end;
    }
    state_ = State::InstrStart;
    if (end == 0) {
        keep(0);
        return kSkip;
    }
    keep(end);
    text_ = kept_;
    return TK_IDENT;
}

// ---- included files ----

void ScriptLexer::openInclude(std::string_view quotedName)
{
    std::string name(quotedName);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    std::string opened = name;
    std::optional<std::string> content = reader_(name);
    for (std::size_t i = 0; !content && i < includeDirectories_.size(); ++i) {
        opened = base::systemPath(includeDirectories_[i], name);
        content = reader_(opened);
    }
    // The INCLUDE line's newline has been read by now: its messages name the
    // line itself.
    diag::setCurrentFile(fileName());
    diag::setCurrentLine(includeLine_);
    if (!content) {
        diag::fatalAt("CANNOTOPN", name);
    }
    if (isOpen(opened)) {
        diag::fatalAt("INCLOOPDT");
    }
    SourceFileRecord record = describeSourceFile(opened, *content);
    const int fileId = sourceFiles_.enter(record);
    Input input;
    input.name = std::move(opened);
    input.content = textOf(std::move(*content));
    input.fileId = fileId;
    inputs_.push_back(std::move(input));
    windowKept_ = false;
    ++fileSwitches_;
}

bool ScriptLexer::isOpen(const std::string& name) const
{
    for (const Input& input : inputs_) {
        if (sameFile(input.name, name)) {
            return true;
        }
    }
    return false;
}

bool ScriptLexer::popInclude()
{
    if (inputs_.size() <= 1) {
        return false;
    }
    inputs_.pop_back();
    pushback_.clear();
    windowKept_ = false;
    ++fileSwitches_;
    return true;
}

}  // namespace qvm::script
