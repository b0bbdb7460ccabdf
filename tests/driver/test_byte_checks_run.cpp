// Byte and character checks of a generated program, end to end: the range
// bounds of an unsigned char field are cast through the runtime's
// character type, plain char (signed on x86), and still mean the bytes
// they were written as; texts and characters keep their checks; bytes
// without a terminator are never read as a string, wherever the script
// meets them. Built with gcc and clang at -Wall -Wextra without a warning.
#include "driver/example_programs.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::TesterRun;
using qvm::testing::examples::traceLines;

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
// range. Bytes show in hexadecimal, bounds too; a signed char is a number
// with a sign, -5 within [-10 .. -1].
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
    VAR gauge.offset, EV=[-10 .. -1]
  END SCENARIO
  SCENARIO texts
    VAR gauge.label, INIT="tank"
    VAR gauge.label, EV="tank"
    VAR gauge.name, EV="pump"
    VAR gauge.name[0], EV='p'
  END SCENARIO
END SCENARIO
)";

TEST(ByteChecksRun, UnsignedCharsBothCompilers)
{
    TempDir sources;
    writeFile(sources / "gauge.h", kInterface);
    writeFile(sources / "gauge_sut.c", kSystem);
    writeFile(sources / "gauge.pts", kScript);
    ExampleProgram program({"gauge", sources.path()});
    ASSERT_FALSE(program.generate().empty());
    program.runWithEachCompiler(1, [&](const TesterRun& run) {
        EXPECT_THAT(traceLines(run.trace, "CHECK"),
                    ElementsAre(HasSubstr("expected [0x0 .. 0xFF] actual 0xE6 ok"),
                                HasSubstr("expected [0xC8 .. 0xFF] actual 0xE6 ok"),
                                HasSubstr("expected [0xC8 .. 0xFF] actual 0xC FAILED"),
                                HasSubstr("expected 0xE6 actual 0xE6 ok"),
                                HasSubstr("expected [-10 .. -1] actual -5 ok"),
                                HasSubstr("expected \"tank\" actual \"tank\" ok"),
                                HasSubstr("expected \"pump\" actual \"pump\" ok"),
                                HasSubstr("expected 'p' actual 'p' ok")))
            << run.trace;
        EXPECT_THAT(traceLines(run.trace, "FAIL"),
                    ElementsAre(HasSubstr("in scenario \"low_byte_out_of_high_range\"")));
    });
}

// Four bytes without a terminator, met as a message field, as the result
// of a function and as a variable of an INITIALIZATION block: each is
// checked as a pointer. Read as a string, it would be read past its end,
// which a program built with the address sanitizer stops on.
const char* const kBytesInterface = R"(typedef int link_t;
typedef struct {
    int code;
    unsigned char *data;
} frame_t;
int fr_recv(link_t id, frame_t *out);
unsigned char *frame_bytes(void);
extern unsigned char raw[4];
extern unsigned char *raw_at;
)";

const char* const kBytesSystem = R"(#include "bytes.h"
unsigned char raw[4] = {'w', 'x', 'y', 'z'};
unsigned char *raw_at = raw;
unsigned char *frame_bytes(void) { return raw; }
int fr_recv(link_t id, frame_t *out)
{
    static int sent;
    (void)id;
    if (sent) {
        return 0;
    }
    sent = 1;
    out->code = 1;
    out->data = raw;
    return 1;
}
)";

const char* const kBytesDeclarations = R"(HEADER "bytes", "bytes never read as strings", "1.0"
#link_t id;
COMMTYPE link IS link_t
CHANNEL link : ch
MESSAGE frame_t : frame
CALLBACK frame_t : r ON link : rid
  #int got;
  @got = fr_recv(rid, &r);
  @if (got <= 0) {
  NO_MESSAGE
  @}
  MESSAGE_DATE
END CALLBACK
)";

TEST(ByteChecksRun, UnterminatedBytesUnderAsan)
{
    const struct {
        const char* where;
        const char* scenarios;
        const char* check;
    } rows[] = {
        {"message field",
         "SCENARIO s\n  ADD_ID(ch, id)\n  DEF_MESSAGE frame, EV={code => 1, data => raw_at}\n"
         "  WAITTIL(MATCHING(frame, ch), WTIME > 5)\nEND SCENARIO\n",
         "trv_cmp_pointer_c (&(trv_ctx->trv_ctxrun),"},
        {"function result", "SCENARIO s\n  CALL frame_bytes() @ raw_at\nEND SCENARIO\n",
         "trv_pointer_c (&(trv_ctx->trv_ctxrun),1, (TRV_PT_VOID) 0, (TRV_PT_VOID) raw_at, "},
        {"INITIALIZATION variable",
         "SCENARIO s\n  INITIALIZATION\n    #unsigned char *held;\n    @held = raw;\n    VAR held, EV=raw_at\n"
         "  END INITIALIZATION\n  SCENARIO inner\n    VAR raw_at, EV=raw\n  END SCENARIO\nEND SCENARIO\n",
         "trv_var_pointer_c (&(trv_ctx->trv_ctxrun),"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.where);
        TempDir sources;
        writeFile(sources / "bytes.h", kBytesInterface);
        writeFile(sources / "bytes_sut.c", kBytesSystem);
        writeFile(sources / "bytes.pts", std::string(kBytesDeclarations) + row.scenarios);
        ExampleProgram program({"bytes", sources.path()});
        const std::string text = program.generate();
        ASSERT_THAT(text, HasSubstr(row.check));
        EXPECT_THAT(text, Not(HasSubstr("string_c")));
        for (const std::string compiler : {"gcc", "clang"}) {
            SCOPED_TRACE(compiler);
            const RunResult built = program.build(compiler, {"-g", "-fsanitize=address"});
            ASSERT_EQ(built.status, 0) << built.err;
            EXPECT_THAT(built.err, IsEmpty());
            const TesterRun run = program.run(compiler, {}, {{"ASAN_OPTIONS", std::string("detect_leaks=0")}});
            EXPECT_EQ(run.status, 0) << run.trace;
            EXPECT_THAT(traceLines(run.trace, "FAIL"), IsEmpty());
        }
    }
}

}  // namespace
