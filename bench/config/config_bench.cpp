// Speed of the per-key-press rule lookup and of reading and writing the settings file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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

// A lookup that walks the whole list and finds nothing: the common case for an unbound key.
void BM_MatchingRuleMiss(benchmark::State& state) {
    std::string pattern = (fs::temp_directory_path() / "ombrel-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    {
        Store store(pattern);
        store.setConfig(manyRules(static_cast<int>(state.range(0))));
        const Trigger unbound = Trigger::hotkey({200, Mods(0)});
        const std::string_view front = "org.example.app3";
        for (auto _ : state) {
            benchmark::DoNotOptimize(store.matchingRule(unbound, front));
        }
    }
    fs::remove_all(pattern);
}
BENCHMARK(BM_MatchingRuleMiss)->Arg(10)->Arg(1000)->Arg(100000);

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
