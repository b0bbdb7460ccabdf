// The bundled examples as test programs: generated, compiled and run as one tester or several.
#include "driver/example_programs.h"

#include "codegen/test_program_run_support.h"

#include <gtest/gtest.h>

#include <future>
#include <regex>

namespace qvm::testing::examples {

namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(QVM_SOURCE_DIR) / "examples";

std::string traceName(const std::string& example, const std::string& instance)
{
    return instance.empty() ? example : example + "_" + instance;
}

}  // namespace

std::vector<std::string> Example::instances() const
{
    std::vector<std::string> names;
    const fs::path file = directory / "instances";
    if (!fs::exists(file)) {
        return names;
    }
    for (const std::string& line : lines(readFile(file))) {
        if (!line.empty() && line[0] != '#') {
            names.push_back(line);
        }
    }
    return names;
}

bool Example::usesTrigger() const
{
    return readFile(script()).find("\nTRIGGER ") != std::string::npos;
}

Example exampleNamed(const std::string& name)
{
    return {name, fs::exists(kExamples / name / (name + ".pts")) ? kExamples / name : kExamples};
}

RunResult compile(const std::string& compiler, std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), compiler);
    return runProgram("/usr/bin/env", arguments);
}

std::vector<std::string> scenarioNames(const fs::path& script)
{
    static const std::regex scenario(R"(^\s*SCENARIO\s+([A-Za-z_][A-Za-z0-9_]*).*)");
    std::vector<std::string> names;
    for (const std::string& line : lines(readFile(script))) {
        std::smatch m;
        if (std::regex_match(line, m, scenario)) {
            names.push_back(m[1]);
        }
    }
    return names;
}

std::vector<std::string> traceLines(const std::string& trace, const std::string& kind)
{
    std::vector<std::string> found;
    for (const std::string& line : lines(trace)) {
        if (line.compare(0, kind.size() + 1, kind + " ") == 0) {
            found.push_back(line);
        }
    }
    return found;
}

std::string ExampleProgram::generate()
{
    for (const fs::directory_entry& entry : fs::directory_iterator(example.directory)) {
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (extension == ".pts" || extension == ".h")) {
            fs::copy_file(entry.path(), dir / entry.path().filename().string());
        }
    }
    fs::create_directories(dir / "out");
    // A TRIGGER example's _Init functions are in its system under test:
    // the template file counts as filled in.
    if (example.usesTrigger()) {
        writeFile(dir / "out" / "fctri_c.c", "/* the _Init functions are in the SUT */\n");
    }
    const RunResult prepro =
        runPrepro({example.name + ".pts", example.name + ".h", "out/" + example.name,
                   "-STD_DEFINE=" + std::string(QVM_SHARE_DIR) + "/lib/x86_64-linux-gnu.def"},
                  {{"USER", "tester"}}, dir.path());
    EXPECT_EQ(prepro.status, 0) << prepro.err;
    return prepro.status == 0 ? readFile(program()) : std::string();
}

void ExampleProgram::runWithEachCompiler(int status, const std::function<void(const TesterRun&)>& check)
{
    for (const std::string compiler : {"gcc", "clang"}) {
        SCOPED_TRACE(compiler);
        const RunResult built = build(compiler);
        ASSERT_EQ(built.status, 0) << built.err;
        EXPECT_EQ(built.err, "");
        const TesterRun run = this->run(compiler);
        EXPECT_EQ(run.status, status) << run.trace;
        check(run);
    }
}

RunResult ExampleProgram::build(const std::string& compiler, const std::vector<std::string>& extra)
{
    using namespace qvm::testing::program;
    std::vector<std::string> arguments = kWarningFlags;
    for (const std::string& argument :
         {"-I" + std::string(QVM_SOURCE_DIR) + "/runtime", "-I" + example.directory.string(),
          "-I" + (dir / "out").string(), program().string(), example.sut().string(), std::string("-o"),
          executable(compiler).string()}) {
        arguments.push_back(argument);
    }
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const std::vector<std::string> link = runtimeLinkArguments();
    arguments.insert(arguments.end(), link.begin(), link.end());
    return compile(compiler, arguments);
}

TesterRun ExampleProgram::run(const std::string& compiler, const std::string& instance, const EnvChanges& env)
{
    const std::string trace = traceName(example.name, instance);
    const fs::path traceFile = dir / "out" / (trace + ".rio");
    fs::remove(traceFile);
    std::vector<std::string> arguments{"-RIO=" + trace};
    if (!instance.empty()) {
        arguments.push_back("-INSTANCE=" + instance);
    }
    EnvChanges changes = env;
    changes.try_emplace("QVM_RUN_QUIET", "1");
    changes.try_emplace("QVM_TESTER_DIR", (dir / "out").string());
    const RunResult result = runProgram(executable(compiler).string(), arguments, changes, dir / "out");
    return {instance, result.status, fs::exists(traceFile) ? readFile(traceFile) : std::string()};
}

std::vector<TesterRun> ExampleProgram::runSideBySide(const std::string& compiler,
                                                     const std::vector<std::string>& instances, const EnvChanges& env)
{
    std::vector<std::future<TesterRun>> started;
    for (const std::string& instance : instances) {
        started.push_back(std::async(std::launch::async, [&, instance] { return run(compiler, instance, env); }));
    }
    std::vector<TesterRun> runs;
    for (std::future<TesterRun>& tester : started) {
        runs.push_back(tester.get());
    }
    return runs;
}

}  // namespace qvm::testing::examples
