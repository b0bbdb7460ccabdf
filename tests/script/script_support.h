// Running qvminspect and qvmprepro on the script test data, and reading the
// messages they report.
#pragma once

#include "support/messages.h"
#include "support/process.h"

#include <string>
#include <vector>

namespace qvm::testing::script {

inline const std::string kDataDir = QVM_TESTDATA_DIR "/script";

using qvm::testing::IsMessage;
using qvm::testing::Message;
using qvm::testing::messagesOf;

inline RunResult inspect(const std::vector<std::string>& arguments)
{
    return runInspect(arguments, {}, kDataDir);
}

// "line<TAB>name<TAB>text" lines of the token listing.
inline std::vector<std::string> tokensOf(const std::string& script, const std::vector<std::string>& extra = {})
{
    std::vector<std::string> arguments{"tokens", script};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return lines(inspect(arguments).out);
}

}  // namespace qvm::testing::script
