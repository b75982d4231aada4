// The self-check's cases in report order. Each case is one line in a table that carries its
// place in the list: the configuration cases below, the recogniser and geometry cases in
// app/selftest_checks.cpp.
#include <algorithm>
#include <array>
#include <string_view>
#include <variant>
#include <vector>

#include "app/selftest.h"
#include "app/selftest_checks.h"
#include "config/json_codec.h"
#include "config/model.h"

namespace ombrel::app {
namespace {

bool oldSettingsFileStillLoads() {
    const auto decoded =
        decodeConfig(R"({"engineEnabled":true,"snapEnabled":false,"bindings":[]})");
    const auto* config = std::get_if<Config>(&decoded);
    return config != nullptr && config->engineEnabled && !config->snapEnabled &&
           config->drawMods == Mods(6) && config->bindings.empty();
}

bool configRoundTrip() {
    const Config starter = Config::starter();
    const auto text = encodeConfig(starter);
    if (!text) {
        return false;
    }
    const auto decoded = decodeConfig(*text);
    const auto* config = std::get_if<Config>(&decoded);
    return config != nullptr && config->bindings == starter.bindings;
}

const auto configChecks = std::to_array<selftest::CoreCheck>({
    {21, "old settings file still loads", oldSettingsFileStillLoads},
    {32, "config round-trip", configRoundTrip},
});

std::vector<SelfTestCase> inListOrder() {
    std::vector<selftest::CoreCheck> all(selftest::coreChecks.begin(), selftest::coreChecks.end());
    all.insert(all.end(), configChecks.begin(), configChecks.end());
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.position < b.position; });
    std::vector<SelfTestCase> cases;
    cases.reserve(all.size());
    for (const auto& check : all) {
        cases.push_back({check.name, check.run});
    }
    return cases;
}

}  // namespace

std::span<const SelfTestCase> selfTestCases() {
    static const std::vector<SelfTestCase> cases = inListOrder();
    return cases;
}

}  // namespace ombrel::app
