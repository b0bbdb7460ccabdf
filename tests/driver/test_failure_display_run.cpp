// Failures that explain themselves, end to end: the program qvmprepro
// writes compiles with gcc and clang at -Wall -Wextra without a warning, and
// its failing verdicts name the CALLs of the procedures they happened in and
// show values as the script's types mean them: unsigned numbers with their
// hexadecimal form, enumerators by name, bytes as numbers, binary buffers
// with their length and past their zeros, in the base of a FORMAT, in
// equality and range checks alike. The summary counts the checks and,
// apart, the values they compared.
#include "driver/example_programs.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::TesterRun;
using qvm::testing::examples::traceLines;

struct Shown {
    std::string kind;  // the trace line's kind
    std::string text;  // a text of one of its lines
};

// One row per fault class: what the trace must say.
const std::vector<Shown> kShown = {
    // The call chain of a failure two procedures deep, outermost first,
    // and the hexadecimal base of the variable's FORMAT.
    {"FAIL", "VAR: 1 of 1 values failed, first \"counter\" expected 0x8 actual 0x7 in scenario \"nested_proc\" "
             "via CALL outer at failure_display.pts:13 > CALL inner at failure_display.pts:9"},
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
    // Ranges show their bounds and the value as equality checks do, and
    // compare unsigned values as unsigned and signed characters as signed.
    {"CHECK", "\"mask\" expected [0 (0x0) .. 10 (0xA)] actual 4294967295 (0xFFFFFFFF) FAILED"},
    {"CHECK", "\"rec.mac[1]\" expected [0x0 .. 0x10] actual 0x79 FAILED"},
    {"CHECK", "\"paint\" expected [0 (COLOR_RED) .. 1 (COLOR_GREEN)] actual 2 (COLOR_BLUE) FAILED"},
    {"CHECK", "\"rec.delta\" expected [-10 .. -5] actual -3 FAILED"},
    {"CHECK", "\"hex_mask\" expected [0x0 .. 0xFF] actual 0xFFFFFFFF FAILED"},
    {"CHECK", "\"mask\" expected [4000000000 (0xEE6B2800) .. 4294967295 (0xFFFFFFFF)] actual 4294967295 (0xFFFFFFFF) ok"},
    {"CHECK", "\"rec.delta\" expected [-5 .. 0] actual -3 ok"},
    {"CHECK", "\"get_mask()\" expected [0 (0x0) .. 10 (0xA)] actual 4294967295 (0xFFFFFFFF) FAILED"},
    {"CHECK", "\"get_paint()\" expected [0 (COLOR_RED) .. 1 (COLOR_GREEN)] actual 2 (COLOR_BLUE) FAILED"},
    {"DUMP", "\"paint\" = 2 (COLOR_BLUE)"},
    {"DUMP", "\"rec.color\" = 2 (COLOR_BLUE)"},
    {"DUMP", "\"rec.mac\" = 6 bytes {00 79 FF 01 02 03}"},
    {"PASS", "VAR: 1000 values passed"},
    {"FAIL", "VAR: 1000 of 1000 values failed, first \"table[0]\" expected 1 actual 0 in scenario \"table_differs\""},
    // Checks are verdicts; values are what they compared. A CALL that
    // compares nothing is no check.
    {"RUN", "checks 21 (3 passed, 18 failed), values 2024 (1003 passed, 1021 failed)"},
};

TEST(FailDisplay, CallChainAndTypedValues)
{
    ExampleProgram program({"failure_display", std::string(QVM_TESTDATA_DIR) + "/driver/failure_display"});
    ASSERT_FALSE(program.generate().empty());
    program.runWithEachCompiler(1, [&](const TesterRun& run) {
        for (const Shown& shown : kShown) {
            EXPECT_THAT(traceLines(run.trace, shown.kind), Contains(HasSubstr(shown.text))) << run.trace;
        }
        EXPECT_THAT(run.trace, Not(HasSubstr(": 0 values")));
    });
}

}  // namespace
