// Macro expansion of the C pieces of a test script.
#include "script/pprepc.h"

#include "base/mstrin.h"
#include "canalysis/preprocessor/cprepr.h"
#include "script/ancgest.h"
#include "script/cgeneration.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qvm::script {

namespace {

bool isLineMarker(std::string_view line)
{
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && line[first] == '#';
}

constexpr std::string_view kOuterBlanks = " \t\r\n";

std::string withoutOuterBlanks(std::string_view text)
{
    return std::string(base::trimmed(text, kOuterBlanks));
}

// The preprocessor's output without the line markers it writes, its lines
// joined by newlines, blanks at both ends removed.
std::string withoutLineMarkers(std::string_view output)
{
    std::string text;
    while (!output.empty()) {
        const std::size_t end = output.find('\n');
        const std::string_view line = output.substr(0, end);
        if (!isLineMarker(line)) {
            text.append(line);
            text += '\n';
        }
        output = end == std::string_view::npos ? std::string_view{} : output.substr(end + 1);
    }
    return withoutOuterBlanks(text);
}

}  // namespace

namespace {

// Expansions kept by text: the same texts (NIL, a constant's name) come back
// by the thousand. Kept only while the macros stay as they were, for texts
// whose expansion cannot depend on where they stand, and when the expansion
// reported nothing. Most texts come once: a text is kept when it comes the
// second time, only the hash of its first coming is noted.
struct ExpansionMemo {
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::uint64_t generation = 0;
    std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> expanded;
    std::unordered_set<std::size_t> seenOnce;

    void clear()
    {
        expanded.clear();
        seenOnce.clear();
    }
};

// Enough for the distinct texts of a large script; past it the memo starts afresh.
constexpr std::size_t kMaxKeptExpansions = 8192;
// The texts that come back are short (a name, a constant); longer ones, as
// conditions, seldom come back.
constexpr std::size_t kMaxKeptTextLength = 32;

ExpansionMemo& expansionMemo()
{
    static ExpansionMemo memo;
    if (memo.generation != macroGeneration()) {
        memo.clear();
        memo.generation = macroGeneration();
    }
    return memo;
}

bool isWordChar(char c)
{
    return base::isAsciiLetter(c) || base::isDigit(c) || c == '_';
}

// Characters that may join words, splice lines or name characters in ways a
// plain look at the words would miss.
bool hasUnusualCharacter(std::string_view text)
{
    return std::ranges::any_of(text, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '\\' || c == '$' || c == '@' || c == '`' || byte >= 0x80 || (byte < 0x20 && c != '\n' && c != '\t');
    });
}

// Whether the expansion of the text is the same wherever it stands: every
// macro its words reach, through the replacements of the macros they name,
// is a user macro that neither pastes nor quotes its parameters, and none is
// a predefined name (__LINE__, __FILE__, ...). A word that names no macro
// (a number, a word inside a string) only costs its look-up.
bool expandsAlike(std::string_view text)
{
    canalysis::MacroTable& table = cMacros();
    std::vector<std::string_view> pending{text};
    std::vector<const canalysis::MacroDefinition*> seen;
    while (!pending.empty()) {
        const std::string_view piece = pending.back();
        pending.pop_back();
        if (mayHoldDirective(piece) || hasUnusualCharacter(piece)) {
            return false;
        }
        for (std::size_t pos = 0; pos < piece.size();) {
            if (!isWordChar(piece[pos])) {
                ++pos;
                continue;
            }
            const std::size_t start = pos;
            while (pos < piece.size() && isWordChar(piece[pos])) {
                ++pos;
            }
            const canalysis::MacroEntry* entry = table.find(piece.substr(start, pos - start));
            if (entry == nullptr) {
                continue;
            }
            const canalysis::MacroDefinition* definition = entry->definition.get();
            if (entry->kind != canalysis::kKindUser || definition == nullptr) {
                return false;
            }
            const bool joins = std::ranges::any_of(definition->references, [](const canalysis::ParameterReference& r) {
                return r.quote != 0 || r.pasteBefore || r.pasteAfter;
            });
            if (joins) {
                return false;
            }
            if (std::ranges::find(seen, definition) == seen.end()) {
                seen.push_back(definition);
                pending.push_back(definition->replacement);
            }
        }
    }
    return true;
}

std::optional<std::string> expandNow(std::string_view text, int line, const canalysis::DiagnosticCallback& callback)
{
    std::string output;
    const int errors = canalysis::C_CPP_prepro_buffer(text, 1, cContext().file, line, output, cMacros(), callback);
    if (errors > 0) {
        return std::nullopt;
    }
    return withoutLineMarkers(output);
}

std::optional<std::string> expand(std::string_view text, int line)
{
    if (text.size() > kMaxKeptTextLength || mayHoldDirective(text) || hasUnusualCharacter(text)) {
        std::optional<std::string> expanded = expandNow(text, line, cDiagnostics());
        notePreprocessedText(text);
        return expanded;
    }
    ExpansionMemo& memo = expansionMemo();
    if (const auto kept = memo.expanded.find(text); kept != memo.expanded.end()) {
        // As the preprocessor would have left it.
        canalysis::installCallback(cDiagnostics());
        return kept->second;
    }
    if (memo.seenOnce.insert(ExpansionMemo::TextHash{}(text)).second) {
        if (memo.seenOnce.size() > kMaxKeptExpansions) {
            memo.clear();
        }
        return expandNow(text, line, cDiagnostics());
    }
    // The preprocessor keeps the callback it is given installed: the run's
    // own is installed again afterwards, as a call with it would leave it.
    struct RunCallbackAfterwards {
        RunCallbackAfterwards() = default;
        RunCallbackAfterwards(const RunCallbackAfterwards&) = delete;
        RunCallbackAfterwards& operator=(const RunCallbackAfterwards&) = delete;
        ~RunCallbackAfterwards() { canalysis::installCallback(cDiagnostics()); }
    };
    const RunCallbackAfterwards reinstall;
    bool reported = false;
    const canalysis::DiagnosticCallback& forward = cDiagnostics();
    const canalysis::DiagnosticCallback noting = [&reported, &forward](int severity, std::string_view code,
                                                                      std::string_view argument,
                                                                      std::string_view file, int at) {
        reported = true;
        if (forward) {
            forward(severity, code, argument, file, at);
        }
    };
    std::optional<std::string> expanded = expandNow(text, line, noting);
    if (expanded && !reported && expandsAlike(text)) {
        if (memo.expanded.size() >= kMaxKeptExpansions) {
            memo.clear();
        }
        memo.expanded.emplace(std::string(text), *expanded);
    }
    return expanded;
}

// The expansion kept in storage, as a view of it.
std::optional<std::string_view> expandInto(std::string_view text, int line, std::string& storage)
{
    std::optional<std::string> expanded = expand(text, line);
    if (!expanded) {
        return std::nullopt;
    }
    storage = std::move(*expanded);
    return std::string_view(storage);
}

}  // namespace

std::optional<std::string_view> preprocessTextView(std::string_view text, std::string_view scope, int line,
                                                   std::string& storage)
{
    setCContext(scope, cContext().file, line);
    if (canalysis::C_CPP_passes_unchanged(text, cMacros())) {
        return base::trimmed(text, kOuterBlanks);
    }
    return expandInto(text, line, storage);
}

std::optional<std::string> preprocessText(std::string_view text, std::string_view scope, int line)
{
    std::string storage;
    const std::optional<std::string_view> view = preprocessTextView(text, scope, line, storage);
    return view ? std::optional<std::string>(std::in_place, *view) : std::nullopt;
}

// A text without line ends is looked at as it is: whether it ends with the
// newline the expansion needs makes no difference to the check.
std::optional<std::string_view> preprocessLineView(std::string_view text, std::string_view scope, int line,
                                                   std::string& storage)
{
    setCContext(scope, cContext().file, line);
    const bool oneLine = text.find('\n') == std::string_view::npos && text.find('\r') == std::string_view::npos;
    if (oneLine && canalysis::C_CPP_passes_unchanged(text, cMacros())) {
        return base::trimmed(text, kOuterBlanks);
    }
    std::string joined;
    joined.reserve(text.size() + 1);
    joined.append(text);
    std::ranges::replace_if(joined, [](char c) { return c == '\n' || c == '\r'; }, ' ');
    joined += '\n';
    if (!oneLine && canalysis::C_CPP_passes_unchanged(joined, cMacros())) {
        storage = withoutOuterBlanks(joined);
        return std::string_view(storage);
    }
    return expandInto(joined, line, storage);
}

std::optional<std::string> preprocessLine(std::string_view text, std::string_view scope, int line)
{
    std::string storage;
    const std::optional<std::string_view> view = preprocessLineView(text, scope, line, storage);
    return view ? std::optional<std::string>(std::in_place, *view) : std::nullopt;
}

}  // namespace qvm::script
