#include "script/ancgest.h"

#include "canalysis/declarations/cexpr.h"
#include "canalysis/preprocessor/cprepr.h"
#include "diag/i18nerrgest.h"
#include "script/prtanac.h"

#include <memory>

namespace qvm::script {

namespace {

struct BridgeState {
    CContext context;  // where the C text being declared belongs
    std::unique_ptr<canalysis::SymbolTable> symbols = std::make_unique<canalysis::SymbolTable>();  // of the run
    std::unique_ptr<canalysis::MacroTable> macros = std::make_unique<canalysis::MacroTable>();     // of the run
    canalysis::DiagnosticCallback callback;  // given to every C analysis call; empty until first needed
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
    int errors = canalysis::C_CPP_prepro_buffer(text, 1, file, line, preprocessed, cMacros(), cDiagnostics());
    errors += canalysis::C_CPP_parse_decls(preprocessed, cSymbols(), scope, file, line, cDiagnostics());
    return errors;
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
    // Set for every piece of C in the script: the texts keep their room.
    CContext& context = state().context;
    context.scope.assign(scope);
    context.file.assign(file);
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
    canalysis::installCallback(cDiagnostics());
    canalysis::C_CPP_set_modern_words(mode != CModeTraditional);
    canalysis::C_CPP_init_prepro(mode == CModePedantic, mode == CModeTraditional, defines, includeDirectories, {},
                                 cMacros(), true);
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
    canalysis::C_CPP_end_prepro(cMacros(), true);
}

canalysis::SymbolTable& cSymbols()
{
    return *state().symbols;
}

canalysis::MacroTable& cMacros()
{
    return *state().macros;
}

void resetCAnalysis()
{
    state().symbols = std::make_unique<canalysis::SymbolTable>();
    state().macros = std::make_unique<canalysis::MacroTable>();
    state().context = {};
    state().callback = {};
    canalysis::C_CPP_reset_analysis();
    resetNativeTypes();
}

TypedText typeExpression(std::string_view text, std::string_view scope, std::string_view file, int line)
{
    setCContext(scope, file, line);
    canalysis::C_CPP_set_expression_table(&cSymbols(), cContext().scope);
    auto tree = canalysis::C_CPP_parse_expr(text, file, line, cDiagnostics());
    if (!tree) {
        return {};
    }
    TypedText typed;
    typed.parsed = true;
    typed.type = canalysis::C_CPP_type_expr(*tree, file, line, cContext().scope, cDiagnostics(), cSymbols());
    const canalysis::ExprNode* root = tree->root;
    typed.nonNil = root->kind == canalysis::kExprIdentifier && base::identText(root->name) == "NONIL";
    canalysis::C_CPP_free_expr(tree);
    return typed;
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

const canalysis::Symbol* findCVariable(std::string_view name, std::string_view scope)
{
    const canalysis::Symbol* symbol = canalysis::C_CPP_find_symbol(name, cSymbols(), scope);
    if (symbol == nullptr || (symbol->storage & canalysis::kTypedef) != 0) {
        return nullptr;
    }
    return symbol;
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
    const auto isCharType = [](const CType* element) {
        element = C_CPP_resolve(element);
        return element != nullptr && element->kind == kBasic && element->isChar;
    };
    switch (type->kind) {
    case kBasic:
        if (type->isChar) {
            return 1;
        }
        return base::identText(type->name).find("long") != std::string::npos ? 3 : 2;
    case kFloating:
        return base::identText(type->name).find("double") != std::string::npos ? 5 : 4;
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
