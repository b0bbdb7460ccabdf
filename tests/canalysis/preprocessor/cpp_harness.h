// Runs `qvminspect cpp` over small sources written into a temporary directory.
#pragma once

#include "support/messages.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace qvm::testing {

struct CppResult {
    int status = -1;
    std::string out;  // the preprocessed text, #line lines included
    std::string err;  // the reports
};

class CppHarness : public ::testing::Test {
protected:
    // Writes the files (name -> text) into the temporary directory.
    void files(const std::map<std::string, std::string>& contents)
    {
        for (const auto& [name, text] : contents) {
            std::filesystem::create_directories((dir_ / name).parent_path());
            writeFile(dir_ / name, text);
        }
    }

    CppResult cpp(const std::string& source, const std::vector<std::string>& options = {},
                  const EnvChanges& env = {})
    {
        writeFile(dir_ / "t.c", source);
        return cppFile("t.c", options, env);
    }

    CppResult cppFile(const std::string& name, const std::vector<std::string>& options = {},
                      const EnvChanges& env = {})
    {
        std::vector<std::string> arguments{"cpp", name};
        arguments.insert(arguments.end(), options.begin(), options.end());
        EnvChanges full = env;
        full.try_emplace("QVMTGT", std::nullopt);
        full.try_emplace("TRVTGT", std::nullopt);
        full.try_emplace("ZWK_ADD_USR_INCLUDE", std::nullopt);
        const RunResult run = runInspect(arguments, full, dir_.path());
        return {run.status, run.out, run.err};
    }

    // The text without #line lines and empty lines, lines joined by '\n'.
    static std::string body(const std::string& out)
    {
        std::string text;
        for (const auto& line : lines(out)) {
            if (line.rfind("#line ", 0) == 0 || line.find_first_not_of(" \t") == std::string::npos) {
                continue;
            }
            text += text.empty() ? "" : "\n";
            text += line.substr(0, line.find_last_not_of(" \t") + 1);
        }
        return text;
    }

    // Tokens of a C text (runs of blanks ignored, #line lines set aside).
    static std::vector<std::string> tokens(const std::string& out);

    // A report of a run: severity, code, line in t.c, and its text, written
    // whole or as a matcher (StartsWith).
    struct Report {
        std::string severity;
        std::string code;
        int line;
        ::testing::Matcher<const std::string&> text;
    };

    // Each report is among the located reports of the run.
    static void expectReports(const CppResult& result, const std::vector<Report>& expected)
    {
        const std::vector<Message> all = messagesOf(result.err);
        for (const Report& report : expected) {
            EXPECT_THAT(all, ::testing::Contains(IsMessage({report.severity, report.code, "t.c", report.line}, report.text)))
                << result.err;
        }
    }

    // Number of report lines carrying that code.
    static int count(const std::string& err, const std::string& code)
    {
        const std::vector<PlainMessage> all = allMessagesOf(err);
        return static_cast<int>(
            std::count_if(all.begin(), all.end(), [&](const PlainMessage& message) { return message.code == code; }));
    }

    TempDir dir_;
};

inline std::vector<std::string> CppHarness::tokens(const std::string& out)
{
    static const std::vector<std::string> punctuators = {"...", "<<=", ">>=", "->", "++", "--", "<<", ">>", "<=",
                                                         ">=",  "==",  "!=",  "&&", "||", "*=", "/=", "%=", "+=",
                                                         "-=",  "&=",  "^=",  "|=", "##"};
    std::vector<std::string> result;
    for (const auto& line : lines(out)) {
        if (line.rfind("#line ", 0) == 0) {
            continue;
        }
        std::size_t i = 0;
        while (i < line.size()) {
            const char c = line[i];
            if (c == ' ' || c == '\t') {
                ++i;
                continue;
            }
            std::size_t end = i + 1;
            if (c == '"' || c == '\'') {
                while (end < line.size() && line[end] != c) {
                    end += line[end] == '\\' ? 2 : 1;
                }
                end = std::min(end + 1, line.size());
            } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$') {
                while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) ||
                                             line[end] == '_' || line[end] == '$' ||
                                             (std::isdigit(static_cast<unsigned char>(c)) && line[end] == '.'))) {
                    ++end;
                }
            } else {
                for (const auto& p : punctuators) {
                    if (line.compare(i, p.size(), p) == 0) {
                        end = i + p.size();
                        break;
                    }
                }
            }
            result.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return result;
}

}  // namespace qvm::testing
