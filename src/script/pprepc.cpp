#include "script/pprepc.h"

#include "base/mstrin.h"
#include "canalysis/preprocessor/cprepr.h"
#include "script/ancgest.h"

#include <algorithm>

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

std::optional<std::string> expand(std::string_view text, int line)
{
    std::string output;
    const int errors =
        canalysis::C_CPP_prepro_buffer(text, 1, cContext().file, line, output, cMacros(), cDiagnostics());
    if (errors > 0) {
        return std::nullopt;
    }
    return withoutLineMarkers(output);
}

}  // namespace

std::optional<std::string_view> preprocessTextView(std::string_view text, std::string_view scope, int line,
                                                   std::string& storage)
{
    setCContext(scope, cContext().file, line);
    if (canalysis::C_CPP_passes_unchanged(text, cMacros())) {
        return base::trimmed(text, kOuterBlanks);
    }
    std::optional<std::string> expanded = expand(text, line);
    if (!expanded) {
        return std::nullopt;
    }
    storage = std::move(*expanded);
    return std::string_view(storage);
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
    std::optional<std::string> expanded = expand(joined, line);
    if (!expanded) {
        return std::nullopt;
    }
    storage = std::move(*expanded);
    return std::string_view(storage);
}

std::optional<std::string> preprocessLine(std::string_view text, std::string_view scope, int line)
{
    std::string storage;
    const std::optional<std::string_view> view = preprocessLineView(text, scope, line, storage);
    return view ? std::optional<std::string>(std::in_place, *view) : std::nullopt;
}

}  // namespace qvm::script
