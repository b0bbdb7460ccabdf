// Fixed runs of generated lines written as one template: a raw string whose
// lines follow the line writer's level, with named values put in.
#pragma once

#include "codegen/geccode.h"

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qvm::codegen {

// A value of a template: what "$name$" stands for.
struct TemplateValue {
    TemplateValue(std::string_view name, std::string_view text) : name(name), text(text) {}
    TemplateValue(std::string_view name, const char* text) : name(name), text(text) {}
    TemplateValue(std::string_view name, const std::string& text) : name(name), text(text) {}
    template <std::integral Number>
        requires(!std::same_as<Number, bool> && !std::same_as<Number, char>)
    TemplateValue(std::string_view name, Number number) : name(name), text(std::to_string(number))
    {
    }

    std::string_view name;
    std::string text;
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
void emitTemplate(LineWriter& out, std::string_view lines, std::initializer_list<TemplateValue> values = {});

}  // namespace qvm::codegen
