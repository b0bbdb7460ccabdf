// Fixed runs of generated lines written as one template: a raw string whose
// lines follow the line writer's level, with named values put in.
#pragma once

#include "codegen/geccode.h"
#include "codegen/pieces.h"

#include <array>
#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qvm::codegen {

// The text of a template: a string literal. It lasts as long as the program
// and never changes, so its lines are read once, on its first use, and that
// reading serves every later use.
class TemplateText {
public:
    template <std::size_t Size>
    consteval TemplateText(const char (&literal)[Size]) : text_(literal, Size - 1)
    {
    }

    std::string_view text() const { return text_; }

private:
    std::string_view text_;
};

// A value of a template: what "$name$" stands for. A text is not copied: it
// must last until the template is written.
class TemplateValue {
public:
    TemplateValue(std::string_view name, std::string_view text) : name_(name), text_(text) {}
    TemplateValue(std::string_view name, const char* text) : name_(name), text_(text) {}
    TemplateValue(std::string_view name, const std::string& text) : name_(name), text_(text) {}
    template <std::integral Number>
        requires(!std::same_as<Number, bool> && !std::same_as<Number, char>)
    TemplateValue(std::string_view name, Number number)
        : name_(name), digitCount_(static_cast<std::size_t>(detail::placeDecimal(digits_.data(), number) - digits_.data()))
    {
    }

    std::string_view name() const { return name_; }
    std::string_view text() const { return digitCount_ > 0 ? std::string_view(digits_.data(), digitCount_) : text_; }

private:
    std::string_view name_;
    std::string_view text_;
    // A number's decimal digits, sign first.
    std::array<char, 24> digits_{};
    std::size_t digitCount_ = 0;
};

// Writes the lines of a template. The blank first line and the blanks-only
// last line that a raw string has around its lines are left out, and so is
// the indentation all its lines share: what a line has beyond it is added to
// the writer's, "{" and "}" lines included (a block one level in is indented
// one blank more, as the writer's own blocks are). A line that begins with
// '#' is a directive, never indented; an empty line is indented as the code
// of its block is. A lone "{" with the code after it further in opens a
// block as LineWriter::openBlock does, and a lone "}" after code further in
// closes it: the lines written after a template that leaves blocks open are
// in them. A "{" or "}" at the level of its code is text. "$name$" is replaced by the value of that name, "$$" by '$'.
// A name without a value, a value that no line names, a '$' left open and a
// "}" of a block opened before the template are mistakes of the writer's
// code: std::logic_error.
void emitTemplate(LineWriter& out, TemplateText lines, std::initializer_list<TemplateValue> values = {});

}  // namespace qvm::codegen
