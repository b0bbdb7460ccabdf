// The door between the script analysis and the C analysis.
#include "script/ancgest.h"
#include "script/cgeneration.h"

#include "canalysis/ctypesizes.h"
#include "canalysis/declarations/cexpr.h"
#include "canalysis/preprocessor/cprepr.h"
#include "diag/i18nerrgest.h"
#include "script/prtanac.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>

namespace qvm::script {

namespace {

// Typings of texts without names (numbers, operators and type keywords,
// such as an expanded "(sizeof(int) * 4)"): they type the same in every
// scope and after any declaration while the type sizes stay, so the silent
// ones are kept.
struct NamelessTypings {
    std::optional<canalysis::TypeSizes> sizes;  // those the typings were made with
    std::uint64_t identGeneration = 0;          // of the identifiers their types hold
    std::unordered_map<std::string, TypedText> typed;
};

struct BridgeState {
    CContext context;  // where the C text being declared belongs
    std::unique_ptr<canalysis::SymbolTable> symbols = std::make_unique<canalysis::SymbolTable>();  // of the run
    std::unique_ptr<canalysis::MacroTable> macros = std::make_unique<canalysis::MacroTable>();     // of the run
    canalysis::DiagnosticCallback callback;  // given to every C analysis call; empty until first needed
    NamelessTypings nameless;
    std::uint64_t macroGeneration = 0;
    canalysis::RefusedSyntax refused;  // in the text declared since the cycle opened
};

BridgeState& state()
{
    // Never destroyed: freeing the records of a large interface one by one
    // at exit would cost a good part of the analysis itself. Resets replace
    // the tables, so tests still start each run from scratch.
    static BridgeState& bridge = *new BridgeState;
    return bridge;
}

int preprocessAndDeclare(std::string_view text, std::string_view scope, std::string_view file, int line)
{
    std::string preprocessed;
    notePreprocessedText(text);
    int errors = canalysis::C_CPP_prepro_buffer(text, 1, file, line, preprocessed, cMacros(), cDiagnostics());
    // Texts parsed elsewhere (type names tried out, scratch tables) are no
    // part of the program: only what is declared here counts.
    canalysis::C_CPP_take_refused_syntax();
    errors += canalysis::C_CPP_parse_decls(preprocessed, cSymbols(), scope, file, line, cDiagnostics());
    const canalysis::RefusedSyntax refused = canalysis::C_CPP_take_refused_syntax();
    canalysis::RefusedSyntax& total = state().refused;
    if (refused.count > 0 && total.count == 0) {
        total = refused;
    } else {
        total.count += refused.count;
    }
    return errors;
}

bool sameSizes(const canalysis::TypeSizes& a, const canalysis::TypeSizes& b)
{
    return a.charBits == b.charBits && a.shortBits == b.shortBits && a.intBits == b.intBits &&
           a.longBits == b.longBits && a.longLongBits == b.longLongBits && a.charUnsigned == b.charUnsigned &&
           a.pointerBits == b.pointerBits && a.registered == b.registered;
}

// The kept typings, dropped when the type sizes changed since they were made.
std::unordered_map<std::string, TypedText>& namelessTypings()
{
    NamelessTypings& nameless = state().nameless;
    if (!nameless.sizes || !sameSizes(*nameless.sizes, canalysis::typeSizes()) ||
        nameless.identGeneration != base::identGeneration()) {
        nameless.typed.clear();
        nameless.sizes = canalysis::typeSizes();
        nameless.identGeneration = base::identGeneration();
    }
    return nameless.typed;
}

bool isTypeKeyword(std::string_view word)
{
    static constexpr std::array<std::string_view, 10> kWords = {"sizeof", "char",   "short", "int",    "long",
                                                                 "signed", "unsigned", "float", "double", "void"};
    return std::ranges::find(kWords, word) != kWords.end();
}

// Whether every word of the text is a number or a type keyword; quoted
// texts are left to the full way.
bool isNameless(std::string_view text)
{
    const auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '"' || c == '\'' || c == '\\' || c == '$') {
            return false;
        }
        if (!wordChar(c)) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && (wordChar(text[end]) || (c >= '0' && c <= '9' && text[end] == '.'))) {
            ++end;
        }
        if ((c < '0' || c > '9') && !isTypeKeyword(text.substr(i, end - i))) {
            return false;
        }
        i = end;
    }
    return true;
}

TypedText parseAndType(std::string_view text, std::string_view file, int line,
                       const canalysis::DiagnosticCallback& callback)
{
    canalysis::C_CPP_set_expression_table(&cSymbols(), cContext().scope);
    auto tree = canalysis::C_CPP_parse_expr(text, file, line, callback);
    if (!tree) {
        return {};
    }
    TypedText typed;
    typed.parsed = true;
    typed.type = canalysis::C_CPP_type_expr(*tree, file, line, cContext().scope, callback, cSymbols());
    const canalysis::ExprNode* root = tree->root;
    typed.nonNil = root->kind == canalysis::kExprIdentifier && base::identText(root->name) == "NONIL";
    const canalysis::ExprNode* inner = root;
    while (inner->kind == canalysis::kExprParenthesised && inner->child[0] != nullptr) {
        inner = inner->child[0];
    }
    if (inner->kind == canalysis::kExprInteger || inner->kind == canalysis::kExprFloating) {
        typed.constant = inner->constant;
    }
    canalysis::C_CPP_free_expr(tree);
    return typed;
}

// Every typing leaves the bridge's callback installed, as a parse installs
// the one it is given.
class BridgeCallbackAfterwards {
public:
    BridgeCallbackAfterwards() = default;
    BridgeCallbackAfterwards(const BridgeCallbackAfterwards&) = delete;
    BridgeCallbackAfterwards& operator=(const BridgeCallbackAfterwards&) = delete;
    ~BridgeCallbackAfterwards() { canalysis::installCallback(cDiagnostics()); }
};

TypedText typeNameless(std::string_view text, std::string_view file, int line)
{
    const BridgeCallbackAfterwards restore;
    auto& kept = namelessTypings();
    if (const auto found = kept.find(std::string(text)); found != kept.end()) {
        canalysis::C_CPP_set_expression_table(&cSymbols(), cContext().scope);
        return found->second;
    }
    bool reported = false;
    const canalysis::DiagnosticCallback counting = [&reported](int severity, std::string_view code,
                                                               std::string_view argument, std::string_view where,
                                                               int at) {
        reported = true;
        cDiagnostics()(severity, code, argument, where, at);
    };
    TypedText typed = parseAndType(text, file, line, counting);
    if (!reported) {
        kept.emplace(std::string(text), typed);
    }
    return typed;
}

}  // namespace

const canalysis::DiagnosticCallback& cDiagnostics()
{
    if (!state().callback) {
        state().callback = canalysis::diagnosticsServiceCallback();
    }
    return state().callback;
}

void setCContext(std::string_view scope, std::string_view file, int line)
{
    if (scope.size() > kMaxScopeNameLength) {
        diag::reportLocated(diag::Error, "DEBORUBAN", "(C scope name of more than 16400 characters)", file, line);
        scope = scope.substr(0, kMaxScopeNameLength);
    }
    // Set for every piece of C in the script, mostly to what it already
    // holds: the texts keep their room, and are copied only when they change.
    CContext& context = state().context;
    if (context.scope != scope) {
        context.scope.assign(scope);
    }
    if (context.file != file) {
        context.file.assign(file);
    }
    context.line = line;
}

const CContext& cContext()
{
    return state().context;
}

void startCAnalysis(int mode, const std::vector<std::string>& includeDirectories,
                    const std::vector<std::string>& defines, std::string_view interfaceFile,
                    canalysis::DiagnosticCallback diagnostics)
{
    state().callback = std::move(diagnostics);
    state().nameless = {};
    state().refused = {};
    canalysis::installCallback(cDiagnostics());
    canalysis::C_CPP_set_modern_words(mode != CModeTraditional);
    canalysis::C_CPP_init_prepro(mode == CModePedantic, mode == CModeTraditional, defines, includeDirectories, {},
                                 cMacros(), true);
    ++state().macroGeneration;
    if (!interfaceFile.empty()) {
        declareIncludedFile(interfaceFile);
    }
}

int declareIncludedFile(std::string_view name)
{
    setCContext({}, {}, 1);
    return preprocessAndDeclare("#include \"" + std::string(name) + "\"\n", {}, {}, 1);
}

int declareCText(std::string_view text, std::string_view scope, std::string_view file, int line)
{
    setCContext(scope, file, line);
    return preprocessAndDeclare(text, cContext().scope, file, line);
}

void endCAnalysis()
{
    ++state().macroGeneration;
    canalysis::C_CPP_end_prepro(cMacros(), true);
}

const canalysis::RefusedSyntax& refusedCSyntax()
{
    return state().refused;
}

canalysis::SymbolTable& cSymbols()
{
    return *state().symbols;
}

canalysis::MacroTable& cMacros()
{
    return *state().macros;
}

std::uint64_t macroGeneration()
{
    return state().macroGeneration;
}

bool mayHoldDirective(std::string_view text)
{
    return text.find('#') != std::string_view::npos || text.find("??") != std::string_view::npos ||
           text.find("%:") != std::string_view::npos;
}

void notePreprocessedText(std::string_view text)
{
    if (mayHoldDirective(text)) {
        ++state().macroGeneration;
    }
}

void resetCAnalysis()
{
    state().symbols = std::make_unique<canalysis::SymbolTable>();
    state().macros = std::make_unique<canalysis::MacroTable>();
    ++state().macroGeneration;
    state().context = {};
    state().callback = {};
    state().nameless = {};
    canalysis::C_CPP_reset_analysis();
    resetNativeTypes();
}

TypedText typeExpression(std::string_view text, std::string_view scope, std::string_view file, int line)
{
    setCContext(scope, file, line);
    if (isNameless(text)) {
        return typeNameless(text, file, line);
    }
    return parseAndType(text, file, line, cDiagnostics());
}

std::pair<std::string, int> expressionType(std::string_view text, std::string_view scope, std::string_view file,
                                           int line)
{
    const TypedText typed = typeExpression(text, scope, file, line);
    if (!typed.parsed) {
        return {"int", 2};
    }
    return {canalysis::C_CPP_type_image(typed.type.get()), typed.nonNil ? 8 : expressionClassOfType(typed.type.get())};
}

std::optional<canalysis::CConstant> numericConstant(std::string_view text, std::string_view file, int line)
{
    if (!isNameless(text)) {
        return std::nullopt;
    }
    auto& kept = namelessTypings();
    if (const auto found = kept.find(std::string(text)); found != kept.end()) {
        return found->second.constant;
    }
    const BridgeCallbackAfterwards restore;
    bool reported = false;
    const canalysis::DiagnosticCallback silent = [&reported](int, std::string_view, std::string_view,
                                                             std::string_view, int) { reported = true; };
    TypedText typed = parseAndType(text, file, line, silent);
    if (reported) {
        return std::nullopt;
    }
    std::optional<canalysis::CConstant> constant = typed.constant;
    kept.emplace(std::string(text), std::move(typed));
    return constant;
}

const canalysis::Symbol* findCVariable(std::string_view name, std::string_view scope)
{
    const canalysis::Symbol* symbol = canalysis::C_CPP_find_symbol(name, cSymbols(), scope);
    if (symbol == nullptr || (symbol->storage & canalysis::kTypedef) != 0) {
        return nullptr;
    }
    return symbol;
}

bool isCVariable(const canalysis::Symbol& symbol)
{
    const canalysis::CType* type = canalysis::C_CPP_resolve(symbol.type.get());
    return (symbol.storage & canalysis::kTypedef) == 0 && (type == nullptr || type->kind != canalysis::kFunction);
}

int expressionClassOfType(const canalysis::CType* type)
{
    using namespace canalysis;
    if (type == nullptr) {
        return 2;
    }
    type = C_CPP_resolve(type);
    if (type == nullptr) {
        return 2;
    }
    // A basic type's name, looked at in place.
    const auto nameHolds = [type](std::string_view word) {
        return type->name != nullptr && std::string_view(type->name).find(word) != std::string_view::npos;
    };
    const auto isCharType = [](const CType* element) {
        element = C_CPP_resolve(element);
        return element != nullptr && element->kind == kBasic && element->isChar;
    };
    switch (type->kind) {
    case kBasic:
        if (type->isChar) {
            return 1;
        }
        return nameHolds("long") ? 3 : 2;
    case kFloating:
        return nameHolds("double") ? 5 : 4;
    case kPointer:
        return isCharType(type->target.get()) ? 6 : 9;
    case kArray:
        return isCharType(type->target.get()) ? 7 : 11;
    case kEnum:
        return 0;
    case kStruct:
        return 10;
    case kUnion:
        return 12;
    case kFunction:
        return 13;
    case kVoid:
        return 14;
    case kEllipsis:
        return 15;
    default:
        return -1;
    }
}

}  // namespace qvm::script
