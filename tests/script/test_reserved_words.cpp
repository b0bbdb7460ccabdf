// Keywords of the test language written where a name belongs, and syntax
// errors whose code has no text of its own: each is one message at the
// line of its token, naming the token, and the rest of the script parses on.
#include "script/script_support.h"

#include <gmock/gmock.h>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kHead = "HEADER \"a\", \"b\", \"c\"\n#int rounds;\n";

struct Row {
    const char* script;  // after the head: its first line is line 3
    int line;            // of the message
    const char* code;
    const char* text;    // part of the message text
};

// Messages of qvmprepro on the head and the script's lines; the exit status
// is always 5.
std::vector<PlainMessage> reportsOf(const std::string& body)
{
    TempDir dir;
    writeFile(dir / "api.h", "int f(int);\n");
    writeFile(dir / "kw.pts", kHead + body);
    const RunResult result = runPrepro({"kw.pts", "api.h", "prog"}, {}, dir.path());
    EXPECT_EQ(result.status, 5) << result.err;
    std::vector<PlainMessage> found;
    for (const PlainMessage& message : allMessagesOf(result.err)) {
        if (message.severity != "I") {
            found.push_back(message);
        }
    }
    return found;
}

// Keywords whose lexing changes what follows (CALL takes the rest as a
// procedure name, VAR and PAUSE a piece of C, MESSAGE the parentheses after
// it, INCLUDE the continuation lines, TRIGGER the script's kind) are read as
// names all the same: the line and the script go on without another error.
TEST(ReservedWords, KeywordAsNameAtItsLine)
{
    const Row rows[] = {
        {"SCENARIO main\nFAMILY TIMEOUT\n  PRINT rounds, rounds\nEND SCENARIO\n", 4, "RESERVWRD",
         "'TIMEOUT' is a reserved word of the test language and cannot be used as a name"},
        {"SCENARIO main\nFAMILY fast, LOOP\n  PRINT rounds, rounds\nEND SCENARIO\n", 4, "RESERVWRD", "'LOOP'"},
        {"SCENARIO CALL\n  PRINT rounds, rounds\nEND SCENARIO\n", 3, "RESERVWRD", "'CALL'"},
        {"SCENARIO VAR LOOP 2\n  PRINT rounds, rounds\nEND SCENARIO\n", 3, "RESERVWRD", "'VAR'"},
        {"PROC TIMER()\n  PRINT rounds, rounds\nEND PROC\nSCENARIO main\n  ERROR\nEND SCENARIO\n", 3, "RESERVWRD",
         "'TIMER'"},
        {"PROC p(int PAUSE)\n  PRINT rounds, rounds\nEND PROC\nSCENARIO main\n  CALL p(1)\nEND SCENARIO\n", 3,
         "RESERVWRD", "'PAUSE'"},
        {"TIMER TRIGGER\nCOMMTYPE wire IS int\nSCENARIO main\n  ERROR\nEND SCENARIO\n", 3, "RESERVWRD", "'TRIGGER'"},
        {"SHARE INCLUDE\nSCENARIO main\n  PRINT rounds,\n& rounds\nEND SCENARIO\n", 3, "RESERVWRD", "'INCLUDE'"},
        {"SCENARIO main\n  INITIALIZATION MESSAGE(1)\n  SCENARIO inner\n    ERROR\n  END SCENARIO\nEND SCENARIO\n", 4,
         "RESERVWRD", "'MESSAGE'"},
        {"SCENARIO main\n  RENDEZVOUS WHEN\nEND SCENARIO\n", 4, "RESERVWRD", "'WHEN'"},
        {"SCENARIO main\n  PRINT END, rounds\nEND SCENARIO\n", 4, "RESERVWRD", "'END'"},
        // Codes that the catalogs give no text still show the position and the token.
        {"SCENARIO main\n  TIMEOUT\nEND SCENARIO\n", 4, "UNEXPTOKN", "Unexpected keyword TIMEOUT"},
        {"SCENARIO main\n  WAITTIL(rounds, 1) LOOP\nEND SCENARIO\n", 4, "UNEXPTOKN", "Unexpected keyword LOOP"},
        {"SCENARIO main\n  PRINT rounds CATCH\nEND SCENARIO\n", 4, "UNEXPTOKN", "Unexpected keyword CATCH"},
        {"SCENARIO main\n  PRINT rounds, rounds\n  a::b\nEND SCENARIO\n", 5, "UNEXPTOKN",
         "Unexpected identifier 'a::b'"},
        {"SCENARIO main\n  SEND(...)\nEND SCENARIO\n", 4, "UNEXPTOKN", "Unexpected '...'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        const std::string position = "[kw.pts:" + std::to_string(row.line) + "] ";
        const std::vector<PlainMessage> reports = reportsOf(row.script);
        ASSERT_EQ(reports.size(), 1u) << ::testing::PrintToString(reports);
        EXPECT_EQ(reports[0].code, row.code);
        EXPECT_THAT(reports[0].text, HasSubstr(position));
        EXPECT_THAT(reports[0].text, HasSubstr(row.text));
    }
}

// VAR has no form without a value: INIT=, EV= or VA= (a dump) must follow.
TEST(ReservedWords, VarWithoutValueAtLine)
{
    EXPECT_THAT(reportsOf("SCENARIO main\n  VAR rounds\n  PRINT rounds, rounds\nEND SCENARIO\n"),
                ElementsAre(PlainMessage{"E", "UNEXPTRET", "[kw.pts:4] Unexpected end of line"}));
}

}  // namespace
