// What the generated program's lines checked from data files
// (test_program_text.cpp) cannot show: the filter condition of a prefix,
// the source file notices whose keys depend on where the files are, and the
// probe header the program writer closes.
#include "codegen/test_program_support.h"
#include "codegen/tsfgen.h"

#include <gmock/gmock.h>

namespace {

using qvm::codegen::filterCondition;
using qvm::testing::program::GenProg;
using qvm::testing::program::kHead;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(FilterPrefix, GroupsLettersAndNegations)
{
    EXPECT_EQ(filterCondition("A"), "if ( trv_filter[0])");
    EXPECT_EQ(filterCondition("AB+~C"), "if ( ( trv_filter[0] && trv_filter[1]) || (!trv_filter[2]) )");
    EXPECT_EQ(filterCondition("Z"), "if ( trv_filter[25])");
    // A leading '%' (from a "%%" prefix) swaps the operators.
    EXPECT_EQ(filterCondition("%AB+C"), "if ( ( trv_filter[0] || trv_filter[1]) && (trv_filter[2]) )");
    // The letter a '~' negates is joined by the operator written before the
    // '~': a second one after it would not be C.
    EXPECT_EQ(filterCondition("A~B"), "if ( trv_filter[0] && !trv_filter[1])");
    EXPECT_EQ(filterCondition("~A+B~C"), "if ( ( !trv_filter[0]) || (trv_filter[1] && !trv_filter[2]) )");
}

TEST_F(GenProg, SourceFileNoticesInIdOrder)
{
    qvm::testing::writeFile(dir / "more.pts", "PROC more ( )\n  EXIT\nEND PROC\n");
    const std::string text = generate("HEADER \"t\", \"1\", \"x\"\n"
                                      "INCLUDE \"" + (dir / "more.pts").string() + "\"\n"
                                      "SCENARIO s\n  CALL more()\nEND SCENARIO\n");
    const std::string date = qvm::testing::program::kDate;
    const auto noticeOf = [&](int id, const std::string& name) {
        const qvm::script::SourceFileRecord record =
            qvm::script::describeSourceFile((dir / name).string(), qvm::testing::readFile(dir / name));
        const long key = qvm::codegen::tracerRunKey(record, qvm::testing::program::kProcessId, date);
        return "      trv_notify_tsf (&(trv_ctx->trv_ctxrun), " + std::to_string(id) + ", " + std::to_string(record.hashKey) +
               ", " + std::to_string(key) + ");\n      /* To_spv: " + std::to_string(id) + " -> (" +
               std::to_string(record.size) + "," + std::to_string(record.checksum) + ") - DIR/" + name + " -*/\n";
    };
    EXPECT_THAT(text, HasSubstr("    else\n     {\n" + noticeOf(1, "test.pts") + noticeOf(2, "more.pts") + "     }\n"));
    // The root scenario's file.
    EXPECT_THAT(text, HasSubstr("  trv_declare_ni_tsf (&(trv_ctx->trv_ctxrun), 1);\n#endif /* QVM_DYNFLW */\n"));
}

// In probe mode the program holds the banner, the interface includes and
// the probe code, and the probe header that the TDC writer began gets its
// macros and is closed.
TEST_F(GenProg, ProbeModeClosesTheProbeHeader)
{
    qvm::codegen::ProgramOptions o = options();
    o.probeMode = 1;
    const auto analysed = analyse(kHead + "SCENARIO s\n  ERROR\nEND SCENARIO\n");
    ASSERT_TRUE(analysed);
    {
        qvm::codegen::GeneratedFiles files;
        files.create(o.probeHeaderPath).write("#ifndef TRV_PROBE_H\n");
        qvm::codegen::writeProgram(files, {}, *analysed->result.model, analysed->parsed.sourceFiles, o);
        files.commit();
    }
    const std::string header = qvm::testing::readFile(o.probeHeaderPath);
    EXPECT_THAT(header, ::testing::StartsWith("#ifndef TRV_PROBE_H\n#ifdef USE_QVM\n"));
    EXPECT_THAT(header, ::testing::EndsWith("\n#endif\n"));
    const std::string text = qvm::testing::readFile(o.programPath);
    EXPECT_THAT(text, HasSubstr(" */\n\n\n\n#include \"api.h\"\n\n"));
    EXPECT_THAT(text, Not(HasSubstr("TP.h")));
    EXPECT_THAT(text, Not(HasSubstr("main")));
}

}  // namespace
