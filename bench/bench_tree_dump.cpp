// The tree listing of `qvminspect tree` for scripts of 16k, 32k and 64k
// lines, side by side: time and size must grow with the number of lines.
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "script/stxpti.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

// One scenario whose body alternates instruction lines and '#' lines, then
// many small scenarios: both the body list and the scenario list are long.
class LongScript {
public:
    explicit LongScript(int lines)
    {
        directory_ = std::filesystem::temp_directory_path() / ("qvm_bench_tree_dump_" + std::to_string(lines));
        std::filesystem::create_directories(directory_);
        std::ofstream script(path());
        script << "HEADER \"bench\", \"1.0\", \"tree\"\n#include \"api.h\"\n";
        const int bodyLines = lines / 2;
        script << "SCENARIO body\n";
        for (int i = 0; i < bodyLines; i += 4) {
            script << "  CALL check(counter + " << i << ", table[" << i % 7 << "])\n";
            script << "# trace(" << i << ");\n";
            script << "  VAR counter, INIT= 0 EV= " << i << "\n";
            script << "  EXIT\n";
        }
        script << "END SCENARIO\n";
        for (int i = bodyLines; i < lines; i += 3) {
            script << "SCENARIO s" << i << "\n  EXIT\nEND SCENARIO\n";
        }
    }
    ~LongScript() { std::filesystem::remove_all(directory_); }
    LongScript(const LongScript&) = delete;
    LongScript& operator=(const LongScript&) = delete;

    std::string path() const { return (directory_ / "long.pts").string(); }

private:
    std::filesystem::path directory_;
};

void dumpLongScriptTree(benchmark::State& state)
{
    qvm::diag::registerBuiltinCatalogs();
    qvm::diag::setConsoleSink([](std::string_view) {});
    const LongScript script(static_cast<int>(state.range(0)));
    const qvm::script::ParsedScript parsed = qvm::script::parseScript(script.path(), {});
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string listing = qvm::script::dumpTree(parsed.root);
        bytes = listing.size();
        benchmark::DoNotOptimize(listing.data());
    }
    state.counters["lines"] = static_cast<double>(state.range(0));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["errors"] = qvm::diag::errorCount();
}

BENCHMARK(dumpLongScriptTree)->Arg(16384)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
