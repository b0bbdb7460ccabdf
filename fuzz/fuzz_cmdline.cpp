// The command-line decoder and the getters on arbitrary arguments: the input
// is split at NUL bytes into the argument vector.
#include "diag/i18nerrgest.h"
#include "driver/cmdppro.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qvm::diag::setConsoleSink([](std::string_view) {});
    std::vector<std::string> arguments{"qvmprepro"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    arguments.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }

    std::string echo;
    try {
        if (qvm::cmdline::decode(static_cast<int>(argv.size()), argv.data(), echo)) {
            qvm::cmdline::interfaceFiles();
            qvm::cmdline::dialect();
            qvm::cmdline::traceLevel();
            qvm::cmdline::threadRoutine();
            if (qvm::cmdline::hasFilterLetters()) {
                qvm::cmdline::filterLetters();
            }
        }
    } catch (const qvm::RunAbort&) {
        // A fatal value check ends a run; here it ends one input.
    }
    qvm::cmdline::release();
    qvm::diag::resetRun();
    return 0;
}
