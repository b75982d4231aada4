// The settings file format: every reading rule, the writer's form and lossless round trips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "config/json_codec.h"

namespace ombrel {
namespace {

const std::string someId = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
const std::string idPart = R"("id":")" + someId + "\"";
const std::string hotkeyJson = R"({"hotkey":{"_0":{"keyCode":123,"mods":6}}})";
const std::string windowJson = R"({"window":{"_0":"leftHalf"}})";

std::string rule(const std::string& trigger, const std::string& action,
                 const std::string& rest = R"("enabled":true,)" + idPart) {
    return R"({"trigger":)" + trigger + R"(,"action":)" + action + "," + rest + "}";
}
using Text = const std::string&;
const auto doc = [](Text rules) { return R"({"bindings":[)" + rules + "]}"; };
const auto triggerDoc = [](Text trigger) { return doc(rule(trigger, windowJson)); };
const auto actionDoc = [](Text action) { return doc(rule(hotkeyJson, action)); };
const auto ruleDoc = [](Text rest) { return doc(rule(hotkeyJson, windowJson, rest)); };
const auto drawingDoc = [](Text body) { return triggerDoc(R"({"drawing":{"_0":)" + body + "}}"); };

// The reading error, or "" when the text was accepted.
std::string errorOf(const std::string& json) {
    const auto result = decodeConfig(json);
    const auto* error = std::get_if<DecodeError>(&result);
    return error != nullptr ? error->description : "";
}

Config accepted(const std::string& json) {
    auto result = decodeConfig(json);
    if (const auto* error = std::get_if<DecodeError>(&result)) {
        ADD_FAILURE() << error->description << " in " << json.substr(0, 200);
        return {};
    }
    return std::get<Config>(std::move(result));
}

Config roundTrip(const Config& config) {
    const std::optional<std::string> text = encodeConfig(config);
    EXPECT_TRUE(text.has_value());
    return text ? accepted(*text) : Config{};
}

// The one rule of the text, after checking that the writer gives the same rule back.
Rule readAndRewrite(const std::string& json) {
    const Config config = accepted(json);
    EXPECT_EQ(config.bindings.size(), 1U);
    EXPECT_EQ(roundTrip(config), config);
    return config.bindings.empty() ? Rule{} : config.bindings[0];
}

std::string nestedObjects(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
        text += R"({"a":)";
    }
    return text + "1" + std::string(depth, '}');
}
std::string nestedArrays(std::size_t depth) {
    return R"({"x":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

TEST(CodecReading, ConfigFieldsAndDefaults) {
    const Config defaults{true, true, Mods(6), {}};
    const std::pair<std::string, Config> cases[] = {
        {R"({"engineEnabled":null,"snapEnabled":null,"drawMods":null,"bindings":null})", defaults},
        {R"({"engineEnabled":false,"snapEnabled":false,"drawMods":9,"bindings":[]})",
         {false, false, Mods(9), {}}},
        {R"({"theme":"dark","engineEnabled":false,"x":[1,{}]})", {false, true, Mods(6), {}}},
        {R"({"drawMods":-1})", {true, true, Mods(-1), {}}},
        {"\xEF\xBB\xBF{}", defaults},
    };
    for (const auto& [json, expected] : cases) {
        EXPECT_EQ(accepted(json), expected) << json;
    }
}

// Any fault anywhere fails the whole text with one error; nothing partial comes back.
TEST(CodecReading, RejectsTheWholeText) {
    const std::string rejected[] = {
        // Not JSON, or not an object.
        "", "{} x", "{} // no", "[]", "{\"x\":\"\xC3\x28\"}", "{\"x\":\"\xE0\x80\xAF\"}",
        R"({"drawMods":01})",
        // Wrong types at the top.
        R"({"engineEnabled":1})", R"({"bindings":{}})", R"({"bindings":[null]})",
        // Rule fields: required ones may be neither missing nor null (one sample of each, as
        // every required member is read the same way).
        ruleDoc(idPart), ruleDoc(R"("enabled":null,)" + idPart),
        ruleDoc(R"("enabled":true,"id":"3F2504E0-4F89-11D3-9A0C-0305E82C330")"),
        ruleDoc(R"("enabled":true,"id":"3F2504E0-4F89-11D3-9A0C-0305E82C330G")"),
        ruleDoc(R"("enabled":true,"id":"3F2504E0_4F89-11D3-9A0C-0305E82C3301")"),
        ruleDoc(R"("appBundleID":5,"enabled":true,)" + idPart),
        doc(R"({"action":)" + windowJson + R"(,"enabled":true,)" + idPart + "}"),
        doc(rule(hotkeyJson, windowJson) + "," + rule(hotkeyJson, R"({"window":{"_0":"x"}})")),
        // The case-keyed form: one case key, its payload under "_0".
        triggerDoc(R"({"hotkey":{"_0":{"keyCode":1,"mods":0}},"mouseButton":{"_0":3}})"),
        triggerDoc("{}"), actionDoc(R"({"note":"x"})"), triggerDoc(R"("hotkey")"),
        triggerDoc(R"({"mouseButton":3})"), triggerDoc(R"({"mouseButton":{"_1":3}})"),
        // Payloads.
        triggerDoc(R"({"hotkey":{"_0":{"keyCode":1}}})"),
        triggerDoc(R"({"trackpad":{"_0":{"kind":"Tap","fingers":3}}})"),
        drawingDoc(R"({"name":"L","points":{}})"), drawingDoc(R"({"name":"L","points":[{"x":1}]})"),
        drawingDoc(R"({"name":"L","points":[{"x":"1","y":2}]})"),
        drawingDoc(R"({"name":"L","points":[[0,1]]})"), actionDoc(R"({"window":{"_0":0}})"),
        actionDoc(R"({"system":{"_0":"reboot"}})"), actionDoc(R"({"shell":{"_0":["ls"]}})"),
        // Hostile depth, also where nothing reads it afterwards, and size.
        nestedArrays(100000), nestedObjects(100000), std::string(100000, '['),
        R"({"x":")" + std::string(std::size_t{64} << 20, 'a') + "\"}"};
    for (const std::string& json : rejected) {
        EXPECT_NE(errorOf(json), "") << json.substr(0, 200);
    }
}

// Too deep is the answer wherever the depth lies: after a syntax error, after a NUL byte (where
// the parser stops reading), inside an unclosed text; brackets inside a string, after an escaped
// quote, are no nesting.
TEST(CodecReading, DepthIsRefusedWhateverElseIsWrong) {
    for (const std::string& json :
         {nestedObjects(65), R"({"a":tru)" + nestedArrays(65),
          std::string("1\0", 2) + nestedArrays(65), R"({"x":[)" + std::string(70, '{')}) {
        EXPECT_EQ(errorOf(json), "The settings text is nested too deeply.") << json;
    }
    EXPECT_EQ(accepted(nestedArrays(63)), Config{});
    const std::string bracketsInAString = R"({"x":"\"\\)" + std::string(100, '[') + R"(",)";
    EXPECT_TRUE(errorOf(bracketsInAString).starts_with("The settings text is not valid JSON"));
}

TEST(CodecReading, IntegersAreWhole64BitNumbers) {
    const auto mouse = [](const std::string& text) {
        return triggerDoc(R"({"mouseButton":{"_0":)" + text + "}}");
    };
    constexpr auto min = std::numeric_limits<int64_t>::min();
    for (const auto& [text, value] : std::initializer_list<std::pair<const char*, int64_t>>{
             {"-4", -4},
             {"3.0", 3},
             {"-0.0", 0},
             {"1e2", 100},
             {"9223372036854775807", std::numeric_limits<int64_t>::max()},
             {"-9223372036854775808", min},
             {"-9223372036854775808.0", min}}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(readAndRewrite(mouse(text)).trigger, Trigger::mouseButton(value));
    }
    for (const char* text : {"3.5", "1e-1", "9223372036854775808", "9223372036854775808.0", "-1e19",
                             "1e400", "true", "\"3\"", "null"}) {
        EXPECT_NE(errorOf(mouse(text)), "") << text;
    }
}

TEST(CodecReading, EveryTriggerAndActionCaseAndBack) {
    using K = TrackpadGesture::Kind;
    const std::pair<std::string, Trigger> triggers[] = {
        {hotkeyJson, Trigger::hotkey({123, Mods(6)})},
        {R"({"trackpad":{"_0":{"kind":"tipTapRight","fingers":2}}})",
         Trigger::trackpad({K::tipTapRight, 2})},
        {R"({"drawing":{"_0":{"name":"L","points":[{"x":0.1,"y":0.2},{"x":-1,"y":2}]}}})",
         Trigger::drawing({"L", {{0.1, 0.2}, {-1, 2}}})},
        {R"({"drawing":{"_0":{"name":"","points":[]}}})", Trigger::drawing({"", {}})},
        // Keys that name no case are not counted, at any level.
        {R"({"mouseButton":{"_0":3},"note":"x"})", Trigger::mouseButton(3)},
        {R"({"mouseButton":{"_0":4,"_1":9}})", Trigger::mouseButton(4)},
        {R"({"hotkey":{"_0":{"keyCode":1,"mods":8,"chars":"s"}}})", Trigger::hotkey({1, Mods(8)})},
    };
    for (const auto& [json, expected] : triggers) {
        SCOPED_TRACE(json);
        EXPECT_EQ(readAndRewrite(triggerDoc(json)).trigger, expected);
    }
    const std::pair<std::string, Action> actions[] = {
        {R"({"keystroke":{"_0":{"keyCode":8,"mods":1}}})", Action::keystroke({8, Mods(1)})},
        {R"({"launchApp":{"_0":"/Applications/Editor.app"}})",
         Action::launchApp("/Applications/Editor.app")},
        {R"({"openURL":{"_0":"example.com/ä?q=1"}})", Action::openURL("example.com/ä?q=1")},
        {R"({"shell":{"_0":"echo \"a\\tb\" \u00e9 \ud83d\ude00"}})",
         Action::shell("echo \"a\\tb\" \xC3\xA9 \xF0\x9F\x98\x80")},
    };
    for (const auto& [json, expected] : actions) {
        SCOPED_TRACE(json);
        EXPECT_EQ(readAndRewrite(actionDoc(json)).action, expected);
    }
}

TEST(CodecReading, ScopeSwitchAndIdOfARule) {
    using Scope = std::optional<std::string>;
    const std::tuple<std::string, Scope, bool> cases[] = {
        {R"("appBundleID":null,"enabled":false,"note":{"a":[1]},)" + idPart, std::nullopt, false},
        {R"("appBundleID":"org.gnome.Terminal","enabled":true,)" + idPart, "org.gnome.Terminal",
         true},
        {R"("appBundleID":"","enabled":true,)" + idPart, "", true},
        {R"("enabled":true,"id":"3f2504e0-4f89-11d3-9A0c-0305E82C3301")", std::nullopt, true},
    };
    for (const auto& [rest, scope, enabled] : cases) {
        SCOPED_TRACE(rest);
        const Rule read = readAndRewrite(ruleDoc(rest));
        EXPECT_EQ(read.appBundleID, scope);
        EXPECT_EQ(read.enabled, enabled);
        EXPECT_EQ(read.id.string(), someId);
    }
}

// The case-keyed form, upper-case ids and no key for an absent scope, as the file has always had.
TEST(CodecWriting, WritesTheCaseKeyedForm) {
    Config config{true, false, Mods(6), {}};
    config.bindings.push_back({*Uuid::parse("3f2504e0-4f89-11d3-9a0c-0305e82c3301"),
                               Trigger::drawing({"d", {{0.5, 0.25}}}),
                               Action::keystroke({8, Mods(1)}), std::nullopt, true});
    const auto expected = nlohmann::json::parse(
        R"({"snapEnabled":false,"engineEnabled":true,"drawMods":6,"bindings":[{"trigger":)"
        R"({"drawing":{"_0":{"points":[{"y":0.25,"x":0.5}],"name":"d"}}},"id":")" +
        someId + R"(","enabled":true,"action":{"keystroke":{"_0":{"mods":1,"keyCode":8}}}}]})");
    EXPECT_EQ(nlohmann::json::parse(encodeConfig(config).value_or("null")), expected);
}

// Decimals come back as the identical value, the sign of zero included; text that is not UTF-8
// is saved with replacement characters rather than losing the save. A coordinate that is not
// finite has no JSON form: the whole config is refused.
TEST(CodecWriting, DecimalsBitExactInvalidUtf8ReplacedNonFiniteRefused) {
    using L = std::numeric_limits<double>;
    const Drawing drawing{"many",
                          {{-0.0, 0.1},
                           {0.30000000000000004, 1.0 / 3.0},
                           {L::min(), L::max()},
                           {L::denorm_min(), -L::epsilon()},
                           {1e23, 9007199254740993.0}}};
    Config config{false, false, Mods(12), {}};
    config.bindings.push_back(
        Rule::make(Trigger::drawing(drawing), Action::shell("echo \xFF\xFE"), std::nullopt, true));
    const Config back = roundTrip(config);
    ASSERT_EQ(back.bindings.size(), 1U);
    EXPECT_EQ(back.bindings[0].trigger, config.bindings[0].trigger);
    EXPECT_TRUE(std::signbit(std::get<Drawing>(back.bindings[0].trigger.payload).points[0].x));
    EXPECT_EQ(std::get<Action::Shell>(back.bindings[0].action.payload).command,
              "echo \uFFFD\uFFFD");
    constexpr double inf = L::infinity();
    for (const Pt bad : {Pt{L::quiet_NaN(), 0}, Pt{0, L::quiet_NaN()}, Pt{inf, 0}, Pt{0, -inf}}) {
        config.bindings[0].trigger = Trigger::drawing({"bad", {{0, 0}, bad}});
        EXPECT_FALSE(encodeConfig(config).has_value()) << bad.x << "," << bad.y;
    }
}

}  // namespace
}  // namespace ombrel
