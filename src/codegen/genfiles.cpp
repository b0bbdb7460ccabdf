// The files one run generates, written aside and put in place together.
#include "codegen/genfiles.h"

#include "diag/i18nerrgest.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace qvm::codegen {

namespace {

std::string temporaryName(const std::string& target)
{
    return target + "." + std::to_string(::getpid()) + ".tmp";
}

// Created anew with the permissions an ordinary fopen would give.
base::FileHandle createExclusive(const std::string& name)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            std::FILE* file = ::fdopen(fd, "w");
            if (file == nullptr) {
                ::close(fd);
            }
            return base::FileHandle(file);
        }
        // A temporary left by an earlier process of the same number.
        if (errno != EEXIST || ::unlink(name.c_str()) != 0) {
            break;
        }
    }
    return {};
}

}  // namespace

GeneratedFile::GeneratedFile(std::string target)
    : target_(std::move(target)), temporary_(temporaryName(target_)), file_(createExclusive(temporary_))
{
    if (!file_) {
        diag::fatal("FICERROPN", target_);
    }
}

GeneratedFile::~GeneratedFile()
{
    discard();
}

void GeneratedFile::write(std::string_view text)
{
    if (!file_ || text.empty()) {
        return;
    }
    if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size()) {
        discard();
        diag::fatal("FICNOTOPN", target_);
    }
}

void GeneratedFile::writeLine(std::string_view text)
{
    write(text);
    write("\n");
}

void GeneratedFile::finish()
{
    if (!file_) {
        return;
    }
    std::FILE* file = file_.release();
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !flushed) {
        discard();
        diag::fatal("FICNOTOPN", target_);
    }
}

void GeneratedFile::install()
{
    const auto before = base::readWholeFile(target_);
    if (before && before == base::readWholeFile(temporary_)) {
        ::unlink(temporary_.c_str());
        installed_ = true;
        return;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        discard();
        diag::fatal("FICERROPN", target_);
    }
    installed_ = true;
}

void GeneratedFile::discard()
{
    file_.reset();
    if (!installed_ && !temporary_.empty()) {
        ::unlink(temporary_.c_str());
        installed_ = true;
    }
}

GeneratedFiles::~GeneratedFiles()
{
    discard();
}

GeneratedFile& GeneratedFiles::create(const std::string& target)
{
    files_.remove_if([&](const GeneratedFile& file) { return file.target() == target; });
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

void GeneratedFiles::commit()
{
    for (GeneratedFile& file : files_) {
        file.finish();
    }
    for (GeneratedFile& file : files_) {
        file.install();
    }
    files_.clear();
}

void GeneratedFiles::discard()
{
    files_.clear();
}

}  // namespace qvm::codegen
