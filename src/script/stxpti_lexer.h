// The test script lexer: five lexical states, continuation lines, blank-line
// collapsing, whole native C pieces as single tokens, and the stack of
// included files with their source file records.
#pragma once

#include "diag/message_code.h"
#include "script/sourcefiles.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script {

// Bits of the script-wide flags; the generators read the numbers (2: TRIGGER
// without COMMTYPE).
enum ScriptFlags : int {
    ScriptUsesCommtype = 1,
    ScriptUsesTrigger = 2,
};

// Reads a whole file; nullopt when it cannot be opened.
using SourceReader = std::function<std::optional<std::string>(const std::string& path)>;

// The reader of real files: regular files only.
std::optional<std::string> readSourceFile(const std::string& path);

// Name of a token for listings, and the message code of a syntax error met
// on it (empty when the token has none).
std::string_view tokenName(int token);
diag::MessageCode tokenMessage(int token);

class ScriptLexer {
public:
    static constexpr std::size_t kMaxTokenLength = 15000;

    explicit ScriptLexer(std::vector<std::string> includeDirectories, SourceReader reader = readSourceFile);

    // Opens the script; "FICNOTOPN" (fatal) when it cannot be read.
    void start(const std::string& path);

    // The next token code (0 at the end of the outermost file); its kept
    // text is text(), valid until the next call.
    int next();
    std::string_view text() const { return text_; }

    // Opens the file named by a STRING token's text (quotes included) and
    // continues scanning in it. Fatal "CANNOTOPN", "INCLOOPDT", "INCLOVFLW".
    void openInclude(std::string_view quotedName);

    int line() const { return inputs_.empty() ? 0 : inputs_.back().line; }
    // Line where the last token began; at the end of the script, the line
    // of its last token.
    int tokenLine() const { return tokenLine_; }
    const std::string& fileName() const;
    int fileId() const;
    // Changes whenever the current file changes.
    unsigned fileSwitches() const { return fileSwitches_; }

    // ScriptFlags bits of the keywords met so far.
    int scriptFlags() const { return scriptFlags_; }
    const SourceFileTable& sourceFiles() const { return sourceFiles_; }

    // Undoes the effects of the keyword just returned (lexical state, native
    // pieces, continuation, script-wide flags), as the parser met it where a
    // name belongs. Only valid before the next token is read.
    void forgetKeywordEffects();

    // Sets the diagnostics' current position to the file and line of the
    // last token: a newline token belongs to the line it ends.
    void publishPosition() const;

private:
    // InstrStart: at the start of an instruction line; InInstr: inside one;
    // NativeExpr: a piece of C up to its closing parenthesis or comma;
    // MatchArgs: the argument list of a match word inside a piece of C;
    // CallName: the procedure name after CALL.
    enum class State { InstrStart, InInstr, NativeExpr, MatchArgs, CallName };

    struct Input {
        std::string name;          // the file name as opened
        std::string content;       // the whole file
        std::size_t position = 0;  // next character to read in content
        int line = 1;              // line of that character
        int fileId = 0;            // identifier of the file's source record
        int lastTokenLine = 0;     // line of the last token returned from the file
        // A stretch of content without a newline, and the newline (or the
        // end of the content) just after it: the end of the line for every
        // position in it. Empty until first looked for.
        std::size_t lineFrom = 1;
        std::size_t lineEnd = 0;
    };

    // Characters: readRaw takes the pushed-back characters first (peekRaw
    // leaves the character in place), readChar joins continuation lines,
    // take appends to the token being matched (fatal "LEXTKTLNG" at the
    // length limit), peekAt looks ahead through it.
    int readRaw();
    int peekRaw() const;
    int readChar();
    void pushBack(int c);
    int take();
    int peekAt(std::size_t index)
    {
        if (direct_) {
            if (index < window_.size()) {
                return static_cast<unsigned char>(window_[index]);
            }
            if (index == window_.size() && plainNewlineAfterWindow()) {
                return '\n';
            }
            leaveWindow();
        }
        return index < pending_.size() ? static_cast<unsigned char>(pending_[index]) : peekFurther(index);
    }
    // The characters looked at so far for the token being matched.
    std::string_view peeked() const { return direct_ ? window_ : std::string_view(pending_); }
    void openWindow();
    void leaveWindow();
    // The window ends at a newline that no continuation line follows: it is
    // looked at, and kept, without reading on.
    bool plainNewlineAfterWindow() const;
    void keepThroughNewline();
    int peekFurther(std::size_t index);
    void takeDirectRun(std::size_t index);
    // The match is the first length characters; the rest go back to the input.
    void keep(std::size_t length)
    {
        if (direct_ && length > window_.size()) {
            if (length == window_.size() + 1 && plainNewlineAfterWindow()) {
                keepThroughNewline();
                return;
            }
            leaveWindow();
        }
        if (!direct_) {
            keepRead(length);
            return;
        }
        direct_ = false;
        kept_ = window_.substr(0, length);
        window_.remove_prefix(length);
        windowKept_ = true;
        current().position += length;
        if (length > 0) {
            previousChar_ = static_cast<unsigned char>(kept_.back());
        }
    }
    void keepRead(std::size_t length);
    std::size_t restOfLine(std::size_t from);
    std::size_t identifierLength(std::size_t from);
    std::size_t blanksFrom(std::size_t from);
    std::size_t blankRun();

    // One scanner per state. Each returns a token code, kSkip to scan again
    // or kEndOfInput at the end of the current file, and sets text_ for the
    // tokens that keep their text.
    int scanInstruction();
    int scanWord();
    int scanNumber();
    int scanString();
    int scanCharConstant();
    int scanFilter();
    int scanNative();
    int scanMatchArgs();
    int scanCallName();
    // Keeps one character as an unknown sequence (reported by the parser).
    int badSequence();
    // Effects of a keyword (with its effect bits) on the lexical state and
    // the script-wide flags.
    int finishWord(int token, unsigned keywordEffect);
    void enterNative();
    std::size_t quotedEnd(std::size_t from, int quote);
    std::size_t plainNativeEnd(std::size_t at) const;

    // Back to the including file at the end of an included one; false at
    // the end of the script itself.
    bool popInclude();
    bool isOpen(const std::string& name) const;
    Input& current() { return inputs_.back(); }
    const Input& current() const { return inputs_.back(); }

    std::vector<std::string> includeDirectories_;  // searched for INCLUDE files
    SourceReader reader_;
    std::vector<Input> inputs_;  // the script first, the newest include last
    SourceFileTable sourceFiles_;
    unsigned fileSwitches_ = 0;

    std::string pushback_;      // characters given back, read last to first
    std::string pending_;       // characters read for the token being matched
    // The last characters of pending_ copied straight from the current
    // file's content, which ends just before its position: giving them back
    // is moving the position back.
    std::size_t directRun_ = 0;
    // While direct_, the token is matched in window_ instead of pending_: the
    // rest of the current line in the content, from its position (which
    // stays put) and at most a token's length. Nothing is copied unless the
    // token goes past it.
    bool direct_ = false;
    std::string_view window_;
    // The last token was kept from the window, whose rest starts at the
    // position: the next token starts in it.
    bool windowKept_ = false;
    // The characters of the last token matched.
    std::string_view kept_;
    // Kept text of the last token: a part of pending_, or of unescaped_ for
    // strings.
    std::string_view text_;
    std::string unescaped_;
    int previousChar_ = '\n';   // last character kept
    State state_ = State::InstrStart;
    bool atLineStart_ = false;      // no token since the last newline token
    bool nativeAfterParen_ = true;  // '(' and ',' start a piece of C on this line
    bool continuationOff_ = false;  // '&' does not join lines (INCLUDE lines)
    int parenDepth_ = 0;            // open parentheses of the current piece of C
    int bracketDepth_ = 0;          // open brackets of the current piece of C
    int savedMatchToken_ = 0;       // token of the match word whose arguments are read
    // What a keyword's effects change, as it was before the last keyword.
    struct KeywordUndo {
        State state = State::InInstr;
        bool nativeAfterParen = false;
        bool continuationOff = false;
        int scriptFlags = 0;
    } beforeKeyword_;
    int tokenLine_ = 0;    // line where the last token began
    int includeLine_ = 0;  // line of the last INCLUDE keyword
    int scriptFlags_ = 0;  // ScriptFlags bits
};

}  // namespace qvm::script
