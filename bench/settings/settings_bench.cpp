// The rule list of the settings window at 100,000 rules, with its list view shown (offscreen):
// building it, replacing every rule (a reset), and one switched rule (one row's update).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "config/model.h"
#include "config/store.h"
#include "platform/login_item.h"
#include "settings/pane.h"
#include "settings/rule_model.h"
#include "settings/rule_pane.h"
#include "settings/rule_view.h"
#include "settings/settings_deps.h"
#include "settings/sidebar.h"

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

// The model and its view, shown and painted once; the model reads config where it is.
struct ShownList {
    explicit ShownList(const std::shared_ptr<Config>& config)
        : model([config] { return std::shared_ptr<const Config>(config); }, Trigger::Kind::hotkey,
                [](const std::string& id) { return id; }),
          view(model, {}) {
        view.resize(620, 540);
        view.show();
        QApplication::processEvents();
    }
    RuleListModel model;
    RuleListView view;
};

void BM_ListBuiltAndShown(benchmark::State& state) {
    const auto config = std::make_shared<Config>(manyRules(state.range(0)));
    for (auto _ : state) {
        ShownList list(config);
        benchmark::DoNotOptimize(list.model.rowCount());
    }
}
BENCHMARK(BM_ListBuiltAndShown)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Every rule replaced at once, as when another file is loaded: the model resets.
void BM_ModelReset(benchmark::State& state) {
    const auto config = std::make_shared<Config>(manyRules(state.range(0)));
    ShownList list(config);
    for (auto _ : state) {
        state.PauseTiming();
        // Fresh ids: no row is the same.
        *config = manyRules(state.range(0));
        state.ResumeTiming();
        list.model.sync();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ModelReset)->Arg(100'000)->Unit(benchmark::kMillisecond);

// One rule switched off and on: the model finds the one changed row and the view repaints it.
void BM_OneRowUpdate(benchmark::State& state) {
    const auto config = std::make_shared<Config>(manyRules(state.range(0)));
    ShownList list(config);
    for (auto _ : state) {
        config->bindings[1].enabled = !config->bindings[1].enabled;
        list.model.sync();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_OneRowUpdate)->Arg(100'000)->Arg(10)->Unit(benchmark::kMillisecond);

// The engine as the window sees it, holding still.
class QuietEngine final : public EngineStatus {
  public:
    [[nodiscard]] bool inputAvailable() const override { return true; }
    [[nodiscard]] bool tapInstalled() const override { return true; }
    [[nodiscard]] Subscription observeState(std::function<void()>) override { return {}; }
    void setRecording(bool) override {}
    [[nodiscard]] bool recording() const override { return false; }
};

// The "Ombrel is on" switch flipped with the sidebar and a rule pane shown: the copy of the
// configuration, the window's own work and the save to disk; and each part alone.
void BM_EngineSwitch(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "ombrel-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    // 0 the whole flip, 1 the copy alone, 3 the save alone; the window's share is the rest.
    const int part = static_cast<int>(state.range(1));
    {
        Store store{std::filesystem::path(folder)};
        store.setConfig(manyRules(state.range(0)));
        QuietEngine engine;
        Nav nav;
        Sidebar sidebar(store, engine, nav);
        RulePane pane(store, engine, Pane::keyboard, [](const std::string& id) { return id; }, {});
        sidebar.show();
        pane.resize(640, 560);
        pane.show();
        QApplication::processEvents();
        for (auto _ : state) {
            if (part == 1) {
                Config config = store.config();
                benchmark::DoNotOptimize(config.bindings.data());
            } else if (part == 3) {
                store.save();
            } else {
                Config config = store.config();
                config.engineEnabled = !config.engineEnabled;
                store.setConfig(std::move(config));
                QApplication::processEvents();
            }
        }
    }
    std::filesystem::remove_all(folder);
}
class NoLogin final : public LoginItem {
  public:
    [[nodiscard]] bool enabled() const override { return false; }
    std::optional<std::string> setEnabled(bool) override { return std::nullopt; }
};

// The whole settings window built on a loaded store and painted once: its own share of a start.
void BM_SettingsWindowShown(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "ombrel-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    {
        Store store{std::filesystem::path(folder)};
        store.setConfig(manyRules(state.range(0)));
        QuietEngine engine;
        Nav nav;
        NoLogin login;
        SettingsDeps deps{store,
                          engine,
                          nav,
                          login,
                          [] { return int64_t{1}; },
                          [](quint32) { return std::optional<int64_t>(); },
                          [] { return std::vector<std::string>{}; },
                          [](const std::string& id) { return id; }};
        for (auto _ : state) {
            auto view = makeSettingsView(deps);
            view->resize(860, 580);
            view->show();
            QApplication::processEvents();
            benchmark::DoNotOptimize(view.get());
        }
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SettingsWindowShown)
    ->Arg(10)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_EngineSwitch)
    ->ArgsProduct({{10'000, 100'000}, {0, 1, 3}})
    ->ArgNames({"rules", "part"})
    ->Unit(benchmark::kMillisecond);

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
