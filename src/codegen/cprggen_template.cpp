// Templates of generated lines: their indentation and their named values.
#include "codegen/cprggen_template.h"

#include <algorithm>
#include <optional>
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

// The lines of a template, their shared indentation left out.
struct TemplateLines {
    std::vector<std::string_view> text;
    // The indentation of each line of code; none for a blank line or a directive.
    std::vector<std::optional<std::size_t>> indentation;

    explicit TemplateLines(std::string_view lines) : text(linesOf(lines))
    {
        const std::size_t shared = sharedIndentation(text);
        for (std::string_view& line : text) {
            line = blankLine(line) ? std::string_view() : line.substr(shared);
            const std::size_t at = line.find_first_not_of(' ');
            indentation.push_back(at == std::string_view::npos || line[at] == '#' ? std::nullopt
                                                                                   : std::optional<std::size_t>(at));
        }
    }

    std::optional<std::size_t> nextCode(std::size_t index) const
    {
        while (++index < text.size() && !indentation[index]) {
        }
        return index < text.size() ? std::optional<std::size_t>(index) : std::nullopt;
    }
    std::optional<std::size_t> previousCode(std::size_t index) const
    {
        while (index-- > 0 && !indentation[index]) {
        }
        return index < text.size() ? std::optional<std::size_t>(index) : std::nullopt;
    }
    bool bracketAlone(std::size_t index, char bracket) const
    {
        return indentation[index] && text[index].substr(*indentation[index]) == std::string_view(&bracket, 1);
    }
    // A lone "{" that the code after it is further in than, as the line
    // writer's blocks are; a lone "}" after code further in.
    bool opensBlock(std::size_t index) const
    {
        const std::optional<std::size_t> next = nextCode(index);
        return bracketAlone(index, '{') && (!next || *indentation[*next] > *indentation[index]);
    }
    bool closesBlock(std::size_t index) const
    {
        const std::optional<std::size_t> previous = previousCode(index);
        return bracketAlone(index, '}') && previous && *indentation[*previous] > *indentation[index];
    }

    // An empty line has the indentation of the code of its block, as the
    // writer's own empty lines do: that of the code after it, one step
    // further in before a "}" of a block, one step out before a "{" that
    // opens one; at the end, that of the blocks left open.
    std::size_t emptyLineIndentation(std::size_t index, int openBlocks) const
    {
        const std::optional<std::size_t> next = nextCode(index);
        if (!next) {
            return 2 * static_cast<std::size_t>(std::max(openBlocks, 0));
        }
        const std::size_t at = *indentation[*next];
        return closesBlock(*next) ? at + 1 : opensBlock(*next) && at > 0 ? at - 1 : at;
    }
};

}  // namespace

void emitTemplate(LineWriter& out, std::string_view lines, std::initializer_list<TemplateValue> values)
{
    const TemplateLines all(lines);
    Substitution substitution(values);
    const int level = out.level();
    int openBlocks = 0;
    std::string text;
    for (std::size_t index = 0; index < all.text.size(); ++index) {
        const std::string_view line = all.text[index];
        if (line.empty()) {
            out.setLevel(level + static_cast<int>(all.emptyLineIndentation(index, openBlocks)));
            out.emptyLine();
            out.setLevel(level);
            continue;
        }
        openBlocks += all.opensBlock(index) ? 1 : all.closesBlock(index) ? -1 : 0;
        const std::size_t indentation = line.find_first_not_of(' ');
        const std::string_view code = line.substr(indentation);
        text.assign(code.front() == '#' ? 0 : indentation, ' ');
        substitution.append(text, code);
        out.line(text);
    }
    substitution.checkAllUsed();
    if (openBlocks < 0) {
        throw std::logic_error("template: a \"}\" closes a block the template did not open");
    }
    out.setLevel(level + 2 * openBlocks);
}

}  // namespace qvm::codegen
