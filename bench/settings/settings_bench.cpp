// The rule list of the settings window at 100,000 rules, with its list view shown (offscreen):
// building it, replacing every rule (a reset), and one switched rule (one row's update).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "config/model.h"
#include "settings/rule_model.h"
#include "settings/rule_view.h"

namespace ombrel {
namespace {

Config manyRules(int64_t count) {
    Config config;
    config.bindings.reserve(static_cast<std::size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        std::optional<std::string> scope;
        if (i % 3 == 0) {
            scope = "org.example.app" + std::to_string(i % 7);
        }
        config.bindings.push_back(Rule::make(Trigger::hotkey({i % 127, Mods(i % 16)}),
                                             i % 2 == 0
                                                 ? Action::window(WindowAction::leftHalf)
                                                 : Action::shell("echo " + std::to_string(i)),
                                             scope, i % 5 != 0));
    }
    return config;
}

// The model and its view, shown and painted once.
struct ShownList {
    explicit ShownList(const Config& config)
        : model(config, Trigger::Kind::hotkey, [](const std::string& id) { return id; }),
          view(model, {}) {
        view.resize(620, 540);
        view.show();
        QApplication::processEvents();
    }
    RuleListModel model;
    RuleListView view;
};

void BM_ListBuiltAndShown(benchmark::State& state) {
    const Config config = manyRules(state.range(0));
    for (auto _ : state) {
        ShownList list(config);
        benchmark::DoNotOptimize(list.model.rowCount());
    }
}
BENCHMARK(BM_ListBuiltAndShown)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Every rule replaced at once, as when another file is loaded: the model resets.
void BM_ModelReset(benchmark::State& state) {
    Config config = manyRules(state.range(0));
    ShownList list(config);
    for (auto _ : state) {
        state.PauseTiming();
        // Fresh ids: no row is the same.
        config = manyRules(state.range(0));
        state.ResumeTiming();
        list.model.sync();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ModelReset)->Arg(100'000)->Unit(benchmark::kMillisecond);

// One rule switched off and on: the model finds the one changed row and the view repaints it.
void BM_OneRowUpdate(benchmark::State& state) {
    Config config = manyRules(state.range(0));
    ShownList list(config);
    for (auto _ : state) {
        config.bindings[1].enabled = !config.bindings[1].enabled;
        list.model.sync();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_OneRowUpdate)->Arg(100'000)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ombrel

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
