// Reports of the C source analysis, with their file positions.
#include "canalysis/cerror.h"

#include "diag/i18nerrgest.h"

namespace qvm::canalysis {

namespace {

struct ReportState {
    DiagnosticCallback callback;
    PositionProvider position;
    int errors = 0;
};

ReportState& state()
{
    static ReportState instance;
    return instance;
}

}  // namespace

DiagnosticCallback diagnosticsServiceCallback()
{
    return [](int severity, std::string_view code, std::string_view argument, std::string_view file, int line) {
        diag::reportLocated(static_cast<diag::Severity>(severity), diag::MessageCode::fromText(code), argument, file,
                            line);
    };
}

void installCallback(DiagnosticCallback callback)
{
    state().callback = std::move(callback);
}

const DiagnosticCallback& installedCallback()
{
    return state().callback;
}

void installPositionProvider(PositionProvider provider)
{
    state().position = std::move(provider);
}

const PositionProvider& installedPositionProvider()
{
    return state().position;
}

void report(int severity, std::string_view code, std::string_view argument, std::string_view file, int line)
{
    if (severity == CError) {
        ++state().errors;
    }
    if (state().callback) {
        state().callback(severity, code, argument, file, line);
    }
}

void reportHere(int severity, std::string_view code, std::string_view argument)
{
    if (state().position) {
        const auto [file, line] = state().position();
        report(severity, code, argument, file, line);
    } else {
        report(severity, code, argument, {}, 0);
    }
}

int errorsReported()
{
    return state().errors;
}

void resetErrorsReported()
{
    state().errors = 0;
}

}  // namespace qvm::canalysis
