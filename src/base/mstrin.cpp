// Bounded strings and the display format suffix of value texts.
#include "base/mstrin.h"

#include "diag/i18nerrgest.h"

#include <algorithm>
#include <charconv>

namespace qvm::base {

namespace {

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Kind and default size chosen by the letter after the '#'.
std::optional<DisplayFormat> formatOfLetter(char letter)
{
    switch (letter) {
    case 'H': case 'h': return DisplayFormat{DisplayHex, 0};
    case 'D': case 'd': return DisplayFormat{DisplayDecimal, 0};
    case 'B': case 'b': return DisplayFormat{DisplayBinary, 0};
    case 'U': case 'u': return DisplayFormat{DisplayUnsigned, 0};
    case 'F': case 'f': return DisplayFormat{DisplayFixed, 6};
    case 'E': case 'e': return DisplayFormat{DisplayExponent, 48};
    default: return std::nullopt;
    }
}

// Kinds whose size counts bits, in whole bytes.
bool isBitFieldKind(DisplayKind kind)
{
    return kind == DisplayHex || kind == DisplayDecimal || kind == DisplayBinary || kind == DisplayUnsigned;
}

}  // namespace

std::string withoutBlanks(std::string_view text)
{
    std::string compact(text);
    std::erase_if(compact, isTextBlank);
    return compact;
}

void boundedAppend(std::string& destination, std::initializer_list<std::string_view> texts)
{
    for (const std::string_view text : texts) {
        if (destination.size() >= kMaxConcat) {
            return;
        }
        destination.append(text.substr(0, kMaxConcat - destination.size()));
    }
}

std::string boundedConcat(std::initializer_list<std::string_view> texts)
{
    std::string result;
    boundedAppend(result, texts);
    return result;
}

std::optional<DisplayFormat> displayFormat(std::string_view valueText)
{
    const auto hash = valueText.find('#');
    if (hash == std::string_view::npos) {
        return DisplayFormat{};
    }
    const std::string_view suffix = valueText.substr(hash);
    if (suffix.size() == 1) {
        return std::nullopt;
    }
    const std::string_view body = trimBlanks(suffix.substr(1));
    if (body == "16") {
        return DisplayFormat{DisplayHex, 0};
    }
    if (body == "2") {
        return DisplayFormat{DisplayBinary, 0};
    }
    std::optional<DisplayFormat> format = body.empty() ? std::nullopt : formatOfLetter(body.front());
    if (!format) {
        diag::errorAt("BASEINCON", suffix);
        return std::nullopt;
    }
    const std::string_view digits = body.substr(1);
    if (!digits.empty()) {
        const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), format->size);
        if (status != std::errc() || end != digits.data() + digits.size() || digits.front() == '-') {
            diag::errorAt("TAILLEERR", suffix);
            return std::nullopt;
        }
    }
    if (isBitFieldKind(format->kind) && format->size % 8 != 0) {
        diag::errorAt("TAILLEDIV", suffix);
        return std::nullopt;
    }
    if (format->kind != DisplayUnsigned) {
        format->size = -format->size;
    }
    return format;
}

}  // namespace qvm::base
