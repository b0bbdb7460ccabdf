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
    return '"' + cStringText(name) + '"';
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

namespace {

bool controlCharacter(unsigned char c)
{
    return c < ' ' || c > '~';
}

void appendOctal(std::string& text, unsigned char c)
{
    text += '\\';
    text += static_cast<char>('0' + (c >> 6));
    text += static_cast<char>('0' + ((c >> 3) & 7));
    text += static_cast<char>('0' + (c & 7));
}

}  // namespace

std::string cStringText(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size() + 2);
    char previous = '\0';
    for (const char c : text) {
        if (controlCharacter(static_cast<unsigned char>(c))) {
            appendOctal(escaped, static_cast<unsigned char>(c));
        } else {
            if (c == '\\' || c == '"' || (c == '?' && previous == '?')) {
                escaped += '\\';
            }
            escaped += c;
        }
        previous = c;
    }
    return escaped;
}

std::string cCommentText(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size() + 2);
    char previous = '\0';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte == 0x7f) {
            appendOctal(escaped, byte);
        } else {
            const bool closes = c == '/' && previous == '*';
            const bool opens = c == '*' && previous == '/';
            if (closes || opens || (c == '?' && previous == '?')) {
                escaped += '\\';
            }
            escaped += c;
        }
        previous = c;
    }
    return escaped;
}

bool includableName(std::string_view path)
{
    const bool plain = std::none_of(path.begin(), path.end(), [](char c) {
        return c == '"' || static_cast<unsigned char>(c) < ' ' || c == 0x7f;
    });
    for (std::size_t at = path.find("??"); plain && at != std::string_view::npos; at = path.find("??", at + 1)) {
        if (at + 2 < path.size() && std::string_view("=(/)'<!>-").find(path[at + 2]) != std::string_view::npos) {
            return false;
        }
    }
    return plain;
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
