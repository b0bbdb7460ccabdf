// The line writer of generated C text: one output file at a time, indented
// by block level, with its directive lines.
#pragma once

#include "codegen/genfiles.h"
#include "codegen/pieces.h"

#include <concepts>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace qvm::codegen {

namespace detail {

// Whether the text the pieces make begins with '#'.
inline bool beginsWithHash()
{
    return false;
}

template <typename First, typename... Rest>
bool beginsWithHash(const First& first, const Rest&... rest)
{
    if constexpr (std::same_as<First, char>) {
        return first == '#';
    } else if constexpr (std::is_array_v<First>) {
        // A string literal (see pieces.h).
        return first[0] == '\0' ? beginsWithHash(rest...) : first[0] == '#';
    } else if constexpr (std::integral<First>) {
        return false;
    } else if constexpr (std::is_convertible_v<const First&, std::string_view>) {
        const std::string_view text(first);
        return text.empty() ? beginsWithHash(rest...) : text.front() == '#';
    } else if constexpr (MadeOfParts<First>) {
        return std::apply([&](const auto&... parts) { return beginsWithHash(parts..., rest...); }, pieceParts(first));
    } else {
        // A piece of a kind of its own: what it writes.
        std::string text;
        appendPiece(text, first);
        return text.empty() ? beginsWithHash(rest...) : text.front() == '#';
    }
}

}  // namespace detail

class LineWriter {
public:
    // Starts the output at level 0. A file that cannot be created is the
    // fatal "FICERROPN" with its name.
    LineWriter(GeneratedFiles& files, const std::string& path);
    // Goes on writing a file another writer began, at level 0.
    explicit LineWriter(GeneratedFile& file);

    // One line made of the pieces (see pieces.h): one blank of indentation
    // per level, except for a line that begins with '#', which is never
    // indented.
    template <typename... Pieces>
    void line(const Pieces&... pieces)
    {
        const bool directive = detail::beginsWithHash(pieces...);
        if (scriptLine_ > 0 && sizeof...(Pieces) > 0 && !directive) {
            scriptLineDirective();
        }
        const bool indented = level_ > 0 && !directive;
        file_->write(Blanks{indented ? static_cast<std::size_t>(level_) : 0}, pieces..., '\n');
    }
    void emptyLine() { line(); }
    // Text written as it is, without indentation or newline.
    void raw(std::string_view text);

    // "{" one level in, and what follows one more level in.
    void openBlock()
    {
        ++level_;
        bracketLine('{');
        ++level_;
    }
    // Back one level, "}", and back one more.
    void closeBlock()
    {
        --level_;
        bracketLine('}');
        --level_;
    }

    void undefine(std::string_view name);
    void define(std::string_view name, std::string_view value);
    void ifdef(std::string_view name);
    void elseDirective() { line("#else"); }
    void endif() { line("#endif"); }

    // From here on every line of code is reported at that line of that
    // file: a "#line" directive stands before each, so that the compiler
    // reports a construct of many lines at the one line it comes from, and
    // a debugger shows that file.
    void beginScriptLine(int lineNumber, std::string_view fileName);
    // Back to this file's own lines, named as given: a "#line" directive
    // numbers the line after it as the file's line it is. The file must
    // count its lines (GeneratedFile::countLines).
    void endScriptLine(std::string_view ownName);

    int level() const { return level_; }
    void setLevel(int level) { level_ = level; }
    GeneratedFile& file() { return *file_; }

private:
    // "#line" with the script's line and file.
    void scriptLineDirective();
    // A directive after a line that a backslash ends would be taken into
    // that line: an empty line comes between them.
    void endContinuedLine();

    // A line of "{" or "}" alone at the current level.
    void bracketLine(char bracket)
    {
        if (scriptLine_ > 0) {
            scriptLineDirective();
        }
        file_->write(Blanks{level_ > 0 ? static_cast<std::size_t>(level_) : 0}, bracket, '\n');
    }

    GeneratedFile* file_;
    int level_ = 0;
    // The script line the code being written comes from, 0 for none, with
    // its file's name quoted; whether a directive placed code there.
    int scriptLine_ = 0;
    std::string scriptFile_;
    bool placedAtScript_ = false;
};

// The body of a C string literal whose value is exactly the bytes of text:
// '\\' and '"' escaped, a '?' after a '?' escaped (no trigraph), control
// characters and bytes above 0x7e as three octal digits (which no digit
// after them can extend).
std::string cStringText(std::string_view text);
// Text that reads the same inside a C block comment and can neither end
// it nor open another: "*/" written "*\/", "/*" written "/\*", a '?'
// after a '?' and control characters as in a string.
std::string cCommentText(std::string_view text);
// Whether '#include "path"' names the file: a header name takes its
// characters as they are, so it can hold no '"', no control character and
// no trigraph.
bool includableName(std::string_view path);

// The values of a list option, in order; each reduced to its file name part
// when asked.
std::vector<std::string> optionValues(const std::vector<std::string>& values, bool fileNamePartOnly);

}  // namespace qvm::codegen
