// The passes of the semantic analysis, in their order, and the node checks
// that every walker uses.
#include "script/sempti.h"

#include "canalysis/declarations/cgloba.h"
#include "script/ancgest.h"
#include "script/progfacts.h"
#include "script/sempti_analysis.h"
#include "script/stxpti_lexer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qvm::script {

namespace sem {

namespace {

// Declarations every script can use: the elapsed time, the matching
// functions, the loop counters of generated code and the NIL/NONIL pair.
std::vector<std::string> builtinDeclarations()
{
    std::vector<std::string> texts = {
        "long WTIME;",
        "int TRV_NOTMATCHED_1(int);",
        "int TRV_MATCHED_1(int);",
        "int TRV_MATCHING_1(int);",
        "int TRV_NOTMATCHING_1(int);",
        "int TRV_NOTMATCHED_2(int,int);",
        "int TRV_MATCHED_2(int,int);",
        "int TRV_MATCHING_2(int,int);",
        "int TRV_NOTMATCHING_2(int,int);",
        "unsigned long TRV_TIMEOUT;",
        "unsigned long TIME(unsigned long timer);",
    };
    for (const char* counter : {"I", "J"}) {
        for (int i = 0; i <= 20; ++i) {
            texts.push_back("int " + std::string(counter) + std::to_string(i) + ";");
        }
    }
    texts.insert(texts.end(), {"#define NIL 0", "void *NONIL;", "int TRV_OCCID;", "int TRV_NUMINSTANCE;"});
    return texts;
}

// An ENV_VAR header value ("$NAME") is the variable's value; an unset
// variable gives an empty text.
std::string headerValue(const SyntaxNode& value)
{
    if (value.kind == STX_ENV_VAR) {
        const std::string_view text = value.textOrEmpty();
        const char* found = std::getenv(std::string(text.substr(text.empty() ? 0 : 1)).c_str());
        return found == nullptr ? std::string() : std::string(found);
    }
    return std::string(value.textOrEmpty());
}

}  // namespace

Analysis::Analysis(Model& model, const AnalysisOptions& options) : model(model), options(options) {}

void Analysis::run(const SyntaxNode* root)
{
    if (root == nullptr) {
        diag::internal("STXNODNIL", " ");
    }
    if (root->kind != STX_SCRIPT) {
        unexpected(*root);
    }
    declareBuiltins();
    makeScriptEntry(expect(root->c0(), STX_HEADER, *root));
    if (options.scriptFlags == ScriptUsesTrigger) {
        declareTriggerCommtype();
    }
    countInstances(root->c1());
    analyseDeclarations(root->c1());
    if (root->c2() != nullptr) {
        analyseScenarioItems(&expect(root->c2(), STX_SCENARIO_ITEM_LIST, *root), model.global(), nullptr);
        markCommunicationBlockProcedures();
    }
    closingChecks();
}

void Analysis::declareBuiltins()
{
    for (const std::string& text : builtinDeclarations()) {
        declareCText(text + "\n", {}, {}, 0);
    }
}

void Analysis::makeScriptEntry(const SyntaxNode& header)
{
    Entry& script = model.append(&model.global(), ENT_SCRIPT, {}, originOf(header));
    auto& values = model.attach(script, DSC_SCRIPT).as<ScriptData>().header;
    const SyntaxNode* parts[] = {header.c0(), header.c1(), header.c2()};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const SyntaxNode& value = present(parts[i], header);
        if (value.kind != STX_STRING && value.kind != STX_ENV_VAR) {
            unexpected(value);
        }
        values[i] = headerValue(value);
    }
}

// TRIGGER without COMMTYPE: every message travels on one predeclared,
// multiplexed communication type.
void Analysis::declareTriggerCommtype()
{
    Entry& commtype = model.append(&model.global(), ENT_COMMTYPE, "trv_socket", Origin{});
    auto& data = model.attach(commtype, DSC_COMMTYPE).as<CommtypeData>();
    data.idType = "int";
    data.typeIndex = model.takeCommtypeIndex();
    data.multiplexing = true;
}

void Analysis::countInstances(const SyntaxNode* declarations)
{
    for (const SyntaxNode* link = declarations; link != nullptr; link = link->c2()) {
        const SyntaxNode* instancePart = link->c1();
        if (instancePart == nullptr || instancePart->kind != STX_DECLARE_INSTANCE) {
            continue;
        }
        for (const SyntaxNode* name = instancePart->c0(); name != nullptr; name = name->c1()) {
            state.declaredInstances.push_back(identText(name->c0(), *name));
        }
    }
    if (options.instance.empty()) {
        state.instanceMode = state.declaredInstances.empty() ? 0 : 2;
        return;
    }
    for (std::size_t i = 0; i < state.declaredInstances.size(); ++i) {
        if (state.declaredInstances[i] == options.instance) {
            state.instanceMode = 1;
            state.instanceNumber = static_cast<int>(i) + 1;
            return;
        }
    }
    state.instanceMode = 3;
    diag::information("ISTNOPLAN", options.instance);
}

void Analysis::closingChecks()
{
    const auto reportIgnored = [](const IgnoredTrace& ignored, diag::MessageCode code) {
        if (ignored.count > 0) {
            report(diag::Information, code, {}, ignored.first);
        }
    };
    reportIgnored(state.ignoredTraceOn, "IGNEDTRON");
    reportIgnored(state.ignoredTraceOff, "IGNEDTROF");
    reportIgnored(state.ignoredFlushTrace, "IGNEDFTRC");
    for (const Entry* procedure : state.procedures) {
        if (!procedure->data<ProcData>().used) {
            report(diag::Information, "NOPROCCAL", procedure->name,
                   Origin{procedure->fileName(), procedure->fileId(), procedure->line});
        }
    }
    if (state.firstWaittil && state.defMessageCount == 0) {
        report(diag::Information, "NODEFMESS", {}, *state.firstWaittil);
    }
}

// ---- node checks ----

const SyntaxNode& Analysis::present(const SyntaxNode* node, const SyntaxNode& parent)
{
    if (node == nullptr) {
        diag::internal("STXNODNIL", diag::positionPrefix(parent.fileName(), lineOf(parent)));
    }
    return *node;
}

const SyntaxNode& Analysis::expect(const SyntaxNode* node, SyntaxKind kind, const SyntaxNode& parent)
{
    const SyntaxNode& checked = present(node, parent);
    if (checked.kind != kind) {
        unexpected(checked);
    }
    return checked;
}

void Analysis::unexpected(const SyntaxNode& node)
{
    diag::internal("STXNODNWT", diag::positionPrefix(node.fileName(), lineOf(node)), std::to_string(node.kind));
}

// A node is made when its rule is reduced, often after the newline that
// ends it; its first leaves still carry the line they stand on.
int Analysis::lineOf(const SyntaxNode& node)
{
    int line = node.line;
    const auto firstChild = [](const SyntaxNode* node) {
        return node->c0() != nullptr ? node->c0() : node->c1() != nullptr ? node->c1() : node->c2();
    };
    const auto earliest = [&](const SyntaxNode* from) {
        for (; from != nullptr; from = firstChild(from)) {
            line = std::min(line, from->line);
        }
    };
    earliest(node.c0());
    earliest(node.c1());
    return line;
}

Origin Analysis::originOf(const SyntaxNode& node)
{
    return originAt(node, lineOf(node));
}

Origin Analysis::originAt(const SyntaxNode& node, int line)
{
    return Origin{node.fileName(), node.fileId(), line};
}

void Analysis::report(diag::Severity severity, diag::MessageCode code, std::string_view argument,
                      const Origin& origin)
{
    diag::reportLocated(severity, code, argument, origin.fileName, origin.line);
}

std::string Analysis::expressionText(const SyntaxNode* expression)
{
    std::string text;
    for (const SyntaxNode* link = expression; link != nullptr; link = link->c1()) {
        const SyntaxNode& piece = present(link->c0(), *link);
        switch (piece.kind) {
        case STX_NATIVE_EXPR:
            text += piece.textOrEmpty();
            break;
        case STX_EMPTY:
            break;
        case STX_MATCHING:
        case STX_MATCHED:
        case STX_NOTMATCHING:
        case STX_NOTMATCHED: {
            const std::string_view function = kindName(piece.kind).substr(4);
            text += std::string(function) + "(" + identText(piece.c0(), piece);
            if (piece.c1() != nullptr) {
                text += "," + identText(piece.c1(), piece);
            }
            text += ")";
            break;
        }
        default:
            unexpected(piece);
        }
    }
    return text;
}

std::string Analysis::trimmedExpressionText(const SyntaxNode* expression)
{
    if (expression == nullptr) {
        return {};
    }
    // Mostly a single native piece: trimmed straight from the tree, without
    // the joined copy.
    if (expression->c1() == nullptr) {
        const SyntaxNode& piece = present(expression->c0(), *expression);
        if (piece.kind == STX_NATIVE_EXPR) {
            return trimmed(piece.textOrEmpty());
        }
        if (piece.kind == STX_EMPTY) {
            return {};
        }
    }
    return trimmed(expressionText(expression));
}

std::string Analysis::identText(const SyntaxNode* node, const SyntaxNode& parent)
{
    return trimmed(expect(node, STX_IDENT, parent).textOrEmpty());
}

std::string Analysis::trimmed(std::string_view text)
{
    // Texts are mostly short with few blanks around: a look at each end
    // costs less than a search for the set of blanks.
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

void Analysis::declare(std::string_view text, std::string_view cScope, const Origin& origin)
{
    declareCText(text, cScope, origin.fileName, origin.line);
}

bool isDirective(std::string_view text)
{
    static constexpr std::string_view kDirectives[] = {"include", "define", "undef",  "ifdef", "ifndef", "if",
                                                       "elif",    "else",   "endif", "pragma", "line",  "error",
                                                       "warning", "include_next"};
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return false;
    }
    std::size_t end = start;
    while (end < text.size() && (std::isalpha(static_cast<unsigned char>(text[end])) != 0 || text[end] == '_')) {
        ++end;
    }
    const std::string_view word = text.substr(start, end - start);
    return std::find(std::begin(kDirectives), std::end(kDirectives), word) != std::end(kDirectives);
}

std::string_view withoutLineSplice(std::string_view text)
{
    for (;;) {
        const std::size_t last = text.find_last_not_of(" \t\r");
        if (last == std::string_view::npos || text[last] != '\\') {
            return text;
        }
        text = text.substr(0, last);
    }
}

namespace {

std::string_view trimmedView(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<ValueRange> valueRange(std::string_view text)
{
    text = trimmedView(text);
    if (text.size() < 4 || text.front() != '[' || text.back() != ']') {
        return std::nullopt;
    }
    // The ".." that stands in the outer brackets themselves, outside
    // literals; the brackets must pair up around it.
    const std::string_view inside = text.substr(1, text.size() - 2);
    int depth = 0;
    char quote = 0;
    std::optional<std::size_t> dots;
    for (std::size_t i = 0; i < inside.size(); ++i) {
        const char c = inside[i];
        if (quote != 0) {
            if (c == '\\') {
                ++i;
            } else if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[' || c == '(') {
            ++depth;
        } else if (c == ']' || c == ')') {
            if (--depth < 0) {
                return std::nullopt;
            }
        } else if (depth == 0 && !dots && inside.substr(i, 2) == "..") {
            dots = i;
            ++i;
        }
    }
    if (!dots || depth != 0 || quote != 0) {
        return std::nullopt;
    }
    return ValueRange{trimmedView(inside.substr(0, *dots)), trimmedView(inside.substr(*dots + 2))};
}

void PendingText::add(std::string_view rawText, const Origin& origin)
{
    const std::string_view lineText = withoutLineSplice(rawText);
    if (!started) {
        started = true;
        fileName = origin.fileName;
        line = origin.line;
        lastLine = origin.line;
    } else {
        // Lines between (blank or comment lines) keep their place, so that
        // the C analysis counts the script's lines.
        text.append(static_cast<std::size_t>(std::max(1, origin.line - lastLine)), '\n');
        lastLine = std::max(lastLine + 1, origin.line);
    }
    if (isDirective(lineText)) {
        text += '#';
    }
    text += lineText;
}

void Analysis::flushPending(PendingText& pending, std::string_view cScope)
{
    if (pending.empty()) {
        return;
    }
    pending.text += '\n';
    const long first = cSymbols().nextOrder();
    declareScriptText(pending, cScope);
    if (cScope.empty()) {
        model.keepScriptLineDeclarations(first, cSymbols().nextOrder());
    }
    pending = {};
}

}  // namespace sem

AnalysisResult analyseScript(const SyntaxNode* root, const std::vector<SourceFileRecord>& sourceFiles,
                             const AnalysisOptions& options)
{
    AnalysisResult result;
    result.model = std::make_unique<sem::Model>();
    sem::Analysis analysis(*result.model, options);
    // The walkers recurse once per nested block.
    canalysis::runOnDeepStack([&] { analysis.run(root); });
    result.instanceMode = analysis.instanceMode();
    result.instanceNumber = analysis.instanceNumber();
    result.timerCount = analysis.timerCount();
    if (options.programFacts && diag::errorCount() == 0) {
        gatherWaitContexts(analysis.waittils());
        if (options.contextVariables) {
            result.model->keepContextVariables(contextVariablesOf(*result.model, sourceFiles));
        }
    }
    return result;
}

}  // namespace qvm::script
