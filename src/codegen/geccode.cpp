// The line writer of generated C text.
#include "codegen/geccode.h"

#include "base/cstsyst.h"

#include <algorithm>

namespace qvm::codegen {

LineWriter::LineWriter(GeneratedFiles& files, const std::string& path) : file_(&files.create(path)) {}

LineWriter::LineWriter(GeneratedFile& file) : file_(&file) {}

void LineWriter::raw(std::string_view text)
{
    file_->write(text);
}

void LineWriter::undefine(std::string_view name)
{
    line("#undef ", name);
}

void LineWriter::define(std::string_view name, std::string_view value)
{
    line("#define ", name, " ", value);
}

void LineWriter::ifdef(std::string_view name)
{
    line("#ifdef ", name);
}

std::string cStringPath(std::string_view path)
{
    if (!path.empty() && path.front() == '/') {
        return std::string(path);
    }
    std::string text;
    text.reserve(path.size() * 2);
    for (const char c : path) {
        text += c;
        if (c == '\\') {
            text += '\\';
        }
    }
    return text;
}

std::vector<std::string> optionValues(const std::vector<std::string>& values, bool fileNamePartOnly)
{
    std::vector<std::string> list;
    list.reserve(values.size());
    for (const std::string& value : values) {
        list.push_back(fileNamePartOnly ? base::fileNamePart(value) : value);
    }
    return list;
}

}  // namespace qvm::codegen
