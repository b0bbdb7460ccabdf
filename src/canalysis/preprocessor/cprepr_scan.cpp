// Scanning of the input levels and macro expansion.
#include "canalysis/preprocessor/cprepr_engine.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace qvm::canalysis::cpp {

namespace {

bool isPrintable(unsigned char c)
{
    return c >= 0x20 && c < 0x7f;
}

void appendOctal(std::string& s, unsigned char c)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\%03o", static_cast<unsigned>(c));
    s += buffer;
}

// The stringized form of a raw argument.
std::string stringize(std::string_view raw)
{
    const std::string_view text = trimSpacesAndPads(raw);
    std::string s;
    s.reserve(text.size() + 8);
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == kNoExpandMark || c == kPadMark) {
            continue;
        }
        if (quote != 0) {
            if (c == '\\') {
                s += "\\\\";
                if (i + 1 < text.size()) {
                    const char next = text[++i];
                    if (next == '"' || next == '\\') {
                        s += '\\';
                    }
                    if (isPrintable(static_cast<unsigned char>(next))) {
                        s += next;
                    } else {
                        appendOctal(s, static_cast<unsigned char>(next));
                    }
                }
                continue;
            }
            if (c == quote) {
                quote = 0;
            }
            if (c == '"') {
                s += '\\';
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            if (c == '"') {
                s += '\\';
            }
        } else if (isAnySpace(c)) {
            while (i + 1 < text.size() && isAnySpace(text[i + 1])) {
                ++i;
            }
            s += ' ';
            continue;
        }
        if (isPrintable(static_cast<unsigned char>(c))) {
            s += c;
        } else {
            appendOctal(s, static_cast<unsigned char>(c));
        }
    }
    return s;
}

// A pasted operand forms a new token: the marks at its pasted ends go.
std::string withoutPasteMarks(std::string_view raw, bool before, bool after)
{
    std::string text(raw);
    if (before && !text.empty() && text.front() == kNoExpandMark) {
        text.erase(0, 1);
    }
    if (after) {
        const std::size_t mark = text.rfind(kNoExpandMark);
        if (mark != std::string::npos) {
            bool lastToken = true;
            for (std::size_t k = mark + 1; k < text.size(); ++k) {
                lastToken = lastToken && isIdChar(text[k]);
            }
            if (lastToken) {
                text.erase(mark, 1);
            }
        }
    }
    return text;
}

// The end of the number that begins at pos when no continuation stands
// inside or right after it, else pos; exponentSigns lets a sign follow an
// `e` or `E`. (The rules of Cursor::stepNumber for a text without
// continuations, in a loop of its own: numbers are many.)
std::size_t plainNumberEnd(std::string_view text, std::size_t pos, bool exponentSigns)
{
    std::size_t end = pos + 1;
    while (end < text.size()) {
        const char c = text[end];
        const char previous = text[end - 1];
        const bool part = isIdChar(c) || (c == '.' && (end + 1 == text.size() || text[end + 1] != '.')) ||
                          ((c == '+' || c == '-') && exponentSigns && (previous == 'e' || previous == 'E'));
        if (!part) {
            return spliceLength(text, end) != 0 ? pos : end;
        }
        ++end;
    }
    return end;
}

// The characters that end a plain run of an argument list.
constexpr std::array<bool, 256> kArgumentRunStops = [] {
    std::array<bool, 256> stops{};
    for (const char c : std::string_view("()[],\"'/\n\\#")) {
        stops[static_cast<unsigned char>(c)] = true;
    }
    return stops;
}();

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

// The top level with text left, once finished expansion levels above the
// floor of the current scan are popped; nullptr when there is none.
InputLevel* Engine::levelWithText()
{
    while (true) {
        InputLevel& top = *stack_.back();
        if (top.pos < top.text.size()) {
            return &top;
        }
        if (top.kind != LevelKind::Expansion || stack_.size() - 1 <= floor_) {
            return nullptr;
        }
        std::string unused;
        popLevel(unused);
    }
}

// ---------------------------------------------------------------- main loop

// Reads the input stack into out until only floor levels are left (or a
// limit stops the text): plain runs are copied at once, and identifiers,
// numbers, literals, comments, directives and marks are handled as met.
// With marks, names that must not be expanded again keep their mark.
void Engine::scan(std::string& out, std::size_t floor, bool marks)
{
    const ScopedValue<std::size_t> levelsBelow(floor_, floor);
    const ScopedValue<bool> keepMarks(marks_, marks);
    const auto& classes = charClasses();
    while (stack_.size() > floor && !stopped_) {
        InputLevel& level = *stack_.back();
        const std::string& text = level.text;
        const std::size_t pos = level.pos;
        if (pos >= text.size()) {
            popLevel(out);
            continue;
        }
        const char c = text[pos];
        const unsigned char cls = classes[static_cast<unsigned char>(c)];
        const bool mayBePlain = (cls & (kScanStop | kIdStart | kDigit)) != kScanStop || c == '.';
        if (mayBePlain) {
            MacroEntry* macro = nullptr;
            const std::size_t end = plainTextEnd(text, pos, macro);
            if (end > pos) {
                if (level.lineStart) {
                    for (std::size_t k = pos; k < end; ++k) {
                        if (!isHSpace(text[k])) {
                            level.lineStart = false;
                            break;
                        }
                    }
                }
                out.append(text, pos, end - pos);
                level.pos = end;
            }
            if (end < text.size() && isIdStart(text[end])) {
                level.lineStart = false;
                handleIdentifier(out, level, marks, macro);
                continue;
            }
            if (end > pos) {
                continue;
            }
        }
        if (cls & kDigit) {
            level.lineStart = false;
            copyNumber(out, level);
            continue;
        }
        switch (c) {
        case '\n':
            handleNewline(out, level);
            break;
        case '/':
            handleSlash(out, level);
            break;
        case '"':
        case '\'':
            level.lineStart = false;
            copyQuoted(out, level);
            break;
        case '\\':
            if (spliceLength(text, pos) != 0) {
                cursorAt(level).skipSplices();
            } else {
                level.lineStart = false;
                out += '\\';
                ++level.pos;
            }
            break;
        case '#':
            handleHash(out, level);
            break;
        case '.':
            level.lineStart = false;
            if (pos + 1 < text.size() && isDigit(text[pos + 1])) {
                copyNumber(out, level);
            } else {
                out += '.';
                ++level.pos;
            }
            break;
        case kPadMark:
            handlePad(out, level);
            break;
        default:  // the no-re-expansion mark
            handleMark(out, level, marks);
            break;
        }
    }
}

void Engine::handleNewline(std::string& out, InputLevel& level)
{
    out += '\n';
    ++level.pos;
    if (level.kind != LevelKind::File) {
        return;
    }
    ++level.line;
    level.lineStart = true;
    if (&out == mainOutput_) {
        ++outputLine_;
        syncLine(out, level);
        if (overLimits(out)) {
            return;
        }
        if (!analysisOn_ && !analyseAll_) {
            skipToStartPragma(level);
        }
    }
}

// ---------------------------------------------------------------- comments

void Engine::reportUnclosedComment(const Cursor& cursor)
{
    if (cursor.unclosedComment) {
        reportAtLine(CWarning, "UNTERCOMM", "", *cursor.unclosedComment);
    }
}

// Skips the comment that starts at the level's position; returns the lines
// it spans after its opener.
int Engine::skipComment(InputLevel& level)
{
    Cursor cursor = cursorAt(level);
    const int lines = cursor.skipComment();
    reportUnclosedComment(cursor);
    return lines;
}

void Engine::handleSlash(std::string& out, InputLevel& level)
{
    const char opener = cursorAt(level).commentOpener();
    if (opener == 0) {
        level.lineStart = false;
        out += '/';
        ++level.pos;
        return;
    }
    const int lines = skipComment(level);
    if (opener == '/') {
        out += ' ';
        return;
    }
    if (!traditional_) {
        out += ' ';
    }
    if (lines > 0 && level.kind == LevelKind::File) {
        out.append(static_cast<std::size_t>(lines), '\n');
        if (&out == mainOutput_) {
            outputLine_ += lines;
        }
    }
}

// ---------------------------------------------------------------- literals

// Copies the literal that starts at the level's position. A string may go
// on over newlines unless pedantic; a character constant may not.
void Engine::copyQuoted(std::string& out, InputLevel& level)
{
    Cursor cursor = cursorAt(level);
    const char quote = cursor.peek();
    const int startLine = level.line;
    out += quote;
    ++level.pos;
    while (true) {
        switch (cursor.stepQuoted(quote, &out, true)) {
        case QuoteStop::Closed:
            return;
        case QuoteStop::End:
            reportAtLine(CWarning, "UNTERSTRI", "", startLine);
            return;
        case QuoteStop::Pad:
            // Only an unterminated constant of an expansion runs into a mark.
            out += level.kind == LevelKind::File ? kPadMark : ' ';
            ++level.pos;
            break;
        case QuoteStop::Newline:
            if (quote == '\'' || pedantic_) {
                reportAtLine(CWarning, "UNTERSTRI", "", startLine);
                return;
            }
            out += '\n';
            ++level.pos;
            if (level.kind == LevelKind::File) {
                ++level.line;
                if (&out == mainOutput_) {
                    ++outputLine_;
                }
            }
            break;
        }
    }
}

void Engine::copyNumber(std::string& out, InputLevel& level)
{
    cursorAt(level).stepNumber(&out, traditional_ ? NumberRule::Traditional : NumberRule::Source);
}

// The end of the plain text from pos: what the scan copies as it is, with
// no work of its own. That is the characters that need no look, dots,
// numbers with no continuation inside or right after them, and names that
// are no macro, with no backslash or literal right after them. At a name
// that is a macro, macro receives its entry (else it stays nullptr).
std::size_t Engine::plainTextEnd(std::string_view text, std::size_t pos, MacroEntry*& macro) const
{
    const auto& classes = charClasses();
    const auto needsLook = [&classes](char c) { return (classes[static_cast<unsigned char>(c)] & kScanStop) != 0; };
    while (pos < text.size()) {
        // The characters that need no look, a run at a time.
        while (pos < text.size() && !needsLook(text[pos])) {
            ++pos;
        }
        if (pos == text.size()) {
            break;
        }
        const char c = text[pos];
        const unsigned char cls = classes[static_cast<unsigned char>(c)];
        if ((cls & kIdStart) != 0) {
            std::size_t end = pos + 1;
            while (end < text.size() && isIdChar(text[end])) {
                ++end;
            }
            if (end < text.size() && (text[end] == '\\' || text[end] == '\'' || text[end] == '"')) {
                return pos;
            }
            macro = table_->find(text.substr(pos, end - pos));
            if (macro != nullptr) {
                return pos;
            }
            pos = end;
        } else if ((cls & kDigit) != 0 || (c == '.' && pos + 1 < text.size() && isDigit(text[pos + 1]))) {
            const std::size_t end = plainNumberEnd(text, pos, !traditional_);
            if (end == pos) {
                return pos;
            }
            pos = end;
        } else if (c == '.') {
            ++pos;
        } else {
            return pos;
        }
    }
    return pos;
}

// ---------------------------------------------------------------- identifiers

void Engine::handleMark(std::string& out, InputLevel& level, bool marks)
{
    ++level.pos;
    if (level.pos >= level.text.size() || !isIdStart(level.text[level.pos])) {
        return;
    }
    const std::string name = cursorAt(level).readIdentifier();
    if (marks) {
        out += kNoExpandMark;
    } else if (!out.empty() && couldPaste(out.back(), name.front())) {
        out += ' ';
    }
    out += name;
}

void Engine::handlePad(std::string& out, InputLevel& level)
{
    ++level.pos;
    if (level.kind == LevelKind::File) {
        out += kPadMark;  // a byte of the file, not one of ours
        level.lineStart = false;
    } else {
        separate(out);
    }
}

// The name at the level's position; found is its macro entry when already
// looked up (nullptr: not looked up).
void Engine::handleIdentifier(std::string& out, InputLevel& level, bool marks, MacroEntry* found)
{
    if (found != nullptr) {
        // Found by the plain text reader: written whole, with no continuation
        // inside or right after it.
        const std::string_view name = std::string_view(level.text).substr(level.pos, found->name.size());
        level.pos += name.size();
        expandIdentifier(out, level, name, marks, found);
        return;
    }
    // Continuations inside the name count as lines only after it, so that a
    // spliced __LINE__ gives the line where it begins.
    const int line = level.line;
    std::string spliced;
    const std::string_view name = cursorAt(level).readIdentifier(spliced);
    const int splices = level.line - line;
    if (splices == 0) {
        expandIdentifier(out, level, name, marks, found);
        return;
    }
    level.line = line;
    expandIdentifier(out, level, name, marks, nullptr);
    // A level with continuations is a file or a buffer: still on the stack.
    if (stack_.back().get() == &level) {
        level.line += splices;
    } else {
        level.pendingLines += splices;  // counted once the expansion has been read
    }
}

// A name just read: a literal prefix, a macro to expand (a function-like
// one only when its argument list follows), or text to copy.
void Engine::expandIdentifier(std::string& out, InputLevel& level, std::string_view name, bool marks,
                              MacroEntry* found)
{
    if (name.size() <= 2 && !traditional_ && level.pos < level.text.size() &&
        (level.text[level.pos] == '\'' || level.text[level.pos] == '"') && isLiteralPrefix(name)) {
        out += name;  // L'x', u8"x": one token with its prefix
        copyQuoted(out, level);
        return;
    }
    MacroEntry* macro = found != nullptr ? found : table_->find(name);
    if (macro == nullptr) {
        out += name;
        return;
    }
    switch (macro->kind) {
    case kKindUserBusy:
        if (marks) {
            out += kNoExpandMark;
        }
        out += name;
        return;
    case kKindDefined:
        handleDefinedOperator(out);
        return;
    case kKindUser: {
        const MacroDefinition& definition = *macro->definition;
        if (!definition.functionLike()) {
            expandObjectLike(out, *macro);
            return;
        }
        const char open = definition.bracketed ? '[' : '(';
        if (!callOpenFollows(open)) {
            out += name;
            return;
        }
        if (stack_.size() >= kRefusedDepth) {
            warnFatalDepth();
            out += name;
            return;
        }
        consumeCallOpen(open);
        expandCall(out, *macro);
        return;
    }
    default:
        expandPredefined(out, *macro);
        return;
    }
}

namespace {

// Steps over what may stand between a macro name and its argument list:
// blanks, newlines, continuations, comments and, in expansions, pads.
// False when a comment is left open.
bool skipBeforeArguments(Cursor& cursor, bool inFile)
{
    while (!cursor.atEnd()) {
        const char c = cursor.peek();
        if (isAnySpace(c) || (c == kPadMark && !inFile)) {
            cursor.advance();
        } else if (cursor.spliceHere() != 0) {
            cursor.skipSplices();
        } else if (cursor.commentOpener() != 0) {
            cursor.skipComment();
            if (cursor.unclosedComment) {
                return false;
            }
        } else {
            break;
        }
    }
    return true;
}

}  // namespace

// Whether the next significant character, looked for across finished
// expansion levels without reading anything, is the opening bracket of a call.
bool Engine::callOpenFollows(char open) const
{
    const InputLevel& top = *stack_.back();
    if (top.pos < top.text.size() && top.text[top.pos] == open) {
        return true;  // the common case, written without a blank
    }
    for (std::size_t index = stack_.size(); index-- > 0;) {
        const InputLevel& level = *stack_[index];
        std::size_t pos = level.pos;
        LineCounter line = level.line;
        Cursor cursor(level.text, pos, line);
        if (!skipBeforeArguments(cursor, level.kind == LevelKind::File)) {
            return false;
        }
        if (!cursor.atEnd()) {
            return cursor.peek() == open;
        }
        if (level.kind != LevelKind::Expansion || index <= floor_) {
            return false;
        }
    }
    return false;
}

// Reads up to just after the bracket that callOpenFollows found.
void Engine::consumeCallOpen(char open)
{
    InputLevel& top = *stack_.back();
    if (top.pos < top.text.size() && top.text[top.pos] == open) {
        ++top.pos;
        top.lineStart = false;
        return;
    }
    while (InputLevel* level = levelWithText()) {
        Cursor cursor = cursorAt(*level);
        skipBeforeArguments(cursor, level->kind == LevelKind::File);
        if (!cursor.atEnd()) {
            cursor.advance();
            level->lineStart = false;
            return;
        }
    }
}

// The character that the scan reads after the current level, across
// finished expansions; 0 when there is none.
char Engine::nextCharBelow() const
{
    for (std::size_t index = stack_.size(); index-- > 0;) {
        const InputLevel& level = *stack_[index];
        if (level.pos < level.text.size()) {
            return level.text[level.pos];
        }
        if (level.kind != LevelKind::Expansion || index <= floor_) {
            break;
        }
    }
    return 0;
}

// Pushes an expansion level whose text is the replacement.
void Engine::pushExpansion(std::string& out, MacroEntry* macro, std::unique_ptr<InputLevel> level)
{
    ++expansions_;
    std::string& text = level->text;
    if (!traditional_ && !out.empty() && !text.empty() && couldPaste(out.back(), text.front())) {
        separate(out);
    }
    if (!traditional_ && !text.empty()) {
        const char next = nextCharBelow();
        if (next != 0 && couldPaste(text.back(), next)) {
            text += kPadMark;
        }
    }
    level->macro = macro;
    level->lineStart = false;
    if (pushLevel(std::move(level)) && macro != nullptr) {
        macro->kind = kKindUserBusy;
    }
    overLimits(out);
}

void Engine::expandObjectLike(std::string& out, MacroEntry& macro)
{
    std::unique_ptr<InputLevel> level = newLevel(LevelKind::Expansion);
    level->text = macro.definition->replacement;
    pushExpansion(out, &macro, std::move(level));
}

// The value of __LINE__, __FILE__, __DATE__ and the other predefined names,
// from the nearest file level.
void Engine::expandPredefined(std::string& out, MacroEntry& macro)
{
    const InputLevel* file = nearestFile();
    if (file == nullptr) {
        warn("FICINCONN", macro.name);
    }
    std::string value;
    switch (macro.kind) {
    case kKindLine:
        value = std::to_string(file ? int{file->line} : 0);
        break;
    case kKindFile:
        value = "\"" + (file ? file->fileName : std::string()) + "\"";
        break;
    case kKindBaseFile: {
        std::string base;
        for (const auto& level : stack_) {
            if (level->named) {
                base = level->fileName;
                break;
            }
        }
        value = "\"" + base + "\"";
        break;
    }
    case kKindIncludeLevel: {
        int files = 0;
        for (const auto& level : stack_) {
            files += level->named ? 1 : 0;
        }
        value = std::to_string(files > 0 ? files - 1 : 0);
        break;
    }
    case kKindDate:
    case kKindTime:
        if (dateText_.empty()) {
            const std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "\"%s %2d %4d\"", kMonths[local.tm_mon % 12], local.tm_mday,
                          local.tm_year + 1900);
            dateText_ = buffer;
            std::snprintf(buffer, sizeof buffer, "\"%02d:%02d:%02d\"", local.tm_hour, local.tm_min, local.tm_sec);
            timeText_ = buffer;
        }
        value = macro.kind == kKindDate ? dateText_ : timeText_;
        break;
    default:  // __STDC__
        value = "0";
        break;
    }
    if (!out.empty() && couldPaste(out.back(), value.front())) {
        separate(out);
    }
    out += value;
}

// `defined NAME` or `defined ( NAME )` on an #if line.
void Engine::handleDefinedOperator(std::string& out)
{
    auto skipBlanks = [this]() -> InputLevel* {
        while (InputLevel* current = levelWithText()) {
            while (current->pos < current->text.size() &&
                   (isAnySpace(current->text[current->pos]) || current->text[current->pos] == kPadMark)) {
                ++current->pos;
            }
            if (current->pos < current->text.size()) {
                return current;
            }
        }
        return nullptr;
    };
    InputLevel* current = skipBlanks();
    bool parenthesised = false;
    if (current != nullptr && current->text[current->pos] == '(') {
        parenthesised = true;
        ++current->pos;
        current = skipBlanks();
    }
    std::string name;
    if (current != nullptr && isIdStart(current->text[current->pos])) {
        name = cursorAt(*current).readIdentifier();
    } else if (current != nullptr && current->text[current->pos] == kNoExpandMark) {
        ++current->pos;
        if (current->pos < current->text.size() && isIdStart(current->text[current->pos])) {
            name = cursorAt(*current).readIdentifier();
        }
    }
    if (!name.empty() && parenthesised) {
        current = skipBlanks();
        if (current != nullptr && current->text[current->pos] == ')') {
            ++current->pos;
        } else {
            name.clear();
        }
    }
    if (name.empty()) {
        warn("ERDEFINED", "");
        out += " 0 ";
        return;
    }
    out += macroDefined(name) ? " 1 " : " 0 ";
}

// ---------------------------------------------------------------- calls

// From just after the opening bracket of a call to just after its closing
// one, across lines, directives and finished expansion levels: the raw
// arguments split at top-level commas. False when the input ends first.
bool Engine::collectArguments(const MacroDefinition& definition, ArgumentList& arguments)
{
    arguments.add();
    const bool bracketed = definition.bracketed;
    const char close = bracketed ? ']' : ')';
    int depth = 0;
    while (!stopped_) {
        InputLevel* current = stack_.back().get();
        if (current->pos >= current->text.size() && (current = levelWithText()) == nullptr) {
            return false;
        }
        InputLevel& level = *current;
        const std::string& t = level.text;
        std::string& raw = arguments.back().raw;
        const char c = t[level.pos];
        if (c != '\n' && c != '#' && c != '/' && c != '\\' && !isAnySpace(c)) {
            level.lineStart = false;
        }
        switch (c) {
        case '(':
        case '[':
            if (c == '(' || bracketed) {
                ++depth;
            }
            raw += c;
            ++level.pos;
            break;
        case ')':
        case ']':
            if (c == close && depth == 0) {
                ++level.pos;
                level.lineStart = false;
                return true;
            }
            if ((c == ')' || bracketed) && depth > 0) {
                --depth;
            }
            raw += c;
            ++level.pos;
            break;
        case ',':
            ++level.pos;
            if (depth == 0) {
                arguments.add();
            } else {
                raw += c;
            }
            break;
        case '"':
        case '\'': {
            std::string literal;
            copyQuoted(literal, level);
            for (char& k : literal) {
                k = k == '\n' ? ' ' : k;
            }
            arguments.back().raw += literal;
            break;
        }
        case '/':
            if (cursorAt(level).commentOpener() != 0) {
                skipComment(level);
                if (!traditional_) {
                    raw += ' ';
                }
            } else {
                raw += c;
                ++level.pos;
            }
            break;
        case '\n':
            raw += ' ';
            ++level.pos;
            if (level.kind == LevelKind::File) {
                ++level.line;
                level.lineStart = true;
            }
            break;
        case '#':
            // Directives may stand between the lines of an argument list.
            if (level.kind == LevelKind::File && level.lineStart) {
                std::string directiveOutput;
                if (handleDirective(directiveOutput, level)) {
                    break;
                }
            }
            level.lineStart = false;
            raw += c;
            ++level.pos;
            break;
        case '\\':
            if (spliceLength(t, level.pos) != 0) {
                cursorAt(level).skipSplices();
            } else {
                raw += c;
                ++level.pos;
            }
            break;
        default: {
            std::size_t end = level.pos + 1;
            while (end < t.size() && !kArgumentRunStops[static_cast<unsigned char>(t[end])]) {
                ++end;
            }
            if (level.lineStart) {
                for (std::size_t k = level.pos; k < end; ++k) {
                    level.lineStart = level.lineStart && isHSpace(t[k]);
                }
            }
            raw.append(t, level.pos, end - level.pos);
            level.pos = end;
            break;
        }
        }
    }
    return false;
}

std::string Engine::expandText(std::string_view text, bool marks)
{
    std::string out;
    expandTextInto(text, marks, out);
    return out;
}

// The text fully macro-expanded into out (what out held is dropped, its
// room kept).
void Engine::expandTextInto(std::string_view text, bool marks, std::string& out)
{
    out.clear();
    bool needsWork = false;
    for (const char c : text) {
        if (isIdStart(c) || c == kNoExpandMark) {
            needsWork = true;
            break;
        }
    }
    if (!needsWork || overLimits(out)) {
        out.append(text);
        return;
    }
    if (scansUnchanged(text) && stack_.size() < kRefusedDepth) {
        scannedBytes_ += text.size();  // as if it had been pushed
        out.append(text);
        return;
    }
    std::unique_ptr<InputLevel> level = newLevel(LevelKind::Buffer);
    level->text = text;
    level->lineStart = false;
    const std::size_t floor = stack_.size();
    if (!pushLevel(std::move(level))) {
        out.append(text);
        return;
    }
    scan(out, floor, marks);
    while (stack_.size() > floor) {
        std::string unused;
        popLevel(unused);
    }
}

// Whether scanning the text would give it back as it is: it is plain text
// all through.
bool Engine::scansUnchanged(std::string_view text) const
{
    MacroEntry* macro = nullptr;
    return plainTextEnd(text, 0, macro) == text.size();
}

const std::string& Engine::expandedArgument(MacroArgument& argument)
{
    if (!argument.expandedReady) {
        expandTextInto(argument.raw, true, argument.expanded);
        argument.expandedReady = true;
    }
    return argument.expanded;
}

// `##` joined two pieces of a replacement at its end: when they give no
// token, the report (as an incorrect construct) and a mark that keeps them apart.
void Engine::checkPaste(std::string& result, std::size_t leftStart, std::string_view right)
{
    if (leftStart >= result.size()) {
        return;
    }
    if (const auto pasted = invalidPaste(std::string_view(result).substr(leftStart), right)) {
        warn("CONSTRINC", *pasted);
        result += kPadMark;
    }
}

// The replacement of a call: plain text with each reference replaced by
// its argument stringized, pasted (raw, marks dropped at the joins) or
// fully expanded; pads keep pieces apart that would join into one token.
void Engine::buildReplacement(const MacroDefinition& definition, ArgumentList& arguments,
                              std::string& result)
{
    constexpr std::size_t none = std::string::npos;
    const std::string& body = definition.replacement;
    result.reserve(body.size() + 16);
    std::size_t cursor = 0;
    std::size_t pieceStart = 0;        // where the last piece that is not empty begins
    std::size_t pastedBeforeBody = none;  // a piece that `##` joins to the body text after it
    auto appendBody = [&](std::size_t length) {
        if (length == 0) {
            return;
        }
        if (pastedBeforeBody != none) {
            checkPaste(result, pastedBeforeBody, std::string_view(body).substr(cursor, length));
            pastedBeforeBody = none;
        }
        pieceStart = result.size();
        result.append(body, cursor, length);
        cursor += length;
    };
    // The argument that __VA_ARGS__ stands for (-1: none).
    const int variadicIndex = definition.variadic != Variadic::None ? definition.parameterCount - 1 : -1;
    for (const auto& reference : definition.references) {
        if (overLimits(result)) {
            break;
        }
        appendBody(std::min(static_cast<std::size_t>(reference.textBefore), body.size() - cursor));
        const int index = reference.index == kVaArgsReference ? variadicIndex : reference.index;
        if (index < 0 || static_cast<std::size_t>(index) >= arguments.size()) {
            continue;
        }
        MacroArgument& argument = arguments[static_cast<std::size_t>(index)];
        if (reference.quote != 0) {
            pieceStart = result.size();
            result += reference.quote;
            result += stringize(argument.raw);
            result += reference.quote;
            pastedBeforeBody = reference.pasteAfter ? pieceStart : none;
        } else if (reference.pasteBefore || reference.pasteAfter) {
            const std::string raw = withoutPasteMarks(trimSpacesAndPads(argument.raw), reference.pasteBefore,
                                                      reference.pasteAfter);
            const bool variadicComma = reference.pasteBefore && index == variadicIndex && !result.empty() &&
                                       result.back() == ',';
            if (raw.empty() && variadicComma) {
                result.pop_back();  // `, ## __VA_ARGS__` with no variadic argument drops the comma
            }
            if (raw.empty()) {
                pastedBeforeBody = reference.pasteAfter && reference.pasteBefore ? pieceStart : none;
                continue;
            }
            if (reference.pasteBefore && !variadicComma) {
                checkPaste(result, pieceStart, raw);
            } else if (!result.empty() && couldPaste(result.back(), raw.front())) {
                result += kPadMark;
            }
            pieceStart = result.size();
            result += raw;
            pastedBeforeBody = reference.pasteAfter ? pieceStart : none;
            if (!reference.pasteAfter && cursor < body.size() && couldPaste(raw.back(), body[cursor])) {
                result += kPadMark;
            }
        } else {
            const std::string& expanded = expandedArgument(argument);
            pastedBeforeBody = none;
            if (!expanded.empty()) {
                if (!traditional_ && !result.empty() && couldPaste(result.back(), expanded.front())) {
                    result += kPadMark;
                }
                pieceStart = result.size();
                result += expanded;
                if (!traditional_ && cursor < body.size() && couldPaste(expanded.back(), body[cursor])) {
                    result += kPadMark;
                }
            }
        }
    }
    appendBody(body.size() - cursor);
}

// After a function-like macro's name and opening bracket. The argument
// list of a finished call is kept, with its room, for the calls after it.
void Engine::expandCall(std::string& out, MacroEntry& macro)
{
    ArgumentList arguments;
    if (!spareArgumentLists_.empty()) {
        arguments = std::move(spareArgumentLists_.back());
        spareArgumentLists_.pop_back();
    }
    expandCallWith(out, macro, arguments);
    arguments.clear();
    spareArgumentLists_.push_back(std::move(arguments));
}

// Collects the arguments of a call, checks their count and pushes the
// replacement for rescanning.
void Engine::expandCallWith(std::string& out, MacroEntry& macro, ArgumentList& arguments)
{
    // Directives between the lines of the arguments may remove or redefine
    // the macro: the call keeps the definition it started with.
    const std::shared_ptr<const MacroDefinition> held = macro.definition;
    const MacroDefinition& definition = *held;
    const std::string name = macro.name;
    const std::uint64_t tableBefore = table_->changes();
    const bool complete = collectArguments(definition, arguments);
    MacroEntry* entry = table_->changes() == tableBefore ? &macro : table_->find(name);
    if (entry != nullptr && entry->definition != held) {
        entry = nullptr;
    }
    if (!complete) {
        if (!stopped_) {
            warn("ERRINLINE", "unterminated macro call");
        }
        out += name;
        return;
    }
    std::size_t given = arguments.size();
    if (given == 1 && trimSpacesAndPads(arguments[0].raw).empty()) {
        given = 0;
    }
    const std::size_t parameters = static_cast<std::size_t>(definition.parameterCount);
    const bool variadic = definition.variadic != Variadic::None;
    if (parameters == 0 && given > 0) {
        warn("ARGTOMACR", name);
    } else if (given < parameters) {
        const bool traditionalEmpty = traditional_ && parameters == 1 && given == 0;
        const bool emptyVariadic = variadic && given + 1 == parameters;
        if (!traditionalEmpty && !emptyVariadic) {
            warn(given == 0 ? "NOARTOMAC" : "NBARGMACR", name);
        }
    } else if (given > parameters && !variadic) {
        warn("TOMANYARG", name);
    }
    if (variadic && arguments.size() > parameters) {
        // The variadic parameter takes its own argument and every later one.
        MacroArgument& joined = arguments[parameters - 1];
        for (std::size_t i = parameters; i < arguments.size(); ++i) {
            joined.raw += ',';
            joined.raw += arguments[i].raw;
        }
        arguments.resize(parameters);
    }
    if (variadic && arguments.size() >= parameters && arguments[parameters - 1].raw.size() >= kMaxVariadicText) {
        const InputLevel* file = nearestFile();
        report(CFatal, "TOMANYARG", name, file ? std::string_view(file->fileName) : std::string_view(),
               file ? int{file->line} : 0);
    }
    if (given == 0 && arguments.size() == 1) {
        arguments[0].raw.clear();
    }
    arguments.resize(std::max(arguments.size(), parameters));
    std::unique_ptr<InputLevel> level = newLevel(LevelKind::Expansion);
    buildReplacement(definition, arguments, level->text);
    pushExpansion(out, entry, std::move(level));
}

}  // namespace qvm::canalysis::cpp
