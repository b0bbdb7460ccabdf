// The test script lexer: five lexical states, continuation lines, blank-line
// collapsing, whole native C pieces as single tokens, and the stack of
// included files with their source file records.
#pragma once

#include "script/sourcefiles.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script {

// Reads a whole file; nullopt when it cannot be opened.
using SourceReader = std::function<std::optional<std::string>(const std::string& path)>;

// The reader of real files: regular files only.
std::optional<std::string> readSourceFile(const std::string& path);

// Name of a token for listings, and the message code of a syntax error met
// on it ("" when the token has none).
std::string_view tokenName(int token);
std::string_view tokenMessage(int token);

class ScriptLexer {
public:
    static constexpr std::size_t kMaxTokenLength = 15000;

    explicit ScriptLexer(std::vector<std::string> includeDirectories, SourceReader reader = readSourceFile);

    // Opens the script; "FICNOTOPN" (fatal) when it cannot be read.
    void start(const std::string& path);

    // The next token code (0 at the end of the outermost file); its kept
    // text is text().
    int next();
    const std::string& text() const { return text_; }

    // Opens the file named by a STRING token's text (quotes included) and
    // continues scanning in it. Fatal "CANNOTOPN", "INCLOOPDT", "INCLOVFLW".
    void openInclude(std::string_view quotedName);

    int line() const;
    const std::string& fileName() const;
    int fileId() const;
    // Changes whenever the current file changes.
    unsigned fileSwitches() const { return fileSwitches_; }

    // Bit 0: COMMTYPE used; bit 1: TRIGGER used.
    int scriptFlags() const { return scriptFlags_; }
    const SourceFileTable& sourceFiles() const { return sourceFiles_; }

    // Sets the diagnostics' current position to the lexer's.
    void publishPosition() const;

private:
    enum class State { InstrStart, InInstr, NativeExpr, MatchArgs, CallName };

    struct Input {
        std::string name;
        std::string content;
        std::size_t position = 0;
        int line = 1;
        int fileId = 0;
    };

    int readRaw();
    int readChar();
    void pushBack(int c);
    int take();
    int peekAt(std::size_t index);
    void keep(std::size_t length);
    std::size_t restOfLine(std::size_t from);
    std::size_t identifierLength(std::size_t from);
    std::size_t blanksFrom(std::size_t from);

    int scanInstruction();
    int scanWord();
    int scanNumber();
    int scanString();
    int scanCharConstant();
    int scanFilter();
    int scanNative();
    int scanMatchArgs();
    int scanCallName();
    int badSequence();
    int finishWord(int token);
    void enterNative();
    std::size_t quotedEnd(std::size_t from, int quote);

    bool popInclude();
    bool isOpen(const std::string& name) const;
    Input& current() { return inputs_.back(); }
    const Input& current() const { return inputs_.back(); }

    std::vector<std::string> includeDirectories_;
    SourceReader reader_;
    std::vector<Input> inputs_;  // the script first, the newest include last
    SourceFileTable sourceFiles_;
    unsigned fileSwitches_ = 0;

    std::string pushback_;
    std::string pending_;
    std::string text_;
    int previousChar_ = '\n';
    State state_ = State::InstrStart;
    bool atLineStart_ = false;
    bool nativeAfterParen_ = true;
    bool continuationOff_ = false;
    int parenDepth_ = 0;
    int bracketDepth_ = 0;
    int savedMatchToken_ = 0;
    int includeLine_ = 0;  // line of the last INCLUDE keyword
    int scriptFlags_ = 0;
};

}  // namespace qvm::script
