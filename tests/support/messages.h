// The message lines of a run read back as structures: severity, code,
// position and text, so that tests compare reports field by field.
#pragma once

#include "support/process.h"

#include <gmock/gmock.h>

#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

namespace qvm::testing {

// A message line as written: severity letter, code and the rest of the line.
struct PlainMessage {
    std::string severity;
    std::string code;
    std::string text;
    bool operator==(const PlainMessage&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const PlainMessage& m)
{
    return out << m.severity << '-' << m.code << ' ' << m.text;
}

// Every message line of a run, in order; a located one keeps its position
// prefix in its text.
inline std::vector<PlainMessage> allMessagesOf(const std::string& output)
{
    // The text is taken as the suffix: a repeated "(.*)" recurses once per
    // character in the regex engine, too deep for very long lines.
    static const std::regex message(R"(Fenwir-([A-Z])-([A-Z_]+),  )");
    std::vector<PlainMessage> found;
    for (const std::string& line : lines(output)) {
        std::smatch m;
        if (std::regex_search(line, m, message)) {
            found.push_back({m[1], m[2], m.suffix()});
        }
    }
    return found;
}

// The last message line of a run (the summary of a finished run, the report
// that ended any other), nullopt when there is none.
inline std::optional<PlainMessage> lastMessageOf(const std::string& output)
{
    std::vector<PlainMessage> all = allMessagesOf(output);
    return all.empty() ? std::nullopt : std::optional<PlainMessage>(std::move(all.back()));
}

// A located message ("[file:line] " prefix). Two messages are equal by
// severity, code, file and line; the text is matched on its own (IsMessage).
struct Message {
    std::string severity;
    std::string code;
    std::string file;
    int line = 0;
    std::string text{};  // the line after the position prefix
    bool operator==(const Message& other) const
    {
        return severity == other.severity && code == other.code && file == other.file && line == other.line;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Message& m)
{
    return out << m.severity << '-' << m.code << " [" << m.file << ':' << m.line << "] " << m.text;
}

// The located messages of a run, in order.
inline std::vector<Message> messagesOf(const std::string& output)
{
    static const std::regex position(R"(\[([^:\]]*):(-?\d+)\] ?)");
    std::vector<Message> found;
    for (const PlainMessage& message : allMessagesOf(output)) {
        std::smatch m;
        if (std::regex_search(message.text, m, position, std::regex_constants::match_continuous)) {
            found.push_back({message.severity, message.code, m[1], std::stoi(m[2]), m.suffix()});
        }
    }
    return found;
}

// Matches the located message `expected` whose text matches `text`.
template <typename TextMatcher>
auto IsMessage(const Message& expected, TextMatcher text)
{
    return ::testing::AllOf(::testing::Eq(expected), ::testing::Field("text", &Message::text, text));
}

}  // namespace qvm::testing
