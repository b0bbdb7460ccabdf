// Templates of generated lines: their indentation and their named values.
#include "codegen/cprggen_template.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <unordered_map>
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

// A template read once: each line as the pieces it is written from, each
// empty line with its indentation, and the blocks it leaves open.
class PreparedTemplate {
public:
    explicit PreparedTemplate(std::string_view lines)
    {
        const TemplateLines all(lines);
        for (std::size_t index = 0; index < all.text.size(); ++index) {
            const std::string_view line = all.text[index];
            if (line.empty()) {
                lines_.push_back({all.emptyLineIndentation(index, openBlocks_), pieces_.size(), 0});
                continue;
            }
            openBlocks_ += all.opensBlock(index) ? 1 : all.closesBlock(index) ? -1 : 0;
            const std::size_t indentation = line.find_first_not_of(' ');
            const std::size_t first = pieces_.size();
            addPieces(line[indentation] == '#' ? line.substr(indentation) : line);
            lines_.push_back({0, first, pieces_.size() - first});
        }
        if (openBlocks_ < 0) {
            throw std::logic_error("template: a \"}\" closes a block the template did not open");
        }
    }

    void write(LineWriter& out, std::initializer_list<TemplateValue> values, std::string& scratch) const
    {
        const Texts texts = valueTexts(values);
        const int level = out.level();
        for (const Line& line : lines_) {
            if (line.pieceCount == 0) {
                out.setLevel(level + static_cast<int>(line.emptyIndentation));
                out.emptyLine();
                out.setLevel(level);
            } else if (line.pieceCount == 1 && pieces_[line.firstPiece].name == kText) {
                out.line(pieces_[line.firstPiece].text);
            } else {
                joinPieces(line, texts, scratch);
                out.line(scratch);
            }
        }
        out.setLevel(level + 2 * openBlocks_);
    }

private:
    static constexpr std::size_t kMostNames = 16;
    static constexpr std::size_t kText = kMostNames;
    using Texts = std::array<std::string_view, kMostNames>;

    // Text of the template, or the value of its name-th name.
    struct Piece {
        std::string_view text;
        std::size_t name = kText;
    };
    // A line of code is its pieces; an empty line has none, and its indentation.
    struct Line {
        std::size_t emptyIndentation;
        std::size_t firstPiece;
        std::size_t pieceCount;
    };

    // The texts of a line's pieces joined into the kept string, sized once
    // for all of them rather than grown piece by piece.
    void joinPieces(const Line& line, const Texts& texts, std::string& joined) const
    {
        const std::span<const Piece> pieces(&pieces_[line.firstPiece], line.pieceCount);
        const auto textOf = [&texts](const Piece& piece) {
            return piece.name == kText ? piece.text : texts[piece.name];
        };
        std::size_t size = 0;
        for (const Piece& piece : pieces) {
            size += textOf(piece).size();
        }
        joined.resize(size);
        char* at = joined.data();
        for (const Piece& piece : pieces) {
            at = detail::copyText(at, textOf(piece));
        }
    }

    void addPieces(std::string_view text)
    {
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t dollar = text.find('$', at);
            if (dollar != at) {
                pieces_.push_back({text.substr(at, dollar == std::string_view::npos ? dollar : dollar - at)});
            }
            if (dollar == std::string_view::npos) {
                return;
            }
            const std::size_t close = text.find('$', dollar + 1);
            if (close == std::string_view::npos) {
                throw std::logic_error("template: '$' without its closing '$' in \"" + std::string(text) + "\"");
            }
            const std::string_view name = text.substr(dollar + 1, close - dollar - 1);
            pieces_.push_back(name.empty() ? Piece{"$"} : Piece{{}, nameIndex(name)});
            at = close + 1;
        }
    }

    std::size_t nameIndex(std::string_view name)
    {
        const auto found = std::find(names_.begin(), names_.end(), name);
        if (found != names_.end()) {
            return static_cast<std::size_t>(found - names_.begin());
        }
        if (names_.size() == kMostNames) {
            throw std::logic_error("template: more than " + std::to_string(kMostNames) + " names");
        }
        names_.push_back(name);
        return names_.size() - 1;
    }

    // The text of each name: that of the value of its name. Each value is
    // the value of one name at most, so every value is named when there are
    // as many values as names.
    Texts valueTexts(std::initializer_list<TemplateValue> values) const
    {
        Texts texts;
        for (std::size_t i = 0; i < names_.size(); ++i) {
            const auto named = [&](const TemplateValue& value) { return value.name() == names_[i]; };
            const auto found = std::find_if(values.begin(), values.end(), named);
            if (found == values.end()) {
                throw std::logic_error("template: no value for $" + std::string(names_[i]) + "$");
            }
            texts[i] = found->text();
        }
        if (values.size() != names_.size()) {
            throw std::logic_error("template: no line names the value $" + std::string(unnamedValue(values)) + "$");
        }
        return texts;
    }

    // The first value no name takes: one that no line names, or a second value of a name.
    std::string_view unnamedValue(std::initializer_list<TemplateValue> values) const
    {
        for (auto value = values.begin(); value != values.end(); ++value) {
            const auto same = [&](const TemplateValue& other) { return other.name() == value->name(); };
            if (std::find(names_.begin(), names_.end(), value->name()) == names_.end() ||
                std::find_if(values.begin(), value, same) != value) {
                return value->name();
            }
        }
        return {};
    }

    std::vector<Line> lines_;
    std::vector<Piece> pieces_;
    std::vector<std::string_view> names_;
    int openBlocks_ = 0;
};

// The templates read so far, by the address of their text, and the room a
// line with values is made in. Each thread has its own.
struct TemplateCache {
    std::unordered_map<const char*, PreparedTemplate> prepared;
    std::string scratch;

    const PreparedTemplate& of(std::string_view lines)
    {
        const auto found = prepared.find(lines.data());
        return found != prepared.end() ? found->second : prepared.emplace(lines.data(), lines).first->second;
    }
};

}  // namespace

void emitTemplate(LineWriter& out, TemplateText lines, std::initializer_list<TemplateValue> values)
{
    thread_local TemplateCache cache;
    cache.of(lines.text()).write(out, values, cache.scratch);
}

}  // namespace qvm::codegen
