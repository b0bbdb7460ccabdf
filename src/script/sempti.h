// The semantic analysis of a test script: walks the syntax tree once,
// checks it and builds the semantic model that the writers read.
#pragma once

#include "script/semmodel.h"
#include "script/sourcefiles.h"
#include "script/syntaxtree.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script {

namespace sem {
// A '#' line whose text starts with a directive word is that directive
// ("#include", "#define"); any other is a line of C declarations.
bool isDirective(std::string_view text);
// The text of a native line without the backslashes (and blanks) that end
// it: every line of the script stands alone, so none continues into the
// line that C text puts after it.
std::string_view withoutLineSplice(std::string_view text);

// An expected value written as a range of values, "[lower .. upper]";
// either bound may be left out (an empty view).
struct ValueRange {
    std::string_view lower;
    std::string_view upper;
};
// The bounds when the whole text is one range, else nothing.
std::optional<ValueRange> valueRange(std::string_view text);
}  // namespace sem

struct AnalysisOptions {
    std::vector<std::string> families;           // -FAMILY
    std::vector<std::string> excludedFamilies;   // -EXFAMILY
    std::vector<std::string> scenarios;          // -SCN
    std::vector<std::string> excludedScenarios;  // -EXSCN
    bool fast = true;                            // off with -NOFAST
    int traceLevel = 0;                          // 0, 5, 10, 20 or 50
    int scriptFlags = 0;                         // ScriptFlags bits of the parse
    std::string instance;                        // -INSTANCE, empty when not given
    // What the program writer will read, gathered when an analysis without
    // errors ends: WAITTIL condition contexts (off when no program is
    // written), the variables each tester context copies (off unless
    // -NOTSHARED or a probe asks for them).
    bool programFacts = true;
    bool contextVariables = true;
};

struct AnalysisResult {
    std::unique_ptr<sem::Model> model;  // the global scope and everything under it
    int instanceMode = 0;     // 0 none, 1 selected and declared, 2 declared but none selected, 3 undeclared
    int instanceNumber = 0;   // the selected instance among the declared ones, from 1
    int timerCount = 0;
};

// Analyses the parsed script. User errors are reported and counted; internal
// ones end the run. The model refers to the syntax tree's file names, so it
// lives no longer than the tree. An ENV_VAR header value is the variable's
// value, an empty text when the variable is not set.
AnalysisResult analyseScript(const SyntaxNode* root, const std::vector<SourceFileRecord>& sourceFiles,
                             const AnalysisOptions& options);

}  // namespace qvm::script
