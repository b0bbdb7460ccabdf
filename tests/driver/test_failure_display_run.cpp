// Failures that explain themselves, end to end: the program qvmprepro
// writes compiles with gcc and clang at -Wall -Wextra without a warning, and
// its failing verdicts name the CALLs of the procedures they happened in and
// show values as the script's types mean them: unsigned numbers with their
// hexadecimal form, enumerators by name, bytes as numbers, binary buffers
// with their length and past their zeros, in the base of a FORMAT. The
// summary counts the checks and, apart, the values they compared.
#include "driver/example_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qvm::testing::RunResult;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::TesterRun;
using qvm::testing::examples::traceLines;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Shown {
    std::string kind;  // the trace line's kind
    std::string text;  // a text of one of its lines
};

// One row per fault class: what the trace must say.
const std::vector<Shown> kShown = {
    // The call chain of a failure two procedures deep, outermost first,
    // and the hexadecimal base of the variable's FORMAT.
    {"FAIL", "VAR: 1 of 1 values failed, first \"counter\" expected 0x8 actual 0x7 in scenario \"nested_proc\" "
             "via CALL outer at failure_display.pts:12 > CALL inner at failure_display.pts:8"},
    {"CHECK", "\"mask\" expected 0 (0x0) actual 4294967295 (0xFFFFFFFF) FAILED"},
    {"CHECK", "\"rec.wide\" expected 1 (0x1) actual 18446744073709551615 (0xFFFFFFFFFFFFFFFF) FAILED"},
    {"CHECK", "\"paint\" expected 0 (COLOR_RED) actual 2 (COLOR_BLUE) FAILED"},
    {"CHECK", "\"access_mode\" expected 2 (FLAG_WRITE) actual 5 (FLAG_READ|FLAG_EXEC) FAILED"},
    {"CHECK", "\"rec.mac[1]\" expected 0x0 actual 0x79 FAILED"},
    {"CHECK", "\"rec.delta\" expected 0 actual -3 FAILED"},
    // Compared and shown past the zero bytes at its start.
    {"CHECK", "\"blob\" expected 16 bytes {00 79 FF 00 01 02 03 04 05 06 07 08 09 0A 0B 0D} "
              "actual 16 bytes {00 79 FF 00 01 02 03 04 05 06 07 08 09 0A 0B 0C} FAILED"},
    {"CHECK", "\"get_mask()\" expected 0 (0x0) actual 4294967295 (0xFFFFFFFF) FAILED"},
    {"CHECK", "\"get_paint()\" expected 1 (COLOR_GREEN) actual 2 (COLOR_BLUE) FAILED"},
    {"DUMP", "\"paint\" = 2 (COLOR_BLUE)"},
    {"DUMP", "\"rec.color\" = 2 (COLOR_BLUE)"},
    {"DUMP", "\"rec.mac\" = 6 bytes {00 79 FF 01 02 03}"},
    {"PASS", "VAR: 1000 values passed"},
    {"FAIL", "VAR: 1000 of 1000 values failed, first \"table[0]\" expected 1 actual 0 in scenario \"table_differs\""},
    // Checks are verdicts; values are what they compared.
    {"RUN", "checks 12 (1 passed, 11 failed), values 2015 (1001 passed, 1014 failed)"},
};

TEST(FailDisplay, CallChainAndTypedValues)
{
    ExampleProgram program({"failure_display", std::string(QVM_TESTDATA_DIR) + "/driver/failure_display"});
    ASSERT_FALSE(program.generate().empty());
    program.runWithEachCompiler(1, [&](const TesterRun& run) {
        for (const Shown& shown : kShown) {
            EXPECT_THAT(traceLines(run.trace, shown.kind), Contains(HasSubstr(shown.text))) << run.trace;
        }
    });
}

}  // namespace
