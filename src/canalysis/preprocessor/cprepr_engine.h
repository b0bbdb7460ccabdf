// Internal state of the C preprocessor, shared by its source files.
#pragma once

#include "canalysis/cerror.h"
#include "canalysis/preprocessor/cevalif.h"
#include "canalysis/preprocessor/cprepr.h"
#include "canalysis/preprocessor/cprepr_cursor.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvm::canalysis::cpp {

// Gives a variable a value for the guard's lifetime; the value it had
// comes back afterwards, also when a report ends the run by throwing.
template <typename T>
class ScopedValue {
public:
    ScopedValue(T& variable, T value) : variable_(variable), saved_(std::exchange(variable, std::move(value))) {}
    ~ScopedValue() { variable_ = std::move(saved_); }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& variable_;
    T saved_;
};

// Installs a hook of the C source analysis (position provider, macro query)
// for the guard's lifetime; the hook installed before comes back afterwards.
template <typename Hook>
class ScopedHook {
public:
    ScopedHook(Hook hook, const Hook& (*installed)(), void (*install)(Hook))
        : install_(install), previous_(installed())
    {
        install_(std::move(hook));
    }
    ~ScopedHook() { install_(std::move(previous_)); }
    ScopedHook(const ScopedHook&) = delete;
    ScopedHook& operator=(const ScopedHook&) = delete;

private:
    void (*install_)(Hook);
    Hook previous_;
};

constexpr std::size_t kRefusedDepth = kMaxInputLevels - 1;
constexpr std::size_t kMaxVariadicText = 1000;

enum class LevelKind {
    File,       // a file, pseudo-file or text handed in: directives and line counting
    Expansion,  // the replacement of a macro, read once and popped when done
    Buffer,     // a text expanded on its own (an argument, an #include or #if operand)
};

// One level of the input stack: a text and where its reading stands.
struct InputLevel {
    LevelKind kind = LevelKind::Buffer;
    bool named = false;     // a file or pseudo-file with a name
    bool included = false;  // pushed by #include: #line lines around it
    std::string fileName;
    LineCounter line = 1;   // the line of the next character to read
    std::string text;       // prepared text: trigraphs and digraphs replaced, final newline
    std::size_t pos = 0;    // the next character to read
    MacroEntry* macro = nullptr;  // the macro being expanded; set back to expandable when popped
    std::size_t conditionDepth = 0;  // open conditionals when the level was pushed
    int searchEntry = -1;  // where an included file was found (-1: as written)
    bool lineStart = true;  // only blanks read so far on this line: a `#` starts a directive
    int pendingLines = 0;  // continuations inside a name whose expansion is still being read

    // Every field back to its value above, the room of the texts kept: a
    // popped level is pushed again for another text.
    void restart()
    {
        kind = LevelKind::Buffer;
        named = false;
        included = false;
        fileName.clear();
        line = 1;
        text.clear();
        pos = 0;
        macro = nullptr;
        conditionDepth = 0;
        searchEntry = -1;
        lineStart = true;
        pendingLines = 0;
    }
};

// A cursor over a level's text, position and line.
inline Cursor cursorAt(InputLevel& level)
{
    return Cursor(level.text, level.pos, level.line);
}

// The directives, numbered as in the directive table of the preprocessor.
enum class Directive : int {
    Define = 1,
    Include = 2,  // also #include_next
    Ifdef = 3,
    Ifndef = 4,
    If = 5,
    Else = 6,
    Elif = 7,
    Undef = 8,
    Endif = 9,
    Pragma = 22,
    Message = 23,  // #error and #warning
    Line = 24,
};

// The name a directive is written with (the first one for shared kinds).
std::string_view directiveName(Directive kind);

// An open conditional group.
struct Conditional {
    std::string file;  // where its #if, #ifdef or #ifndef stands
    int line = 0;
    bool taken = false;  // one of its groups has been taken
    Directive kind = Directive::If;  // the directive that opened its current group
};

// One entry of the include search list.
struct SearchEntry {
    bool hasDirectory = false;  // without one the name is tried as written
    std::string directory;
};

// A row of the directive table.
struct DirectiveInfo {
    std::string_view name;
    Directive kind;
};

// One argument of a macro call.
struct MacroArgument {
    std::string raw;       // as written, comments and newlines turned into blanks
    std::string expanded;  // fully macro-expanded, with marks; made when first needed
    bool expandedReady = false;
};

// The arguments of one macro call. Calls come by the thousand: the
// arguments of a finished call keep the room of their texts for the calls
// after it.
class ArgumentList {
public:
    std::size_t size() const { return count_; }
    MacroArgument& operator[](std::size_t index) { return items_[index]; }
    MacroArgument& back() { return items_[count_ - 1]; }
    void clear() { count_ = 0; }

    // A new empty argument at the end.
    MacroArgument& add()
    {
        if (count_ == items_.size()) {
            items_.emplace_back();
        } else {
            MacroArgument& reused = items_[count_];
            reused.raw.clear();
            reused.expanded.clear();
            reused.expandedReady = false;
        }
        return items_[count_++];
    }

    // Drops the arguments from `count` on, or adds empty ones up to it.
    void resize(std::size_t count)
    {
        while (count_ < count) {
            add();
        }
        count_ = count;
    }

private:
    std::vector<MacroArgument> items_;  // the first count_ are the call's
    std::size_t count_ = 0;
};

// The working state of one preprocessor and the code that reads through it.
// Reports go through the installed diagnostic callback; while a call runs,
// reports made without a position are located at the nearest file level.
class Engine {
public:
    // ---- cycle (cprepr.cpp)
    void init(bool pedantic, bool traditional, const std::vector<std::string>& defines,
              const std::vector<std::string>& includeDirectories, std::string_view fileName, MacroTable& table,
              bool buildSearchList);
    void processBuffer(std::string_view text, int analyseAll, std::string_view fileName, int firstLine,
                      std::string& result, MacroTable& table);
    void end(MacroTable& table, bool freeSearchList);
    int evalIfLine(std::string_view expression);
    bool macroDefined(std::string_view name) const;
    // A text of one line that no rule would change (no directive, comment,
    // continuation, replacement, open literal or macro name) is copied as it
    // is, without the work of an input level.
    bool passesUnchanged(std::string_view text, MacroTable& table) const;

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
    std::unique_ptr<InputLevel> newLevel(LevelKind kind);
    void recycleLevel(std::unique_ptr<InputLevel> level);
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
    void readDiscarded(std::unique_ptr<InputLevel> level);
    void processPseudoFile(const std::string& name, const std::string& text);
    void defineFromOption(const std::string& option);
    bool overLimits(const std::string& out);
    void copyUnchanged(std::string_view line, std::string_view fileName, int firstLine, std::string& result);

    // ---- scanning and macros (cprepr_scan.cpp)
    void scan(std::string& out, std::size_t floor, bool marks);
    void handleNewline(std::string& out, InputLevel& level);
    void handleSlash(std::string& out, InputLevel& level);
    void handleHash(std::string& out, InputLevel& level);
    void handleMark(std::string& out, InputLevel& level, bool marks);
    void handlePad(std::string& out, InputLevel& level);
    void separate(std::string& out) const { out += marks_ ? kPadMark : ' '; }
    char nextCharBelow() const;
    std::size_t plainTextEnd(std::string_view text, std::size_t pos, MacroEntry*& macro) const;
    void handleIdentifier(std::string& out, InputLevel& level, bool marks, MacroEntry* found);
    void expandIdentifier(std::string& out, InputLevel& level, std::string_view name, bool marks,
                          MacroEntry* found);
    void handleDefinedOperator(std::string& out);
    void copyQuoted(std::string& out, InputLevel& level);
    void copyNumber(std::string& out, InputLevel& level);
    int skipComment(InputLevel& level);
    void reportUnclosedComment(const Cursor& cursor);
    InputLevel* levelWithText();
    bool callOpenFollows(char open) const;
    void consumeCallOpen(char open);
    void expandObjectLike(std::string& out, MacroEntry& macro);
    void expandPredefined(std::string& out, MacroEntry& macro);
    void expandCall(std::string& out, MacroEntry& macro);
    void expandCallWith(std::string& out, MacroEntry& macro, ArgumentList& arguments);
    bool collectArguments(const MacroDefinition& definition, ArgumentList& arguments);
    void checkPaste(std::string& result, std::size_t leftStart, std::string_view right);
    void buildReplacement(const MacroDefinition& definition, ArgumentList& arguments,
                          std::string& result);
    const std::string& expandedArgument(MacroArgument& argument);
    std::string expandText(std::string_view text, bool marks);
    void expandTextInto(std::string_view text, bool marks, std::string& out);
    bool scansUnchanged(std::string_view text) const;
    void pushExpansion(std::string& out, MacroEntry* macro, std::unique_ptr<InputLevel> level);

    // ---- directives (cprepr_directives.cpp)
    bool handleDirective(std::string& out, InputLevel& level);
    std::string collectDirectiveLine(InputLevel& level, Directive kind);
    void doDefine(std::string_view argument);
    void doUndef(std::string_view argument);
    void doIf(InputLevel& level, std::string_view argument);
    void doIfdef(InputLevel& level, std::string_view argument, bool wantDefined, std::string_view name);
    void doElse(InputLevel& level, bool isElif);
    void doEndif(InputLevel& level);
    void doInclude(std::string& out, InputLevel& level, std::string_view argument, bool next);
    void doError(std::string& out, std::string_view name, std::string_view argument);
    void doLine(InputLevel& level, std::string_view argument);
    int evalIfText(std::string_view expression);
    std::string answerHasInclude(std::string text) const;
    struct IncludeCandidate {
        std::string path;
        int entry;  // index in the search list, -1 for the name as written
    };
    std::vector<IncludeCandidate> includeCandidates(const InputLevel* level, const std::string& name, bool angled,
                                                    bool next) const;
    std::string searchedDirectories() const;
    void doPragma(std::string& out, std::string_view argument);
    void doPragmaTarvo(std::string& out, std::string_view text, std::string_view words);
    void skipGroup(InputLevel& level);
    void skipToStartPragma(InputLevel& level);
    void skipRestOfLine(InputLevel& level);
    void skipLeadingBlanks(InputLevel& level);
    std::string readDirectiveName(InputLevel& level);
    void reportMatchLine(const Conditional& conditional);
    bool insideConditional(const InputLevel& level) const;
    bool isStartPragma(std::string_view pragmaText) const;
    void addIncludeStd(std::string_view list);

    friend class DefineParser;

    // ---- the cycle
    MacroTable* table_ = nullptr;  // the caller's macro table, from init or the current text to end
    bool pedantic_ = false;        // ANSI dialect: a newline ends a string, #ifdef 1x is reported
    bool traditional_ = false;     // K&R dialect: no `#`/`##`, comments paste, no __STDC__
    bool inInit_ = false;          // reading the texts of init: no #line lines
    bool analysisOn_ = true;       // the analysis switch of the start/stop pragmas
    bool analyseAll_ = true;       // the current text is read whatever the analysis switch says
    bool stopped_ = false;         // a resource limit was passed: the current text ends quietly
    int directiveLine_ = 0;        // line of the directive being handled (for the conditional it opens)
    MacroEntry definedOperator_{"defined", kKindDefined, nullptr};  // in the table while an #if line is expanded
    std::optional<ScopedHook<MacroDefinedQuery>> cycleQuery_;  // answers the #if evaluator while a cycle is open

    // ---- input
    std::vector<std::unique_ptr<InputLevel>> stack_;  // the input levels, innermost last
    std::vector<std::unique_ptr<InputLevel>> spareLevels_;  // popped levels, to be pushed again
    std::vector<ArgumentList> spareArgumentLists_;  // of finished calls, to be filled again
    std::size_t floor_ = 0;  // levels of the current scan that argument lists may not cross
    bool marks_ = false;     // the current scan keeps marks (an argument being expanded)
    std::vector<Conditional> conditions_;  // open conditional groups, innermost last
    std::vector<SearchEntry> searchList_;  // include search list: options, target, incl_std pragmas
    std::vector<std::string> systemDirectories_;  // directories of system headers, backslashes doubled
    std::vector<std::pair<std::string, std::string>> aliases_;  // pragma text and its replacement
    std::vector<std::string> typeModifiers_;  // names given by the type_modifier pragma

    // ---- output
    std::string* mainOutput_ = nullptr;  // the result of the current text; other outputs write no #line lines
    LineCounter outputLine_ = 0;         // the input line that the end of the main output stands for
    std::string outputFile_;             // the file named by the last #line line written

    std::string dateText_;  // __DATE__ and __TIME__, taken once at first use
    std::string timeText_;

    // ---- limits (for fuzzing)
    std::size_t maxOutput_ = static_cast<std::size_t>(-1);      // bytes written or scanned per text
    std::size_t maxExpansions_ = static_cast<std::size_t>(-1);  // macro expansions per text
    std::size_t expansions_ = 0;    // expansions of the current text
    std::size_t scannedBytes_ = 0;  // bytes of all levels pushed for the current text
    bool readFiles_ = true;         // included files are opened
};

// Trims blanks, tabs, newlines and the like at both ends.
std::string_view trimSpaces(std::string_view text);

// Whether text a placed right before text b could form one token.
inline bool couldPaste(char a, char b)
{
    if (isIdChar(a) && (isIdChar(b) || b == kNoExpandMark)) {
        return true;
    }
    if (hasClass(a, kPasteOperator) && hasClass(b, kPasteOperator)) {
        return true;
    }
    return (a == '.' && isDigit(b)) || (isDigit(a) && b == '.');
}

// Drops blanks and padding marks at both ends.
std::string_view trimSpacesAndPads(std::string_view text);

// Length of the preprocessing token that starts at text[from] (0 at the end).
std::size_t tokenLength(std::string_view text, std::size_t from);

// When the last token of left and the first token of right do not join into
// one token, the two written around "##"; nothing when they do or one is empty.
std::optional<std::string> invalidPaste(std::string_view left, std::string_view right);

}  // namespace qvm::canalysis::cpp
