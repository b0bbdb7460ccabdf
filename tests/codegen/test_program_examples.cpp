// The bundled examples: their generated programs compile with gcc and clang
// against the runtime header and the example's interface files (compile
// only: running them needs their simulated systems under test).
#include "codegen/codegen_support.h"
#include "codegen/test_program_support.h"

#include <gmock/gmock.h>

#include <map>

namespace {

namespace fs = std::filesystem;
using qvm::testing::RunResult;
using qvm::testing::runProgram;
using qvm::testing::TempDir;
using qvm::testing::codegen::bundledExamples;
using qvm::testing::codegen::copyDirectory;
using qvm::testing::codegen::Example;
using qvm::testing::codegen::runIn;
using qvm::testing::codegen::stdDefineOption;
using qvm::testing::program::compilerPath;

// The generated program of an example, written to out/NAME.c of dir.
RunResult generateExample(const Example& example, const fs::path& dir)
{
    copyDirectory(example.directory, dir);
    fs::create_directories(dir / "out");
    return runIn(dir, {example.name + ".pts", example.name + ".h", "out/" + example.name, stdDefineOption()});
}

RunResult compileOnly(const std::string& compiler, const fs::path& dir, const std::string& name)
{
    const std::string program = compilerPath(compiler);
    if (program.empty()) {
        ADD_FAILURE() << compiler << " is not installed";
        return {};
    }
    return runProgram(program, {"-std=gnu99", "-Wall", "-Wextra", "-c", std::string("-I") + QVM_RUNTIME_INCLUDE_DIR,
                                "-I" + dir.string(), (dir / "out" / (name + ".c")).string(), "-o",
                                (dir / "out" / (name + "_" + compiler + ".o")).string()});
}

// Examples whose scripts the generated C cannot express, with the name the
// compiler stumbles on:
// - can_gateway names a message variable gear_request like a member of its
//   payload union; the message's define replaces the member name.
// - door_controller receives an integer into the constant TESTER_PLATFORM.
const std::map<std::string, std::string> kNotExpressible = {
    {"can_gateway", "gear_request"}, {"door_controller", "TESTER_PLATFORM"}};

TEST(ProgramExamples, EveryExampleCompilesWithGccAndClang)
{
    const std::vector<Example> examples = bundledExamples();
    ASSERT_FALSE(examples.empty());
    for (const Example& example : examples) {
        TempDir dir;
        const RunResult generated = generateExample(example, dir.path());
        ASSERT_LE(generated.status, 3) << example.name << "\n" << generated.err;
        const auto known = kNotExpressible.find(example.name);
        for (const std::string compiler : {"gcc", "clang"}) {
            const RunResult compiled = compileOnly(compiler, dir.path(), example.name);
            if (known != kNotExpressible.end()) {
                EXPECT_NE(compiled.status, 0) << example.name << " compiles now: drop it from the list";
                EXPECT_THAT(compiled.err, ::testing::HasSubstr(known->second)) << example.name << " with " << compiler;
                continue;
            }
            EXPECT_EQ(compiled.status, 0) << example.name << " with " << compiler << "\n" << compiled.err;
        }
    }
}

}  // namespace
