// Scanning of the input levels and macro expansion.
#include "canalysis/cprepr_engine.h"

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

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

void Engine::skipSplices(InputLevel& level)
{
    while (const std::size_t length = spliceLength(level.text, level.pos)) {
        level.pos += length;
        ++level.line;
    }
}

// ---------------------------------------------------------------- main loop

void Engine::scan(std::string& out, std::size_t floor, bool marks)
{
    const std::size_t savedFloor = floor_;
    const bool savedMarks = marks_;
    floor_ = floor;
    marks_ = marks;
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
        if ((cls & kScanStop) == 0) {
            std::size_t end = pos + 1;
            while (end < text.size() && (classes[static_cast<unsigned char>(text[end])] & kScanStop) == 0) {
                ++end;
            }
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
            continue;
        }
        if (cls & kIdStart) {
            level.lineStart = false;
            handleIdentifier(out, level, marks);
            continue;
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
                skipSplices(level);
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
    floor_ = savedFloor;
    marks_ = savedMarks;
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

void Engine::skipBlockComment(InputLevel& level, std::string* newlinesOut)
{
    const std::string& t = level.text;
    const int startLine = level.line;
    std::size_t p = level.pos + 2;
    while (true) {
        const std::size_t q = t.find_first_of("*\n", p);
        if (q == std::string::npos) {
            level.pos = t.size();
            reportAtLine(CWarning, "UNTERCOMM", "", startLine);
            return;
        }
        if (t[q] == '\n') {
            ++level.line;
            if (newlinesOut != nullptr) {
                *newlinesOut += '\n';
            }
            p = q + 1;
            continue;
        }
        std::size_t r = q + 1;
        while (const std::size_t length = spliceLength(t, r)) {
            r += length;
            ++level.line;
            if (newlinesOut != nullptr) {
                *newlinesOut += '\n';
            }
        }
        if (r < t.size() && t[r] == '/') {
            level.pos = r + 1;
            return;
        }
        p = r;
    }
}

void Engine::skipLineComment(InputLevel& level)
{
    const std::string& t = level.text;
    std::size_t p = level.pos + 2;
    while (p < t.size() && t[p] != '\n') {
        if (const std::size_t length = spliceLength(t, p)) {
            p += length;
            ++level.line;
            continue;
        }
        ++p;
    }
    level.pos = p;
}

void Engine::handleSlash(std::string& out, InputLevel& level)
{
    const std::string& t = level.text;
    std::size_t p = level.pos + 1;
    int splices = 0;
    while (const std::size_t length = spliceLength(t, p)) {
        p += length;
        ++splices;
    }
    const char next = p < t.size() ? t[p] : '\0';
    if (next != '*' && next != '/') {
        level.lineStart = false;
        out += '/';
        ++level.pos;
        return;
    }
    // A continuation between the two characters moves after the opener.
    level.line += splices;
    level.pos = p - 1;
    if (next == '*') {
        std::string newlines;
        skipBlockComment(level, &newlines);
        if (!traditional_) {
            out += ' ';
        }
        if (!newlines.empty() && level.kind == LevelKind::File) {
            out += newlines;
            if (&out == mainOutput_) {
                outputLine_ += static_cast<int>(newlines.size());
            }
        }
    } else {
        skipLineComment(level);
        out += ' ';
    }
}

// ---------------------------------------------------------------- literals

void Engine::copyQuoted(std::string& out, InputLevel& level)
{
    const std::string& t = level.text;
    const char quote = t[level.pos];
    const int startLine = level.line;
    out += quote;
    ++level.pos;
    while (true) {
        std::size_t p = level.pos;
        while (p < t.size() && t[p] != quote && t[p] != '\\' && t[p] != '\n' && t[p] != kPadMark) {
            ++p;
        }
        out.append(t, level.pos, p - level.pos);
        level.pos = p;
        if (p >= t.size()) {
            reportAtLine(CWarning, "UNTERSTRI", "", startLine);
            return;
        }
        const char c = t[p];
        if (c == kPadMark) {
            // Only an unterminated constant of an expansion runs into a mark.
            out += level.kind == LevelKind::File ? c : ' ';
            ++level.pos;
            continue;
        }
        if (c == quote) {
            out += c;
            ++level.pos;
            return;
        }
        if (c == '\\') {
            if (spliceLength(t, p) != 0) {
                skipSplices(level);
                continue;
            }
            out += '\\';
            ++level.pos;
            if (level.pos < t.size() && t[level.pos] != '\n') {
                out += t[level.pos];
                ++level.pos;
            }
            continue;
        }
        // A newline inside the constant.
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
    }
}

void Engine::copyNumber(std::string& out, InputLevel& level)
{
    const std::string& t = level.text;
    char previous = t[level.pos];
    out += previous;
    ++level.pos;
    while (level.pos < t.size()) {
        if (spliceLength(t, level.pos) != 0) {
            skipSplices(level);
            continue;
        }
        const char c = t[level.pos];
        if (isIdChar(c)) {
            out += c;
        } else if (c == '.') {
            if (level.pos + 1 < t.size() && t[level.pos + 1] == '.') {
                return;
            }
            out += c;
        } else if ((c == '+' || c == '-') && (previous == 'e' || previous == 'E') && !traditional_) {
            out += c;
        } else {
            return;
        }
        previous = c;
        ++level.pos;
    }
}

std::string Engine::readIdentifier(InputLevel& level)
{
    const std::string& t = level.text;
    std::size_t p = level.pos;
    while (p < t.size() && isIdChar(t[p])) {
        ++p;
    }
    std::string name(t, level.pos, p - level.pos);
    level.pos = p;
    // A continuation inside the name moves after it.
    while (const std::size_t length = spliceLength(t, level.pos)) {
        std::size_t q = level.pos + length;
        if (q >= t.size() || !isIdChar(t[q])) {
            break;
        }
        ++level.line;
        level.pos = q;
        while (level.pos < t.size() && isIdChar(t[level.pos])) {
            name += t[level.pos++];
        }
    }
    return name;
}

// ---------------------------------------------------------------- identifiers

void Engine::handleMark(std::string& out, InputLevel& level, bool marks)
{
    ++level.pos;
    if (level.pos >= level.text.size() || !isIdStart(level.text[level.pos])) {
        return;
    }
    const std::string name = readIdentifier(level);
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

void Engine::handleIdentifier(std::string& out, InputLevel& level, bool marks)
{
    // Continuations inside the name count as lines only after it, so that a
    // spliced __LINE__ gives the line where it begins.
    const int line = level.line;
    const std::string name = readIdentifier(level);
    const int splices = level.line - line;
    if (splices == 0) {
        expandIdentifier(out, level, name, marks);
        return;
    }
    level.line = line;
    expandIdentifier(out, level, name, marks);
    // A level with continuations is a file or a buffer: still on the stack.
    if (stack_.back().get() == &level) {
        level.line += splices;
    } else {
        level.pendingLines += splices;  // counted once the expansion has been read
    }
}

void Engine::expandIdentifier(std::string& out, InputLevel& level, const std::string& name, bool marks)
{
    if (name.size() <= 2 && !traditional_ && level.pos < level.text.size() &&
        (level.text[level.pos] == '\'' || level.text[level.pos] == '"') && isLiteralPrefix(name)) {
        out += name;  // L'x', u8"x": one token with its prefix
        copyQuoted(out, level);
        return;
    }
    MacroEntry* macro = table_->find(name);
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
        if (definition.parameterCount < 0) {
            expandObjectLike(out, *macro);
            return;
        }
        const char open = definition.bracketed ? '[' : '(';
        if (!findCallOpen(open, false)) {
            out += name;
            return;
        }
        if (stack_.size() >= kRefusedDepth) {
            warnFatalDepth();
            out += name;
            return;
        }
        findCallOpen(open, true);
        expandCall(out, *macro);
        return;
    }
    default:
        expandPredefined(out, *macro);
        return;
    }
}

// Whether the next significant character, looked for across finished
// expansion levels, is the opening bracket of a call; with consume, the input
// is moved just after it.
bool Engine::findCallOpen(char open, bool consume)
{
    std::size_t index = stack_.size() - 1;
    std::size_t p = stack_[index]->pos;
    while (true) {
        InputLevel& level = *stack_[index];
        const std::string& t = level.text;
        while (p < t.size()) {
            const char c = t[p];
            if (isAnySpace(c) || (c == kPadMark && level.kind != LevelKind::File)) {
                if (c == '\n' && consume && level.kind == LevelKind::File) {
                    ++level.line;
                }
                ++p;
                continue;
            }
            if (const std::size_t length = spliceLength(t, p)) {
                p += length;
                if (consume) {
                    ++level.line;
                }
                continue;
            }
            if (c == '/' && p + 1 < t.size() && t[p + 1] == '*') {
                const std::size_t end = t.find("*/", p + 2);
                if (end == std::string::npos) {
                    return false;
                }
                if (consume && level.kind == LevelKind::File) {
                    for (std::size_t k = p; k < end; ++k) {
                        level.line += t[k] == '\n' ? 1 : 0;
                    }
                }
                p = end + 2;
                continue;
            }
            if (c == '/' && p + 1 < t.size() && t[p + 1] == '/') {
                while (p < t.size() && t[p] != '\n') {
                    ++p;
                }
                continue;
            }
            if (c == open) {
                if (consume) {
                    level.pos = p + 1;
                    level.lineStart = false;
                }
                return true;
            }
            return false;
        }
        if (level.kind != LevelKind::Expansion || index <= floor_) {
            return false;
        }
        if (consume) {
            std::string unused;
            popLevel(unused);
        }
        --index;
        p = stack_[index]->pos;
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

void Engine::pushExpansion(std::string& out, MacroEntry* macro, std::string text)
{
    ++expansions_;
    if (!traditional_ && !out.empty() && !text.empty() && couldPaste(out.back(), text.front())) {
        separate(out);
    }
    if (!traditional_ && !text.empty()) {
        const char next = nextCharBelow();
        if (next != 0 && couldPaste(text.back(), next)) {
            text += kPadMark;
        }
    }
    auto level = std::make_unique<InputLevel>();
    level->kind = LevelKind::Expansion;
    level->text = std::move(text);
    level->macro = macro;
    level->lineStart = false;
    if (pushLevel(std::move(level)) && macro != nullptr) {
        macro->kind = kKindUserBusy;
    }
    overLimits(out);
}

void Engine::expandObjectLike(std::string& out, MacroEntry& macro)
{
    pushExpansion(out, &macro, macro.definition->replacement);
}

void Engine::expandPredefined(std::string& out, MacroEntry& macro)
{
    const InputLevel* file = nearestFile();
    if (file == nullptr) {
        warn("FICINCONN", macro.name);
    }
    std::string value;
    switch (macro.kind) {
    case kKindLine:
        value = std::to_string(file ? file->line : 0);
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
        while (true) {
            InputLevel& current = *stack_.back();
            while (current.pos < current.text.size() &&
                   (isAnySpace(current.text[current.pos]) || current.text[current.pos] == kPadMark)) {
                ++current.pos;
            }
            if (current.pos < current.text.size()) {
                return &current;
            }
            if (current.kind != LevelKind::Expansion || stack_.size() - 1 <= floor_) {
                return nullptr;
            }
            std::string unused;
            popLevel(unused);
        }
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
        name = readIdentifier(*current);
    } else if (current != nullptr && current->text[current->pos] == kNoExpandMark) {
        ++current->pos;
        if (current->pos < current->text.size() && isIdStart(current->text[current->pos])) {
            name = readIdentifier(*current);
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

bool Engine::collectArguments(const MacroDefinition& definition, std::vector<MacroArgument>& arguments)
{
    arguments.emplace_back();
    arguments.reserve(20);
    const bool bracketed = definition.bracketed;
    const char close = bracketed ? ']' : ')';
    int depth = 0;
    while (!stopped_) {
        InputLevel& level = *stack_.back();
        const std::string& t = level.text;
        if (level.pos >= t.size()) {
            if (level.kind == LevelKind::Expansion && stack_.size() - 1 > floor_) {
                std::string unused;
                popLevel(unused);
                continue;
            }
            return false;
        }
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
                arguments.emplace_back();
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
            if (level.pos + 1 < t.size() && (t[level.pos + 1] == '*' || t[level.pos + 1] == '/')) {
                if (t[level.pos + 1] == '*') {
                    skipBlockComment(level, nullptr);
                } else {
                    skipLineComment(level);
                }
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
                skipSplices(level);
            } else {
                raw += c;
                ++level.pos;
            }
            break;
        default: {
            std::size_t end = level.pos + 1;
            while (end < t.size()) {
                const char k = t[end];
                if (k == '(' || k == ')' || k == '[' || k == ']' || k == ',' || k == '"' || k == '\'' ||
                    k == '/' || k == '\n' || k == '\\' || k == '#') {
                    break;
                }
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
    bool needsWork = false;
    for (const char c : text) {
        if (isIdStart(c) || c == kNoExpandMark) {
            needsWork = true;
            break;
        }
    }
    if (!needsWork || overLimits(std::string())) {
        return std::string(text);
    }
    auto level = std::make_unique<InputLevel>();
    level->kind = LevelKind::Buffer;
    level->text = std::string(text);
    level->lineStart = false;
    const std::size_t floor = stack_.size();
    if (!pushLevel(std::move(level))) {
        return std::string(text);
    }
    std::string out;
    scan(out, floor, marks);
    while (stack_.size() > floor) {
        std::string unused;
        popLevel(unused);
    }
    return out;
}

const std::string& Engine::expandedArgument(MacroArgument& argument)
{
    if (!argument.expandedReady) {
        argument.expanded = expandText(argument.raw, true);
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

std::string Engine::buildReplacement(const MacroDefinition& definition, std::vector<MacroArgument>& arguments)
{
    constexpr std::size_t none = std::string::npos;
    const std::string& body = definition.replacement;
    std::string result;
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
    const int variadicIndex = definition.variadic != 0 ? definition.parameterCount - 1 : -2;
    for (const auto& reference : definition.references) {
        if (overLimits(result)) {
            break;
        }
        appendBody(std::min(static_cast<std::size_t>(reference.textBefore), body.size() - cursor));
        const int index = reference.index < 0 ? variadicIndex : reference.index;
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
    return result;
}

void Engine::expandCall(std::string& out, MacroEntry& macro)
{
    // Directives between the lines of the arguments may remove or redefine
    // the macro: the call keeps the definition it started with.
    const std::shared_ptr<const MacroDefinition> held = macro.definition;
    const MacroDefinition& definition = *held;
    const std::string name = macro.name;
    std::vector<MacroArgument> arguments;
    const bool complete = collectArguments(definition, arguments);
    MacroEntry* entry = table_->find(name);
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
    const bool variadic = definition.variadic != 0;
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
               file ? file->line : 0);
    }
    if (given == 0 && arguments.size() == 1) {
        arguments[0].raw.clear();
    }
    arguments.resize(std::max(arguments.size(), parameters));
    std::string text = buildReplacement(definition, arguments);
    pushExpansion(out, entry, std::move(text));
}

}  // namespace qvm::canalysis::cpp
