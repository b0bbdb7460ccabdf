// Reports of the C source analysis. Every engine (preprocessor, expression
// evaluator, lexers, grammars) reports through the diagnostic callback that
// its caller installed, with severities 0 internal, 1 fatal, 2 error,
// 3 warning, 4 information, and the file and line of the text concerned.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace qvm::canalysis {

enum CSeverity : int { CInternal = 0, CFatal = 1, CError = 2, CWarning = 3, CInformation = 4 };

using DiagnosticCallback =
    std::function<void(int severity, std::string_view code, std::string_view argument, std::string_view file, int line)>;

// The callback that forwards to the program's diagnostics service (located
// reports; fatal and internal severities end the run).
DiagnosticCallback diagnosticsServiceCallback();

// Installs the callback used by later reports (an empty one silences them).
void installCallback(DiagnosticCallback callback);
const DiagnosticCallback& installedCallback();

// Where a report made without an explicit position is located: the engine
// running at the time installs a provider (the preprocessor's nearest file
// level, the lexer context's line). Without one: empty file name, line 0.
using PositionProvider = std::function<std::pair<std::string, int>()>;
void installPositionProvider(PositionProvider provider);
const PositionProvider& installedPositionProvider();

// Reports through the installed callback; nothing happens without one.
void report(int severity, std::string_view code, std::string_view argument, std::string_view file, int line);
void reportHere(int severity, std::string_view code, std::string_view argument);

// Errors (severity 2) reported since the counter was last reset.
int errorsReported();
void resetErrorsReported();

}  // namespace qvm::canalysis
