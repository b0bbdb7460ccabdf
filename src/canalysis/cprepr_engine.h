// Internal state of the C preprocessor, shared by its source files.
#pragma once

#include "canalysis/cprepr.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvm::canalysis::cpp {

enum CharClassBit : unsigned char {
    kIdChar = 1,
    kIdStart = 2,
    kHSpace = 4,
    kAnySpace = 8,
    kDigit = 16,
    kScanStop = 32,  // the main loop must look at this character
};

const std::array<unsigned char, 256>& charClasses();

inline bool hasClass(char c, unsigned char bits)
{
    return (charClasses()[static_cast<unsigned char>(c)] & bits) != 0;
}
inline bool isIdChar(char c) { return hasClass(c, kIdChar); }
inline bool isIdStart(char c) { return hasClass(c, kIdStart); }
inline bool isHSpace(char c) { return hasClass(c, kHSpace); }
inline bool isAnySpace(char c) { return hasClass(c, kAnySpace); }
inline bool isDigit(char c) { return hasClass(c, kDigit); }

// The prefixes of wide and Unicode character constants and strings.
inline bool isLiteralPrefix(std::string_view word)
{
    return word == "L" || word == "u" || word == "U" || word == "u8";
}

// Length of a backslash-newline (or backslash, CR, newline) at p, 0 if none.
inline std::size_t spliceLength(const std::string& t, std::size_t p)
{
    if (p < t.size() && t[p] == '\\') {
        if (p + 1 < t.size() && t[p + 1] == '\n') {
            return 2;
        }
        if (p + 2 < t.size() && t[p + 1] == '\r' && t[p + 2] == '\n') {
            return 3;
        }
    }
    return 0;
}

// Put before an identifier that must not be expanded when the text is
// scanned again (a name met while its own expansion was in progress).
constexpr char kNoExpandMark = '\x01';

// Stands between two expansion results that would otherwise join into one
// token. It prints as a blank, while `#` and `##` see no blank there. Only
// the texts of expansions and argument buffers carry it: in a file it is an
// ordinary byte.
constexpr char kPadMark = '\x1f';

constexpr std::size_t kRefusedDepth = kMaxInputLevels - 1;
constexpr std::size_t kMaxVariadicText = 1000;

enum class LevelKind { File, Expansion, Buffer };

struct InputLevel {
    LevelKind kind = LevelKind::Buffer;
    bool named = false;     // a file or pseudo-file with a name
    bool included = false;  // pushed by #include: #line lines around it
    std::string fileName;
    int line = 1;
    std::string text;
    std::size_t pos = 0;
    MacroEntry* macro = nullptr;  // the macro being expanded
    std::size_t conditionDepth = 0;
    int searchEntry = -1;  // where an included file was found (-1: as written)
    bool lineStart = true;
    int pendingLines = 0;  // continuations inside a name whose expansion is still being read
};

struct Conditional {
    std::string file;
    int line = 0;
    int taken = 0;
    int kind = 5;  // if 5, ifdef 3, ifndef 4, else 6, elif 7
};

struct SearchEntry {
    bool hasDirectory = false;
    std::string directory;
};

struct DirectiveInfo {
    std::string_view name;
    int kind;
};

// One argument of a macro call.
struct MacroArgument {
    std::string raw;
    std::string expanded;
    bool expandedReady = false;
};

class Engine {
public:
    // ---- cycle (cprepr.cpp)
    void init(bool pedantic, bool traditional, const std::vector<std::string>& defines,
              const std::vector<std::string>& includeDirectories, std::string_view fileName, MacroTable& table,
              bool buildSearchList);
    int processBuffer(std::string_view text, int analyseAll, std::string_view fileName, int firstLine,
                      std::string& result, MacroTable& table);
    void end(MacroTable& table, bool freeSearchList);
    int evalIfText(std::string_view expression);
    bool macroDefined(std::string_view name);

    std::pair<std::string, int> position() const;
    const std::vector<std::string>& systemDirectories() const { return systemDirectories_; }
    const std::vector<std::string>& typeModifiers() const { return typeModifiers_; }
    std::vector<std::string> searchList() const;
    void setLimits(std::size_t maxOutput, std::size_t maxExpansions, bool readFiles)
    {
        maxOutput_ = maxOutput;
        maxExpansions_ = maxExpansions;
        readFiles_ = readFiles;
    }

private:
    // ---- levels and output (cprepr.cpp)
    bool pushLevel(std::unique_ptr<InputLevel> level);
    void popLevel(std::string& out);
    void warnFatalDepth();
    void clearStack();
    InputLevel* nearestFile() const;
    void warn(std::string_view code, std::string_view argument);
    void reportAtLine(int severity, std::string_view code, std::string_view argument, int line);
    void writeLineLine(std::string& out, int line, const std::string& file);
    void syncLine(std::string& out, InputLevel& level);
    bool nextIsLineDirective(const InputLevel& level) const;
    void processPseudoFile(const std::string& name, const std::string& text);
    void defineFromOption(const std::string& option);
    bool overLimits(const std::string& out);

    // ---- scanning and macros (cprepr_scan.cpp)
    void scan(std::string& out, std::size_t floor, bool marks);
    void handleNewline(std::string& out, InputLevel& level);
    void handleSlash(std::string& out, InputLevel& level);
    void handleHash(std::string& out, InputLevel& level);
    void handleMark(std::string& out, InputLevel& level, bool marks);
    void handlePad(std::string& out, InputLevel& level);
    void separate(std::string& out) const { out += marks_ ? kPadMark : ' '; }
    char nextCharBelow() const;
    void handleIdentifier(std::string& out, InputLevel& level, bool marks);
    void expandIdentifier(std::string& out, InputLevel& level, const std::string& name, bool marks);
    void handleDefinedOperator(std::string& out);
    void copyQuoted(std::string& out, InputLevel& level);
    void copyNumber(std::string& out, InputLevel& level);
    std::string readIdentifier(InputLevel& level);
    void skipBlockComment(InputLevel& level, std::string* newlinesOut);
    void skipLineComment(InputLevel& level);
    static void skipSplices(InputLevel& level);
    bool findCallOpen(char open, bool consume);
    void expandObjectLike(std::string& out, MacroEntry& macro);
    void expandPredefined(std::string& out, MacroEntry& macro);
    void expandCall(std::string& out, MacroEntry& macro);
    bool collectArguments(const MacroDefinition& definition, std::vector<MacroArgument>& arguments);
    void checkPaste(std::string& result, std::size_t leftStart, std::string_view right);
    std::string buildReplacement(const MacroDefinition& definition, std::vector<MacroArgument>& arguments);
    const std::string& expandedArgument(MacroArgument& argument);
    std::string expandText(std::string_view text, bool marks);
    void pushExpansion(std::string& out, MacroEntry* macro, std::string text);

    // ---- directives (cprepr_directives.cpp)
    bool handleDirective(std::string& out, InputLevel& level);
    std::string collectDirectiveLine(InputLevel& level, int kind);
    void doDefine(std::string_view argument);
    void doUndef(std::string_view argument);
    void doIf(InputLevel& level, std::string_view argument);
    void doIfdef(InputLevel& level, std::string_view argument, bool wantDefined, std::string_view name);
    void doElse(InputLevel& level, bool isElif);
    void doEndif(InputLevel& level);
    void doInclude(std::string& out, InputLevel& level, std::string_view argument, bool next);
    void doError(std::string& out, std::string_view name, std::string_view argument);
    void doLine(InputLevel& level, std::string_view argument);
    void doPragma(std::string& out, std::string_view argument);
    void doPragmaTarvo(std::string& out, std::string_view text, std::string_view words);
    void skipGroup(InputLevel& level);
    void skipToStartPragma(InputLevel& level);
    void skipRestOfLine(InputLevel& level);
    void skipLeadingBlanks(InputLevel& level);
    void reportMatchLine(const Conditional& conditional);
    bool insideConditional(const InputLevel& level) const;
    bool isStartPragma(std::string_view pragmaText) const;
    void addIncludeStd(std::string_view list);

    friend class DefineParser;

    MacroTable* table_ = nullptr;
    bool pedantic_ = false;
    bool traditional_ = false;
    bool inInit_ = false;
    bool analysisOn_ = true;
    bool analyseAll_ = true;
    bool stopped_ = false;
    int directiveLine_ = 0;

    std::vector<std::unique_ptr<InputLevel>> stack_;
    std::size_t floor_ = 0;  // levels of the current scan that argument lists may not cross
    bool marks_ = false;     // the current scan keeps marks (an argument being expanded)
    std::vector<Conditional> conditions_;
    std::vector<SearchEntry> searchList_;
    std::vector<std::string> systemDirectories_;
    std::vector<std::pair<std::string, std::string>> aliases_;
    std::vector<std::string> typeModifiers_;

    std::string* mainOutput_ = nullptr;
    int outputLine_ = 0;
    std::string outputFile_;

    std::string dateText_;
    std::string timeText_;

    std::size_t maxOutput_ = static_cast<std::size_t>(-1);
    std::size_t maxExpansions_ = static_cast<std::size_t>(-1);
    std::size_t expansions_ = 0;
    std::size_t scannedBytes_ = 0;
    bool readFiles_ = true;
};

Engine& engine();

// Trims blanks, tabs, newlines and the like at both ends.
std::string_view trimSpaces(std::string_view text);

// Whether text a placed right before text b could form one token.
bool couldPaste(char a, char b);

// Drops blanks and padding marks at both ends.
std::string_view trimSpacesAndPads(std::string_view text);

// Length of the preprocessing token that starts at text[from] (0 at the end).
std::size_t tokenLength(std::string_view text, std::size_t from);

// When the last token of left and the first token of right do not join into
// one token, the two written around "##"; nothing when they do or one is empty.
std::optional<std::string> invalidPaste(std::string_view left, std::string_view right);

}  // namespace qvm::canalysis::cpp
