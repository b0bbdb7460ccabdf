// The files one run generates, written aside and put in place together.
#include "codegen/genfiles.h"

#include "diag/i18nerrgest.h"

#include <algorithm>
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
    const std::string_view text(buffer_.get(), used_);
    if (countingLines_) {
        countBuffered();
        counted_ = 0;
    }
    notePassed(text);
    writeToFile(text);
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
    if (countingLines_) {
        lines_ += static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }
    notePassed(text);
    writeToFile(text);
}

void GeneratedFile::countLines()
{
    countingLines_ = true;
}

std::size_t GeneratedFile::lineCount()
{
    countBuffered();
    return lines_;
}

void GeneratedFile::countBuffered()
{
    lines_ += static_cast<std::size_t>(std::count(buffer_.get() + counted_, buffer_.get() + used_, '\n'));
    counted_ = used_;
}

void GeneratedFile::notePassed(std::string_view text)
{
    if (text.size() >= 2) {
        passedTail_[0] = text[text.size() - 2];
        passedTail_[1] = text.back();
    } else if (text.size() == 1) {
        passedTail_[0] = passedTail_[1];
        passedTail_[1] = text.back();
    }
}

bool GeneratedFile::endsWithContinuedLine() const
{
    const char last = used_ >= 1 ? buffer_[used_ - 1] : passedTail_[1];
    const char beforeLast = used_ >= 2 ? buffer_[used_ - 2] : used_ == 1 ? passedTail_[1] : passedTail_[0];
    return last == '\n' && beforeLast == '\\';
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
