// The settings file format: every reading rule, the writer's form and lossless round trips.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "config/json_codec.h"

namespace ombrel {
namespace {

constexpr std::string_view keyCountError = "Invalid number of keys found, expected one.";
constexpr std::string_view someId = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";

std::string ruleWith(const std::string& trigger, const std::string& action,
                     const std::string& extra = R"("enabled":true,"id":")" + std::string(someId) +
                                                "\"") {
    return R"({"trigger":)" + trigger + R"(,"action":)" + action + "," + extra + "}";
}

std::string documentWith(const std::string& rule) {
    return R"({"bindings":[)" + rule + "]}";
}

const std::string hotkeyJson = R"({"hotkey":{"_0":{"keyCode":123,"mods":6}}})";
const std::string windowJson = R"({"window":{"_0":"leftHalf"}})";

// ---- Config level -------------------------------------------------------------------------------

struct ConfigCase {
    const char* name;
    std::string json;
    bool engineEnabled;
    bool snapEnabled;
    int64_t drawMods;
    std::size_t rules;
};

class ConfigReading : public testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigReading, TakesValuesAndDefaults) {
    const ConfigCase& c = GetParam();
    const auto result = decodeConfig(c.json);
    ASSERT_TRUE(std::holds_alternative<Config>(result))
        << std::get<DecodeError>(result).description;
    const auto& config = std::get<Config>(result);
    EXPECT_EQ(config.engineEnabled, c.engineEnabled);
    EXPECT_EQ(config.snapEnabled, c.snapEnabled);
    EXPECT_EQ(config.drawMods.rawValue, c.drawMods);
    EXPECT_EQ(config.bindings.size(), c.rules);
}

INSTANTIATE_TEST_SUITE_P(
    Codec, ConfigReading,
    testing::Values(
        ConfigCase{"empty_object", "{}", true, true, 6, 0},
        ConfigCase{"old_file_without_drawMods",
                   R"({"engineEnabled":true,"snapEnabled":false,"bindings":[]})", true, false, 6,
                   0},
        ConfigCase{"nulls_take_defaults",
                   R"({"engineEnabled":null,"snapEnabled":null,"drawMods":null,"bindings":null})",
                   true, true, 6, 0},
        ConfigCase{"all_given",
                   R"({"engineEnabled":false,"snapEnabled":false,"drawMods":9,"bindings":[]})",
                   false, false, 9, 0},
        ConfigCase{"unknown_keys_ignored", R"({"theme":"dark","engineEnabled":false,"x":[1,{}]})",
                   false, true, 6, 0},
        ConfigCase{"any_mods_integer_kept", R"({"drawMods":-1})", true, true, -1, 0},
        ConfigCase{"integral_decimal_is_an_integer", R"({"drawMods":12.0})", true, true, 12, 0},
        ConfigCase{"exponent_integer", R"({"drawMods":1e1})", true, true, 10, 0},
        ConfigCase{"byte_order_mark", "\xEF\xBB\xBF{}", true, true, 6, 0},
        ConfigCase{"surrounding_whitespace", " \n\t{}\n ", true, true, 6, 0},
        ConfigCase{"one_rule", documentWith(ruleWith(hotkeyJson, windowJson)), true, true, 6, 1},
        ConfigCase{"rule_with_unknown_keys",
                   documentWith(ruleWith(hotkeyJson, windowJson,
                                         R"("enabled":false,"note":{"a":[1]},"id":")" +
                                             std::string(someId) + "\"")),
                   true, true, 6, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Failures: one error for the whole text --------------------------------------------------

struct FailureCase {
    const char* name;
    std::string json;
    std::string exactError;  // empty: any error will do
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class RejectedText : public testing::TestWithParam<FailureCase> {};

TEST_P(RejectedText, FailsWholeFile) {
    const FailureCase& c = GetParam();
    const auto result = decodeConfig(c.json);
    ASSERT_TRUE(std::holds_alternative<DecodeError>(result));
    const auto& error = std::get<DecodeError>(result);
    EXPECT_FALSE(error.description.empty());
    if (!c.exactError.empty()) {
        EXPECT_EQ(error.description, c.exactError);
    }
}

std::string triggerDoc(const std::string& trigger) {
    return documentWith(ruleWith(trigger, windowJson));
}
std::string actionDoc(const std::string& action) {
    return documentWith(ruleWith(hotkeyJson, action));
}
std::string ruleDoc(const std::string& extra) {
    return documentWith(ruleWith(hotkeyJson, windowJson, extra));
}
const std::string idPart = R"("id":")" + std::string(someId) + "\"";

INSTANTIATE_TEST_SUITE_P(
    Malformed, RejectedText,
    testing::Values(
        FailureCase{"empty_text", "", ""}, FailureCase{"not_json", "hello", ""},
        FailureCase{"truncated", R"({"bindings":[)", ""},
        FailureCase{"trailing_garbage", "{} x", ""}, FailureCase{"two_documents", "{}{}", ""},
        FailureCase{"comment", "{} // no", ""}, FailureCase{"top_level_array", "[]", ""},
        FailureCase{"top_level_null", "null", ""}, FailureCase{"top_level_string", R"("{}")", ""},
        FailureCase{"invalid_utf8", "{\"x\":\"\xC3\x28\"}", ""},
        FailureCase{"number_overflow", R"({"drawMods":1e400})", ""}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    WrongTypes, RejectedText,
    testing::Values(FailureCase{"engine_as_number", R"({"engineEnabled":1})", ""},
                    FailureCase{"snap_as_string", R"({"snapEnabled":"true"})", ""},
                    FailureCase{"mods_fractional", R"({"drawMods":6.5})", ""},
                    FailureCase{"mods_as_string", R"({"drawMods":"6"})", ""},
                    FailureCase{"mods_too_large", R"({"drawMods":9223372036854775808})", ""},
                    FailureCase{"mods_too_large_decimal", R"({"drawMods":1e19})", ""},
                    FailureCase{"mods_below_range", R"({"drawMods":-1e19})", ""},
                    FailureCase{"bindings_as_object", R"({"bindings":{}})", ""},
                    FailureCase{"rule_as_number", R"({"bindings":[1]})", ""},
                    FailureCase{"rule_as_null", R"({"bindings":[null]})", ""}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    RuleFields, RejectedText,
    testing::Values(
        FailureCase{"missing_enabled", ruleDoc(idPart), ""},
        FailureCase{"missing_id", ruleDoc(R"("enabled":true)"), ""},
        FailureCase{"null_enabled", ruleDoc(R"("enabled":null,)" + idPart), ""},
        FailureCase{"null_id", ruleDoc(R"("enabled":true,"id":null)"), ""},
        FailureCase{"enabled_as_number", ruleDoc(R"("enabled":1,)" + idPart), ""},
        FailureCase{"id_too_short",
                    ruleDoc(R"("enabled":true,"id":"3F2504E0-4F89-11D3-9A0C-0305E82C330")"), ""},
        FailureCase{"id_not_hex",
                    ruleDoc(R"("enabled":true,"id":"3F2504E0-4F89-11D3-9A0C-0305E82C330G")"), ""},
        FailureCase{"id_without_hyphens",
                    ruleDoc(R"("enabled":true,"id":"3F2504E04F8911D39A0C0305E82C3301XXXX")"), ""},
        FailureCase{"id_as_number", ruleDoc(R"("enabled":true,"id":5)"), ""},
        FailureCase{"bundle_as_number", ruleDoc(R"("appBundleID":5,"enabled":true,)" + idPart), ""},
        FailureCase{
            "missing_trigger",
            documentWith(R"({"action":)" + windowJson + R"(,"enabled":true,)" + idPart + "}"), ""},
        FailureCase{
            "missing_action",
            documentWith(R"({"trigger":)" + hotkeyJson + R"(,"enabled":true,)" + idPart + "}"), ""},
        // One good rule does not survive a bad one beside it: no partial result.
        FailureCase{"good_rule_then_bad_rule",
                    R"({"bindings":[)" + ruleWith(hotkeyJson, windowJson) + "," +
                        ruleWith(hotkeyJson, R"({"window":{"_0":"leftQuarter"}})") + "]}",
                    ""}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    CaseKeys, RejectedText,
    testing::Values(
        FailureCase{
            "trigger_two_cases",
            triggerDoc(R"({"hotkey":{"_0":{"keyCode":1,"mods":0}},"mouseButton":{"_0":3}})"),
            std::string(keyCountError)},
        FailureCase{"trigger_empty", triggerDoc("{}"), std::string(keyCountError)},
        FailureCase{"trigger_unknown_case", triggerDoc(R"({"button":{"_0":3}})"),
                    std::string(keyCountError)},
        FailureCase{"action_two_cases",
                    actionDoc(R"({"window":{"_0":"leftHalf"},"system":{"_0":"mute"}})"),
                    std::string(keyCountError)},
        FailureCase{"action_empty", actionDoc("{}"), std::string(keyCountError)},
        FailureCase{"action_only_unknown", actionDoc(R"({"note":"x"})"),
                    std::string(keyCountError)},
        FailureCase{"trigger_as_string", triggerDoc(R"("hotkey")"), ""},
        FailureCase{"case_body_not_object", triggerDoc(R"({"mouseButton":3})"), ""},
        FailureCase{"case_body_without_payload", triggerDoc(R"({"mouseButton":{"_1":3}})"), ""},
        FailureCase{"payload_null", triggerDoc(R"({"mouseButton":{"_0":null}})"), ""}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Payloads, RejectedText,
    testing::Values(
        FailureCase{"hotkey_without_mods", triggerDoc(R"({"hotkey":{"_0":{"keyCode":1}}})"), ""},
        FailureCase{"hotkey_without_code", triggerDoc(R"({"hotkey":{"_0":{"mods":1}}})"), ""},
        FailureCase{"hotkey_fractional_code",
                    triggerDoc(R"({"hotkey":{"_0":{"keyCode":1.5,"mods":0}}})"), ""},
        FailureCase{"hotkey_code_as_string",
                    triggerDoc(R"({"hotkey":{"_0":{"keyCode":"1","mods":0}}})"), ""},
        FailureCase{"gesture_unknown_kind",
                    triggerDoc(R"({"trackpad":{"_0":{"kind":"pinch","fingers":3}}})"), ""},
        FailureCase{"gesture_kind_wrong_case",
                    triggerDoc(R"({"trackpad":{"_0":{"kind":"Tap","fingers":3}}})"), ""},
        FailureCase{"gesture_without_fingers", triggerDoc(R"({"trackpad":{"_0":{"kind":"tap"}}})"),
                    ""},
        FailureCase{"mouse_fractional", triggerDoc(R"({"mouseButton":{"_0":3.25}})"), ""},
        FailureCase{"drawing_without_points", triggerDoc(R"({"drawing":{"_0":{"name":"L"}}})"), ""},
        FailureCase{"drawing_null_name",
                    triggerDoc(R"({"drawing":{"_0":{"name":null,"points":[]}}})"), ""},
        FailureCase{"point_without_y",
                    triggerDoc(R"({"drawing":{"_0":{"name":"L","points":[{"x":1}]}}})"), ""},
        FailureCase{"point_as_string",
                    triggerDoc(R"({"drawing":{"_0":{"name":"L","points":[{"x":"1","y":2}]}}})"),
                    ""},
        FailureCase{"points_as_object",
                    triggerDoc(R"({"drawing":{"_0":{"name":"L","points":{}}}})"), ""},
        FailureCase{"window_unknown", actionDoc(R"({"window":{"_0":"leftQuarter"}})"), ""},
        FailureCase{"window_as_number", actionDoc(R"({"window":{"_0":0}})"), ""},
        FailureCase{"system_unknown", actionDoc(R"({"system":{"_0":"reboot"}})"), ""},
        FailureCase{"keystroke_without_mods", actionDoc(R"({"keystroke":{"_0":{"keyCode":8}}})"),
                    ""},
        FailureCase{"launch_as_number", actionDoc(R"({"launchApp":{"_0":1}})"), ""},
        FailureCase{"url_as_null", actionDoc(R"({"openURL":{"_0":null}})"), ""},
        FailureCase{"shell_as_array", actionDoc(R"({"shell":{"_0":["ls"]}})"), ""}),
    [](const auto& info) { return std::string(info.param.name); });

std::string nested(std::size_t depth, char open, char close, const std::string& core = "") {
    return std::string(depth, open) + core + std::string(depth, close);
}
std::string nestedObjects(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
        text += R"({"a":)";
    }
    text += "1";
    text += std::string(depth, '}');
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, RejectedText,
    testing::Values(FailureCase{"deep_arrays", nested(100000, '[', ']'), ""},
                    FailureCase{"deep_unclosed_arrays", std::string(100000, '['), ""},
                    FailureCase{"deep_arrays_under_unknown_key",
                                R"({"x":)" + nested(100000, '[', ']') + "}", ""},
                    FailureCase{"deep_objects", nestedObjects(100000), ""},
                    FailureCase{"deep_in_a_drawing",
                                triggerDoc(R"({"drawing":{"_0":{"name":"L","points":)" +
                                           nested(50000, '[', ']') + "}}}"),
                                ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Codec, ModerateNestingInUnknownKeysIsFine) {
    const auto result = decodeConfig(R"({"x":)" + nested(40, '[', ']') + "}");
    EXPECT_TRUE(std::holds_alternative<Config>(result));
}

// ---- Integers ----------------------------------------------------------------------------------

struct IntegerCase {
    const char* text;
    std::optional<int64_t> expected;
};

class IntegerField : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerField, AcceptsOnlyWhole64BitNumbers) {
    const auto result =
        decodeConfig(triggerDoc(R"({"mouseButton":{"_0":)" + std::string(GetParam().text) + "}}"));
    if (!GetParam().expected) {
        EXPECT_TRUE(std::holds_alternative<DecodeError>(result)) << GetParam().text;
        return;
    }
    ASSERT_TRUE(std::holds_alternative<Config>(result)) << GetParam().text;
    const auto* button = std::get<Config>(result).bindings.at(0).trigger.asMouseButton();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(*button, *GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codec, IntegerField,
    testing::Values(IntegerCase{"3", 3}, IntegerCase{"-4", -4}, IntegerCase{"0", 0},
                    IntegerCase{"3.0", 3}, IntegerCase{"-0.0", 0}, IntegerCase{"1e2", 100},
                    IntegerCase{"3.5", std::nullopt}, IntegerCase{"1e-1", std::nullopt},
                    IntegerCase{"9223372036854775807", std::numeric_limits<int64_t>::max()},
                    IntegerCase{"-9223372036854775808", std::numeric_limits<int64_t>::min()},
                    IntegerCase{"9223372036854775808", std::nullopt},
                    IntegerCase{"18446744073709551615", std::nullopt},
                    IntegerCase{"9.3e18", std::nullopt}, IntegerCase{"true", std::nullopt},
                    IntegerCase{"\"3\"", std::nullopt}, IntegerCase{"[3]", std::nullopt}));

// ---- Case payloads ------------------------------------------------------------------------------

struct TriggerCase {
    const char* name;
    std::string json;
    Trigger expected;
};

class TriggerReading : public testing::TestWithParam<TriggerCase> {};

TEST_P(TriggerReading, ReadsEveryCase) {
    const auto result = decodeConfig(triggerDoc(GetParam().json));
    ASSERT_TRUE(std::holds_alternative<Config>(result))
        << std::get<DecodeError>(result).description;
    EXPECT_EQ(std::get<Config>(result).bindings.at(0).trigger, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codec, TriggerReading,
    testing::Values(
        TriggerCase{"hotkey", hotkeyJson, Trigger::hotkey({123, Mods(6)})},
        TriggerCase{"trackpad", R"({"trackpad":{"_0":{"kind":"tipTapRight","fingers":2}}})",
                    Trigger::trackpad({TrackpadGesture::Kind::tipTapRight, 2})},
        TriggerCase{"mouse", R"({"mouseButton":{"_0":3}})", Trigger::mouseButton(3)},
        TriggerCase{
            "drawing",
            R"({"drawing":{"_0":{"name":"L","points":[{"x":0.1,"y":0.2},{"x":-1,"y":2}]}}})",
            Trigger::drawing({"L", {{0.1, 0.2}, {-1, 2}}})},
        TriggerCase{"drawing_empty", R"({"drawing":{"_0":{"name":"","points":[]}}})",
                    Trigger::drawing({"", {}})},
        TriggerCase{"unknown_key_beside_case", R"({"mouseButton":{"_0":3},"note":"x"})",
                    Trigger::mouseButton(3)},
        TriggerCase{"unknown_key_in_case_body", R"({"mouseButton":{"_0":4,"_1":9}})",
                    Trigger::mouseButton(4)},
        TriggerCase{"unknown_key_in_payload",
                    R"({"hotkey":{"_0":{"keyCode":1,"mods":8,"chars":"s"}}})",
                    Trigger::hotkey({1, Mods(8)})}),
    [](const auto& info) { return std::string(info.param.name); });

struct ActionCase {
    const char* name;
    std::string json;
    Action expected;
};

class ActionReading : public testing::TestWithParam<ActionCase> {};

TEST_P(ActionReading, ReadsEveryCase) {
    const auto result = decodeConfig(actionDoc(GetParam().json));
    ASSERT_TRUE(std::holds_alternative<Config>(result))
        << std::get<DecodeError>(result).description;
    EXPECT_EQ(std::get<Config>(result).bindings.at(0).action, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codec, ActionReading,
    testing::Values(ActionCase{"window", R"({"window":{"_0":"nextDisplay"}})",
                               Action::window(WindowAction::nextDisplay)},
                    ActionCase{"system", R"({"system":{"_0":"missionControl"}})",
                               Action::system(SystemAction::missionControl)},
                    ActionCase{"keystroke", R"({"keystroke":{"_0":{"keyCode":8,"mods":1}}})",
                               Action::keystroke({8, Mods(1)})},
                    ActionCase{"launchApp", R"({"launchApp":{"_0":"/Applications/Editor.app"}})",
                               Action::launchApp("/Applications/Editor.app")},
                    ActionCase{"openURL", R"({"openURL":{"_0":"example.com/ä?q=1"}})",
                               Action::openURL("example.com/ä?q=1")},
                    ActionCase{"shell", R"({"shell":{"_0":"open ~/Downloads"}})",
                               Action::shell("open ~/Downloads")},
                    ActionCase{"escaped_text",
                               R"({"shell":{"_0":"echo \"a\\tb\" \u00e9 \ud83d\ude00"}})",
                               Action::shell("echo \"a\\tb\" \xC3\xA9 \xF0\x9F\x98\x80")}),
    [](const auto& info) { return std::string(info.param.name); });

struct ScopeCase {
    const char* name;
    std::string extra;
    std::optional<std::string> appBundleID;
    bool enabled;
};

class RuleReading : public testing::TestWithParam<ScopeCase> {};

TEST_P(RuleReading, ReadsScopeAndSwitch) {
    const auto result = decodeConfig(ruleDoc(GetParam().extra));
    ASSERT_TRUE(std::holds_alternative<Config>(result))
        << std::get<DecodeError>(result).description;
    const Rule& rule = std::get<Config>(result).bindings.at(0);
    EXPECT_EQ(rule.appBundleID, GetParam().appBundleID);
    EXPECT_EQ(rule.enabled, GetParam().enabled);
    EXPECT_EQ(rule.id.string(), someId);
}

INSTANTIATE_TEST_SUITE_P(
    Codec, RuleReading,
    testing::Values(
        ScopeCase{"scope_missing", R"("enabled":true,)" + idPart, std::nullopt, true},
        ScopeCase{"scope_null", R"("appBundleID":null,"enabled":false,)" + idPart, std::nullopt,
                  false},
        ScopeCase{"scope_given", R"("appBundleID":"org.gnome.Terminal","enabled":true,)" + idPart,
                  "org.gnome.Terminal", true},
        ScopeCase{"scope_empty_string", R"("appBundleID":"","enabled":true,)" + idPart, "", true},
        ScopeCase{"id_lower_case", R"("enabled":true,"id":"3f2504e0-4f89-11d3-9a0c-0305e82c3301")",
                  std::nullopt, true},
        ScopeCase{"id_mixed_case", R"("enabled":true,"id":"3f2504E0-4F89-11d3-9A0c-0305e82C3301")",
                  std::nullopt, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Writing
// --------------------------------------------------------------------------------------

Config everyCase() {
    Config config;
    config.engineEnabled = false;
    config.snapEnabled = true;
    config.drawMods = Mods(12);
    const std::vector<Trigger> triggers = {
        Trigger::hotkey({123, Mods(6)}),
        Trigger::trackpad({TrackpadGesture::Kind::swipeLeft, 4}),
        Trigger::mouseButton(7),
        Trigger::drawing({"zig", {{-0.5, 0.25}, {0.1, 0.2}, {1e-300, -3.5e12}}}),
        Trigger::drawing({"", {}}),
        Trigger::hotkey({-1, Mods(-9)}),
    };
    const std::vector<Action> actions = {
        Action::window(WindowAction::rightTwoThirds),
        Action::system(SystemAction::volumeDown),
        Action::keystroke({8, Mods(1)}),
        Action::launchApp("/usr/share/app.desktop"),
        Action::openURL("https://example.com/a b"),
        Action::shell("printf '%s\\n' \"é\""),
    };
    for (std::size_t i = 0; i < triggers.size(); ++i) {
        std::optional<std::string> scope;
        if (i % 2 == 1) {
            scope = "app." + std::to_string(i);
        }
        config.bindings.push_back(Rule::make(triggers[i], actions[i], scope, i % 3 != 0));
    }
    return config;
}

Config roundTrip(const Config& config) {
    const std::optional<std::string> text = encodeConfig(config);
    EXPECT_TRUE(text.has_value());
    if (!text) {
        return {};
    }
    auto decoded = decodeConfig(*text);
    EXPECT_TRUE(std::holds_alternative<Config>(decoded))
        << std::get<DecodeError>(decoded).description;
    return std::holds_alternative<Config>(decoded) ? std::get<Config>(decoded) : Config{};
}

TEST(CodecWriting, StarterSurvivesRoundTripWithIds) {
    const Config starter = Config::starter();
    const Config back = roundTrip(starter);
    EXPECT_EQ(back.bindings, starter.bindings);
    EXPECT_EQ(back, starter);
}

TEST(CodecWriting, EveryCaseSurvivesRoundTrip) {
    const Config config = everyCase();
    EXPECT_EQ(roundTrip(config), config);
}

TEST(CodecWriting, RuleHasTheCaseKeyedForm) {
    Config config;
    Rule rule = Rule::make(Trigger::hotkey({123, Mods(6)}), Action::window(WindowAction::leftHalf),
                           std::nullopt, true);
    rule.id = *Uuid::parse(someId);
    config.bindings.push_back(rule);
    const auto text = encodeConfig(config);
    ASSERT_TRUE(text);
    const auto written = nlohmann::json::parse(*text);
    const auto expected = nlohmann::json::parse(
        R"({"bindings":[{"action":{"window":{"_0":"leftHalf"}},"enabled":true,)"
        R"("id":"3F2504E0-4F89-11D3-9A0C-0305E82C3301",)"
        R"("trigger":{"hotkey":{"_0":{"keyCode":123,"mods":6}}}}],)"
        R"("drawMods":6,"engineEnabled":true,"snapEnabled":true})");
    EXPECT_EQ(written, expected);
}

TEST(CodecWriting, IdsAreUpperCase) {
    Config config;
    config.bindings.push_back(Rule::make(Trigger::mouseButton(3),
                                         Action::system(SystemAction::mute), std::nullopt, true));
    config.bindings.back().id = *Uuid::parse("abcdef01-2345-6789-abcd-ef0123456789");
    const auto text = encodeConfig(config);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\"ABCDEF01-2345-6789-ABCD-EF0123456789\""), std::string::npos) << *text;
}

// Positions of the keys in the text, which must rise.
void expectKeysInOrder(const std::string& text, const std::vector<std::string>& keys) {
    std::size_t previous = 0;
    for (const std::string& key : keys) {
        const std::size_t at = text.find("\"" + key + "\"", previous);
        ASSERT_NE(at, std::string::npos) << key << " missing or out of order in\n" << text;
        previous = at;
    }
}

TEST(CodecWriting, KeysAreSortedAtEveryLevelAndPrettyPrinted) {
    Config config;
    config.bindings.push_back(Rule::make(Trigger::drawing({"d", {{1, 2}}}),
                                         Action::keystroke({8, Mods(1)}), "app.x", true));
    const auto text = encodeConfig(config);
    ASSERT_TRUE(text);
    expectKeysInOrder(*text, {"bindings", "action", "keystroke", "_0", "keyCode", "mods",
                              "appBundleID", "enabled", "id", "trigger", "drawing", "_0", "name",
                              "points", "x", "y", "drawMods", "engineEnabled", "snapEnabled"});
    EXPECT_NE(text->find("\n  \"bindings\""), std::string::npos) << *text;
}

TEST(CodecWriting, AbsentScopeIsLeftOut) {
    Config config;
    config.bindings.push_back(Rule::make(Trigger::mouseButton(3),
                                         Action::system(SystemAction::mute), std::nullopt, false));
    const auto text = encodeConfig(config);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->find("appBundleID"), std::string::npos);
    EXPECT_NE(text->find("\"enabled\": false"), std::string::npos) << *text;
}

class NonFiniteCoordinate : public testing::TestWithParam<Pt> {};

TEST_P(NonFiniteCoordinate, RefusesToEncode) {
    Config config = everyCase();
    config.bindings.push_back(Rule::make(Trigger::drawing({"bad", {{0, 0}, GetParam()}}),
                                         Action::shell("true"), std::nullopt, true));
    EXPECT_FALSE(encodeConfig(config).has_value());
}

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
INSTANTIATE_TEST_SUITE_P(Codec, NonFiniteCoordinate,
                         testing::Values(Pt{nan, 0}, Pt{0, nan}, Pt{inf, 0}, Pt{0, -inf},
                                         Pt{-inf, inf}));

TEST(CodecWriting, InvalidUtf8TextStillSaves) {
    Config config;
    config.bindings.push_back(
        Rule::make(Trigger::mouseButton(3), Action::shell("echo \xFF\xFE"), std::nullopt, true));
    const auto back = roundTrip(config);
    ASSERT_EQ(back.bindings.size(), 1U);
    const auto* shell = std::get_if<Action::Shell>(&back.bindings[0].action.payload);
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(shell->command.rfind("echo ", 0), 0U);
}

// Decimals must come back as the identical 64-bit pattern, not just a close value.
TEST(CodecWriting, DecimalsRoundTripBitExactly) {
    std::vector<double> values = {0.1,
                                  -0.0,
                                  0.30000000000000004,
                                  1.0 / 3.0,
                                  std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::max(),
                                  -std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::epsilon(),
                                  9007199254740993.0,
                                  123456789012345680000.0,
                                  2.2250738585072011e-308,
                                  1e23,
                                  5e-324,
                                  0.5};
    std::mt19937_64 random(20240611);
    while (values.size() < 4000) {
        const double d = std::bit_cast<double>(random());
        if (std::isfinite(d)) {
            values.push_back(d);
        }
    }
    Drawing drawing{"many", {}};
    for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
        drawing.points.push_back({values[i], values[i + 1]});
    }
    Config config;
    config.bindings.push_back(
        Rule::make(Trigger::drawing(drawing), Action::shell("x"), std::nullopt, true));
    const Config back = roundTrip(config);
    ASSERT_EQ(back.bindings.size(), 1U);
    const Drawing* read = back.bindings[0].trigger.asDrawing();
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->points.size(), drawing.points.size());
    for (std::size_t i = 0; i < drawing.points.size(); ++i) {
        EXPECT_EQ(std::bit_cast<uint64_t>(read->points[i].x),
                  std::bit_cast<uint64_t>(drawing.points[i].x))
            << drawing.points[i].x;
        EXPECT_EQ(std::bit_cast<uint64_t>(read->points[i].y),
                  std::bit_cast<uint64_t>(drawing.points[i].y))
            << drawing.points[i].y;
    }
}

}  // namespace
}  // namespace ombrel
