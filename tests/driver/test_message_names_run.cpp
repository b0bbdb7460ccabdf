// A message variable's name is a define of the generated program, so it
// must not be the name of a member of a structure that the program uses:
// the define would rewrite the member after it. qvmprepro reports such a
// name; another one gives a program that builds.
#include "driver/example_programs.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::examples::ExampleProgram;

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

TEST(MessageNamesRun, MessageNamedLikeAMember)
{
    TempDir sources;
    writeFile(sources / "link.h", kInterface);
    writeFile(sources / "link_sut.c", kSystem);
    writeFile(sources / "link.pts", scriptSending("value"));
    const RunResult clashing = qvm::testing::runPrepro({"link.pts", "link.h", "link"}, {}, sources.path());
    EXPECT_EQ(clashing.status, 5);
    EXPECT_THAT(clashing.err, HasSubstr("Fenwir-E-MACMEMBER,  [link.pts:5] 'value' (a member of ping_t) cannot name "
                                        "a message or a channel"));
    EXPECT_FALSE(std::filesystem::exists(sources / "link.c"));
    writeFile(sources / "link.pts", scriptSending("ping"));
    ExampleProgram renamed({"link", sources.path()});
    EXPECT_THAT(renamed.generate(), Not(IsEmpty()));
    EXPECT_THAT(qvm::testing::readFile(renamed.dir / "link.lis"), Not(HasSubstr("-E-")));
    const RunResult built = renamed.build("gcc");
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_THAT(built.err, IsEmpty());
}

}  // namespace
