#include "script/pprepc.h"

namespace qvm::script {

std::optional<std::string> preprocessText(std::string_view, std::string_view, int)
{
    return std::nullopt;
}

}  // namespace qvm::script
