// The files one run generates, written aside and put in place together.
#include "codegen/genfiles.h"

#include "diag/i18nerrgest.h"

#include <cstdio>
#include <cstring>

namespace qvm::codegen {

GeneratedFile::GeneratedFile(std::string target) : staged_(std::move(target))
{
    if (staged_.stream() == nullptr) {
        diag::fatalFile("FICERROPN", staged_.target(), staged_.error());
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(kBufferBytes);
}

GeneratedFile::~GeneratedFile() = default;

void GeneratedFile::flush()
{
    writeToFile({buffer_.get(), used_});
    used_ = 0;
}

void GeneratedFile::writeBlock(std::string_view text)
{
    if (used_ + text.size() < kWriteBytes) {
        if (!text.empty()) {
            std::memcpy(buffer_.get() + used_, text.data(), text.size());
        }
        used_ += text.size();
        return;
    }
    flush();
    writeToFile(text);
}

void GeneratedFile::writeToFile(std::string_view text)
{
    std::FILE* stream = staged_.stream();
    if (stream == nullptr || text.empty()) {
        return;
    }
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size()) {
        staged_.lose();
        diag::fatalFile("FICNOTOPN", staged_.target(), staged_.error());
    }
}

void GeneratedFile::finish()
{
    flush();
    if (!staged_.finish()) {
        diag::fatalFile("FICNOTOPN", staged_.target(), staged_.error());
    }
}

GeneratedFiles::~GeneratedFiles()
{
    discard();
}

GeneratedFile& GeneratedFiles::create(const std::string& target)
{
    if (find(target) != nullptr) {
        diag::fatal("OUTOVROUT", target, target);
    }
    return files_.emplace_back(target);
}

GeneratedFile* GeneratedFiles::find(std::string_view target)
{
    for (GeneratedFile& file : files_) {
        if (file.target() == target) {
            return &file;
        }
    }
    return nullptr;
}

std::vector<std::string> GeneratedFiles::targets() const
{
    std::vector<std::string> names;
    for (const GeneratedFile& file : files_) {
        names.push_back(file.target());
    }
    return names;
}

void GeneratedFiles::finish()
{
    for (GeneratedFile& file : files_) {
        file.finish();
    }
}

std::vector<base::StagedFile*> GeneratedFiles::staged()
{
    finish();
    std::vector<base::StagedFile*> files;
    for (GeneratedFile& file : files_) {
        files.push_back(&file.staged_);
    }
    return files;
}

void GeneratedFiles::commit()
{
    if (const std::optional<base::CommitProblem> problem = base::installTogether(staged())) {
        diag::fatalCommitProblem(*problem);
    }
    files_.clear();
}

void GeneratedFiles::discard()
{
    files_.clear();
}

}  // namespace qvm::codegen
