// The variables a C text declares, and the context declarations of variables.
#include "script/panalc.h"

#include "canalysis/declarations/ctabsy.h"
#include "canalysis/preprocessor/cprepr.h"
#include "script/ancgest.h"
#include "script/cgeneration.h"

#include <cctype>

namespace qvm::script {

namespace {

void ignoreReport(int, std::string_view, std::string_view, std::string_view, int) {}

// Gives the scratch table the run's global type names that the text uses,
// so that the text reads there as it did in the run's table.
void copyTypeNamesUsed(std::string_view text, canalysis::SymbolTable& scratch)
{
    const auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    std::size_t at = 0;
    while (at < text.size()) {
        if (!isWordChar(text[at])) {
            ++at;
            continue;
        }
        const std::size_t start = at;
        while (at < text.size() && isWordChar(text[at])) {
            ++at;
        }
        const base::Ident word = base::ident(text.substr(start, at - start));
        const canalysis::Symbol* symbol = cSymbols().findInScope(word, nullptr);
        if (symbol != nullptr && (symbol->storage & canalysis::kTypedef) != 0 &&
            scratch.findInScope(word, nullptr) == nullptr) {
            scratch.append(*symbol);
        }
    }
}

bool declaresVariable(const canalysis::Symbol& symbol)
{
    if ((symbol.storage & canalysis::kTypedef) != 0) {
        return false;
    }
    const canalysis::CType* type = canalysis::C_CPP_resolve(symbol.type.get());
    return type == nullptr || type->kind != canalysis::kFunction;
}

}  // namespace

std::vector<DeclaredVariable> declarationList(std::string_view cText)
{
    // The text was reported on when the run declared it: nothing is reported again.
    const canalysis::DiagnosticCallback quiet = ignoreReport;
    const canalysis::ScopedCallback silenced(quiet);
    const CContext& context = cContext();
    std::string preprocessed;
    notePreprocessedText(cText);
    canalysis::C_CPP_prepro_buffer(cText, 1, context.file, context.line, preprocessed, cMacros(), quiet);
    canalysis::SymbolTable scratch;
    copyTypeNamesUsed(preprocessed, scratch);
    canalysis::C_CPP_parse_decls(preprocessed, scratch, {}, context.file, context.line, quiet);
    std::vector<DeclaredVariable> variables;
    for (const canalysis::Symbol* symbol : scratch.symbolsOf(nullptr)) {
        if (declaresVariable(*symbol)) {
            variables.push_back(
                {std::string(base::identText(symbol->name)), expressionClassOfType(symbol->type.get())});
        }
    }
    return variables;
}

std::string contextDeclaration(std::string_view variable, bool asPointer)
{
    const std::string name = "trv_ctx_" + std::string(variable);
    const canalysis::Symbol* symbol = findCVariable(variable, cContext().scope);
    if (symbol == nullptr || !symbol->type) {
        return "int " + name + ";";
    }
    canalysis::TypePtr type = symbol->type;
    if (asPointer) {
        canalysis::CType pointer;
        pointer.target = type;
        type = canalysis::C_CPP_new_type(canalysis::kPointer, std::move(pointer));
    }
    return canalysis::C_CPP_type_image(type.get(), name) + ";";
}

}  // namespace qvm::script
