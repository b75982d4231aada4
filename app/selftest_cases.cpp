// The self-check's cases in report order; adding a check is one line in the table below.
#include <array>
#include <string_view>
#include <variant>

#include "app/selftest.h"
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

constexpr auto cases = std::to_array<SelfTestCase>({
    {"old settings file still loads", oldSettingsFileStillLoads},
    {"config round-trip", configRoundTrip},
});

}  // namespace

std::span<const SelfTestCase> selfTestCases() {
    return cases;
}

}  // namespace ombrel::app
