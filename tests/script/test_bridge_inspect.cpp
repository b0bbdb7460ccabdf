// The native type bridge through qvminspect: selection contexts, FORMAT
// registration and C function classes against a message header.
#include "script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kHeader = "bridge/messages.h";

TEST(BridgeInspect, NestedUnionsInArray)
{
    const std::string reason = "struct {\nint select;\n\n}reason;\n";
    const std::string detail = "struct {\nint select;\n\nstruct {\n" + reason + "\n}stop;\n\n}detail;\n";
    const std::string members = "struct {\n" + detail + "\n}items[3];\n";
    const qvm::testing::RunResult run = inspect({"selection", kHeader, "ORDER"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "struct {\n" + members + "\n}TRV_ORDER;\n\nstruct {\n" + members + "\n}trv_ctxsel_ORDER;\n");
}

TEST(BridgeInspect, NoUnionNoContext)
{
    const qvm::testing::RunResult run = inspect({"selection", kHeader, "POINT"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(inspect({"selection", kHeader, "REASON"}).out,
              "struct {\nint select;\n\n}TRV_REASON;\n\nstruct {\nint select;\n\n}trv_ctxsel_REASON;\n");
}

TEST(BridgeInspect, FormatsShowTheirNativeType)
{
    EXPECT_EQ(inspect({"format", kHeader, "order . id # integer"}).out, "order.id\tlong\tentier\t0\t-32\t6\n");
    EXPECT_EQ(inspect({"format", kHeader, "label # string, HEX"}).out, "label\tchar*\tchaine\t4\t0\t0\n");
    EXPECT_EQ(inspect({"format", kHeader, "order.name[] # char(unsigned char), BIN"}).out,
              "order.name[]\tunsigned char\tcaractere\t2\t0\t2\n");
}

TEST(BridgeInspect, BadFormatsEndWithErrors)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"order.id # real", "TYPEINCON"},
        {"point # integer", "NOMVARINC"},
        {"order.items[] # integer", "NOMVARINC"},
        {"order.detail # integer", "CHAMPINCO"},
        {"orders # integer", "IDENTINCO"},
    };
    for (const auto& [text, code] : cases) {
        const qvm::testing::RunResult run = inspect({"format", kHeader, text});
        EXPECT_EQ(run.status, 5) << text;
        EXPECT_EQ(run.out, "") << text;
        EXPECT_THAT(messagesOf(run.err), ElementsAre(Message{"E", code, "FORMAT", 1})) << text << run.err;
    }
}

TEST(BridgeInspect, FunctionClasses)
{
    EXPECT_EQ(inspect({"function", kHeader, "send_order"}).out, "2\t9\t2\n");
    EXPECT_EQ(inspect({"function", kHeader, "reset"}).out, "14\t14\n");
    EXPECT_EQ(inspect({"function", kHeader, "logf"}).out, "2\t6\t15\n");
    const qvm::testing::RunResult unknown = inspect({"function", kHeader, "order"});
    EXPECT_EQ(unknown.status, 0);
    EXPECT_EQ(unknown.out, "");
}

}  // namespace
