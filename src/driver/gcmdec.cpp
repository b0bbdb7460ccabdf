// The table-driven command-line decoder.
#include "driver/gcmdec.h"

#include "diag/i18nerrgest.h"
#include "diag/i18nutil.h"

#include <QRegularExpression>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <charconv>
#include <new>

namespace qvm::cmdline {

namespace {

// Messages of the decoder (translation context "CAB").
const char* const kAmbiguousOption = QT_TRANSLATE_NOOP("CAB", "Ambiguous option,");
const char* const kUnknownOption = QT_TRANSLATE_NOOP("CAB", "Unknown option,");
const char* const kInvalidCharacter = QT_TRANSLATE_NOOP("CAB", "Invalid character following option,");
const char* const kUsedTwice = QT_TRANSLATE_NOOP("CAB", "An option can't be used twice,");
const char* const kMandatoryArgument = QT_TRANSLATE_NOOP("CAB", "Mandatory argument for this option,");
const char* const kNoArgument = QT_TRANSLATE_NOOP("CAB", "No argument for this option,");
const char* const kListForbiddenOption = QT_TRANSLATE_NOOP("CAB", "List forbidden invalid option,");
const char* const kListForbiddenArgument = QT_TRANSLATE_NOOP("CAB", "List forbidden invalid argument,");
const char* const kTooManyArguments = QT_TRANSLATE_NOOP("CAB", "Too many arguments invalid argument,");
const char* const kLengthTooSmall = QT_TRANSLATE_NOOP("CAB", "Arg length too small,");
const char* const kLengthTooLarge = QT_TRANSLATE_NOOP("CAB", "Arg length too large,");
const char* const kValueTooSmall = QT_TRANSLATE_NOOP("CAB", "Arg value too small,");
const char* const kValueTooLarge = QT_TRANSLATE_NOOP("CAB", "Arg value too large,");
const char* const kUnknownValue = QT_TRANSLATE_NOOP("CAB", "Unknown value of option,");
const char* const kAmbiguousValue = QT_TRANSLATE_NOOP("CAB", "Ambiguous value of option,");
const char* const kArgumentMissing = QT_TRANSLATE_NOOP("CAB", "Argument missing,");
const char* const kIllegalCombination = QT_TRANSLATE_NOOP("CAB", "Illegal combination of command elements,");
const char* const kCommandAnalysis = QT_TRANSLATE_NOOP("CAB", "Command analysis");
const char* const kNoMemory = QT_TRANSLATE_NOOP("CAB", "Command analysis: No memory left");
const char* const kBadOptionName = QT_TRANSLATE_NOOP("CAB", "Internal error, bad option name");

// Thrown by the steps of a decode; caught once in decode().
struct DecodeFailure {
    const char* message;
    std::string offending;  // shown after the message when not empty
};

[[noreturn]] void fail(const char* message, std::string_view offending)
{
    throw DecodeFailure{message, std::string(offending)};
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view start)
{
    return start.size() <= text.size() &&
           std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) { return upper(a) == upper(b); });
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && startsWithIgnoringCase(a, b);
}

// A name that a text may designate: an option or allowed value (owner), in
// its plain or negated form.
struct Candidate {
    std::size_t owner;  // index of the option or allowed value
    bool negated;       // the name is "NO" + the owner's name
    std::string name;   // in one language column
};

enum class MatchKind { None, Exact, Prefix, Ambiguous, Overrun };

struct Match {
    MatchKind kind = MatchKind::None;
    std::size_t owner = 0;   // as in Candidate
    bool negated = false;    // as in Candidate
    std::size_t length = 0;  // characters of the text the match covers
};

// Exact match first; otherwise the text as the start of exactly one owner's
// name; otherwise (Overrun) the longest name that the text starts with, the
// text going on with characters no name has.
Match matchName(std::string_view text, const std::vector<Candidate>& candidates)
{
    Match prefix;
    Match overrun;
    for (const Candidate& candidate : candidates) {
        if (candidate.name.empty()) {
            continue;
        }
        if (equalIgnoringCase(text, candidate.name)) {
            return {MatchKind::Exact, candidate.owner, candidate.negated, candidate.name.size()};
        }
        if (!text.empty() && startsWithIgnoringCase(candidate.name, text)) {
            if (prefix.kind == MatchKind::None) {
                prefix = {MatchKind::Prefix, candidate.owner, candidate.negated, text.size()};
            } else if (prefix.owner != candidate.owner) {
                prefix.kind = MatchKind::Ambiguous;
            }
        } else if (startsWithIgnoringCase(text, candidate.name) && candidate.name.size() > overrun.length) {
            overrun = {MatchKind::Overrun, candidate.owner, candidate.negated, candidate.name.size()};
        }
    }
    return prefix.kind != MatchKind::None ? prefix : overrun;
}

std::vector<Candidate> optionCandidates(const std::vector<OptionSpec>& options)
{
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < options.size(); ++i) {
        for (std::string_view name : options[i].names) {
            candidates.push_back({i, false, std::string(name)});
            if (options[i].negatable) {
                candidates.push_back({i, true, "NO" + std::string(name)});
            }
        }
    }
    return candidates;
}

std::vector<Candidate> keywordCandidates(const std::vector<KeywordSpec>& keywords)
{
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        for (std::string_view name : keywords[i].names) {
            candidates.push_back({i, false, std::string(name)});
        }
    }
    return candidates;
}

bool escapedAt(std::string_view text, std::size_t index)
{
    return index > 0 && text[index - 1] == '\\';
}

bool hasUnescapedComma(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ',' && !escapedAt(text, i)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string_view> splitAtUnescapedCommas(std::string_view text)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ',' && !escapedAt(text, i)) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::string withoutCommaEscapes(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\\' && i + 1 < text.size() && text[i + 1] == ',')) {
            result += text[i];
        }
    }
    return result;
}

void checkIntegerPiece(const ParameterSpec& record, std::string_view piece)
{
    long value = 0;
    const char* end = piece.data() + piece.size();
    const auto [stop, error] = std::from_chars(piece.data(), end, value);
    if (error == std::errc::result_out_of_range) {
        fail(piece.front() == '-' ? kValueTooSmall : kValueTooLarge, piece);
    }
    if (error != std::errc{} || stop != end) {
        fail(kUnknownValue, piece);
    }
    if (value < record.minimum) {
        fail(kValueTooSmall, piece);
    }
    if (value > record.maximum) {
        fail(kValueTooLarge, piece);
    }
}

// A translation of a text taken from the command line or the tables; the
// text as it is (local 8-bit) when there is none.
QString translatedOrOwn(const char* context, const std::string& text)
{
    const QString translated = diag::tr(context, text.c_str());
    if (translated == QString::fromUtf8(text.c_str())) {
        return diag::fromLocal8(text);
    }
    return translated;
}

QString messageStart(std::string_view productTitle, const char* message)
{
    const std::string title(productTitle);
    return diag::tr("CAB", title.c_str()) + QLatin1Char(' ') + diag::tr("CAB", kCommandAnalysis) +
           QStringLiteral(" : ") + diag::tr("CAB", message);
}

}  // namespace

CommandDecoder::CommandDecoder(const CommandTable& table) : table_(table)
{
    reset();
}

void CommandDecoder::reset()
{
    parameterValues_.assign(table_.parameters.size(), {});
    options_.assign(table_.options.size(), {});
    for (std::size_t i = 0; i < options_.size(); ++i) {
        options_[i].used.assign(table_.options[i].allowed.size(), false);
    }
    positionalCount_ = 0;
}

void CommandDecoder::release()
{
    parameterValues_.clear();
    parameterValues_.shrink_to_fit();
    options_.clear();
    options_.shrink_to_fit();
    positionalCount_ = 0;
}

// '-' starts an option; so does '/', except in an absolute path: an argument
// whose name part (before any '=') holds a second '/' names a file.
bool CommandDecoder::isOptionArgument(std::string_view argument)
{
    if (argument.empty()) {
        return false;
    }
    if (argument.front() == '-') {
        return true;
    }
    return argument.front() == '/' && argument.substr(1, argument.find('=') - 1).find('/') == std::string_view::npos;
}

bool CommandDecoder::decode(int argc, const char* const* argv)
{
    try {
        reset();
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i] != nullptr ? argv[i] : "";
            if (isOptionArgument(argument)) {
                takeOption(argument);
            } else {
                takePositional(argument);
            }
        }
        checkMissingParameters();
        applyDefaults();
        checkIncompatibilities();
        return true;
    } catch (const DecodeFailure& failure) {
        printFailure(failure.message, failure.offending);
    } catch (const std::bad_alloc&) {
        const std::string title(table_.productTitle);
        diag::writeConsole(diag::toLocal8(diag::tr("CAB", title.c_str()) + QLatin1Char(' ') + diag::tr("CAB", kNoMemory)) +
                           "\n");
    }
    return false;
}

void CommandDecoder::takePositional(std::string_view argument)
{
    if (table_.parameters.empty()) {
        fail(kTooManyArguments, argument);
    }
    // Arguments beyond the last parameter go to the last one.
    const std::size_t index = std::min(positionalCount_, table_.parameters.size() - 1);
    ++positionalCount_;
    const ParameterSpec& record = table_.parameters[index];
    std::vector<std::string>& values = parameterValues_[index];
    if (!record.list && hasUnescapedComma(argument)) {
        fail(kListForbiddenArgument, argument);
    }
    if (!record.list && !values.empty()) {
        fail(kTooManyArguments, argument);
    }
    for (std::string_view piece : splitAtUnescapedCommas(argument)) {
        values.push_back(checkedPiece(record, piece, table_.options.size()));
    }
}

// "-NAME[=value]": the name may be any unambiguous start of an option's
// name; an option is given once unless it takes a list. Throws
// DecodeFailure with the message of the first rule broken.
void CommandDecoder::takeOption(std::string_view argument)
{
    const std::string_view body = argument.substr(1);
    const std::string_view name = body.substr(0, body.find('='));
    const Match match = matchName(name, optionCandidates(table_.options));
    if (match.kind == MatchKind::None) {
        fail(kUnknownOption, argument);
    }
    if (match.kind == MatchKind::Ambiguous) {
        fail(kAmbiguousOption, argument);
    }
    const std::string_view rest = body.substr(match.length);
    if (!rest.empty() && rest.front() != '=') {
        fail(kInvalidCharacter, argument);
    }
    const OptionSpec& record = table_.options[match.owner];
    OptionResult& result = options_[match.owner];
    const bool listArgument = record.argument && record.argument->list;
    if (result.state != NotGiven && !listArgument) {
        fail(kUsedTwice, argument);
    }
    result.state = match.negated ? GivenNegated : Given;

    if (!record.argument) {
        if (!rest.empty()) {
            fail(kNoArgument, argument);
        }
        return;
    }
    const std::string_view value = rest.empty() ? rest : rest.substr(1);
    if (value.empty()) {
        if (record.argumentMandatory) {
            fail(kMandatoryArgument, argument);
        }
        return;
    }
    takeOptionValue(match.owner, argument, value);
}

void CommandDecoder::takeOptionValue(std::size_t option, std::string_view argument, std::string_view value)
{
    const ParameterSpec& record = *table_.options[option].argument;
    if (!record.list && hasUnescapedComma(value)) {
        fail(kListForbiddenOption, argument);
    }
    for (std::string_view piece : splitAtUnescapedCommas(value)) {
        std::string checked = checkedPiece(record, piece, option);
        options_[option].values.push_back(std::move(checked));
    }
}

// `option` is the index of the option the piece belongs to, or the option
// count for a positional parameter.
std::string CommandDecoder::checkedPiece(const ParameterSpec& record, std::string_view piece, std::size_t option)
{
    if (record.type != ValueType::Text) {
        checkIntegerPiece(record, piece);
        return std::string(piece);
    }
    const long length = static_cast<long>(piece.size());
    if (length < record.minimum) {
        fail(kLengthTooSmall, piece);
    }
    if (length > record.maximum) {
        fail(kLengthTooLarge, piece);
    }
    std::string text = withoutCommaEscapes(piece);
    if (option < table_.options.size() && !table_.options[option].allowed.empty()) {
        return matchedKeyword(option, text);
    }
    return text;
}

std::string CommandDecoder::matchedKeyword(std::size_t option, std::string_view piece)
{
    const std::vector<KeywordSpec>& allowed = table_.options[option].allowed;
    const Match match = matchName(piece, keywordCandidates(allowed));
    if (match.kind == MatchKind::Ambiguous) {
        fail(kAmbiguousValue, piece);
    }
    if (match.kind != MatchKind::Exact && match.kind != MatchKind::Prefix) {
        fail(kUnknownValue, piece);
    }
    options_[option].used[match.owner] = true;
    return std::string(allowed[match.owner].names[kLanguageColumn]);
}

void CommandDecoder::checkMissingParameters() const
{
    for (std::size_t i = 0; i < table_.parameters.size(); ++i) {
        const ParameterSpec& record = table_.parameters[i];
        if (parameterValues_[i].empty() && !record.optional) {
            fail(kArgumentMissing, record.names[kLanguageColumn]);
        }
    }
}

void CommandDecoder::applyDefaults()
{
    for (std::size_t i = 0; i < table_.options.size(); ++i) {
        const OptionSpec& record = table_.options[i];
        OptionResult& result = options_[i];
        if (result.state == NotGiven && record.defaultOn) {
            result.state = Given;
        } else if (result.state == NotGiven && record.negatable) {
            result.state = GivenNegated;
        }
        const bool anyUsed = std::find(result.used.begin(), result.used.end(), true) != result.used.end();
        if (record.defaultValue > 0 && static_cast<std::size_t>(record.defaultValue) <= record.allowed.size() && !anyUsed) {
            result.values.emplace_back(record.allowed[record.defaultValue - 1].names[kLanguageColumn]);
        }
    }
}

void CommandDecoder::checkIncompatibilities() const
{
    for (const IncompatibilityRule& rule : table_.rules) {
        if (conditionHolds(rule.first) && conditionHolds(rule.second)) {
            std::string text(rule.first.option);
            text += ' ';
            text += table_.connective[kLanguageColumn];
            text += ' ';
            text += rule.second.option;
            fail(kIllegalCombination, text);
        }
    }
}

bool CommandDecoder::conditionHolds(const Condition& condition) const
{
    const bool given = options_[optionIndex(condition.option)].state == Given;
    return condition.kind == ConditionKind::OptionGiven ? given : !given;
}

std::size_t CommandDecoder::optionIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < table_.options.size() && i < options_.size(); ++i) {
        if (table_.options[i].names[kLanguageColumn] == name) {
            return i;
        }
    }
    diag::writeConsole(diag::toLocal8(messageStart(table_.productTitle, kBadOptionName)) + "\n");
    throw RunAbort{StatusInternal};
}

const std::vector<std::string>& CommandDecoder::parameterValues(std::size_t index) const
{
    return parameterValues_.at(index);
}

int CommandDecoder::optionState(std::string_view name) const
{
    return options_[optionIndex(name)].state;
}

const std::vector<std::string>& CommandDecoder::optionValues(std::string_view name) const
{
    return options_[optionIndex(name)].values;
}

QString CommandDecoder::usageText() const
{
    static const QRegularExpression reservedLine(QStringLiteral("\t\\[-XT.*\n"));
    const std::string usage(table_.usage[kLanguageColumn]);
    QString text = diag::tr("Command-line", usage.c_str());
    text.remove(reservedLine);
    return text;
}

void CommandDecoder::printFailure(const char* message, const std::string& offending) const
{
    QString text = messageStart(table_.productTitle, message);
    if (!offending.empty()) {
        text += QLatin1Char(' ') + translatedOrOwn("Command-line", offending);
    }
    text += usageText();
    diag::writeConsole(diag::toLocal8(text) + "\n");
}

}  // namespace qvm::cmdline
