// The source files of a script run and their include chains.
#include "script/sourcefiles.h"

#include "base/cstsyst.h"
#include "base/extgest.h"
#include "diag/i18nerrgest.h"

#include <cctype>
#include <filesystem>

namespace qvm::script {

namespace {

constexpr std::size_t kPathBufferSize = 4000;

bool isAbsoluteDirectory(std::string_view directory)
{
    if (directory.empty()) {
        return false;
    }
    if (directory.front() == '/' || directory.front() == '\\') {
        return true;
    }
    return directory.size() >= 2 && directory[1] == ':' && std::isalpha(static_cast<unsigned char>(directory[0]));
}

std::string currentDirectory()
{
    std::error_code failure;
    std::string current = std::filesystem::current_path(failure).string();
    if (current.size() >= kPathBufferSize) {
        diag::internalAt("SIZBUFOVL", std::to_string(current.size() - (kPathBufferSize - 1)));
    }
    return current;
}

std::string absoluteDirectoryOf(std::string_view path)
{
    const std::size_t cut = path.find_last_of("/\\");
    const std::string directory = cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
    if (cut == 0) {
        return std::string(path.substr(0, 1));
    }
    if (isAbsoluteDirectory(directory)) {
        return directory;
    }
    const std::string current = currentDirectory();
    return directory.empty() ? current : base::systemPath(current, directory);
}

std::string baseNameOf(std::string_view path)
{
    const std::size_t cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

}  // namespace

SourceFileRecord describeSourceFile(std::string_view path, std::string_view contents)
{
    SourceFileRecord record;
    record.path = path;
    record.size = contents.size();
    record.checksum = base::crc16Kermit(contents);
    record.absoluteDirectory = absoluteDirectoryOf(path);
    record.baseName = baseNameOf(path);
    std::int64_t key = 0;
    for (const char c : record.absoluteDirectory) {
        key += static_cast<unsigned char>(c) - 32;
    }
    record.hashKey = key + static_cast<std::int64_t>(record.size);
    return record;
}

int SourceFileTable::enter(SourceFileRecord& record)
{
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i].hashKey == record.hashKey && keys_[i].checksum == record.checksum) {
            record.fileId = static_cast<int>(i) + 1;
            return record.fileId;
        }
    }
    if (keys_.size() >= kCapacity) {
        diag::fatalAt("INCLOVFLW", std::to_string(kCapacity));
    }
    keys_.push_back({record.hashKey, record.checksum});
    record.fileId = static_cast<int>(keys_.size());
    records_.push_back(record);
    return record.fileId;
}

std::vector<SourceFileRecord> SourceFileTable::recordsNewestFirst() const
{
    return {records_.rbegin(), records_.rend()};
}

}  // namespace qvm::script
