// Checked system calls and thin helpers over the C runtime: files,
// environment, dates, paths of the file system.
#include "base/cstsyst.h"

#include "diag/i18nerrgest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

namespace qvm::base {

namespace {

bool hasDrive(std::string_view path)
{
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])) != 0;
}

// Formats into a text; nullopt when the C library reports a failure.
std::optional<std::string> formatList(const char* format, std::va_list arguments)
{
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length < 0) {
        return std::nullopt;
    }
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    if (std::vsnprintf(buffer.data(), buffer.size(), format, arguments) != length) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

struct ModificationTime {
    bool exists = false;
    timespec time{};  // meaningful when the file exists
};

ModificationTime modificationTime(const std::string& file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        diag::systemFailure("stat");
    }
    return {true, info.st_mtim};
}

bool newer(const timespec& a, const timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

}  // namespace

void FileCloser::operator()(std::FILE* file) const
{
    std::fclose(file);
}

FileHandle openFile(const std::string& name, const char* mode)
{
    return FileHandle(std::fopen(name.c_str(), mode));
}

bool isReadableFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

std::optional<std::string> readWholeFile(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return std::nullopt;
    }
    FileHandle file = openFile(path, "rb");
    if (!file) {
        return std::nullopt;
    }
    // Read straight into the text, which has room for the size the file had
    // and one more byte (readers commonly end the text with a newline); a
    // file that grew meanwhile is read on in steps.
    constexpr std::size_t kStep = 65536;
    std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            text.resize(text.size() + kStep);
        }
        const std::size_t got = std::fread(text.data() + length, 1, text.size() - length, file.get());
        length += got;
        if (got == 0) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0) {
        return std::nullopt;
    }
    text.resize(length);
    return text;
}

void closeFile(FileHandle& file)
{
    if (!file) {
        return;
    }
    if (std::fclose(file.release()) != 0) {
        diag::systemFailure("fclose");
    }
}

void writeText(std::FILE* file, std::string_view text)
{
    if (text.empty()) {
        return;
    }
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        diag::systemFailure("fprintf");
    }
}

void writeFormatted(std::FILE* file, const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    const int written = std::vfprintf(file, format, arguments);
    va_end(arguments);
    if (written < 0) {
        diag::systemFailure("fprintf");
    }
}

std::string formatText(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::optional<std::string> text = formatList(format, arguments);
    va_end(arguments);
    if (!text) {
        diag::systemFailure(std::string("sprintf(") + format);
    }
    return std::move(*text);
}

std::string envValue(const char* name)
{
    const char* value = name != nullptr ? std::getenv(name) : nullptr;
    return value != nullptr ? std::string(value) : std::string();
}

std::string currentDateText()
{
    const std::time_t now = std::time(nullptr);
    std::string text = std::ctime(&now);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

int processId()
{
    return static_cast<int>(::getpid());
}

bool removeFile(const std::string& name)
{
    return std::remove(name.c_str()) == 0;
}

std::string fileNamePart(std::string_view path)
{
    const auto last = path.find_last_of("/\\");
    if (last != std::string_view::npos) {
        return std::string(path.substr(last + 1));
    }
    return std::string(hasDrive(path) ? path.substr(2) : path);
}

std::string directoryPart(std::string_view path)
{
    if (path.empty()) {
        return {};
    }
    const auto last = path.find_last_of("/\\");
    if (last == std::string_view::npos) {
        return hasDrive(path) ? std::string(path.substr(0, 2)) : std::string(".");
    }
    if (last == 0 || (last == 2 && hasDrive(path))) {
        return std::string(path.substr(0, last + 1));
    }
    return std::string(path.substr(0, last));
}

FileTimeOrder compareFileTimes(const std::string& file1, const std::string& file2)
{
    const ModificationTime first = modificationTime(file1);
    if (!first.exists) {
        return FileMissing;
    }
    const ModificationTime second = modificationTime(file2);
    if (!second.exists) {
        return FileMissing;
    }
    return newer(first.time, second.time) ? FileNewer : FileNotNewer;
}

std::string systemPath(std::string_view directory, std::string_view name)
{
    if (directory.empty() || (!name.empty() && name.front() == '/')) {
        return std::string(name);
    }
    std::string path(directory);
    if (path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

}  // namespace qvm::base
