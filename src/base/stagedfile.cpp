// Output files written aside and put in place together.
#include "base/stagedfile.h"

#include "base/filesread.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace qvm::base {

namespace {

constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kRandomLength = 6;
constexpr int kCreationAttempts = 100;

// ---- Removal of live temporaries on interruption ------------------------

// The names of the temporaries alive, for the signal handler: it may only
// read lock-free atomics, so the slots are fixed. A run writes a few outputs
// at a time; past the slots a temporary is simply not protected (a later
// run still removes it).
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

// Installed once per process. SIGXFSZ is ignored as well, so that a
// file-size limit makes a write fail instead of killing the process.
void installInterruptHandlers()
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

int takeRemovalSlot(const char* name)
{
    for (std::size_t slot = 0; slot < liveTemporaries.size(); ++slot) {
        const char* free = nullptr;
        if (liveTemporaries[slot].compare_exchange_strong(free, name)) {
            return static_cast<int>(slot);
        }
    }
    return -1;
}

void releaseRemovalSlot(int& slot)
{
    if (slot >= 0) {
        liveTemporaries[static_cast<std::size_t>(slot)].store(nullptr);
        slot = -1;
    }
}

// ---- Names and locks of temporaries --------------------------------------

std::string randomPart()
{
    static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 generator{std::random_device{}() ^ (static_cast<std::uint64_t>(::getpid()) << 32)};
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    std::string part(kRandomLength, ' ');
    for (char& c : part) {
        c = kAlphabet[pick(generator)];
    }
    return part;
}

std::string temporaryNameFor(const std::string& real)
{
    return real + "." + randomPart() + std::string(kTemporarySuffix);
}

// Whether name is one of the temporaries of the file called base.
bool isTemporaryOf(std::string_view name, std::string_view base)
{
    return name.size() == base.size() + 1 + kRandomLength + kTemporarySuffix.size() && name.starts_with(base) &&
           name[base.size()] == '.' && name.ends_with(kTemporarySuffix);
}

// Whether path still names the file open as fd: a run that removed it as
// stale held its lock while doing so.
bool stillNamed(int fd, const std::string& path)
{
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Opens path and locks it for this run; -1 with errno set when it cannot
// be opened, or EAGAIN when another run removed it before the lock was had.
int openLocked(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return -1;
    }
    if (::flock(fd, LOCK_EX) != 0 || !stillNamed(fd, path)) {
        ::close(fd);
        errno = EAGAIN;
        return -1;
    }
    return fd;
}

// Removes the temporaries that runs which died left beside real: those
// whose lock nobody holds.
void removeStaleTemporaries(const std::string& real)
{
    const std::filesystem::path path(real);
    const std::string directory = path.has_parent_path() ? path.parent_path().string() : ".";
    const std::string base = path.filename().string();
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryOf(entry->d_name, base)) {
            continue;
        }
        const std::string stale = (path.has_parent_path() ? directory + "/" : std::string()) + entry->d_name;
        const int fd = ::open(stale.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && stillNamed(fd, stale)) {
            ::unlink(stale.c_str());
        }
        ::close(fd);
    }
    ::closedir(dir);
}

// The file a target stands for: a symbolic link is followed to the file it
// names (which may not exist yet).
std::string realTarget(const std::string& target)
{
    struct stat link {};
    if (::lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return target;
    }
    std::error_code failure;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, failure);
    return failure ? target : resolved.string();
}

bool writtenInPlace(const std::string& real)
{
    struct stat status {};
    return ::stat(real.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

// ---- Identity of files ---------------------------------------------------

// What tells two files apart: device and inode of an existing regular file,
// the absolute path with links resolved of one not there yet; none for
// other kinds (terminals, null device), which never collide.
std::optional<std::string> identityOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode)) {
            return std::nullopt;
        }
        return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    }
    std::error_code failure;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(absoluteNormalPath(path), failure);
    return "path:" + (failure ? absoluteNormalPath(path) : resolved.string());
}

std::vector<std::string>& protectedInputs()
{
    static std::vector<std::string> inputs;
    return inputs;
}

std::optional<CommitProblem> collisionAmong(const std::vector<StagedFile*>& files)
{
    std::vector<std::string> inputs = protectedInputs();
    inputs.insert(inputs.end(), filesRead().begin(), filesRead().end());
    std::vector<std::string> outputs;
    for (const StagedFile* file : files) {
        outputs.push_back(file->target());
    }
    return findCollision(outputs, inputs);
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
    std::FILE* one = std::fopen(first.c_str(), "rb");
    std::FILE* other = std::fopen(second.c_str(), "rb");
    bool same = one != nullptr && other != nullptr;
    constexpr std::size_t kPiece = 64 * 1024;
    std::vector<char> left(kPiece);
    std::vector<char> right(kPiece);
    while (same) {
        const std::size_t got = std::fread(left.data(), 1, kPiece, one);
        same = std::fread(right.data(), 1, kPiece, other) == got &&
               std::equal(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(got), right.begin());
        if (got < kPiece) {
            same = same && std::ferror(one) == 0 && std::ferror(other) == 0;
            break;
        }
    }
    if (one != nullptr) {
        std::fclose(one);
    }
    if (other != nullptr) {
        std::fclose(other);
    }
    return same;
}

}  // namespace

std::optional<CommitProblem> findCollision(const std::vector<std::string>& outputs,
                                          const std::vector<std::string>& inputs)
{
    std::vector<std::pair<std::string, std::string>> known;  // identity, name
    for (const std::string& input : inputs) {
        if (std::optional<std::string> identity = identityOf(input)) {
            known.emplace_back(std::move(*identity), input);
        }
    }
    const std::size_t inputCount = known.size();
    for (const std::string& output : outputs) {
        const std::optional<std::string> identity = identityOf(output);
        if (!identity) {
            continue;
        }
        for (std::size_t i = 0; i < known.size(); ++i) {
            if (known[i].first == *identity) {
                return i < inputCount ? CommitProblem{CommitProblem::OutputIsInput, output, known[i].second, 0}
                                      : CommitProblem{CommitProblem::OutputsCollide, known[i].second, output, 0};
            }
        }
        known.emplace_back(*identity, output);
    }
    return std::nullopt;
}

std::string systemReason(int error)
{
    return std::strerror(error);
}

// ---- FileLock ------------------------------------------------------------

FileLock FileLock::acquire(const std::string& path)
{
    for (int attempt = 0; attempt < kCreationAttempts; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        const bool created = fd >= 0;
        if (!created && errno == EEXIST) {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (fd < 0) {
            if (errno == ENOENT) {
                continue;  // removed by the run that held it
            }
            return {};
        }
        int locked = 0;
        while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        // The run that held it may have removed it meanwhile: lock the new one.
        if (locked == 0 && stillNamed(fd, path)) {
            return FileLock(fd, created ? path : std::string());
        }
        ::close(fd);
        if (locked != 0) {
            return {};
        }
    }
    return {};
}

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), createdPath_(std::move(other.createdPath_))
{
}

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        createdPath_ = std::move(other.createdPath_);
    }
    return *this;
}

FileLock::~FileLock()
{
    release();
}

void FileLock::release()
{
    if (fd_ < 0) {
        return;
    }
    // Removed while still held, so that a waiting run sees it is gone.
    if (!createdPath_.empty()) {
        ::unlink(createdPath_.c_str());
    }
    ::close(std::exchange(fd_, -1));
}

// ---- StagedFile ----------------------------------------------------------

StagedFile::StagedFile(std::string target) : target_(std::move(target)), real_(realTarget(target_))
{
    installInterruptHandlers();
    create();
}

StagedFile::~StagedFile()
{
    discard();
}

void StagedFile::create()
{
    if (writtenInPlace(real_)) {
        stream_ = std::fopen(real_.c_str(), "w");
        if (stream_ == nullptr) {
            fail(errno);
        }
        return;
    }
    removeStaleTemporaries(real_);
    for (int attempt = 0; attempt < kCreationAttempts; ++attempt) {
        const std::string name = temporaryNameFor(real_);
        const int fd = openLocked(name, O_WRONLY | O_CREAT | O_EXCL);
        if (fd < 0) {
            if (errno == EEXIST || errno == EAGAIN) {
                continue;
            }
            fail(errno);
            return;
        }
        temporary_ = name;
        slot_ = takeRemovalSlot(temporary_.c_str());
        lockFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        stream_ = ::fdopen(fd, "w");
        if (stream_ == nullptr || lockFd_ < 0) {
            const int error = errno;
            if (stream_ == nullptr) {
                ::close(fd);
            }
            fail(error);
        }
        return;
    }
    fail(EEXIST);
}

void StagedFile::fail(int error)
{
    if (error_ == 0) {
        error_ = error != 0 ? error : EIO;
    }
    discard();
}

bool StagedFile::finish()
{
    if (stream_ == nullptr) {
        return error_ == 0;
    }
    std::FILE* stream = std::exchange(stream_, nullptr);
    const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    const int flushError = errno;
    if (std::fclose(stream) != 0 || !flushed) {
        fail(flushed ? errno : flushError);
        return false;
    }
    return true;
}

void StagedFile::lose()
{
    fail(errno);
}

void StagedFile::discard()
{
    if (stream_ != nullptr) {
        std::fclose(std::exchange(stream_, nullptr));
    }
    if (!done_ && !temporary_.empty()) {
        ::unlink(temporary_.c_str());
    }
    releaseRemovalSlot(slot_);
    if (lockFd_ >= 0) {
        ::close(std::exchange(lockFd_, -1));
    }
    done_ = true;
}

// ---- Installation --------------------------------------------------------

// The renames of one commit, undone when a later one fails.
class StagedInstall {
public:
    explicit StagedInstall(const std::vector<StagedFile*>& files) : files_(files) {}
    StagedInstall(const StagedInstall&) = delete;
    StagedInstall& operator=(const StagedInstall&) = delete;
    ~StagedInstall() { dropBackups(); }

    std::optional<CommitProblem> run()
    {
        for (StagedFile* file : files_) {
            if (file->temporary_.empty() || file->done_) {
                continue;
            }
            if (sameContent(file->real_, file->temporary_)) {
                continue;
            }
            if (const int error = replace(*file); error != 0) {
                undo();
                return CommitProblem{CommitProblem::Failed, file->target(), {}, error};
            }
        }
        return std::nullopt;
    }

private:
    struct Replaced {
        StagedFile* file;
        std::string backup;  // "" when the target did not exist
        int backupLock;
    };

    // Keeps the old target under a temporary name of its own (a second link
    // to it, so that the target never disappears), then renames the new
    // text over it. Gives 0 or the error number.
    int replace(StagedFile& file)
    {
        Replaced step{&file, {}, -1};
        struct stat old {};
        if (::lstat(file.real_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            if (const int error = keepOld(file.real_, step); error != 0) {
                return error;
            }
        }
        if (::rename(file.temporary_.c_str(), file.real_.c_str()) != 0) {
            const int error = errno;
            restore(step);
            return error;
        }
        file.done_ = true;
        done_.push_back(std::move(step));
        return 0;
    }

    static int keepOld(const std::string& real, Replaced& step)
    {
        for (int attempt = 0; attempt < kCreationAttempts; ++attempt) {
            const std::string backup = temporaryNameFor(real);
            if (::link(real.c_str(), backup.c_str()) != 0) {
                if (errno == EEXIST) {
                    continue;
                }
                // A file system without hard links: the old file is moved aside.
                if (::rename(real.c_str(), backup.c_str()) != 0) {
                    return errno;
                }
            }
            const int lock = openLocked(backup, O_RDONLY);
            if (lock < 0) {
                continue;  // removed as stale by another run in between
            }
            step.backup = backup;
            step.backupLock = lock;
            return 0;
        }
        return EEXIST;
    }

    static void restore(Replaced& step)
    {
        if (!step.backup.empty()) {
            ::rename(step.backup.c_str(), step.file->real_.c_str());
            step.backup.clear();
        }
        if (step.backupLock >= 0) {
            ::close(std::exchange(step.backupLock, -1));
        }
    }

    void undo()
    {
        for (auto step = done_.rbegin(); step != done_.rend(); ++step) {
            if (step->backup.empty()) {
                ::unlink(step->file->real_.c_str());
            }
            restore(*step);
        }
        done_.clear();
    }

    void dropBackups()
    {
        for (Replaced& step : done_) {
            if (!step.backup.empty()) {
                ::unlink(step.backup.c_str());
            }
            if (step.backupLock >= 0) {
                ::close(step.backupLock);
            }
        }
        done_.clear();
    }

    const std::vector<StagedFile*>& files_;
    std::vector<Replaced> done_;
};

void protectInput(std::string_view path)
{
    if (!path.empty()) {
        protectedInputs().emplace_back(path);
    }
}

void resetProtectedInputs()
{
    protectedInputs().clear();
}

std::optional<CommitProblem> installTogether(const std::vector<StagedFile*>& files)
{
    std::optional<CommitProblem> problem;
    for (StagedFile* file : files) {
        if (!file->finish() && !problem) {
            problem = CommitProblem{CommitProblem::Failed, file->target(), {}, file->error()};
        }
    }
    if (!problem) {
        problem = collisionAmong(files);
    }
    if (!problem) {
        problem = StagedInstall(files).run();
    }
    for (StagedFile* file : files) {
        file->discard();
    }
    return problem;
}

}  // namespace qvm::base
