// A message variable's name is a define of the generated program (its
// access define), so it must not be the name of a member of a structure:
// the define would rewrite the member after it. qvmprepro reports the clash
// (MSGMEMBER) instead of writing a program that does not compile.
#include "driver/example_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using qvm::testing::RunResult;
using qvm::testing::TempDir;
using qvm::testing::writeFile;
using qvm::testing::examples::ExampleProgram;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const char* const kInterface = R"(typedef int link_t;
typedef struct {
    int code;
    int value;
} ping_t;
int link_send(link_t id, const ping_t *msg);
int link_receive(link_t id, ping_t *msg);
)";

const char* const kSystem = R"(#include "link.h"
int link_send(link_t id, const ping_t *msg) { return id + msg->code; }
int link_receive(link_t id, ping_t *msg) { return id + msg->code; }
)";

// A script whose one message variable is called name.
std::string scriptSending(const std::string& name)
{
    return "HEADER \"link\", \"1\", \"x\"\n"
           "#link_t bench_link;\n"
           "COMMTYPE wire IS link_t\n"
           "CHANNEL wire : line\n"
           "MESSAGE ping_t : " + name + "\n"
           "PROCSEND ping_t : out ON wire : id\n"
           "  @link_send(id, &out);\n"
           "END PROCSEND\n"
           "CALLBACK ping_t : in ON wire : id\n"
           "  @if (!link_receive(id, &in)) {\n"
           "  NO_MESSAGE\n"
           "  @}\n"
           "  MESSAGE_DATE\n"
           "END CALLBACK\n"
           "SCENARIO main\n"
           "  DEF_MESSAGE " + name + ", EV={code => 1, value => 2}\n"
           "  SEND(" + name + ", line)\n"
           "END SCENARIO\n";
}

TEST(MessageNamesRun, AMessageVariableNamedLikeAMemberIsAnError)
{
    TempDir sources;
    writeFile(sources / "link.h", kInterface);
    writeFile(sources / "link_sut.c", kSystem);
    writeFile(sources / "clash.pts", scriptSending("value"));
    const RunResult clashing = qvm::testing::runPrepro({"clash.pts", "link.h", "clash"}, {}, sources.path());
    EXPECT_EQ(clashing.status, 5);
    EXPECT_THAT(clashing.err, HasSubstr("MSGMEMBER")) << clashing.err;

    writeFile(sources / "link.pts", scriptSending("ping"));
    ExampleProgram program({"link", sources.path()});
    EXPECT_FALSE(program.generate().empty());
    const RunResult built = program.build("gcc");
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_THAT(built.err, IsEmpty());
}

}  // namespace
