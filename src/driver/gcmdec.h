// A table-driven command-line decoder: a program describes its positional
// parameters, its options with their allowed values and its forbidden
// combinations; the decoder matches the arguments against those tables and
// keeps the values given. Every name exists in three language columns; all of
// them are accepted when matching, the language column is the one shown.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QString;

namespace qvm::cmdline {

inline constexpr std::size_t kColumnCount = 3;
inline constexpr std::size_t kLanguageColumn = 2;  // English

// One name per language column: French, French with accents, English.
using Names = std::array<std::string_view, kColumnCount>;

enum class ValueType : char { Text = 'C', Integer = 'I', Long = 'L' };

// A positional parameter, or the value an option takes. The bounds are the
// length of a text or the value of an integer.
struct ParameterSpec {
    Names names;                       // shown in messages and the usage text
    ValueType type = ValueType::Text;
    bool list = false;                 // several values separated by commas
    long minimum = 0;
    long maximum = 0;
    bool optional = false;             // a positional parameter that may be missing
};

// One allowed value of an option.
struct KeywordSpec {
    Names names;  // the value as it may be written
};

struct OptionSpec {
    Names names;                            // without the leading '-'
    bool argumentMandatory = false;         // a missing or empty value is refused
    std::optional<ParameterSpec> argument;  // none: the option takes no value
    bool negatable = false;                 // "NO" + name is accepted
    bool defaultOn = false;                 // taken as given when absent
    int defaultValue = 0;                   // number of the default allowed value, from 1; 0 for none
    std::vector<KeywordSpec> allowed;       // empty: any value
};

enum class ConditionKind : int {
    OptionGiven = 3,      // the option was given in its positive form
    OptionNotGiven = -3,  // it was not, or only negated
};

struct Condition {
    ConditionKind kind;
    std::string_view option;  // the option's name in the language column
};

// Both conditions holding is an illegal combination.
struct IncompatibilityRule {
    Condition first;
    Condition second;
};

struct CommandTable {
    std::string_view productTitle;                    // starts every decoder message
    std::array<std::string_view, kColumnCount> usage;  // usage text per column
    std::array<std::string_view, kColumnCount> connective;  // joins two option names in a message
    std::vector<ParameterSpec> parameters;             // positional, in order
    std::vector<OptionSpec> options;                   // in the order of the usage text
    std::vector<IncompatibilityRule> rules;            // checked in order
};

enum OptionState : int { NotGiven = 0, Given = 1, GivenNegated = -1 };

class CommandDecoder {
public:
    explicit CommandDecoder(const CommandTable& table);

    // Decodes argv[1] onwards into the option states and value lists. On
    // failure the message and the usage text have been written to the
    // console and false is returned.
    bool decode(int argc, const char* const* argv);
    static bool isOptionArgument(std::string_view argument);

    // Values of positional parameter `index` (from 0), in the order given.
    const std::vector<std::string>& parameterValues(std::size_t index) const;

    // State and values of the option named `name` in the language column. A
    // name missing from the table is a programming error: it is reported and
    // the run ends with status 9.
    int optionState(std::string_view name) const;
    bool optionGiven(std::string_view name) const { return optionState(name) == Given; }
    const std::vector<std::string>& optionValues(std::string_view name) const;

    // The translated usage text of the language column, lines of options
    // reserved to other programs removed.
    QString usageText() const;

    // Drops every state and value given.
    void release();

private:
    struct OptionResult {
        int state = NotGiven;             // an OptionState
        std::vector<std::string> values;  // in the order given
        std::vector<bool> used;  // per allowed value
    };

    void reset();
    void takePositional(std::string_view argument);
    void takeOption(std::string_view argument);
    void takeOptionValue(std::size_t option, std::string_view argument, std::string_view value);
    std::string checkedPiece(const ParameterSpec& record, std::string_view piece, std::size_t option);
    std::string matchedKeyword(std::size_t option, std::string_view piece);
    void checkMissingParameters() const;
    void applyDefaults();
    void checkIncompatibilities() const;
    bool conditionHolds(const Condition& condition) const;
    std::size_t optionIndex(std::string_view name) const;
    void printFailure(const char* message, const std::string& offending) const;

    const CommandTable& table_;
    std::vector<std::vector<std::string>> parameterValues_;  // per positional parameter
    std::vector<OptionResult> options_;                      // per option of the table
    std::size_t positionalCount_ = 0;                        // positional arguments met so far
};

}  // namespace qvm::cmdline
