// Output files written aside: each in a temporary beside its target, locked
// for as long as its run lives, then put in place with the others of the run
// all together or not at all. Inputs are never replaced.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::base {

// The system's words for an error number ("Permission denied").
std::string systemReason(int error);

// An exclusive advisory lock on a lock file, held until destruction.
class FileLock {
public:
    FileLock() = default;
    // Opens the lock file, creating it when it is missing, and waits until
    // no other process holds it. A lock file this run created is removed
    // when the lock is released; one that was there before is left alone.
    // An empty lock when the file cannot be opened: nothing could be
    // written beside it anyway.
    static FileLock acquire(const std::string& path);
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    bool held() const { return fd_ >= 0; }

private:
    FileLock(int fd, std::string createdPath) : fd_(fd), createdPath_(std::move(createdPath)) {}
    void release();

    int fd_ = -1;
    std::string createdPath_;  // "" when the lock file was there before
};

// One output being written. A regular (or not yet existing) target is
// written to "<target>.XXXXXX.tmp" in the target's own directory (through a
// symbolic link, in the linked file's directory); the temporary is locked
// while this object lives, so that a later run removes only temporaries
// whose run has died. Any other kind of target (a terminal, /dev/null) is
// written directly. While it exists, the temporary is also removed when the
// process is ended by SIGINT, SIGTERM or SIGHUP.
class StagedFile {
public:
    explicit StagedFile(std::string target);
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile();

    // Null when the file could not be created (error() says why).
    std::FILE* stream() const { return stream_; }
    // The error number of the first failure, 0 while all went well.
    int error() const { return error_; }
    // Writes what is buffered and closes the stream; false (error() set)
    // when some text did not reach the file.
    bool finish();
    // Notes that a write failed, with errno, and abandons the text.
    void lose();
    // Removes the temporary; the target stays as it was.
    void discard();

    const std::string& target() const { return target_; }
    const std::string& temporary() const { return temporary_; }

private:
    friend class StagedInstall;

    void create();
    void fail(int error);

    std::string target_;      // as the user named it, for messages
    std::string real_;        // the file replaced: the target, symbolic links followed
    std::string temporary_;   // "" when written directly
    std::FILE* stream_ = nullptr;
    int lockFd_ = -1;         // holds the temporary's lock until it is put in place or removed
    int error_ = 0;
    int slot_ = -1;           // of the interrupt removal, -1 when none
    bool done_ = false;       // put in place or removed
};

// What stopped a commit.
struct CommitProblem {
    enum Kind { OutputIsInput, OutputsCollide, Failed };
    Kind kind = Failed;
    std::string file;   // the output concerned
    std::string other;  // the input or the other output
    int error = 0;      // for Failed: the error number
};

// The first of outputs that is the same file as one of inputs or as an
// earlier output: the same device and inode, or for files not there yet
// the same absolute path with links resolved. Terminals and other files
// that are not regular never collide.
std::optional<CommitProblem> findCollision(const std::vector<std::string>& outputs,
                                          const std::vector<std::string>& inputs);

// Records an input of the run that no output may replace, besides the files
// the run read: the script and interface files named on the command line.
void protectInput(std::string_view path);
// Forgets the recorded inputs: the start of a new run.
void resetProtectedInputs();

// Puts finished files in place, in order: first checks that no target is an
// input (a recorded one or a file the run read) or the target of another
// file, then renames each temporary over its target, keeping the old
// targets until all are in place; when one rename fails, the targets
// already replaced get their old text back. A target that already holds
// the new text is left alone (its time stamp stays). Every temporary is
// gone afterwards, whatever the outcome.
std::optional<CommitProblem> installTogether(const std::vector<StagedFile*>& files);

}  // namespace qvm::base
