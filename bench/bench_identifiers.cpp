// The identifier table against a hash set of strings: looking up names that
// are already stored (the common case of the analysers) and storing new ones.
#include "base/mstrid.h"

#include <benchmark/benchmark.h>

#include <string>
#include <unordered_set>
#include <vector>

namespace {

std::vector<std::string> sampleNames(int count)
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        names.push_back((i % 3 == 0 ? "trv_P" : i % 3 == 1 ? "struct_field_" : "MSG_") + std::to_string(i));
    }
    return names;
}

void identLookup(benchmark::State& state)
{
    qvm::base::resetIdentTable();
    const auto names = sampleNames(static_cast<int>(state.range(0)));
    for (const auto& name : names) {
        qvm::base::ident(name);
    }
    for (auto _ : state) {
        for (const auto& name : names) {
            benchmark::DoNotOptimize(qvm::base::ident(name));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void hashSetLookup(benchmark::State& state)
{
    const auto names = sampleNames(static_cast<int>(state.range(0)));
    std::unordered_set<std::string> set(names.begin(), names.end());
    for (auto _ : state) {
        for (const auto& name : names) {
            benchmark::DoNotOptimize(set.find(name));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void identInsert(benchmark::State& state)
{
    const auto names = sampleNames(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        qvm::base::resetIdentTable();
        qvm::base::initIdentTable();
        state.ResumeTiming();
        for (const auto& name : names) {
            benchmark::DoNotOptimize(qvm::base::ident(name));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(identLookup)->Arg(1000)->Arg(50000)->Arg(400000);
BENCHMARK(hashSetLookup)->Arg(1000)->Arg(50000)->Arg(400000);
BENCHMARK(identInsert)->Arg(1000)->Arg(50000)->Arg(400000);

BENCHMARK_MAIN();
