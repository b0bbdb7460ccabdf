// The files one run generates, written aside and put in place together.
#include "codegen/genfiles.h"

#include "diag/i18nerrgest.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qvm::codegen {

namespace {

// The names of the temporary files alive, for the signal handler: it may
// only read lock-free atomics, so the slots are fixed. A run writes a few
// outputs at a time; past the slots a temporary is simply not protected.
constexpr std::size_t kRemovalSlots = 64;
std::array<std::atomic<const char*>, kRemovalSlots> liveTemporaries{};
static_assert(std::atomic<const char*>::is_always_lock_free);

constexpr std::array kInterruptSignals{SIGINT, SIGTERM, SIGHUP};

extern "C" void removeTemporariesAndReraise(int signal)
{
    for (std::atomic<const char*>& slot : liveTemporaries) {
        if (const char* name = slot.load()) {
            ::unlink(name);
        }
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

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

// Whether two regular files hold the same bytes; read piece by piece, so
// that files of different texts are told apart at their first difference.
bool sameContent(const std::string& first, const std::string& second)
{
    struct stat firstStatus {};
    struct stat secondStatus {};
    if (::stat(first.c_str(), &firstStatus) != 0 || ::stat(second.c_str(), &secondStatus) != 0 ||
        !S_ISREG(firstStatus.st_mode) || !S_ISREG(secondStatus.st_mode) ||
        firstStatus.st_size != secondStatus.st_size) {
        return false;
    }
    const base::FileHandle one = base::openFile(first, "rb");
    const base::FileHandle other = base::openFile(second, "rb");
    if (!one || !other) {
        return false;
    }
    constexpr std::size_t kPiece = 64 * 1024;
    std::vector<char> left(kPiece);
    std::vector<char> right(kPiece);
    for (;;) {
        const std::size_t got = std::fread(left.data(), 1, kPiece, one.get());
        if (std::fread(right.data(), 1, kPiece, other.get()) != got ||
            !std::equal(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(got), right.begin())) {
            return false;
        }
        if (got < kPiece) {
            return std::ferror(one.get()) == 0 && std::ferror(other.get()) == 0;
        }
    }
}

}  // namespace

InterruptRemoval::InterruptRemoval(const std::string& name) : slot_(-1)
{
    for (std::size_t slot = 0; slot < liveTemporaries.size(); ++slot) {
        const char* free = nullptr;
        if (liveTemporaries[slot].compare_exchange_strong(free, name.c_str())) {
            slot_ = static_cast<int>(slot);
            return;
        }
    }
}

InterruptRemoval::~InterruptRemoval()
{
    if (slot_ >= 0) {
        liveTemporaries[static_cast<std::size_t>(slot_)].store(nullptr);
    }
}

void InterruptRemoval::installHandlers()
{
    static const bool installed = [] {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, nullptr);
        struct sigaction removal {};
        removal.sa_handler = removeTemporariesAndReraise;
        ::sigemptyset(&removal.sa_mask);
        for (const int signal : kInterruptSignals) {
            ::sigaddset(&removal.sa_mask, signal);
        }
        for (const int signal : kInterruptSignals) {
            struct sigaction previous {};
            ::sigaction(signal, nullptr, &previous);
            // A signal the caller chose to ignore (nohup) stays ignored.
            if (previous.sa_handler != SIG_IGN) {
                ::sigaction(signal, &removal, nullptr);
            }
        }
        return true;
    }();
    static_cast<void>(installed);
}

GeneratedFile::GeneratedFile(std::string target)
    : target_(std::move(target)),
      temporary_(temporaryName(target_)),
      removal_(temporary_),
      file_(createExclusive(temporary_))
{
    if (!file_) {
        diag::fatal("FICERROPN", target_);
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(kBufferBytes);
}

GeneratedFile::~GeneratedFile()
{
    discard();
}

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
    if (!file_ || text.empty()) {
        return;
    }
    if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size()) {
        discard();
        diag::fatal("FICNOTOPN", target_);
    }
}

void GeneratedFile::finish()
{
    flush();
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
    if (sameContent(target_, temporary_)) {
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

std::vector<std::string> GeneratedFiles::targets() const
{
    std::vector<std::string> names;
    for (const GeneratedFile& file : files_) {
        names.push_back(file.target());
    }
    return names;
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
