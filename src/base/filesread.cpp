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

// The files of this thread are held there while a pass beside the main
// thread runs on it.
thread_local HeldFilesRead* heldHere = nullptr;

}  // namespace

HeldFilesRead::Scope::Scope(HeldFilesRead& into) : outer_(heldHere)
{
    heldHere = &into;
}

HeldFilesRead::Scope::~Scope()
{
    heldHere = outer_;
}

void HeldFilesRead::note()
{
    for (const std::string& path : paths_) {
        recordFileRead(path);
    }
    paths_.clear();
}

void recordFileRead(std::string_view path)
{
    if (heldHere != nullptr) {
        heldHere->paths_.emplace_back(path);
        return;
    }
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
