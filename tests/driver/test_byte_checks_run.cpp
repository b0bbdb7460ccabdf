// Byte and character checks of a generated program, end to end: the range
// bounds of an unsigned char field are cast through the runtime's
// character type, plain char (signed on x86), and still mean the bytes
// they were written as; texts and characters keep their checks. Built with
// gcc and clang at -Wall -Wextra without a warning.
#include "driver/example_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using qvm::testing::RunResult;
using qvm::testing::TempDir;
using qvm::testing::writeFile;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::TesterRun;
using qvm::testing::examples::traceLines;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const char* const kInterface = R"(typedef struct {
    unsigned char level;
    unsigned char low;
    signed char offset;
    char name[8];
    char label[8];
} gauge_t;
extern gauge_t gauge;
)";

const char* const kSystem = R"(#include "gauge.h"
gauge_t gauge = {230, 12, -5, "pump", ""};
)";

// One check a scenario: the failing one is the low byte against the high
// range; -5 in a signed char is the byte 251.
const char* const kScript = R"(HEADER "gauge", "byte and character checks", "1.0"
#int readings;

SCENARIO byte_checks
  SCENARIO full_range
    VAR gauge.level, EV=[0 .. 255]
  END SCENARIO
  SCENARIO high_range
    VAR gauge.level, EV=[200 .. 255]
  END SCENARIO
  SCENARIO low_byte_out_of_high_range
    VAR gauge.low, EV=[200 .. 255]
  END SCENARIO
  SCENARIO whole_byte
    VAR gauge.level, EV=230
  END SCENARIO
  SCENARIO signed_byte
    VAR gauge.offset, EV=[246 .. 255]
  END SCENARIO
  SCENARIO texts
    VAR gauge.label, INIT="tank"
    VAR gauge.label, EV="tank"
    VAR gauge.name, EV="pump"
    VAR gauge.name[0], EV='p'
  END SCENARIO
END SCENARIO
)";

TEST(ByteChecksRun, UnsignedCharRangesTextsAndCharactersWithBothCompilers)
{
    TempDir sources;
    writeFile(sources / "gauge.h", kInterface);
    writeFile(sources / "gauge_sut.c", kSystem);
    writeFile(sources / "gauge.pts", kScript);
    ExampleProgram program({"gauge", sources.path()});
    ASSERT_FALSE(program.generate().empty());
    for (const std::string compiler : {"gcc", "clang"}) {
        SCOPED_TRACE(compiler);
        const RunResult built = program.build(compiler);
        ASSERT_EQ(built.status, 0) << built.err;
        EXPECT_THAT(built.err, IsEmpty());
        const TesterRun run = program.run(compiler);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(traceLines(run.trace, "CHECK"),
                    ElementsAre(HasSubstr("expected [0 .. 255] actual 230 ok"),
                                HasSubstr("expected [200 .. 255] actual 230 ok"),
                                HasSubstr("expected [200 .. 255] actual 12 FAILED"),
                                HasSubstr("expected '\\xE6' actual '\\xE6' ok"),
                                HasSubstr("expected [246 .. 255] actual 251 ok"),
                                HasSubstr("expected \"tank\" actual \"tank\" ok"),
                                HasSubstr("expected \"pump\" actual \"pump\" ok"),
                                HasSubstr("expected 'p' actual 'p' ok")))
            << run.trace;
        EXPECT_THAT(traceLines(run.trace, "FAIL"),
                    ElementsAre(HasSubstr("in scenario \"low_byte_out_of_high_range\"")));
    }
}

}  // namespace
