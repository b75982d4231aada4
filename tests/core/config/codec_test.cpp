// The settings file format: every reading rule, the writer's form and lossless round trips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
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
const auto mouseDoc = [](Text n) { return triggerDoc(R"({"mouseButton":{"_0":)" + n + "}}"); };

// The reading error, or "" when the text was accepted.
std::string errorOf(const std::string& json) {
    const auto result = decodeConfig(json);
    const auto* error = std::get_if<DecodeError>(&result);
    return error != nullptr ? error->description : "";
}

Config accepted(const std::string& json) {
    const auto result = decodeConfig(json);
    const auto* config = std::get_if<Config>(&result);
    EXPECT_NE(config, nullptr) << errorOf(json) << " in " << json.substr(0, 200);
    return config != nullptr ? *config : Config{};
}

// No text (nothing written) fails the reading.
Config roundTrip(const Config& config) {
    return accepted(encodeConfig(config).value_or(""));
}

// The defaults and one rule with the id above: by default enabled, unscoped, to the left half.
Config one(Trigger trigger, Action action = Action::window(WindowAction::leftHalf),
           std::optional<std::string> scope = std::nullopt, bool enabled = true) {
    Config config{true, true, Mods(6), {}};
    config.bindings.push_back(
        {*Uuid::parse(someId), std::move(trigger), std::move(action), std::move(scope), enabled});
    return config;
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
        // Integers are whole 64-bit numbers.
        mouseDoc("3.5"), mouseDoc("1e-1"), mouseDoc("9223372036854775808"),
        mouseDoc("9223372036854775808.0"), mouseDoc("-1e19"), mouseDoc("1e400"), mouseDoc("true"),
        mouseDoc("\"3\""), mouseDoc("null"),
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
    const std::string bracketsInAString = R"({"x":"\"\\)" + std::string(100, '[') + R"(",)";
    EXPECT_TRUE(errorOf(bracketsInAString).starts_with("The settings text is not valid JSON"));
}

// Every accepted text reads as this config, which the writer gives back unchanged. Integers are
// whole 64-bit numbers; keys that name no case are not counted, at any level.
TEST(CodecReading, AcceptedTextsAndTheirRoundTrips) {
    using K = TrackpadGesture::Kind;
    constexpr auto min = std::numeric_limits<int64_t>::min();
    const Config defaults{true, true, Mods(6), {}};
    const Trigger hotkey = Trigger::hotkey({123, Mods(6)});
    const Action left = Action::window(WindowAction::leftHalf);
    const std::pair<std::string, Config> cases[] = {
        {R"({"engineEnabled":null,"snapEnabled":null,"drawMods":null,"bindings":null})", defaults},
        {R"({"engineEnabled":false,"snapEnabled":false,"drawMods":9,"bindings":[]})",
         {false, false, Mods(9), {}}},
        {R"({"theme":"dark","engineEnabled":false,"x":[1,{}]})", {false, true, Mods(6), {}}},
        {R"({"drawMods":-1})", {true, true, Mods(-1), {}}},
        {"\xEF\xBB\xBF{}", defaults},
        {nestedArrays(63), defaults},
        {mouseDoc("-4"), one(Trigger::mouseButton(-4))},
        {mouseDoc("3.0"), one(Trigger::mouseButton(3))},
        {mouseDoc("-0.0"), one(Trigger::mouseButton(0))},
        {mouseDoc("1e2"), one(Trigger::mouseButton(100))},
        {mouseDoc("9223372036854775807"),
         one(Trigger::mouseButton(std::numeric_limits<int64_t>::max()))},
        {mouseDoc("-9223372036854775808"), one(Trigger::mouseButton(min))},
        {mouseDoc("-9223372036854775808.0"), one(Trigger::mouseButton(min))},
        {triggerDoc(hotkeyJson), one(hotkey)},
        {triggerDoc(R"({"trackpad":{"_0":{"kind":"tipTapRight","fingers":2}}})"),
         one(Trigger::trackpad({K::tipTapRight, 2}))},
        {drawingDoc(R"({"name":"L","points":[{"x":0.1,"y":0.2},{"x":-1,"y":2}]})"),
         one(Trigger::drawing({"L", {{0.1, 0.2}, {-1, 2}}}))},
        {drawingDoc(R"({"name":"","points":[]})"), one(Trigger::drawing({"", {}}))},
        {triggerDoc(R"({"mouseButton":{"_0":3},"note":"x"})"), one(Trigger::mouseButton(3))},
        {triggerDoc(R"({"mouseButton":{"_0":4,"_1":9}})"), one(Trigger::mouseButton(4))},
        {triggerDoc(R"({"hotkey":{"_0":{"keyCode":1,"mods":8,"chars":"s"}}})"),
         one(Trigger::hotkey({1, Mods(8)}))},
        {actionDoc(R"({"keystroke":{"_0":{"keyCode":8,"mods":1}}})"),
         one(hotkey, Action::keystroke({8, Mods(1)}))},
        {actionDoc(R"({"launchApp":{"_0":"/Applications/Editor.app"}})"),
         one(hotkey, Action::launchApp("/Applications/Editor.app"))},
        {actionDoc(R"({"openURL":{"_0":"example.com/ä?q=1"}})"),
         one(hotkey, Action::openURL("example.com/ä?q=1"))},
        {actionDoc(R"({"shell":{"_0":"echo \"a\\tb\" \u00e9 \ud83d\ude00"}})"),
         one(hotkey, Action::shell("echo \"a\\tb\" \xC3\xA9 \xF0\x9F\x98\x80"))},
        // A rule's scope, switch and id (read in any case).
        {ruleDoc(R"("appBundleID":null,"enabled":false,"note":{"a":[1]},)" + idPart),
         one(hotkey, left, std::nullopt, false)},
        {ruleDoc(R"("appBundleID":"org.gnome.Terminal","enabled":true,)" + idPart),
         one(hotkey, left, "org.gnome.Terminal")},
        {ruleDoc(R"("appBundleID":"","enabled":true,)" + idPart), one(hotkey, left, "")},
        {ruleDoc(R"("enabled":true,"id":"3f2504e0-4f89-11d3-9A0c-0305E82C3301")"), one(hotkey)},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json.substr(0, 200));
        EXPECT_EQ(accepted(json), expected);
        EXPECT_EQ(roundTrip(expected), expected);
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
