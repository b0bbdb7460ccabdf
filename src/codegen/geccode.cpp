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

namespace {

// A file name as the string of a "#line" directive.
std::string quotedFileName(std::string_view name)
{
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted += '"';
    for (const char c : name) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

}  // namespace

void LineWriter::beginScriptLine(int lineNumber, std::string_view fileName)
{
    scriptLine_ = lineNumber;
    scriptFile_ = quotedFileName(fileName);
}

void LineWriter::endScriptLine(std::string_view ownName)
{
    scriptLine_ = 0;
    if (!placedAtScript_) {
        return;
    }
    placedAtScript_ = false;
    endContinuedLine();
    // The directive is the next line; the line after it follows the lines
    // written so far and the directive itself.
    file_->write("#line ", file_->lineCount() + 2, ' ', quotedFileName(ownName), '\n');
}

void LineWriter::scriptLineDirective()
{
    endContinuedLine();
    file_->write("#line ", scriptLine_, ' ', scriptFile_, '\n');
    placedAtScript_ = true;
}

void LineWriter::endContinuedLine()
{
    if (file_->endsWithContinuedLine()) {
        file_->write('\n');
    }
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
