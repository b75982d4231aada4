// Reads and writes the settings file format; a reading error anywhere fails the whole text.
#include "config/json_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>

namespace ombrel {
namespace {

using Json = nlohmann::json;

// Far deeper than any settings file, far shallower than what could exhaust a stack.
constexpr int maxDepth = 64;
// A settings file is a few kilobytes; anything this large is not one.
constexpr std::size_t maxBytes = std::size_t{64} * 1024 * 1024;

constexpr std::string_view wrongKeyCount = "Invalid number of keys found, expected one.";

// Thrown inside the reader and turned into the one DecodeError of the whole text.
struct Failure {
    std::string description;
};

// The deepest nesting of arrays and objects in the text, found in one pass before parsing so that
// a hostile depth is refused before anything is built; brackets inside strings do not count.
// Everything that walks a parsed document recurses, so the parse must never see such a text.
int nestingDepth(std::string_view text) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;  // the escaped character cannot end the string
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

[[noreturn]] void fail(std::string description) {
    throw Failure{std::move(description)};
}

std::string inQuotes(std::string_view key) {
    return "\"" + std::string(key) + "\"";
}

const char* typeName(const Json& v) {
    if (v.is_null()) {
        return "null";
    }
    if (v.is_boolean()) {
        return "a boolean";
    }
    if (v.is_number()) {
        return "a number";
    }
    if (v.is_string()) {
        return "a string";
    }
    if (v.is_array()) {
        return "an array";
    }
    return "an object";
}

[[noreturn]] void mismatch(std::string_view expected, const Json& found, std::string_view where) {
    fail("Expected " + std::string(expected) + " for " + std::string(where) + " but found " +
         typeName(found) + " instead.");
}

const Json& expectObject(const Json& v, std::string_view where) {
    if (!v.is_object()) {
        mismatch("an object", v, where);
    }
    return v;
}

// Missing and null both read as absent.
const Json* optionalMember(const Json& object, std::string_view key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return nullptr;
    }
    return &*it;
}

const Json& requiredMember(const Json& object, std::string_view key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        fail("No value associated with key " + inQuotes(key) + ".");
    }
    return *it;
}

bool readBool(const Json& v, std::string_view where) {
    if (!v.is_boolean()) {
        mismatch("a boolean", v, where);
    }
    return v.get<bool>();
}

// Whole numbers only; a decimal is accepted when it is exactly a 64-bit integer (3.0, 1e2).
int64_t readInt(const Json& v, std::string_view where) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            fail("The number for " + std::string(where) + " does not fit in a 64-bit integer.");
        }
        return static_cast<int64_t>(u);
    }
    if (v.is_number_integer()) {
        return v.get<int64_t>();
    }
    if (v.is_number_float()) {
        const auto d = v.get<double>();
        constexpr double limit = 9223372036854775808.0;  // 2^63
        if (!std::isfinite(d) || std::trunc(d) != d || d < -limit || d >= limit) {
            fail("The number for " + std::string(where) + " is not a 64-bit integer.");
        }
        return static_cast<int64_t>(d);
    }
    mismatch("an integer", v, where);
}

double readDouble(const Json& v, std::string_view where) {
    if (!v.is_number()) {
        mismatch("a number", v, where);
    }
    return v.get<double>();
}

const std::string& readString(const Json& v, std::string_view where) {
    if (!v.is_string()) {
        mismatch("a string", v, where);
    }
    return v.get_ref<const std::string&>();
}

template <class Enum>
Enum readEnum(const Json& v, std::string_view where,
              std::optional<Enum> (*fromRaw)(std::string_view)) {
    const std::string& raw = readString(v, where);
    const std::optional<Enum> value = fromRaw(raw);
    if (!value) {
        fail("Cannot initialize " + std::string(where) + " from invalid value " + inQuotes(raw) +
             ".");
    }
    return *value;
}

KeyCombo readKeyCombo(const Json& v) {
    expectObject(v, "KeyCombo");
    return KeyCombo{readInt(requiredMember(v, "keyCode"), "keyCode"),
                    Mods(readInt(requiredMember(v, "mods"), "mods"))};
}

TrackpadGesture readGesture(const Json& v) {
    expectObject(v, "TrackpadGesture");
    return TrackpadGesture{
        readEnum<TrackpadGesture::Kind>(requiredMember(v, "kind"), "kind", gestureKindFromRaw),
        readInt(requiredMember(v, "fingers"), "fingers")};
}

Drawing readDrawing(const Json& v) {
    expectObject(v, "Drawing");
    Drawing drawing;
    drawing.name = readString(requiredMember(v, "name"), "name");
    const Json& points = requiredMember(v, "points");
    if (!points.is_array()) {
        mismatch("an array", points, "points");
    }
    drawing.points.reserve(points.size());
    for (const Json& p : points) {
        expectObject(p, "Pt");
        drawing.points.push_back(
            Pt{readDouble(requiredMember(p, "x"), "x"), readDouble(requiredMember(p, "y"), "y")});
    }
    return drawing;
}

// The case-keyed form: exactly one key naming a case; other keys are not counted.
template <std::size_t N>
std::pair<std::size_t, const Json*> readCase(const Json& v, std::string_view where,
                                             const std::array<std::string_view, N>& cases) {
    expectObject(v, where);
    std::optional<std::size_t> found;
    const Json* body = nullptr;
    for (std::size_t i = 0; i < N; ++i) {
        const auto it = v.find(cases[i]);
        if (it == v.end()) {
            continue;
        }
        if (found) {
            fail(std::string(wrongKeyCount));
        }
        found = i;
        body = &*it;
    }
    if (!found) {
        fail(std::string(wrongKeyCount));
    }
    expectObject(*body, cases[*found]);
    return {*found, &requiredMember(*body, "_0")};
}

constexpr std::array<std::string_view, 4> triggerCases = {"hotkey", "trackpad", "mouseButton",
                                                          "drawing"};
constexpr std::array<std::string_view, 6> actionCases = {"window",    "system",  "keystroke",
                                                         "launchApp", "openURL", "shell"};

Trigger readTrigger(const Json& v) {
    const auto [index, payload] = readCase(v, "Trigger", triggerCases);
    switch (index) {
        case 0:
            return Trigger::hotkey(readKeyCombo(*payload));
        case 1:
            return Trigger::trackpad(readGesture(*payload));
        case 2:
            return Trigger::mouseButton(readInt(*payload, "mouseButton"));
        default:
            return Trigger::drawing(readDrawing(*payload));
    }
}

Action readAction(const Json& v) {
    const auto [index, payload] = readCase(v, "Action", actionCases);
    switch (index) {
        case 0:
            return Action::window(
                readEnum<WindowAction>(*payload, "WindowAction", windowActionFromRaw));
        case 1:
            return Action::system(
                readEnum<SystemAction>(*payload, "SystemAction", systemActionFromRaw));
        case 2:
            return Action::keystroke(readKeyCombo(*payload));
        case 3:
            return Action::launchApp(readString(*payload, "launchApp"));
        case 4:
            return Action::openURL(readString(*payload, "openURL"));
        default:
            return Action::shell(readString(*payload, "shell"));
    }
}

Rule readRule(const Json& v) {
    expectObject(v, "Rule");
    Rule rule;
    const std::string& idText = readString(requiredMember(v, "id"), "id");
    const std::optional<Uuid> id = Uuid::parse(idText);
    if (!id) {
        fail("Attempted to decode UUID from invalid UUID string " + inQuotes(idText) + ".");
    }
    rule.id = *id;
    rule.trigger = readTrigger(requiredMember(v, "trigger"));
    rule.action = readAction(requiredMember(v, "action"));
    if (const Json* app = optionalMember(v, "appBundleID")) {
        rule.appBundleID = readString(*app, "appBundleID");
    }
    rule.enabled = readBool(requiredMember(v, "enabled"), "enabled");
    return rule;
}

Config readConfig(const Json& v) {
    expectObject(v, "Config");
    Config config;
    if (const Json* engine = optionalMember(v, "engineEnabled")) {
        config.engineEnabled = readBool(*engine, "engineEnabled");
    }
    if (const Json* snap = optionalMember(v, "snapEnabled")) {
        config.snapEnabled = readBool(*snap, "snapEnabled");
    }
    if (const Json* mods = optionalMember(v, "drawMods")) {
        config.drawMods = Mods(readInt(*mods, "drawMods"));
    }
    if (const Json* bindings = optionalMember(v, "bindings")) {
        if (!bindings->is_array()) {
            mismatch("an array", *bindings, "bindings");
        }
        config.bindings.reserve(bindings->size());
        for (const Json& rule : *bindings) {
            config.bindings.push_back(readRule(rule));
        }
    }
    return config;
}

Json writeKeyCombo(const KeyCombo& combo) {
    return Json{{"keyCode", combo.keyCode}, {"mods", combo.mods.rawValue}};
}

Json caseObject(std::string_view name, Json payload) {
    Json body = Json::object();
    body["_0"] = std::move(payload);
    Json object = Json::object();
    object[std::string(name)] = std::move(body);
    return object;
}

// Nothing when a coordinate has no JSON form.
std::optional<Json> writeTrigger(const Trigger& trigger) {
    struct Visitor {
        std::optional<Json> operator()(const KeyCombo& combo) const {
            return caseObject("hotkey", writeKeyCombo(combo));
        }
        std::optional<Json> operator()(const TrackpadGesture& g) const {
            return caseObject("trackpad", Json{{"kind", rawValue(g.kind)}, {"fingers", g.fingers}});
        }
        std::optional<Json> operator()(const Trigger::MouseButton& b) const {
            return caseObject("mouseButton", b.button);
        }
        std::optional<Json> operator()(const Drawing& d) const {
            Json points = Json::array();
            for (const Pt& p : d.points) {
                if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
                    return std::nullopt;
                }
                points.push_back(Json{{"x", p.x}, {"y", p.y}});
            }
            return caseObject("drawing", Json{{"name", d.name}, {"points", std::move(points)}});
        }
    };
    return std::visit(Visitor{}, trigger.payload);
}

Json writeAction(const Action& action) {
    struct Visitor {
        Json operator()(WindowAction a) const { return caseObject("window", rawValue(a)); }
        Json operator()(SystemAction a) const { return caseObject("system", rawValue(a)); }
        Json operator()(const KeyCombo& c) const {
            return caseObject("keystroke", writeKeyCombo(c));
        }
        Json operator()(const Action::LaunchApp& a) const {
            return caseObject("launchApp", a.path);
        }
        Json operator()(const Action::OpenURL& a) const { return caseObject("openURL", a.text); }
        Json operator()(const Action::Shell& a) const { return caseObject("shell", a.command); }
    };
    return std::visit(Visitor{}, action.payload);
}

}  // namespace

std::variant<Config, DecodeError> decodeConfig(std::string_view json) {
    if (json.size() > maxBytes) {
        return DecodeError{"The settings text is too large to be a settings file."};
    }
    if (nestingDepth(json) > maxDepth) {
        return DecodeError{"The settings text is nested too deeply."};
    }
    try {
        const Json document = Json::parse(json.begin(), json.end());
        return readConfig(document);
    } catch (const Failure& failure) {
        return DecodeError{failure.description};
    } catch (const Json::exception& e) {
        return DecodeError{std::string("The settings text is not valid JSON: ") + e.what()};
    } catch (const std::bad_alloc&) {
        return DecodeError{"The settings text is too large to be read."};
    }
}

std::optional<std::string> encodeConfig(const Config& config) {
    Json bindings = Json::array();
    for (const Rule& rule : config.bindings) {
        std::optional<Json> trigger = writeTrigger(rule.trigger);
        if (!trigger) {
            return std::nullopt;
        }
        Json object = Json::object();
        object["id"] = rule.id.string();
        object["trigger"] = std::move(*trigger);
        object["action"] = writeAction(rule.action);
        if (rule.appBundleID) {
            object["appBundleID"] = *rule.appBundleID;
        }
        object["enabled"] = rule.enabled;
        bindings.push_back(std::move(object));
    }
    Json root = Json::object();
    root["engineEnabled"] = config.engineEnabled;
    root["snapEnabled"] = config.snapEnabled;
    root["drawMods"] = config.drawMods.rawValue;
    root["bindings"] = std::move(bindings);
    // Objects keep their keys in ascending order, so every level comes out sorted. Text that is
    // not valid UTF-8 is written with replacement characters rather than refusing the save.
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace ombrel
