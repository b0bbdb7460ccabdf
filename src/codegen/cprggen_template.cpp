// Templates of generated lines: their indentation and their named values.
#include "codegen/cprggen_template.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace qvm::codegen {

namespace {

bool blankLine(std::string_view line)
{
    return line.find_first_not_of(' ') == std::string_view::npos;
}

std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    if (lines.size() > 1 && lines.front().empty()) {
        lines.erase(lines.begin());
    }
    if (lines.size() > 1 && blankLine(lines.back())) {
        lines.pop_back();
    }
    return lines;
}

std::size_t sharedIndentation(const std::vector<std::string_view>& lines)
{
    std::size_t shared = std::string_view::npos;
    for (const std::string_view line : lines) {
        if (!blankLine(line)) {
            shared = std::min(shared, line.find_first_not_of(' '));
        }
    }
    return shared == std::string_view::npos ? 0 : shared;
}

class Substitution {
public:
    explicit Substitution(std::initializer_list<TemplateValue> values) : values_(values), used_(values.size()) {}

    void append(std::string& out, std::string_view text)
    {
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t dollar = text.find('$', at);
            out.append(text.substr(at, dollar == std::string_view::npos ? dollar : dollar - at));
            if (dollar == std::string_view::npos) {
                return;
            }
            const std::size_t close = text.find('$', dollar + 1);
            if (close == std::string_view::npos) {
                throw std::logic_error("template: '$' without its closing '$' in \"" + std::string(text) + "\"");
            }
            const std::string_view name = text.substr(dollar + 1, close - dollar - 1);
            out += name.empty() ? std::string_view("$") : valueOf(name);
            at = close + 1;
        }
    }

    void checkAllUsed() const
    {
        for (std::size_t i = 0; i < used_.size(); ++i) {
            if (!used_[i]) {
                throw std::logic_error("template: no line names the value $" +
                                       std::string(values_.begin()[i].name) + "$");
            }
        }
    }

private:
    std::string_view valueOf(std::string_view name)
    {
        for (std::size_t i = 0; i < values_.size(); ++i) {
            if (values_.begin()[i].name == name) {
                used_[i] = true;
                return values_.begin()[i].text;
            }
        }
        throw std::logic_error("template: no value for $" + std::string(name) + "$");
    }

    std::initializer_list<TemplateValue> values_;
    std::vector<bool> used_;
};

}  // namespace

void emitTemplate(LineWriter& out, std::string_view lines, std::initializer_list<TemplateValue> values)
{
    const std::vector<std::string_view> all = linesOf(lines);
    const std::size_t shared = sharedIndentation(all);
    Substitution substitution(values);
    std::string text;
    for (const std::string_view line : all) {
        if (blankLine(line)) {
            out.emptyLine();
            continue;
        }
        const std::string_view own = line.substr(shared);
        const std::size_t indentation = own.find_first_not_of(' ');
        const std::string_view code = own.substr(indentation);
        text.assign(code.front() == '#' ? 0 : indentation, ' ');
        substitution.append(text, code);
        out.line(text);
    }
    substitution.checkAllUsed();
}

}  // namespace qvm::codegen
