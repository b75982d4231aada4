// Speed and heap allocations of the per-key-press rule lookup, and speed of reading and writing
// the settings file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "allocation_counter.h"
#include "config/json_codec.h"
#include "config/store.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;

Config manyRules(int count) {
    Config config;
    for (int i = 0; i < count; ++i) {
        std::optional<std::string> scope;
        if (i % 3 == 0) {
            scope = "org.example.app" + std::to_string(i % 7);
        }
        config.bindings.push_back(Rule::make(Trigger::hotkey({i % 127, Mods(i % 16)}),
                                             Action::window(WindowAction::leftHalf), scope,
                                             i % 5 != 0));
    }
    return config;
}

// Lookups with the store's list of rules, counting the heap allocations they make: none is the
// aim, since the lookup runs for every key press.
template <class Lookup>
void lookups(benchmark::State& state, const Config& config, Lookup lookup) {
    std::string pattern = (fs::temp_directory_path() / "ombrel-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    {
        Store store(pattern);
        store.setConfig(config);
        const std::size_t before = heapAllocations();
        for (auto _ : state) {
            benchmark::DoNotOptimize(lookup(store));
        }
        state.counters["allocs_per_lookup"] = static_cast<double>(heapAllocations() - before) /
                                              static_cast<double>(state.iterations());
    }
    fs::remove_all(pattern);
}

// A lookup that finds nothing: the common case for an unbound key.
void BM_MatchingRuleMiss(benchmark::State& state) {
    const Trigger unbound = Trigger::hotkey({200, Mods(0)});
    lookups(state, manyRules(static_cast<int>(state.range(0))),
            [&](const Store& store) { return store.matchingRule(unbound, "org.example.app3"); });
}
BENCHMARK(BM_MatchingRuleMiss)->Arg(10)->Arg(1000)->Arg(100000);

// A hit on a rule scoped to the front application, behind one scoped to another and an unscoped
// one; the names are longer than any inline string buffer, so a copy would allocate.
void BM_MatchingRuleScopedHit(benchmark::State& state) {
    Config config = manyRules(static_cast<int>(state.range(0)));
    const Trigger key = Trigger::hotkey({40, Mods(1)});
    config.bindings.push_back(
        Rule::make(key, Action::shell("x"), "org.example.other-application", true));
    config.bindings.push_back(Rule::make(key, Action::shell("y"), std::nullopt, true));
    config.bindings.push_back(
        Rule::make(key, Action::shell("z"), "org.example.first-application", true));
    lookups(state, config, [&](const Store& store) {
        return store.matchingRule(key, "org.example.first-application");
    });
}
BENCHMARK(BM_MatchingRuleScopedHit)->Arg(10)->Arg(1000);

void BM_DecodeConfig(benchmark::State& state) {
    const std::string text = *encodeConfig(manyRules(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(decodeConfig(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeConfig)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_EncodeConfig(benchmark::State& state) {
    const Config config = manyRules(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(encodeConfig(config));
    }
}
BENCHMARK(BM_EncodeConfig)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ombrel
