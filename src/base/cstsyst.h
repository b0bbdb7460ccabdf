// Checked system calls (a failure never returns) and thin helpers over the C
// runtime: files, environment, dates, paths of the file system.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qvm::base {

struct FileCloser {
    void operator()(std::FILE* file) const;
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file; an empty handle when it cannot be opened.
FileHandle openFile(const std::string& name, const char* mode);

// The whole text of a regular file, every byte kept (NULs included); nullopt
// for a path that is not a regular file, cannot be opened or fails to read,
// with errno telling why (EISDIR for a directory).
std::optional<std::string> readWholeFile(const std::string& path);
// A regular file this process may read.
bool isReadableFile(const std::string& path);

// Closes a stream; a failing close is the fatal "fclose" failure.
void closeFile(FileHandle& file);

// Formats to a stream; a failing write is the fatal "fprintf" failure.
void writeText(std::FILE* file, std::string_view text);

// printf-style formatting to a stream; a failing write is the fatal "fprintf"
// failure.
void writeFormatted(std::FILE* file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// printf-style formatting into a new text; a failing format is the fatal
// "sprintf(<format>" failure.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The value of an environment variable ("" when unset).
std::string envValue(const char* name);

// The local time in ctime form, without its trailing newline.
std::string currentDateText();

int processId();

// Removes a file; whether it was removed.
bool removeFile(const std::string& name);

// File name part and directory part of a path, '/' and '\\' both being
// separators and "X:" a drive. The directory part keeps the path's own
// separators and is not made absolute: "." when the path has no directory,
// the root itself for a file in the root ("/", "\\", "C:\\"), "C:" for
// "C:name". An empty path gives the empty text.
std::string fileNamePart(std::string_view path);
std::string directoryPart(std::string_view path);

// How the modification times of two files compare; callers may read the numbers.
enum FileTimeOrder : int {
    FileMissing = 0,   // either file does not exist
    FileNotNewer = 1,  // file1 is as old as or older than file2
    FileNewer = 2,     // file1 is newer
};

// Any failure but a missing file is the fatal "stat" failure.
FileTimeOrder compareFileTimes(const std::string& file1, const std::string& file2);

// Joins a directory and a name for opening on this system: '/' between them
// (none added when the directory already ends with one), a name that starts
// with '/' is taken as it is, and an empty directory gives the name.
std::string systemPath(std::string_view directory, std::string_view name);

}  // namespace qvm::base
