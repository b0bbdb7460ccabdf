// The bundled examples: their generated programs compile with gcc and clang
// against the runtime header and the example's interface files (compile
// only: running them needs their simulated systems under test).
#include "codegen/codegen_support.h"
#include "codegen/test_program_support.h"

#include <gmock/gmock.h>


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

TEST(ProgramExamples, EveryExampleCompilesWithGccAndClang)
{
    const std::vector<Example> examples = bundledExamples();
    ASSERT_FALSE(examples.empty());
    for (const Example& example : examples) {
        TempDir dir;
        const RunResult generated = generateExample(example, dir.path());
        ASSERT_LE(generated.status, 3) << example.name << "\n" << generated.err;
        for (const std::string compiler : {"gcc", "clang"}) {
            const RunResult compiled = compileOnly(compiler, dir.path(), example.name);
            EXPECT_EQ(compiled.status, 0) << example.name << " with " << compiler << "\n" << compiled.err;
        }
    }
}

}  // namespace
