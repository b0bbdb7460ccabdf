// A message variable's name is a define of the generated program (its
// access define), so it must not be the name of a member of a structure
// that the program uses: the define rewrites the member after it and the
// program does not compile. qvmprepro does not report the clash; the rule
// is the script writer's (see examples/can_gateway/can_gateway.pts).
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
using ::testing::Not;

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

RunResult generateAndBuild(const std::string& messageName, std::string& listing)
{
    TempDir sources;
    writeFile(sources / "link.h", kInterface);
    writeFile(sources / "link_sut.c", kSystem);
    writeFile(sources / "link.pts", scriptSending(messageName));
    ExampleProgram program({"link", sources.path()});
    EXPECT_FALSE(program.generate().empty()) << messageName;
    listing = qvm::testing::readFile(program.dir / "link.lis");
    return program.build("gcc");
}

TEST(MessageNamesRun, AMessageVariableNamedLikeAMemberBreaksTheGeneratedProgram)
{
    std::string listing;
    const RunResult clashing = generateAndBuild("value", listing);
    // Generated without a word about it...
    EXPECT_THAT(listing, Not(HasSubstr("-W-")));
    EXPECT_THAT(listing, Not(HasSubstr("-E-")));
    // ...but "#define value ..." rewrites the member ping_t.value.
    EXPECT_NE(clashing.status, 0);
    EXPECT_THAT(clashing.err, HasSubstr("error:"));
    EXPECT_THAT(clashing.err, HasSubstr("#define value "));

    const RunResult renamed = generateAndBuild("ping", listing);
    EXPECT_EQ(renamed.status, 0) << renamed.err;
    EXPECT_THAT(renamed.err, IsEmpty());
}

}  // namespace
