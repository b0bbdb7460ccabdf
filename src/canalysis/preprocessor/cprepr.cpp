// The C preprocessor's entry points and the state of one preprocessing.
#include "canalysis/preprocessor/cprepr.h"

#include "canalysis/preprocessor/cevalif.h"
#include "canalysis/preprocessor/cprepr_engine.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace qvm::canalysis {

namespace {
bool lineNeedsWork(std::string_view line);
bool pairNeedsWork(char a, char b);

// How a text that may pass unchanged treats each byte.
enum class PlainByte : unsigned char {
    Copied,     // copied as it is
    Name,       // begins a name, which must be no macro
    Quote,      // opens a literal that must close on the line
    Slash,      // may begin a comment
    PairStart,  // may begin a trigraph or a digraph
    Refused,    // not printable, '#' or '\\': the text goes the long way
};

constexpr std::array<PlainByte, 256> makePlainBytes()
{
    std::array<PlainByte, 256> table{};
    for (int c = 0; c < 256; ++c) {
        PlainByte kind = PlainByte::Copied;
        if ((c < ' ' && c != '\t') || c > '~' || c == '#' || c == '\\') {
            kind = PlainByte::Refused;
        } else if ((cpp::kCharClasses[static_cast<std::size_t>(c)] & cpp::kIdStart) != 0) {
            kind = PlainByte::Name;
        } else if (c == '"' || c == '\'') {
            kind = PlainByte::Quote;
        } else if (c == '/') {
            kind = PlainByte::Slash;
        } else if ((cpp::kCharClasses[static_cast<std::size_t>(c)] & cpp::kReplacementStart) != 0) {
            kind = PlainByte::PairStart;
        }
        table[static_cast<std::size_t>(c)] = kind;
    }
    return table;
}

constexpr std::array<PlainByte, 256> kPlainBytes = makePlainBytes();
}  // namespace

namespace cpp {

std::string_view trimSpaces(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isAnySpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isAnySpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string_view trimSpacesAndPads(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (isAnySpace(text[begin]) || text[begin] == kPadMark)) {
        ++begin;
    }
    while (end > begin && (isAnySpace(text[end - 1]) || text[end - 1] == kPadMark)) {
        --end;
    }
    return text.substr(begin, end - begin);
}

namespace {

std::size_t punctuatorLength(std::string_view t, std::size_t from)
{
    static constexpr std::string_view punctuators[] = {
        "%:%:", "...", "<<=", ">>=", "->", "++", "--", "<<", ">>", "<=", ">=", "==", "!=", "&&", "||", "*=",
        "/=",   "%=",  "+=",  "-=",  "&=", "^=", "|=", "##", "<:", ":>", "<%", "%>", "%:",
    };
    const std::string_view rest = t.substr(from);
    for (const std::string_view punctuator : punctuators) {
        if (rest.starts_with(punctuator)) {
            return punctuator.size();
        }
    }
    return 1;
}

}  // namespace

std::size_t tokenLength(std::string_view text, std::size_t from)
{
    if (from >= text.size()) {
        return 0;
    }
    const char c = text[from];
    if (isIdStart(c)) {
        std::size_t p = from;
        while (p < text.size() && isIdChar(text[p])) {
            ++p;
        }
        if (p < text.size() && (text[p] == '\'' || text[p] == '"') && isLiteralPrefix(text.substr(from, p - from))) {
            return p - from + quotedLength(text, p);
        }
        return p - from;
    }
    if (isDigit(c) || (c == '.' && from + 1 < text.size() && isDigit(text[from + 1]))) {
        return numberLength(text, from, NumberRule::Pasted);
    }
    if (c == '"' || c == '\'') {
        return quotedLength(text, from);
    }
    return punctuatorLength(text, from);
}

namespace {

// The last and the first token of two texts; empty when a text has none.
std::string_view lastToken(std::string_view text)
{
    std::string_view last;
    for (std::size_t p = 0; p < text.size();) {
        if (isAnySpace(text[p]) || text[p] == kPadMark || text[p] == kNoExpandMark) {
            ++p;
            continue;
        }
        const std::size_t length = tokenLength(text, p);
        last = text.substr(p, length);
        p += length;
    }
    return last;
}

std::string_view firstToken(std::string_view text)
{
    std::size_t p = 0;
    while (p < text.size() && (isAnySpace(text[p]) || text[p] == kPadMark || text[p] == kNoExpandMark)) {
        ++p;
    }
    return text.substr(p, tokenLength(text, p));
}

}  // namespace

std::optional<std::string> invalidPaste(std::string_view left, std::string_view right)
{
    const std::string_view a = lastToken(left);
    const std::string_view b = firstToken(right);
    if (a.empty() || b.empty()) {
        return std::nullopt;
    }
    const std::string joined = std::string(a) + std::string(b);
    if (tokenLength(joined, 0) == joined.size()) {
        return std::nullopt;
    }
    return std::string(a) + " ## " + std::string(b);
}

// ---------------------------------------------------------------- levels

bool Engine::pushLevel(std::unique_ptr<InputLevel> level)
{
    if (stack_.size() >= kRefusedDepth) {
        warnFatalDepth();
        return false;
    }
    scannedBytes_ += level->text.size();
    stack_.push_back(std::move(level));
    return true;
}

void Engine::warnFatalDepth()
{
    const InputLevel* file = nearestFile();
    report(CFatal, "NBRECURSI", "", file ? file->fileName : std::string(),
           file ? int{file->line} : 0);
}

// Expansions and argument buffers come and go by the thousand: their
// popped levels are kept, with the room of their text, for the next push.
std::unique_ptr<InputLevel> Engine::newLevel(LevelKind kind)
{
    std::unique_ptr<InputLevel> level;
    if (spareLevels_.empty()) {
        level = std::make_unique<InputLevel>();
    } else {
        level = std::move(spareLevels_.back());
        spareLevels_.pop_back();
        level->restart();
    }
    level->kind = kind;
    return level;
}

void Engine::recycleLevel(std::unique_ptr<InputLevel> level)
{
    if (level->kind != LevelKind::File) {
        spareLevels_.push_back(std::move(level));
    }
}

void Engine::popLevel(std::string& out)
{
    std::unique_ptr<InputLevel> level = std::move(stack_.back());
    stack_.pop_back();
    if (level->kind == LevelKind::Expansion && level->macro != nullptr && level->macro->kind == kKindUserBusy) {
        level->macro->kind = kKindUser;
    }
    if (!stack_.empty() && stack_.back()->pendingLines != 0) {
        stack_.back()->line += std::exchange(stack_.back()->pendingLines, 0);
    }
    if (level->included && !inInit_ && !stack_.empty() && &out == mainOutput_) {
        InputLevel& includer = *stack_.back();
        if (includer.named) {
            writeLineLine(out, includer.line, includer.fileName);
        } else {
            outputLine_ = includer.line;
        }
    }
    recycleLevel(std::move(level));
}

void Engine::clearStack()
{
    for (auto& level : stack_) {
        if (level->macro != nullptr && level->macro->kind == kKindUserBusy) {
            level->macro->kind = kKindUser;
        }
        recycleLevel(std::move(level));
    }
    stack_.clear();
    floor_ = 0;
}

InputLevel* Engine::nearestFile() const
{
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
        if ((*it)->named) {
            return it->get();
        }
    }
    return nullptr;
}

std::pair<std::string, int> Engine::position() const
{
    if (const InputLevel* file = nearestFile()) {
        return {file->fileName, file->line};
    }
    return {std::string(), 0};
}

void Engine::warn(std::string_view code, std::string_view argument)
{
    const auto [file, line] = position();
    report(CWarning, code, argument, file, line);
}

void Engine::reportAtLine(int severity, std::string_view code, std::string_view argument, int line)
{
    const InputLevel* file = nearestFile();
    report(severity, code, argument, file ? std::string_view(file->fileName) : std::string_view(), file ? line : 0);
}

bool Engine::overLimits(const std::string& out)
{
    if (out.size() > maxOutput_ || scannedBytes_ > maxOutput_ || expansions_ > maxExpansions_) {
        stopped_ = true;
    }
    return stopped_;
}

// ---------------------------------------------------------------- #line lines

void Engine::writeLineLine(std::string& out, int line, const std::string& file)
{
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    out += "#line ";
    out += std::to_string(line);
    out += " \"";
    // The name's '"', '\\' and line ends escaped, as the declaration lexer reads them.
    for (const char c : file) {
        if (c == '"' || c == '\\') {
            out += '\\';
        } else if (c == '\n' || c == '\r') {
            out += c == '\n' ? "\\n" : "\\r";
            continue;
        }
        out += c;
    }
    out += "\"\n";
    outputLine_ = line;
    outputFile_ = file;
}

// Whether the line that starts at the level's position is a #line
// directive (looked at without reading it).
bool Engine::nextIsLineDirective(const InputLevel& level) const
{
    std::size_t pos = level.pos;
    LineCounter line = level.line;
    Cursor cursor(level.text, pos, line);
    cursor.skipBlanksAndComments();
    return cursor.peek() == '#' && cursor.readDirectiveName() == "line";
}

// Called at a newline of a file level once it has been copied.
void Engine::syncLine(std::string& out, InputLevel& level)
{
    if (!level.named || inInit_ || &out != mainOutput_) {
        outputLine_ = level.line;
        return;
    }
    if (level.line == outputLine_ && level.fileName == outputFile_) {
        return;
    }
    if (nextIsLineDirective(level)) {
        return;
    }
    const long long gap = static_cast<long long>(level.line) - outputLine_;
    if (gap >= 1 && gap <= 7 && level.fileName == outputFile_) {
        out.append(static_cast<std::size_t>(gap), '\n');
        outputLine_ = level.line;
        return;
    }
    writeLineLine(out, level.line, level.fileName);
}

// ---------------------------------------------------------------- cycle

// Reads a level for its directives only: what it writes is dropped.
void Engine::readDiscarded(std::unique_ptr<InputLevel> level)
{
    const std::size_t floor = stack_.size();
    if (!pushLevel(std::move(level))) {
        return;
    }
    std::string discarded;
    const ScopedValue<std::string*> main(mainOutput_, &discarded);
    scan(discarded, floor, false);
}

void Engine::processPseudoFile(const std::string& name, const std::string& text)
{
    auto level = std::make_unique<InputLevel>();
    level->kind = LevelKind::File;
    level->named = true;
    level->fileName = name;
    level->text = text;
    level->conditionDepth = conditions_.size();
    readDiscarded(std::move(level));
}

void Engine::defineFromOption(const std::string& option)
{
    std::size_t i = 0;
    while (i < option.size() && isIdChar(option[i])) {
        ++i;
    }
    if (i == 0 || (i < option.size() && option[i] != '=')) {
        warn("MALFOROPT", "-D" + option);
        return;
    }
    std::string text = "#define " + option.substr(0, i);
    if (i == option.size()) {
        text += " 1";
    } else {
        text += ' ';
        const std::string_view value = std::string_view(option).substr(i + 1);
        for (std::size_t k = 0; k < value.size(); ++k) {
            if (value[k] == '\\' && k + 1 < value.size() && value[k + 1] == '\n') {
                ++k;
                continue;
            }
            text += value[k];
        }
    }
    text += '\n';
    processPseudoFile("*Initialization*", text);
}

// Opens a cycle: resets the run state, builds the search list when asked,
// enters the own and predefined macros and the -D definitions, and reads
// the initial file (its output dropped). Installs the evaluator's macro
// query until end.
void Engine::init(bool pedantic, bool traditional, const std::vector<std::string>& defines,
                  const std::vector<std::string>& includeDirectories, std::string_view fileName,
                  MacroTable& table, bool buildSearchList)
{
    clearStack();
    table_ = &table;
    cycleQuery_.reset();
    cycleQuery_.emplace([this](std::string_view name) { return macroDefined(name); }, macroDefinedQuery,
                        setMacroDefinedQuery);
    pedantic_ = pedantic;
    traditional_ = traditional;
    conditions_.clear();
    aliases_.clear();
    analysisOn_ = true;
    analyseAll_ = true;
    stopped_ = false;
    expansions_ = 0;
    outputLine_ = 0;
    outputFile_.clear();
    if (buildSearchList) {
        for (const auto& directory : includeDirectories) {
            searchList_.push_back({true, directory});
        }
        const char* target = std::getenv("QVMTGT");
        if (target == nullptr) {
            target = std::getenv("TRVTGT");
        }
        if (target != nullptr) {
            const std::string directory = std::string(target) + "/lib";
            searchList_.push_back({true, directory});
            systemDirectories_.push_back(directory);
        }
        if (std::getenv("ZWK_ADD_USR_INCLUDE") != nullptr) {
            for (const char* directory : {"/usr/include", "/usr/local/include"}) {
                searchList_.push_back({true, directory});
                systemDirectories_.push_back(directory);
            }
        }
    }
    const ScopedHook<PositionProvider> located([this] { return position(); }, installedPositionProvider,
                                               installPositionProvider);
    const ScopedValue<bool> initializing(inInit_, true);
    processPseudoFile("*Initialization*",
                      "#define TRV_WIN32 1\n#define USE_QVM 1\n#define TRV_CPLUSPLUS_LANGUAGE 0\n");
    const std::pair<const char*, MacroKind> predefined[] = {
        {"__LINE__", kKindLine},         {"__DATE__", kKindDate}, {"__FILE__", kKindFile},
        {"__BASE_FILE__", kKindBaseFile}, {"__INCLUDE_LEVEL__", kKindIncludeLevel},
        {"__TIME__", kKindTime},          {"__STDC__", kKindStdc},
    };
    for (const auto& [name, kind] : predefined) {
        table.removeAll(name, [](MacroKind) {});  // left from an earlier cycle on the same table
        if (kind != kKindStdc || !traditional) {
            table.insert(name, kind);
        }
    }
    for (const auto& option : defines) {
        defineFromOption(option);
    }
    if (!fileName.empty()) {
        auto level = std::make_unique<InputLevel>();
        level->kind = LevelKind::File;
        level->text = "#include \"" + std::string(fileName) + "\"\n";
        readDiscarded(std::move(level));
    }
    clearStack();
}

// Preprocesses one text as the content of fileName from firstLine on into
// result; the input stack is empty before and after.
void Engine::processBuffer(std::string_view text, int analyseAll, std::string_view fileName, int firstLine,
                          std::string& result, MacroTable& table)
{
    clearStack();
    table_ = &table;
    inInit_ = false;
    analyseAll_ = analyseAll != 0;
    stopped_ = false;
    expansions_ = 0;
    scannedBytes_ = 0;
    if (passesUnchanged(text, table)) {
        copyUnchanged(text.ends_with('\n') ? text.substr(0, text.size() - 1) : text, fileName, firstLine, result);
        return;
    }
    const ScopedHook<PositionProvider> located([this] { return position(); }, installedPositionProvider,
                                               installPositionProvider);

    std::string out;
    out.reserve(30);
    const ScopedValue<std::string*> main(mainOutput_, &out);
    outputFile_.clear();
    auto level = std::make_unique<InputLevel>();
    level->kind = LevelKind::File;
    level->named = !fileName.empty();
    level->fileName = std::string(fileName);
    level->line = firstLine;
    level->text = C_CPP_prepare_text(text);
    level->conditionDepth = 0;  // a text may close the conditionals of an earlier one
    const bool named = level->named;
    if (pushLevel(std::move(level))) {
        InputLevel& top = *stack_.back();
        if (named && !nextIsLineDirective(top)) {
            writeLineLine(out, firstLine, top.fileName);
        } else {
            outputLine_ = firstLine;
        }
        if (!analysisOn_ && !analyseAll_) {
            skipToStartPragma(top);
        }
        scan(out, 0, false);
    }
    clearStack();
    result = std::move(out);
}

bool Engine::passesUnchanged(std::string_view text, MacroTable& table) const
{
    const std::string_view line = text.ends_with('\n') ? text.substr(0, text.size() - 1) : text;
    const bool plainRun = conditions_.empty() && (analysisOn_ || analyseAll_) &&
                          maxOutput_ == static_cast<std::size_t>(-1) && maxExpansions_ == static_cast<std::size_t>(-1);
    if (!plainRun || line.empty()) {
        return false;
    }
    // One pass over the line: a trigraph or digraph anywhere in it, inside
    // literals too, sends the text the long way.
    const auto printable = [](char c) { return (c >= ' ' && c <= '~') || c == '\t'; };
    const auto pairAt = [line](std::size_t pos) {
        return pos + 1 < line.size() && pairNeedsWork(line[pos], line[pos + 1]);
    };
    std::size_t pos = 0;
    while (pos < line.size()) {
        const char c = line[pos];
        switch (kPlainBytes[static_cast<unsigned char>(c)]) {
        case PlainByte::Copied:
            ++pos;
            break;
        case PlainByte::Refused:
            return false;
        case PlainByte::PairStart:
            if (pairAt(pos)) {
                return false;
            }
            ++pos;
            break;
        case PlainByte::Slash:
            if (pos + 1 < line.size() && (line[pos + 1] == '/' || line[pos + 1] == '*')) {
                return false;
            }
            ++pos;
            break;
        case PlainByte::Quote:
            // The literal must close on the line; its escapes are copied as they are.
            for (++pos; pos < line.size() && line[pos] != c; ++pos) {
                if (!printable(line[pos]) || pairAt(pos)) {
                    return false;
                }
                if (line[pos] == '\\' && ++pos < line.size() && (!printable(line[pos]) || pairAt(pos))) {
                    return false;
                }
            }
            if (pos >= line.size()) {
                return false;
            }
            ++pos;
            break;
        case PlainByte::Name: {
            // Names inside numbers are looked up too: a macro there only
            // sends the text the long way.
            const std::size_t start = pos;
            while (pos < line.size() && isIdChar(line[pos])) {
                ++pos;
            }
            if (table.find(line.substr(start, pos - start)) != nullptr) {
                return false;
            }
            break;
        }
        }
    }
    return true;
}

void Engine::copyUnchanged(std::string_view line, std::string_view fileName, int firstLine, std::string& result)
{
    std::string out;
    out.reserve(line.size() + fileName.size() + 16);
    outputFile_.clear();
    if (!fileName.empty()) {
        writeLineLine(out, firstLine, std::string(fileName));
    }
    out.append(line);
    out += '\n';
    outputLine_ = firstLine + 1;
    result = std::move(out);
}

// Closes the cycle: open conditionals are reported, user macros and type
// modifiers dropped, the search list too when asked.
void Engine::end(MacroTable& table, bool freeSearchList)
{
    clearStack();
    for (const auto& conditional : conditions_) {
        report(CWarning, "UNTERCOND", directiveName(conditional.kind), conditional.file, conditional.line);
    }
    conditions_.clear();
    table.removeIf([](const MacroEntry& entry) {
        return entry.kind == kKindUser || entry.kind == kKindUserBusy || entry.kind == kKindDefined;
    });
    typeModifiers_.clear();
    if (freeSearchList) {
        searchList_.clear();
        systemDirectories_.clear();
    }
    // The caller's table may go away after the cycle.
    table_ = nullptr;
    cycleQuery_.reset();
}

int Engine::evalIfLine(std::string_view expression)
{
    const ScopedHook<PositionProvider> located([this] { return position(); }, installedPositionProvider,
                                               installPositionProvider);
    return evalIfText(expression);
}

bool Engine::macroDefined(std::string_view name) const
{
    if (table_ == nullptr) {
        return false;
    }
    MacroEntry* entry = table_->find(name);
    return entry != nullptr && entry->kind != kKindDefined;
}

std::vector<std::string> Engine::searchList() const
{
    std::vector<std::string> names;
    for (const auto& entry : searchList_) {
        names.push_back(entry.hasDirectory ? entry.directory : std::string());
    }
    return names;
}

}  // namespace cpp

// ---------------------------------------------------------------- macro table

unsigned MacroTable::hash(std::string_view name)
{
    std::uint32_t h = 0;
    for (const char c : name) {
        h = h * 4 + static_cast<unsigned char>(c);
    }
    return (h & 0x7fffffffU) % kMacroChains;
}

void MacroTable::countName(std::string_view name, int change)
{
    namesOfShape_[shapeOf(name)] += static_cast<std::uint32_t>(change);
    ++changes_;
}

MacroEntry* MacroTable::findInChain(std::string_view name)
{
    if (overlay_ != nullptr && overlay_->name == name) {
        return overlay_;
    }
    auto& chain = chains_[hash(name)];
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if ((*it)->name == name) {
            return it->get();
        }
    }
    return nullptr;
}

MacroEntry& MacroTable::insert(std::string_view name, MacroKind kind)
{
    auto entry = std::make_unique<MacroEntry>();
    entry->name = std::string(name);
    entry->kind = kind;
    countName(name, 1);
    auto& chain = chains_[hash(name)];
    chain.push_back(std::move(entry));
    return *chain.back();
}

void MacroTable::remove(const MacroEntry* entry)
{
    auto& chain = chains_[hash(entry->name)];
    const auto found = std::find_if(chain.begin(), chain.end(),
                                    [&](const std::unique_ptr<MacroEntry>& e) { return e.get() == entry; });
    if (found != chain.end()) {
        countName((*found)->name, -1);
        chain.erase(found);
    }
}

MacroEntry* MacroTable::setOverlay(MacroEntry* entry)
{
    if (overlay_ != nullptr) {
        countName(overlay_->name, -1);
    }
    if (entry != nullptr) {
        countName(entry->name, 1);
    }
    return std::exchange(overlay_, entry);
}

void MacroTable::clear()
{
    for (auto& chain : chains_) {
        chain.clear();
    }
    namesOfShape_.fill(0);
    ++changes_;
}

// ---------------------------------------------------------------- text preparation

namespace {

char trigraphReplacement(char c)
{
    switch (c) {
    case '\'': return '^';
    case '(': return '[';
    case ')': return ']';
    case '-': return '~';
    case '<': return '{';
    case '=': return '#';
    case '>': return '}';
    case '/': return '\\';
    default: return 0;
    }
}

char digraphReplacement(char a, char b)
{
    if (a == '<' && b == ':') return '[';
    if (a == ':' && b == '>') return ']';
    if (a == '<' && b == '%') return '{';
    if (a == '%' && b == '>') return '}';
    if (a == '%' && b == ':') return '#';
    return 0;
}

bool onlyBlanksUntilEnd(std::string_view line, std::size_t from)
{
    for (std::size_t i = from; i < line.size(); ++i) {
        if (line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            return false;
        }
    }
    return true;
}

// A line that lost `blanks` characters to replacements gets them back as
// blanks before its end: before a final carriage return and a continuation
// backslash, so that both keep working.
std::string padded(std::string line, std::size_t blanks)
{
    if (blanks == 0) {
        return line;
    }
    std::size_t keep = line.size();
    if (keep > 0 && line[keep - 1] == '\r') {
        --keep;
    }
    if (keep > 0 && line[keep - 1] == '\\') {
        --keep;
    }
    line.insert(keep, blanks, ' ');
    return line;
}

// Trigraphs of one line replaced; blanks before the line's end keep its
// length, and a final "??/" becomes a continuation backslash.
std::string replaceTrigraphs(std::string_view line)
{
    std::string result;
    result.reserve(line.size());
    std::size_t removed = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '?' && i + 2 < line.size() && line[i + 1] == '?') {
            const char replacement = trigraphReplacement(line[i + 2]);
            if (replacement == '\\' && onlyBlanksUntilEnd(line, i + 3)) {
                // "??/" closing the line continues it: the last blank becomes the backslash.
                std::string tail(line.size() - i, ' ');
                std::size_t last = tail.size();
                if (line.back() == '\r') {
                    tail.back() = '\r';
                    --last;
                }
                tail[last - 1] = '\\';
                return result + std::string(removed, ' ') + tail;
            }
            if (replacement != 0) {
                result += replacement;
                removed += 2;
                i += 2;
                continue;
            }
        }
        result += line[i];
    }
    return padded(std::move(result), removed);
}

std::string replaceDigraphs(std::string_view line)
{
    std::string result;
    result.reserve(line.size());
    std::size_t removed = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (i + 1 < line.size()) {
            const char replacement = digraphReplacement(line[i], line[i + 1]);
            if (replacement != 0) {
                result += replacement;
                ++removed;
                ++i;
                continue;
            }
        }
        result += line[i];
    }
    return padded(std::move(result), removed);
}

bool pairNeedsWork(char a, char b)
{
    return cpp::hasClass(a, cpp::kReplacementStart) && ((a == '?' && b == '?') || digraphReplacement(a, b) != 0);
}

bool lineNeedsWork(std::string_view line)
{
    // Whole files go through here, and the characters that begin a
    // replacement are rare: each is looked for with a library search, and
    // only where it stands is the pair checked.
    for (const char first : {'?', '<', ':', '%'}) {
        for (std::size_t at = line.find(first); at != std::string_view::npos && at + 1 < line.size();
             at = line.find(first, at + 1)) {
            if (pairNeedsWork(first, line[at + 1])) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::string C_CPP_prepare_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 1);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool hasNewline = end != std::string_view::npos;
        if (!hasNewline) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        if (lineNeedsWork(line)) {
            out += replaceDigraphs(replaceTrigraphs(line));
        } else {
            out.append(line);
        }
        out += '\n';
        start = end + 1;
    }
    return out;
}

std::string prepareOwnedText(std::string text)
{
    // No replacement pair can span a newline, so the whole text is checked
    // at once.
    if (lineNeedsWork(text)) {
        return C_CPP_prepare_text(text);
    }
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    return text;
}

// ---------------------------------------------------------------- contexts

Preprocessor::Preprocessor() : engine_(std::make_unique<cpp::Engine>()) {}

Preprocessor::~Preprocessor() = default;

void Preprocessor::init(bool pedantic, bool traditional, const std::vector<std::string>& defines,
                        const std::vector<std::string>& includeDirectories, std::string_view fileName,
                        MacroTable& table, bool buildSearchList)
{
    engine_->init(pedantic, traditional, defines, includeDirectories, fileName, table, buildSearchList);
}

int Preprocessor::process(std::string_view text, int analyseAll, std::string_view fileName, int firstLine,
                          std::string& result, MacroTable& table, DiagnosticCallback callback)
{
    installCallback(std::move(callback));
    const int before = errorsReported();
    engine_->processBuffer(text, analyseAll, fileName, firstLine, result, table);
    return errorsReported() - before;
}

void Preprocessor::end(MacroTable& table, bool freeSearchList)
{
    engine_->end(table, freeSearchList);
}

int Preprocessor::evalIfLine(std::string_view expression)
{
    return engine_->evalIfLine(expression);
}

bool Preprocessor::macroDefined(std::string_view name) const
{
    return engine_->macroDefined(name);
}

bool Preprocessor::passesUnchanged(std::string_view text, MacroTable& table) const
{
    return engine_->passesUnchanged(text, table);
}

const std::vector<std::string>& Preprocessor::systemDirectories() const
{
    return engine_->systemDirectories();
}

const std::vector<std::string>& Preprocessor::typeModifiers() const
{
    return engine_->typeModifiers();
}

std::vector<std::string> Preprocessor::searchList() const
{
    return engine_->searchList();
}

void Preprocessor::setResourceLimits(std::size_t maxOutput, std::size_t maxExpansions, bool readFiles)
{
    engine_->setLimits(maxOutput, maxExpansions, readFiles);
}

// ---------------------------------------------------------------- entry points

namespace {

// The context of the C_CPP_ entry points, kept until the process ends (its
// cycle hooks must not outlive the evaluator they are installed in).
Preprocessor& entryPointContext()
{
    static Preprocessor* const context = new Preprocessor;
    return *context;
}

}  // namespace

void C_CPP_init_prepro(bool pedantic, bool traditional, const std::vector<std::string>& defines,
                       const std::vector<std::string>& includeDirectories, std::string_view fileName,
                       MacroTable& table, bool buildSearchList)
{
    entryPointContext().init(pedantic, traditional, defines, includeDirectories, fileName, table, buildSearchList);
}

int C_CPP_prepro_buffer(std::string_view text, int analyseAll, std::string_view fileName, int firstLine,
                        std::string& result, MacroTable& table, DiagnosticCallback callback)
{
    return entryPointContext().process(text, analyseAll, fileName, firstLine, result, table, std::move(callback));
}

void C_CPP_end_prepro(MacroTable& table, bool freeSearchList)
{
    entryPointContext().end(table, freeSearchList);
}

int C_CPP_eval_if_line(std::string_view expression)
{
    return entryPointContext().evalIfLine(expression);
}

bool C_CPP_macro_defined(std::string_view name)
{
    return entryPointContext().macroDefined(name);
}

bool C_CPP_passes_unchanged(std::string_view text, MacroTable& table)
{
    return entryPointContext().passesUnchanged(text, table);
}

const std::vector<std::string>& C_CPP_system_directories()
{
    return entryPointContext().systemDirectories();
}

const std::vector<std::string>& C_CPP_type_modifiers()
{
    return entryPointContext().typeModifiers();
}

std::vector<std::string> C_CPP_search_list()
{
    return entryPointContext().searchList();
}

void C_CPP_set_resource_limits(std::size_t maxOutput, std::size_t maxExpansions, bool readFiles)
{
    entryPointContext().setResourceLimits(maxOutput, maxExpansions, readFiles);
}

}  // namespace qvm::canalysis
