// Preprocessing directives, conditional groups, file inclusion and pragmas.
#include "base/cstsyst.h"
#include "base/filesread.h"
#include "canalysis/preprocessor/cevalif.h"
#include "canalysis/preprocessor/cprepr_engine.h"
#include "diag/i18nutil.h"


#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace qvm::canalysis::cpp {

namespace {

constexpr DirectiveInfo kDirectives[] = {
    {"define", Directive::Define},   {"if", Directive::If},
    {"ifdef", Directive::Ifdef},     {"ifndef", Directive::Ifndef},
    {"endif", Directive::Endif},     {"else", Directive::Else},
    {"elif", Directive::Elif},       {"include", Directive::Include},
    {"include_next", Directive::Include}, {"undef", Directive::Undef},
    {"pragma", Directive::Pragma},   {"warning", Directive::Message},
    {"error", Directive::Message},   {"line", Directive::Line},
};

}  // namespace

std::string_view directiveName(Directive kind)
{
    for (const auto& directive : kDirectives) {
        if (directive.kind == kind) {
            return directive.name;
        }
    }
    return {};
}

namespace {

const DirectiveInfo* findDirective(std::string_view name)
{
    for (const auto& directive : kDirectives) {
        if (directive.name == name) {
            return &directive;
        }
    }
    return nullptr;
}

std::string withoutBlanks(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        if (!isAnySpace(c)) {
            result += c;
        }
    }
    return result;
}

std::string_view readWord(std::string_view text, std::size_t& i)
{
    while (i < text.size() && isAnySpace(text[i])) {
        ++i;
    }
    const std::size_t start = i;
    while (i < text.size() && isIdChar(text[i])) {
        ++i;
    }
    return text.substr(start, i - start);
}

// Whitespace runs count as one blank; references stand as their attributes.
std::string canonicalDefinition(const MacroDefinition& definition)
{
    std::string canonical;
    std::size_t cursor = 0;
    auto appendText = [&](std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (isAnySpace(text[i])) {
                while (i + 1 < text.size() && isAnySpace(text[i + 1])) {
                    ++i;
                }
                canonical += ' ';
            } else {
                canonical += text[i];
            }
        }
    };
    for (const auto& reference : definition.references) {
        appendText(std::string_view(definition.replacement).substr(cursor, static_cast<std::size_t>(reference.textBefore)));
        cursor += static_cast<std::size_t>(reference.textBefore);
        canonical += '\x01';
        canonical += std::to_string(reference.index);
        canonical += reference.quote == 0 ? '-' : reference.quote;
        canonical += reference.pasteBefore ? 'b' : '-';
        canonical += reference.pasteAfter ? 'a' : '-';
        canonical += '\x01';
    }
    appendText(std::string_view(definition.replacement).substr(std::min(cursor, definition.replacement.size())));
    return canonical;
}

bool sameDefinition(const MacroDefinition& a, const MacroDefinition& b)
{
    return a.parameterCount == b.parameterCount && a.parameterNames == b.parameterNames &&
           a.variadic == b.variadic && a.bracketed == b.bracketed && canonicalDefinition(a) == canonicalDefinition(b);
}

// Reads a whole regular file; its text ends at its first NUL byte.
std::optional<std::string> readSourceFile(const std::string& path)
{
    std::optional<std::string> text = base::readWholeFile(path);
    if (text) {
        base::recordFileRead(path);
        const std::size_t nul = text->find('\0');
        if (nul != std::string::npos) {
            text->resize(nul);
        }
    }
    return text;
}

std::string doubledBackslashes(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        result += c;
        if (c == '\\') {
            result += '\\';
        }
    }
    return result;
}

}  // namespace

// ---------------------------------------------------------------- #define

// Reads the parameter list and body of a #define line.
class DefineParser {
public:
    DefineParser(Engine& engine, std::string_view text) : engine_(engine), text_(text) {}

    void run();

private:
    bool parseParameters(char close);
    bool parseBody(std::string_view body);
    void checkLiteralPaste(std::string_view body, std::size_t right);
    void addReference(int index, char quote);
    int parameterIndex(std::string_view name) const;
    std::string restOfLine() const { return std::string(trimSpaces(text_.substr(std::min(i_, text_.size())))); }

    Engine& engine_;
    std::string_view text_;
    std::size_t i_ = 0;
    std::string name_;
    std::vector<std::string> parameters_;
    MacroDefinition definition_;
    std::size_t lastReferenceEnd_ = 0;
    bool pendingPaste_ = false;
};

int DefineParser::parameterIndex(std::string_view name) const
{
    for (std::size_t k = 0; k < parameters_.size(); ++k) {
        if (parameters_[k] == name) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

// Parses the #define line and enters the macro; a malformed line is
// reported and defines nothing.
void DefineParser::run()
{
    while (i_ < text_.size() && isAnySpace(text_[i_])) {
        ++i_;
    }
    if (i_ >= text_.size()) {
        engine_.warn("INVAMACRO", "");
        return;
    }
    if (!isIdStart(text_[i_])) {
        std::size_t end = i_;
        while (end < text_.size() && !isAnySpace(text_[end])) {
            ++end;
        }
        engine_.warn("INVAMACRO", text_.substr(i_, end - i_));
        return;
    }
    const std::size_t start = i_;
    while (i_ < text_.size() && isIdChar(text_[i_])) {
        ++i_;
    }
    name_ = std::string(text_.substr(start, i_ - start));
    if (name_ == "defined") {
        engine_.warn("INVDEFINE", name_);
    }
    if (i_ < text_.size() && (text_[i_] == '(' || text_[i_] == '[')) {
        definition_.bracketed = text_[i_] == '[';
        ++i_;
        if (!parseParameters(definition_.bracketed ? ']' : ')')) {
            return;
        }
        if (i_ < text_.size() && (text_[i_] == ' ' || text_[i_] == '\t')) {
            ++i_;
        }
    }
    if (!parseBody(trimSpaces(text_.substr(i_)))) {
        return;
    }

    MacroTable& table = *engine_.table_;
    if (MacroEntry* existing = table.find(name_)) {
        const bool user = existing->kind == kKindUser || existing->kind == kKindUserBusy;
        const bool equal = user && existing->definition && sameDefinition(*existing->definition, definition_);
        if (!equal && existing->kind != kKindStdc) {
            engine_.warn("IDENREDEF", name_);
        }
        table.remove(existing);
    }
    MacroEntry& entry = table.insert(name_, kKindUser);
    entry.definition = std::make_shared<const MacroDefinition>(std::move(definition_));
}

// From just after the opening bracket to just after the closing one: the
// parameter names, a variadic last one and the joined names. False after a
// reported error.
bool DefineParser::parseParameters(char close)
{
    definition_.parameterCount = 0;
    std::string names;
    auto skipBlanks = [&] {
        while (i_ < text_.size() && isAnySpace(text_[i_])) {
            ++i_;
        }
    };
    skipBlanks();
    if (i_ < text_.size() && text_[i_] == close) {
        ++i_;
        return true;
    }
    while (true) {
        skipBlanks();
        if (i_ >= text_.size()) {
            engine_.warn("UNTPARDEF", name_);
            return false;
        }
        const char c = text_[i_];
        if (!isIdStart(c) && c != '.') {
            if (c == ',' || c == close) {
                engine_.warn("BADPARDEF", restOfLine());
            } else {
                engine_.warn("PARASTART", restOfLine());
            }
            return false;
        }
        if (definition_.variadic != Variadic::None) {
            engine_.warn("BADPARDEF",
                         diag::trLocal("Warning Parameter", "another parameter follow \"...\""));
            return false;
        }
        std::string parameter;
        while (i_ < text_.size() && isIdChar(text_[i_])) {
            parameter += text_[i_++];
        }
        if (!parameter.empty() && parameterIndex(parameter) >= 0) {
            // Two parameters of one name: the closest report is a bad parameter list.
            engine_.warn("BADPARDEF", parameter);
            return false;
        }
        skipBlanks();
        if (i_ < text_.size() && text_[i_] == '.') {
            std::size_t dots = 0;
            while (i_ < text_.size() && text_[i_] == '.') {
                ++dots;
                ++i_;
            }
            if (dots != 3) {
                engine_.warn("BADPARDEF", diag::trLocal("Warning Parameter", "\"...\" expected"));
                return false;
            }
            definition_.variadic = parameter.empty() ? Variadic::Anonymous : Variadic::Named;
            if (parameter.empty()) {
                parameter = "__VA_ARGS__";
            }
            names += names.empty() ? "" : ", ";
            names += definition_.variadic == Variadic::Anonymous ? std::string("...") : parameter + "...";
        } else {
            names += names.empty() ? "" : ", ";
            names += parameter;
        }
        parameters_.push_back(parameter);
        ++definition_.parameterCount;
        skipBlanks();
        if (i_ >= text_.size()) {
            engine_.warn("UNTPARDEF", name_);
            return false;
        }
        if (text_[i_] == close) {
            ++i_;
            break;
        }
        if (text_[i_] != ',') {
            engine_.warn("BADPARDEF", restOfLine());
            return false;
        }
        ++i_;
        skipBlanks();
        if (i_ < text_.size() && (text_[i_] == ',' || text_[i_] == close)) {
            engine_.warn("BADPARDEF", restOfLine());
            return false;
        }
    }
    definition_.parameterNames = names;
    return true;
}

void DefineParser::addReference(int index, char quote)
{
    ParameterReference reference;
    reference.textBefore = static_cast<int>(definition_.replacement.size() - lastReferenceEnd_);
    reference.index = index;
    reference.quote = quote;
    reference.pasteBefore = pendingPaste_;
    pendingPaste_ = false;
    lastReferenceEnd_ = definition_.replacement.size();
    definition_.references.push_back(reference);
}

// `##` between two tokens of the body itself: they must join into one.
void DefineParser::checkLiteralPaste(std::string_view body, std::size_t right)
{
    const std::string& plain = definition_.replacement;
    if (plain.size() == lastReferenceEnd_ && !definition_.references.empty()) {
        return;  // the left operand is a parameter: checked at each expansion
    }
    const std::string_view rightToken = body.substr(right, tokenLength(body, right));
    if (rightToken.empty() || (rightToken[0] == '#' && definition_.functionLike()) ||
        (isIdStart(rightToken[0]) && parameterIndex(rightToken) >= 0) ||
        (rightToken == "__VA_ARGS__" && definition_.variadic == Variadic::Anonymous)) {
        return;
    }
    if (const auto pasted = invalidPaste(std::string_view(plain).substr(lastReferenceEnd_), rightToken)) {
        // A paste that gives no token: reported as an incorrect construct.
        engine_.warn("CONSTRINC", *pasted);
    }
}

// Splits the body into plain replacement text and parameter references
// (with their `#`, `#@` and `##` attributes). False when `##` stands at an end.
bool DefineParser::parseBody(std::string_view body)
{
    std::string& plain = definition_.replacement;
    const bool functionLike = definition_.functionLike();
    const bool traditional = engine_.traditional_;
    if (!traditional && (body.starts_with("##") || (body.size() > 2 && body.ends_with("##")))) {
        // `##` with no operand on one side: the closest report is the misused operator.
        engine_.warn("OPERMACRO", name_);
        return false;
    }
    auto referenceFor = [&](std::string_view word) -> std::optional<int> {
        if (!functionLike) {
            return std::nullopt;
        }
        if (definition_.variadic == Variadic::Anonymous && word == "__VA_ARGS__") {
            return kVaArgsReference;
        }
        const int index = parameterIndex(word);
        const bool anonymousSlot =
            definition_.variadic == Variadic::Anonymous && index == definition_.parameterCount - 1;
        if (index >= 0 && !anonymousSlot) {
            return index;
        }
        return std::nullopt;
    };
    std::size_t i = 0;
    while (i < body.size()) {
        const char c = body[i];
        if (c == '#' && !traditional && i + 1 < body.size() && body[i + 1] == '#') {
            while (plain.size() > lastReferenceEnd_ && isAnySpace(plain.back())) {
                plain.pop_back();
            }
            if (plain.size() == lastReferenceEnd_ && !definition_.references.empty() &&
                plain.size() == lastReferenceEnd_) {
                definition_.references.back().pasteAfter = true;
            }
            i += 2;
            while (i < body.size() && isAnySpace(body[i])) {
                ++i;
            }
            checkLiteralPaste(body, i);
            pendingPaste_ = true;
            continue;
        }
        if (c == '#' && !traditional && functionLike) {
            std::size_t j = i + 1;
            char quote = '"';
            if (j < body.size() && body[j] == '@') {
                quote = '\'';
                ++j;
            }
            while (j < body.size() && isAnySpace(body[j])) {
                ++j;
            }
            std::size_t end = j;
            while (end < body.size() && isIdChar(body[end])) {
                ++end;
            }
            const auto reference = end > j && isIdStart(body[j]) ? referenceFor(body.substr(j, end - j)) : std::nullopt;
            if (reference) {
                addReference(*reference, quote);
                i = end;
                continue;
            }
            engine_.warn("OPERMACRO", name_);
            plain += c;
            pendingPaste_ = false;
            ++i;
            continue;
        }
        if (isIdStart(c)) {
            std::size_t end = i;
            while (end < body.size() && isIdChar(body[end])) {
                ++end;
            }
            const std::string_view word = body.substr(i, end - i);
            if (const auto reference = referenceFor(word)) {
                addReference(*reference, 0);
            } else {
                plain += word;
                pendingPaste_ = false;
            }
            i = end;
            continue;
        }
        if (isDigit(c) || (c == '.' && i + 1 < body.size() && isDigit(body[i + 1]))) {
            const std::size_t length =
                numberLength(body, i, traditional ? NumberRule::Traditional : NumberRule::Source);
            plain += body.substr(i, length);
            pendingPaste_ = false;
            i += length;
            continue;
        }
        if (c == '/' && traditional && i + 1 < body.size() && body[i + 1] == '*') {
            LineCounter lines = 0;
            Cursor(body, i, lines).skipComment();
            continue;
        }
        if ((c == '"' || c == '\'') && !traditional) {
            const std::size_t length = quotedLength(body, i);
            plain += body.substr(i, length);
            pendingPaste_ = false;
            i += length;
            continue;
        }
        plain += c;
        if (!isAnySpace(c)) {
            pendingPaste_ = false;
        }
        ++i;
    }
    return true;
}

void Engine::doDefine(std::string_view argument)
{
    DefineParser parser(*this, argument);
    parser.run();
}

// ---------------------------------------------------------------- #undef

void Engine::doUndef(std::string_view argument)
{
    std::size_t i = 0;
    const std::string name(readWord(argument, i));
    if (name.empty() || !isIdStart(name[0])) {
        // No name, or one that is no identifier: reported as for #define.
        const std::string_view rest = trimSpaces(argument);
        warn("INVAMACRO", rest.substr(0, rest.find_first_of(" \t")));
        return;
    }
    if (name == "defined") {
        warn("UNDEFININ", "defined");
    }
    table_->removeAll(name, [&](MacroKind kind) {
        if (kind != kKindUser && kind != kKindUserBusy && kind != kKindStdc) {
            warn("UNDEFININ", name);
        }
    });
}

// ---------------------------------------------------------------- conditionals

int Engine::evalIfText(std::string_view expression)
{
    std::string text(expression);
    for (std::size_t p = text.find("#machine("); p != std::string::npos; p = text.find("#machine(", p)) {
        text.replace(p, 9, " defined(");
    }
    for (std::size_t p = text.find("#lint(on)"); p != std::string::npos; p = text.find("#lint(on)", p)) {
        text.replace(p, 9, "  (0)    ");
    }
    if (table_ == nullptr) {
        return C_CPP_eval_if(text.c_str());
    }
    // `defined` is an operator only while the line is expanded.
    std::string expanded;
    {
        struct DefinedOperator {
            MacroTable& table;
            MacroEntry* outer;
            ~DefinedOperator() { table.setOverlay(outer); }
        } const defined{*table_, table_->setOverlay(&definedOperator_)};
        expanded = expandText(text, false);
    }
    return C_CPP_eval_if(answerHasInclude(expanded).c_str());
}

// `__has_include(<name>)`, `__has_include("name")` and their `_next` forms,
// left as they were by the expansion, become 1 when the #include of the
// same operand would find a file, 0 otherwise.
std::string Engine::answerHasInclude(std::string text) const
{
    static constexpr std::string_view kOperator = "__has_include";
    for (std::size_t at = text.find(kOperator); at != std::string::npos; at = text.find(kOperator, at + 1)) {
        if (at > 0 && isIdChar(text[at - 1])) {
            continue;
        }
        std::size_t pos = at + kOperator.size();
        const bool next = text.compare(pos, 5, "_next") == 0;
        pos += next ? 5 : 0;
        if (pos < text.size() && isIdChar(text[pos])) {
            continue;
        }
        const std::size_t open = text.find_first_not_of(" \t", pos);
        const std::size_t close = open == std::string::npos ? open : text.find(')', open);
        if (open == std::string::npos || text[open] != '(' || close == std::string::npos) {
            continue;
        }
        const std::string operand(trimSpaces(std::string_view(text).substr(open + 1, close - open - 1)));
        const bool angled = operand.size() >= 2 && operand.front() == '<' && operand.back() == '>';
        const bool quoted = operand.size() >= 2 && operand.front() == '"' && operand.back() == '"';
        bool found = false;
        if (angled || quoted) {
            const std::string name(trimSpaces(std::string_view(operand).substr(1, operand.size() - 2)));
            for (const IncludeCandidate& candidate : includeCandidates(nearestFile(), name, angled, next)) {
                if (base::isReadableFile(candidate.path)) {
                    found = true;
                    break;
                }
            }
        }
        text.replace(at, close + 1 - at, found ? "1" : "0");
    }
    return text;
}

bool Engine::insideConditional(const InputLevel& level) const
{
    return conditions_.size() > level.conditionDepth;
}

void Engine::reportMatchLine(const Conditional& conditional)
{
    const InputLevel* file = nearestFile();
    std::string text = " " + std::to_string(conditional.line);
    if (file == nullptr || file->fileName != conditional.file) {
        text += " file " + conditional.file;
    }
    const auto [name, line] = position();
    report(CInformation, "MATCHLINE", text, name, line);
}

void Engine::doIf(InputLevel& level, std::string_view argument)
{
    Conditional conditional{level.fileName, directiveLine_, false, Directive::If};
    const int value = evalIfText(argument);
    conditional.taken = value != 0;
    conditions_.push_back(conditional);
    if (value == 0) {
        skipGroup(level);
    }
}

void Engine::doIfdef(InputLevel& level, std::string_view argument, bool wantDefined, std::string_view name)
{
    const std::string_view text = trimSpaces(argument);
    bool value = !wantDefined;
    if (text.empty()) {
        warn("NOARGUMEN", name);
    } else if (!isIdChar(text[0])) {
        if (!traditional_) {
            warn("ARGPUNCTU", name);
        }
    } else {
        if (isDigit(text[0]) && pedantic_) {
            warn("STARTDIGI", name);
        }
        std::size_t end = 0;
        while (end < text.size() && isIdChar(text[end])) {
            ++end;
        }
        if (end < text.size() && !traditional_) {
            warn("INVALIEND", name);
        }
        const bool defined = macroDefined(text.substr(0, end));
        value = wantDefined ? defined : !defined;
    }
    const Directive kind = wantDefined ? Directive::Ifdef : Directive::Ifndef;
    conditions_.push_back({level.fileName, directiveLine_, value, kind});
    if (!value) {
        skipGroup(level);
    }
}

void Engine::doElse(InputLevel& level, bool isElif)
{
    if (!insideConditional(level)) {
        warn("NOCONDITI", isElif ? "#elif" : "#else");
        return;
    }
    Conditional& conditional = conditions_.back();
    if (conditional.kind == Directive::Else) {
        warn("ELIFAELSE", isElif ? "elif" : "#else");
        reportMatchLine(conditional);
    }
    conditional.kind = isElif ? Directive::Elif : Directive::Else;
    skipGroup(level);
}

void Engine::doEndif(InputLevel& level)
{
    if (!insideConditional(level)) {
        warn("UNBAENDIF", "");
        return;
    }
    conditions_.pop_back();
}

// Steps to the newline that ends the current line, over strings and comments.
void Engine::skipRestOfLine(InputLevel& level)
{
    Cursor cursor = cursorAt(level);
    cursor.skipToLineEnd();
    reportUnclosedComment(cursor);
}

// Skips blanks, continuations and comments at the start of a line or after '#'.
void Engine::skipLeadingBlanks(InputLevel& level)
{
    Cursor cursor = cursorAt(level);
    cursor.skipBlanksAndComments();
    reportUnclosedComment(cursor);
}

// From a `#`: the name of the directive (empty when none follows).
std::string Engine::readDirectiveName(InputLevel& level)
{
    Cursor cursor = cursorAt(level);
    std::string name = cursor.readDirectiveName();
    reportUnclosedComment(cursor);
    return name;
}

// From a conditional whose group is not taken: skips lines up to the
// matching #endif, an #else, or an #elif that evaluates true (nested
// conditionals counted); the position is then on that line's newline.
void Engine::skipGroup(InputLevel& level)
{
    const std::string& t = level.text;
    int nesting = 0;
    skipRestOfLine(level);
    while (level.pos < t.size() && !stopped_) {
        ++level.pos;  // the newline
        ++level.line;
        skipLeadingBlanks(level);
        if (level.pos < t.size() && t[level.pos] == '#') {
            const int line = level.line;
            const std::string name = readDirectiveName(level);
            if (name == "if" || name == "ifdef" || name == "ifndef") {
                ++nesting;
            } else if (name == "endif") {
                if (nesting > 0) {
                    --nesting;
                } else {
                    conditions_.pop_back();
                    skipRestOfLine(level);
                    return;
                }
            } else if (nesting == 0 && (name == "else" || name == "elif")) {
                Conditional& conditional = conditions_.back();
                if (conditional.kind == Directive::Else) {
                    warn("ELIFAELSE", "else or elif");
                    reportMatchLine(conditional);
                }
                if (name == "else") {
                    conditional.kind = Directive::Else;
                    if (!conditional.taken) {
                        conditional.taken = true;
                        skipRestOfLine(level);
                        return;
                    }
                } else {
                    conditional.kind = Directive::Elif;
                    if (!conditional.taken) {
                        directiveLine_ = line;
                        const std::string expression = collectDirectiveLine(level, Directive::Elif);
                        if (evalIfText(expression) != 0) {
                            conditional.taken = true;
                            return;
                        }
                    }
                }
            }
        }
        skipRestOfLine(level);
    }
}

bool Engine::isStartPragma(std::string_view pragmaText) const
{
    auto isStart = [](std::string_view text) {
        std::string compact = withoutBlanks(text);
        if (compact.rfind("#pragma", 0) == 0) {
            compact.erase(0, 7);
        } else if (compact.rfind("pragma", 0) == 0 && compact.rfind("pragmatarvo", 0) != 0) {
            compact.erase(0, 6);
        }
        return compact == "tarvostart_analyse" || compact == "tarvostart_analyze";
    };
    if (isStart(pragmaText)) {
        return true;
    }
    const std::string compact = withoutBlanks(pragmaText);
    for (const auto& [text, replacement] : aliases_) {
        if (withoutBlanks(text) == compact && isStart(replacement)) {
            return true;
        }
    }
    return false;
}

void Engine::skipToStartPragma(InputLevel& level)
{
    const std::string& t = level.text;
    while (level.pos < t.size() && !stopped_) {
        skipLeadingBlanks(level);
        if (level.pos < t.size() && t[level.pos] == '#') {
            const std::string name = readDirectiveName(level);
            if (name == "pragma" && isStartPragma(collectDirectiveLine(level, Directive::Pragma))) {
                analysisOn_ = true;
                return;
            }
        }
        skipRestOfLine(level);
        if (level.pos < t.size()) {
            ++level.pos;
            ++level.line;
        }
    }
}

// ---------------------------------------------------------------- directive lines

namespace {

// Characters that collecting a directive line must look at: the line end,
// continuations, comments, literals and the opening of an <...> name.
bool endsDirectiveRun(char c)
{
    return c == '\n' || c == '\\' || c == '/' || c == '"' || c == '\'' || c == '<';
}

}  // namespace

// The rest of the directive line up to its newline (not consumed):
// continuations removed, comments made blanks (kept in a traditional
// #define), literals and an include's <name> copied as written.
std::string Engine::collectDirectiveLine(InputLevel& level, Directive kind)
{
    const std::string& t = level.text;
    std::string line;
    bool angleAllowed = kind == Directive::Include;
    while (level.pos < t.size()) {
        const char c = t[level.pos];
        if (c == '\n') {
            break;
        }
        if (spliceLength(t, level.pos) != 0) {
            cursorAt(level).skipSplices();
            continue;
        }
        if (const char opener = c == '/' ? cursorAt(level).commentOpener() : 0) {
            const std::size_t start = level.pos;
            skipComment(level);
            if (traditional_ && kind == Directive::Define && opener == '*') {
                // Kept for the body, where it vanishes after the parameters are found.
                for (std::size_t k = start; k < level.pos; ++k) {
                    line += t[k] == '\n' ? ' ' : t[k];
                }
            } else {
                line += ' ';
            }
            continue;
        }
        if (c == '<' && angleAllowed) {
            const std::size_t end = t.find_first_of(">\n", level.pos);
            const std::size_t stop = end == std::string::npos ? t.size() : (t[end] == '>' ? end + 1 : end);
            line.append(t, level.pos, stop - level.pos);
            level.pos = stop;
            angleAllowed = false;
            continue;
        }
        if (c == '"' || c == '\'') {
            angleAllowed = false;
            line += c;
            ++level.pos;
            cursorAt(level).stepQuoted(c, &line);
            continue;
        }
        // The characters up to the next one that needs a look are copied at once.
        std::size_t end = level.pos + 1;
        while (end < t.size() && !endsDirectiveRun(t[end])) {
            ++end;
        }
        if (angleAllowed) {
            for (std::size_t k = level.pos; k < end; ++k) {
                angleAllowed = angleAllowed && isHSpace(t[k]);
            }
        }
        line.append(t, level.pos, end - level.pos);
        level.pos = end;
    }
    return line;
}

// At a `#` that starts a line: runs the directive. False for a name not in
// the directive table, with the position back on the `#` (the line is text).
bool Engine::handleDirective(std::string& out, InputLevel& level)
{
    const std::size_t hashPosition = level.pos;
    const int startLine = level.line;
    const std::string& t = level.text;
    const std::string name = readDirectiveName(level);
    const DirectiveInfo* directive = findDirective(name);
    if (directive == nullptr) {
        if (name.empty()) {
            std::size_t p = level.pos;
            while (p < t.size() && isHSpace(t[p])) {
                ++p;
            }
            if (p >= t.size() || t[p] == '\n') {
                level.pos = p;  // an empty directive
                return true;
            }
            if (t.compare(p, 2, "//") == 0) {
                level.pos = p;  // an empty directive closed by a line comment
                skipComment(level);
                return true;
            }
        }
        level.pos = hashPosition;
        level.line = startLine;
        return false;
    }
    directiveLine_ = startLine;
    const std::string argument = collectDirectiveLine(level, directive->kind);
    level.lineStart = false;
    switch (directive->kind) {
    case Directive::Define:
        doDefine(argument);
        break;
    case Directive::Undef:
        doUndef(argument);
        break;
    case Directive::If:
        doIf(level, argument);
        break;
    case Directive::Ifdef:
        doIfdef(level, argument, true, name);
        break;
    case Directive::Ifndef:
        doIfdef(level, argument, false, name);
        break;
    case Directive::Else:
        doElse(level, false);
        break;
    case Directive::Elif:
        doElse(level, true);
        break;
    case Directive::Endif:
        doEndif(level);
        break;
    case Directive::Include:
        doInclude(out, level, argument, name == "include_next");
        break;
    case Directive::Message:
        doError(out, name, argument);
        break;
    case Directive::Line:
        doLine(level, argument);
        break;
    case Directive::Pragma:
        doPragma(out, argument);
        break;
    default:
        break;
    }
    return true;
}

void Engine::handleHash(std::string& out, InputLevel& level)
{
    if (level.kind == LevelKind::File && level.lineStart && handleDirective(out, level)) {
        return;
    }
    level.lineStart = false;
    out += '#';
    ++level.pos;
}

// ---------------------------------------------------------------- #include

// Finds the named file (as written, then through the search list and the
// including file's directory) and pushes it as a file level framed by
// #line lines; a file that opens nowhere is a fatal report.
// The files an #include of `name` tries, in order: the name as written
// (not for an angled #include_next), then the search list, from the entry
// after the one that gave the including file for #include_next, then the
// including file's own directory. Nothing when files are not read.
std::vector<Engine::IncludeCandidate> Engine::includeCandidates(const InputLevel* level, const std::string& name,
                                                                bool angled, bool next) const
{
    std::vector<IncludeCandidate> candidates;
    if (!readFiles_) {
        return candidates;
    }
    std::vector<SearchEntry> entries = searchList_;
    std::size_t first = 0;
    const bool nextOfAngled = next && angled;
    if (nextOfAngled) {
        first = level == nullptr || level->searchEntry < 0 ? 0 : static_cast<std::size_t>(level->searchEntry) + 1;
    } else {
        candidates.push_back({name, -1});
        const bool named = level != nullptr && level->named;
        const std::string directory = named ? base::directoryPart(level->fileName) : std::string();
        entries.push_back({!directory.empty(), directory});
    }
    for (std::size_t k = first; k < entries.size(); ++k) {
        const std::string path = entries[k].hasDirectory ? base::systemPath(entries[k].directory, name) : name;
        candidates.push_back({path, static_cast<int>(k)});
    }
    return candidates;
}

// The include directories, for the message of a file no search found;
// without any, the user learns that none was given (no -INCL, no profile).
std::string Engine::searchedDirectories() const
{
    std::string text;
    for (const SearchEntry& entry : searchList_) {
        if (entry.hasDirectory) {
            text += text.empty() ? " (searched: " : ", ";
            text += entry.directory;
        }
    }
    return text.empty() ? " (no include directory given)" : text + ")";
}

void Engine::doInclude(std::string& out, InputLevel& level, std::string_view argument, bool next)
{
    auto isComplete = [](std::string_view text) {
        return text.size() >= 2 && ((text.front() == '"' && text.back() == '"' &&
                                     text.find('"', 1) == text.size() - 1) ||
                                    (text.front() == '<' && text.back() == '>' &&
                                     text.find('>') == text.size() - 1));
    };
    std::string operand(trimSpaces(argument));
    if (!isComplete(operand)) {
        operand = std::string(trimSpaces(expandText(operand, false)));
        if (!isComplete(operand)) {
            warn("ERINCLUDE", operand);
            return;
        }
    }
    const std::string name = operand.substr(1, operand.size() - 2);
    const bool angled = operand.front() == '<';

    std::optional<std::string> text;
    std::string path;
    int foundEntry = -1;
    for (const IncludeCandidate& candidate : includeCandidates(&level, name, angled, next)) {
        text = readSourceFile(candidate.path);
        if (text) {
            path = candidate.path;
            foundEntry = candidate.entry;
            break;
        }
    }
    if (!text) {
        const auto [file, line] = position();
        report(CFatal, "IMPOUVFIC", name + searchedDirectories(), file, line);
        return;
    }

    auto included = std::make_unique<InputLevel>();
    included->kind = LevelKind::File;
    included->named = true;
    included->included = true;
    included->fileName = path;
    included->text = prepareOwnedText(std::move(*text));
    included->conditionDepth = conditions_.size();
    included->searchEntry = foundEntry;
    if (!pushLevel(std::move(included))) {
        return;
    }
    if (!inInit_ && &out == mainOutput_) {
        // The file's text mostly passes through: room for it at once,
        // growing at least eightfold so that many small files stay linear.
        // Room not yet written costs no memory, while each move to a larger
        // room copies the text into new pages.
        const std::size_t needed = out.size() + stack_.back()->text.size();
        if (needed > out.capacity()) {
            out.reserve(std::max(needed, 8 * out.capacity()));
        }
        writeLineLine(out, 1, path);
    }
    if (!analysisOn_ && !analyseAll_) {
        skipToStartPragma(*stack_.back());
    }
}

// ---------------------------------------------------------------- #error, #line

void Engine::doError(std::string& out, std::string_view name, std::string_view argument)
{
    const std::string_view rest = trimSpaces(argument);
    const std::string written = "#" + std::string(name) + " ";
    warn("WARNERR", written + std::string(rest.substr(0, 511)));
    out += written;
    out += rest;
}

// `#line NUMBER "FILE"`: the next line becomes NUMBER of FILE; a line
// without both parts, or with number 0, changes nothing.
void Engine::doLine(InputLevel& level, std::string_view argument)
{
    std::size_t i = 0;
    while (i < argument.size() && isAnySpace(argument[i])) {
        ++i;
    }
    const std::size_t digitsStart = i;
    long number = 0;
    bool negative = false;
    if (i < argument.size() && (argument[i] == '-' || argument[i] == '+')) {
        negative = argument[i] == '-';
        ++i;
    }
    std::size_t digits = 0;
    constexpr long kLargestLine = std::numeric_limits<int>::max();
    while (i < argument.size() && isDigit(argument[i])) {
        if (number <= kLargestLine) {
            number = number * 10 + (argument[i] - '0');
        }
        ++i;
        ++digits;
    }
    if (digits == 0 || i == digitsStart) {
        return;
    }
    if (number > kLargestLine) {
        // A line the counters cannot hold: refused whole, its file name too.
        warn("DIESELINE", "");
        return;
    }
    number = negative ? -number : number;
    while (i < argument.size() && isAnySpace(argument[i])) {
        ++i;
    }
    std::size_t end = i;
    while (end < argument.size() && !isAnySpace(argument[end])) {
        ++end;
    }
    std::string word(argument.substr(i, end - i));
    for (char& c : word) {
        c = c == '"' ? ' ' : c;
    }
    const std::string fileName(trimSpaces(word));
    if (number == 0 || word.empty() || fileName.empty()) {
        return;
    }
    level.line = static_cast<int>(number - 1);
    level.fileName = fileName;
    level.named = true;
}

// ---------------------------------------------------------------- #pragma

void Engine::addIncludeStd(std::string_view list)
{
    std::vector<std::string> directories;
    std::string current;
    bool quoted = false;
    for (const char c : list) {
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == ',' || isAnySpace(c))) {
            if (!current.empty()) {
                directories.push_back(current);
                current.clear();
            }
            continue;
        }
        current += c;
    }
    if (!current.empty()) {
        directories.push_back(current);
    }
    if (directories.empty()) {
        warn("SYNTAXERR", "empty pragma tarvo incl_std");
        return;
    }
    for (const auto& directory : directories) {
        systemDirectories_.push_back(doubledBackslashes(directory));
        searchList_.push_back({true, directory});
    }
}

namespace {

// One operand of the alias pragma: a double-quoted string or a word.
std::optional<std::string> readOperand(std::string_view text, std::size_t& i)
{
    while (i < text.size() && isAnySpace(text[i])) {
        ++i;
    }
    if (i >= text.size()) {
        return std::nullopt;
    }
    if (text[i] == '"') {
        const std::size_t end = text.find('"', i + 1);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        std::string operand(text.substr(i + 1, end - i - 1));
        i = end + 1;
        return operand;
    }
    const std::size_t start = i;
    while (i < text.size() && !isAnySpace(text[i]) && text[i] != '=') {
        ++i;
    }
    if (i == start) {
        return std::nullopt;
    }
    return std::string(text.substr(start, i - start));
}

bool isAcceptedWord(std::string_view word)
{
    static constexpr std::string_view accepted[] = {
        "crc_justify", "crc_justify_all", "crc_justify_everywhere", "insert", "prefix_call", "type_boolean",
        "ex_call", "exit_instr", "accept", "reduce", "fctreduce", "nothingbefore", "nointerpret", "directive",
        "stop_instr", "start_instr", "zel_stub", "testing_tool_call_place",
    };
    return std::find(std::begin(accepted), std::end(accepted), word) != std::end(accepted);
}

}  // namespace

// A "#pragma tarvo" line: words is what follows `tarvo`. Sizes and signs
// are passed on in the output; the other words act here or are accepted.
void Engine::doPragmaTarvo(std::string& out, std::string_view text, std::string_view words)
{
    std::size_t i = 0;
    const std::string_view word = readWord(words, i);
    const std::string_view rest = words.substr(i);
    if (word == "sizeof" || word == "signof") {
        out += "#pragma ";
        out += trimSpaces(text);
        return;
    }
    if (word == "incl_std") {
        addIncludeStd(rest);
    } else if (word == "stop_analyse" || word == "stop_analyze") {
        analysisOn_ = false;
    } else if (word == "start_analyse" || word == "start_analyze") {
        analysisOn_ = true;
    } else if (word == "pragma") {
        std::size_t k = 0;
        const auto first = readOperand(rest, k);
        while (k < rest.size() && isAnySpace(rest[k])) {
            ++k;
        }
        if (k < rest.size() && rest[k] == '=') {
            ++k;
        }
        const auto second = first ? readOperand(rest, k) : std::nullopt;
        if (!first || !second) {
            warn("SYNTAXERR", trimSpaces(text));
            return;
        }
        for (auto& alias : aliases_) {
            if (alias.first == *first) {
                alias.second = *second;
                return;
            }
        }
        aliases_.emplace_back(*first, *second);
    } else if (word == "type_modifier") {
        std::size_t k = 0;
        while (k < rest.size() && isAnySpace(rest[k])) {
            ++k;
        }
        if (k >= rest.size() || rest[k] != '=') {
            warn("TYPMODINC", trimSpaces(rest));
            return;
        }
        ++k;
        const std::string modifier(readWord(rest, k));
        if (modifier.empty()) {
            warn("TYPMODINC", trimSpaces(rest));
            return;
        }
        if (std::find(typeModifiers_.begin(), typeModifiers_.end(), modifier) == typeModifiers_.end()) {
            typeModifiers_.push_back(modifier);
        }
    } else if (!isAcceptedWord(word)) {
        warn("PRAGMAINC", word);
    }
}

void Engine::doPragma(std::string& out, std::string_view argument)
{
    std::string text(trimSpaces(argument));
    const std::string compact = withoutBlanks(text);
    for (const auto& [alias, replacement] : aliases_) {
        if (withoutBlanks(alias) == compact) {
            std::string_view replaced = trimSpaces(replacement);
            if (replaced.rfind("#pragma", 0) == 0) {
                replaced = trimSpaces(replaced.substr(7));
            }
            text = std::string(replaced);
            break;
        }
    }
    std::size_t i = 0;
    if (readWord(text, i) != "tarvo") {
        return;
    }
    doPragmaTarvo(out, text, std::string_view(text).substr(i));
}

}  // namespace qvm::canalysis::cpp
