// C types of script values, end to end: wide integer constants compared
// with 64-bit variables, NIL and 0 as null pointers in VAR values and CALL
// arguments, and arguments passed as C passes them; the program qvmprepro
// writes compiles with gcc and clang at -Wall -Wextra without a warning and
// its checks compare what the script says.
#include "driver/example_programs.h"
#include "support/messages.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::IsMessage;
using qvm::testing::Message;
using qvm::testing::messagesOf;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::TesterRun;
using qvm::testing::examples::traceLines;

TEST(CTypesRun, WideConstantsNullsArgs)
{
    ExampleProgram program({"ctypes", std::string(QVM_TESTDATA_DIR) + "/driver/ctypes"});
    ASSERT_FALSE(program.generate().empty());
    program.runWithEachCompiler(1, [&](const TesterRun& run) {
        std::vector<std::string> failed;
        for (const std::string& check : traceLines(run.trace, "CHECK")) {
            if (check.find(" ok") == std::string::npos) {
                failed.push_back(check);
            }
        }
        // Every check passes but two: a constant that differs from the
        // variable only above bit 31, and NONIL expected of a null pointer.
        EXPECT_THAT(failed, ElementsAre(HasSubstr("expected 9294967296 actual 5000000000 FAILED"),
                                        HasSubstr("expected NONIL actual NIL FAILED")))
            << run.trace;
        EXPECT_THAT(traceLines(run.trace, "CHECK"),
                    AllOf(Contains(HasSubstr("expected 2299330025 (0x890CFDE9) actual 2299330025 (0x890CFDE9) ok")),
                          Contains(HasSubstr("expected 5000000000 actual 5000000000 ok")),
                          Contains(HasSubstr("\"strm.zalloc\" expected NIL actual NIL ok"))));
        EXPECT_THAT(traceLines(run.trace, "FAIL"),
                    ElementsAre(HasSubstr("in scenario \"wide_constant_differs_above_32_bits\""),
                                HasSubstr("in scenario \"non_null_expected_of_a_null_pointer\"")));
    });
}

// The system's own zlib header read with the host profile: the arguments
// that gcc warns about are warned, the one it refuses is an error.
TEST(CTypesRun, ZlibArgsJudgedAsCompiler)
{
    if (!std::filesystem::exists("/usr/include/zlib.h")) {
        GTEST_SKIP() << "no zlib.h on this system";
    }
    TempDir dir;
    writeFile(dir / "z.h", "#ifndef Z_H\n#define Z_H\n#include <zlib.h>\n#endif\n");
    writeFile(dir / "z.pts", "HEADER \"z\", \"zlib arguments\", \"1.0\"\n"
                             "#include \"z.h\"\n"
                             "#Bytef packed[64];\n#uLongf packed_len;\n#z_stream strm;\n#z_stream *pstrm;\n"
                             "SCENARIO s\n"
                             "  CALL compress2(packed, packed_len, packed, 10, 9)\n"
                             "  CALL compress2(packed, pstrm, packed, 10, 9)\n"
                             "  CALL deflateEnd(strm)\n"
                             "  CALL deflateEnd(Z_NULL)\n"
                             "  CALL deflateEnd(NIL)\n"
                             "  CALL compress2(packed, REF(packed_len), packed, Z_NULL, Z_BEST_SPEED)\n"
                             "END SCENARIO\n");
    const std::string include = runProgram("gcc", {"-print-file-name=include"}).out;
    const RunResult run =
        runPrepro({"z.pts", "z.h", "out", "-STD_DEFINE=" + std::string(QVM_SHARE_DIR) + "/lib/x86_64-linux-gnu.def",
                   "-INCL=" + include.substr(0, include.find_last_not_of("\n") + 1)},
                  {}, dir.path());
    EXPECT_EQ(run.status, 5);
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"W", "ARGINTPTR", "z.pts", 8},
                                      HasSubstr("2 of compress2 (uLongf given, uLongf * expected)")),
                            IsMessage({"W", "ARGPTRINC", "z.pts", 9}, HasSubstr("2 of compress2 (z_stream * given")),
                            IsMessage({"E", "ARGNOCONV", "z.pts", 10},
                                      HasSubstr("1 of deflateEnd (z_stream given, z_streamp expected)"))))
        << run.err;
}

}  // namespace
