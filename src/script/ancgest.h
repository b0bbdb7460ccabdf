// The door between the script analysis and the C analysis: the current C
// context, the start and end of the C analysis, the declaration of C texts
// and interface files, and the expression type classes of C types.
#pragma once

#include "canalysis/cerror.h"
#include "canalysis/declarations/cexpr.h"
#include "canalysis/declarations/ctabsy.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

namespace qvm::canalysis {
class MacroTable;
}

namespace qvm::script {

// Scope name, file and line to which declarations and messages belong.
// Scope names are at most this long: a longer one is reported as the error
// DEBORUBAN at the context's file and line (so the run ends with errors) and
// is cut to that length, so that the request still goes on.
constexpr std::size_t kMaxScopeNameLength = 16400;

struct CContext {
    std::string scope;
    std::string file;
    int line = 0;
};

void setCContext(std::string_view scope, std::string_view file, int line);
const CContext& cContext();

// The callback through which the C analysis reports for the bridge.
const canalysis::DiagnosticCallback& cDiagnostics();

// The C dialect of the preprocessing cycle; callers may pass the numbers.
enum CMode : int { CModeTraditional = 0, CModePedantic = 1, CModeNeither = 2 };

// Opens the preprocessing cycle (a CMode; a number outside it is neither
// pedantic nor traditional; every mode but the traditional one reads the
// words of today's C) with the include directories and -DEFINE texts; when
// a file name is given, its "#include" line is preprocessed and declared in
// the global scope. Diagnostics go through the callback (the diagnostics
// service when none is given).
void startCAnalysis(int mode, const std::vector<std::string>& includeDirectories,
                    const std::vector<std::string>& defines, std::string_view interfaceFile,
                    canalysis::DiagnosticCallback callback = {});

// Preprocesses the line "#include "name"" and declares what it gives in the
// global scope. Returns the number of errors reported.
int declareIncludedFile(std::string_view name);

// Declares C text under a scope; it is preprocessed first. Returns the
// number of errors reported.
int declareCText(std::string_view text, std::string_view scope, std::string_view file, int line);

// Ends the preprocessing cycle and frees the include search list.
void endCAnalysis();

// The syntax errors of the C text declared since the cycle opened (the
// interface files and the script's native lines) that a C compiler refuses
// as well; the generated program holds that text. None once the cycle
// opens again.
const canalysis::RefusedSyntax& refusedCSyntax();

// The tables of the C analysis for the run.
canalysis::SymbolTable& cSymbols();
canalysis::MacroTable& cMacros();

// Drops every table of the C analysis (tests run several analyses in one
// process), and with them the formats and selection contexts built from them.
void resetCAnalysis();

// A C expression typed in a scope (after the global one): its type (none
// for int and for a text that did not parse) and whether it is the
// identifier NONIL.
struct TypedText {
    canalysis::TypePtr type;
    bool parsed = false;
    bool nonNil = false;
    // The value of a text that is a numeric constant ("-1.5", "(300)").
    std::optional<canalysis::CConstant> constant;
};
TypedText typeExpression(std::string_view text, std::string_view scope, std::string_view file, int line);

// The type image and expression type class of a C expression typed in a
// scope (the identifier NONIL has class 8).
std::pair<std::string, int> expressionType(std::string_view text, std::string_view scope, std::string_view file,
                                           int line);

// The value of a text that is a numeric constant ("300", "-1", "(0x1FF)"),
// typed without a report (a text that would have one was reported when it
// was typed for its class); nothing for any other text.
std::optional<canalysis::CConstant> numericConstant(std::string_view text, std::string_view file, int line);

// The variable (not a type definition) of that name in the scope, else in
// the global scope; none when there is no such variable.
const canalysis::Symbol* findCVariable(std::string_view name, std::string_view scope);

// Whether a symbol is a variable: neither a type definition nor a function.
bool isCVariable(const canalysis::Symbol& symbol);


// Expression type class of a C type (0 to 15; 2 without type; -1 otherwise).
int expressionClassOfType(const canalysis::CType* type);

}  // namespace qvm::script
