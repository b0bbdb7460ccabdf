// The files one run generates: each is written aside, in a temporary file of
// its own directory, and all are put in place together once the run has
// succeeded, so that a failed or interrupted run leaves the old outputs as
// they were and never a half-written one.
#pragma once

#include "base/stagedfile.h"
#include "codegen/pieces.h"

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace qvm::codegen {

// One output being written. Its text goes to a temporary file beside the
// target; the target itself is touched only by GeneratedFiles::commit.
class GeneratedFile {
public:
    // A target whose temporary cannot be created is the fatal "FICERROPN"
    // with the target's name and the system's reason. Made by
    // GeneratedFiles::create.
    explicit GeneratedFile(std::string target);
    GeneratedFile(const GeneratedFile&) = delete;
    GeneratedFile& operator=(const GeneratedFile&) = delete;
    ~GeneratedFile();

    // Text is gathered and written in large pieces; a write that fails
    // (disk full, device error) is the fatal "FICNOTOPN" with the target's
    // name and the system's reason.
    // The text is made of the pieces of pieces.h. Pieces of the common
    // kinds are written straight into the gathering buffer, in room made
    // once for all of them; others are joined first.
    template <typename... Pieces>
    void write(const Pieces&... pieces)
    {
        if constexpr ((MadeOfParts<Pieces> || ...)) {
            std::apply([&](const auto&... flat) { write(flat...); }, std::tuple_cat(detail::partsOf(pieces)...));
        } else if constexpr ((detail::PlacedPiece<Pieces> && ...)) {
            const std::size_t room = (std::size_t{0} + ... + detail::pieceRoom(pieces));
            if (room > kBufferBytes - used_) {
                flush();
                if (room > kBufferBytes) {
                    writeJoined(pieces...);
                    return;
                }
            }
            char* end = buffer_.get() + used_;
            ((end = detail::placePiece(end, pieces)), ...);
            used_ = static_cast<std::size_t>(end - buffer_.get());
            flushWhenFull();
        } else {
            writeJoined(pieces...);
        }
    }
    template <typename... Pieces>
    void writeLine(const Pieces&... pieces)
    {
        write(pieces..., '\n');
    }
    // A text of any length, which a large one reaches the file without
    // being gathered (and copied) first.
    void writeBlock(std::string_view text);

    // Counting lines costs a pass over the text, made only for a file that
    // asks for it before anything is written to it.
    void countLines();
    // The newlines of the text written so far.
    std::size_t lineCount();
    // Whether the text written so far ends with a line whose last character
    // is a backslash, which would join the next line to it.
    bool endsWithContinuedLine() const;

    const std::string& target() const { return staged_.target(); }
    const std::string& temporary() const { return staged_.temporary(); }

private:
    friend class GeneratedFiles;

    static constexpr std::size_t kWriteBytes = 256 * 1024;
    // The gathering buffer: room for the line that brings the gathered text
    // past kWriteBytes.
    static constexpr std::size_t kBufferBytes = kWriteBytes + 4096;

    // Writes the gathered text to the temporary file.
    void flush();
    void writeToFile(std::string_view text);
    void flushWhenFull()
    {
        if (used_ >= kWriteBytes) {
            flush();
        }
    }
    template <typename... Pieces>
    void writeJoined(const Pieces&... pieces)
    {
        joined_.clear();
        appendPieces(joined_, pieces...);
        writeBlock(joined_);
    }
    // Writes what is buffered and closes the temporary file.
    void finish();

    base::StagedFile staged_;
    std::unique_ptr<char[]> buffer_;  // kBufferBytes, of which used_ are written, not yet passed to the file
    std::size_t used_ = 0;
    std::string joined_;  // the text of pieces that are not written in place
    // The newlines of the text before buffer_ + counted_ (when counting),
    // and the last two characters passed to the file.
    bool countingLines_ = false;
    std::size_t lines_ = 0;
    std::size_t counted_ = 0;
    char passedTail_[2] = {'\0', '\0'};
    void countBuffered();
    void notePassed(std::string_view text);
};

// The outputs of a run, in the order they were created. Destroying the set
// before commit removes every temporary file and leaves the targets as they
// were.
class GeneratedFiles {
public:
    GeneratedFiles() = default;
    GeneratedFiles(const GeneratedFiles&) = delete;
    GeneratedFiles& operator=(const GeneratedFiles&) = delete;
    ~GeneratedFiles();

    // Starts a new output; a target created twice is the fatal "OUTOVROUT".
    GeneratedFile& create(const std::string& target);
    // The output of that target already being written, or none: a writer
    // that adds to a file another writer began.
    GeneratedFile* find(std::string_view target);

    // Writes what each output has buffered and closes it; a failure is fatal
    // and the targets stay untouched.
    void finish();
    // Finishes every output, then puts all in place together (see
    // base::installTogether); a problem is fatal and leaves every target
    // as it was.
    void commit();
    // The outputs, finished, for a commit together with other files.
    std::vector<base::StagedFile*> staged();
    // Removes every temporary file; the targets stay as they were.
    void discard();

    std::size_t size() const { return files_.size(); }
    // The target names, in the order they were created.
    std::vector<std::string> targets() const;

private:
    std::list<GeneratedFile> files_;
};

}  // namespace qvm::codegen
