// The input files of a run, noted as they are opened.
#include "base/filesread.h"

#include <filesystem>
#include <system_error>
#include <unordered_set>

namespace qvm::base {

namespace {

struct FilesRead {
    std::vector<std::string> inOrder;
    std::unordered_set<std::string> known;
};

FilesRead& state()
{
    static FilesRead instance;
    return instance;
}

}  // namespace

void recordFileRead(std::string_view path)
{
    std::string normal = absoluteNormalPath(path);
    if (state().known.insert(normal).second) {
        state().inOrder.push_back(std::move(normal));
    }
}

const std::vector<std::string>& filesRead()
{
    return state().inOrder;
}

void resetFilesRead()
{
    state() = FilesRead{};
}

std::string absoluteNormalPath(std::string_view path)
{
    std::error_code failure;
    std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), failure);
    if (failure) {
        absolute = std::filesystem::path(path);
    }
    return absolute.lexically_normal().string();
}

}  // namespace qvm::base
