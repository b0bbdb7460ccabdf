// Parsing a large generated script: 2000 scenarios of 20 instructions each,
// half of them in 10 included files.
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "script/stxpti.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string scenarioText(int number)
{
    std::string text = "SCENARIO s" + std::to_string(number) + "\n";
    for (int i = 0; i < 4; ++i) {
        text += "  CALL check_value(counter + " + std::to_string(i) + ", \"a, b\", table[i]) @ 0\n";
        text += "  VAR counter, INIT= 0 EV= 1\n";
        text += "  WAITTIL(status == READY && MATCHING(msg, ev), 100)\n";
        text += "%A  SEND(channel, message)\n";
        text += "  IF (x > 1) THEN\n    EXIT\n  END IF\n";
    }
    return text + "END SCENARIO\n";
}

class GeneratedScript {
public:
    static constexpr int kScenarios = 2000;
    static constexpr int kIncludedFiles = 10;

    GeneratedScript()
    {
        directory_ = std::filesystem::temp_directory_path() / "qvm_bench_script_parse";
        std::filesystem::create_directories(directory_);
        std::ofstream script(directory_ / "big.pts");
        script << "HEADER \"bench\", \"1.0\", \"generated\"\n#include \"api.h\"\n";
        const int perFile = kScenarios / 2 / kIncludedFiles;
        int number = 0;
        for (int file = 0; file < kIncludedFiles; ++file) {
            const std::string name = "part" + std::to_string(file) + ".pts";
            std::ofstream included(directory_ / name);
            for (int i = 0; i < perFile; ++i) {
                included << scenarioText(number++);
            }
            script << "INCLUDE \"" << name << "\"\n";
        }
        while (number < kScenarios) {
            script << scenarioText(number++);
        }
    }
    ~GeneratedScript() { std::filesystem::remove_all(directory_); }

    std::string path() const { return (directory_ / "big.pts").string(); }
    std::string directory() const { return directory_.string(); }

private:
    std::filesystem::path directory_;
};

void parseLargeScript(benchmark::State& state)
{
    qvm::diag::registerBuiltinCatalogs();
    qvm::diag::setConsoleSink([](std::string_view) {});
    const GeneratedScript generated;
    qvm::script::ParseOptions options;
    options.includeDirectories = {generated.directory()};
    std::size_t nodes = 0;
    for (auto _ : state) {
        const qvm::script::ParsedScript parsed = qvm::script::parseScript(generated.path(), options);
        nodes = parsed.tree->size();
        benchmark::DoNotOptimize(parsed.root);
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["errors"] = qvm::diag::errorCount();
    state.counters["scenarios"] = GeneratedScript::kScenarios;
}

BENCHMARK(parseLargeScript)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
