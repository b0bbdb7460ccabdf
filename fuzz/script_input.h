// How the script fuzz targets read files: the input is the script
// "fuzz.pts", INCLUDE finds one small in-memory file "inc.pts", and every
// other name is missing.
#pragma once

#include "script/stxpti_lexer.h"

#include <string>

namespace qvm::fuzz {

inline script::SourceReader inMemoryScript(const std::string& script, std::string included)
{
    return [&script, included = std::move(included)](const std::string& path) -> std::optional<std::string> {
        if (path == "fuzz.pts") {
            return script;
        }
        if (path == "inc.pts") {
            return included;
        }
        return std::nullopt;
    };
}

}  // namespace qvm::fuzz
