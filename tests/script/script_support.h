// Running qvminspect and qvmprepro on the script test data, and reading the
// messages they report.
#pragma once

#include "support/process.h"

#include <regex>
#include <string>
#include <vector>

namespace qvm::testing::script {

inline const std::string kDataDir = QVM_TESTDATA_DIR "/script";

struct Message {
    std::string severity;
    std::string code;
    std::string file;
    int line = 0;
    bool operator==(const Message&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Message& m)
{
    return out << m.severity << '-' << m.code << " [" << m.file << ':' << m.line << ']';
}

// The located messages of a run, in order.
inline std::vector<Message> messagesOf(const std::string& stderrText)
{
    static const std::regex located(R"(Fenwir-([A-Z])-([A-Z]+),  \[([^:\]]*):(-?\d+)\])");
    std::vector<Message> found;
    for (const std::string& line : lines(stderrText)) {
        std::smatch m;
        if (std::regex_search(line, m, located)) {
            found.push_back({m[1], m[2], m[3], std::stoi(m[4])});
        }
    }
    return found;
}

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
