// The source files of a script run: one record per distinct file read, with
// the size and checksum that the writers put into their outputs, and the
// table that gives equal files one file id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script {

struct SourceFileRecord {
    std::string path;               // the name as opened
    std::uint64_t size = 0;         // bytes
    std::uint16_t checksum = 0;     // CRC-16/KERMIT over all bytes
    std::int64_t hashKey = 0;       // sum of (c - 32) over the absolute directory, plus the size
    std::string absoluteDirectory;  // the file's directory made absolute
    std::string baseName;           // the file name without its directory
    int fileId = 0;                 // index (from 1) in the source file table
};

// Builds the record of a file from the name it was opened with and its bytes
// (file id left 0). The current directory longer than 4000 characters is the
// internal error "SIZBUFOVL".
SourceFileRecord describeSourceFile(std::string_view path, std::string_view contents);

// At most 500 distinct files; equal hash key and checksum share an id.
class SourceFileTable {
public:
    static constexpr std::size_t kCapacity = 500;

    // The id of the file, adding it when absent; "INCLOVFLW" (fatal, at the
    // current position) when the table is full. Sets record.fileId and keeps
    // the record when the file is new.
    int enter(SourceFileRecord& record);

    // Records of the distinct files, newest first.
    std::vector<SourceFileRecord> recordsNewestFirst() const;
    const std::vector<SourceFileRecord>& recordsInOrder() const { return records_; }

private:
    struct Key {
        std::int64_t hashKey;
        std::uint16_t checksum;
    };
    std::vector<Key> keys_;                  // per record, in the same order
    std::vector<SourceFileRecord> records_;  // in the order entered; ids from 1
};

}  // namespace qvm::script
