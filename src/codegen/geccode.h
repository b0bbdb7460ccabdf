// The line writer of generated C text: one output file at a time, indented
// by block level, with its directive lines.
#pragma once

#include "codegen/genfiles.h"

#include <charconv>
#include <concepts>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen {

// The pieces a generated line is made of: texts, single characters and
// numbers, the numbers in decimal. Writers append pieces where they would
// otherwise join temporary strings.
inline void appendPiece(std::string& out, std::string_view text)
{
    out += text;
}
inline void appendPiece(std::string& out, char c)
{
    out += c;
}
template <std::integral Number>
void appendPiece(std::string& out, Number value)
{
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, written.ptr);
}

template <typename... Pieces>
void appendPieces(std::string& out, const Pieces&... pieces)
{
    (appendPiece(out, pieces), ...);
}

// The pieces joined into one text.
template <typename... Pieces>
std::string joinedPieces(const Pieces&... pieces)
{
    std::string text;
    appendPieces(text, pieces...);
    return text;
}

class LineWriter {
public:
    // Starts the output at level 0. A file that cannot be created is the
    // fatal "FICERROPN" with its name.
    LineWriter(GeneratedFiles& files, const std::string& path);
    // Goes on writing a file another writer began, at level 0.
    explicit LineWriter(GeneratedFile& file);

    // One blank of indentation per level, except for a line that begins
    // with '#', which is never indented.
    void line(std::string_view text);
    // One line of several pieces, gathered in a buffer the writer keeps.
    template <typename... Pieces>
        requires(sizeof...(Pieces) > 1)
    void line(const Pieces&... pieces)
    {
        pieces_.clear();
        appendPieces(pieces_, pieces...);
        line(std::string_view(pieces_));
    }
    void emptyLine() { line(std::string_view()); }
    // Text written as it is, without indentation or newline.
    void raw(std::string_view text);

    // "{" one level in, and what follows one more level in.
    void openBlock();
    // Back one level, "}", and back one more.
    void closeBlock();

    void undefine(std::string_view name);
    void define(std::string_view name, std::string_view value);
    void ifdef(std::string_view name);
    void elseDirective() { line("#else"); }
    void endif() { line("#endif"); }

    int level() const { return level_; }
    void setLevel(int level) { level_ = level; }
    GeneratedFile& file() { return *file_; }

private:
    GeneratedFile* file_;
    int level_ = 0;
    std::string pieces_;  // the line being gathered
};

// A path as the text of a C string: a path that does not begin with '/' has
// each backslash doubled; one that does is kept as it is.
std::string cStringPath(std::string_view path);

// The values of a list option, in order; each reduced to its file name part
// when asked.
std::vector<std::string> optionValues(const std::vector<std::string>& values, bool fileNamePartOnly);

}  // namespace qvm::codegen
