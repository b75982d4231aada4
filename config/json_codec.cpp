// Reads and writes the settings file format; a reading error anywhere fails the whole text.
#include "config/json_codec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// The deepest nesting of arrays and objects in the text; brackets inside strings do not count.
// A text nested deeper than maxDepth is refused as such, whatever else is wrong with it. For the
// part of a text that parses, this is the parser's own depth, so the parse stops at that depth
// and only a text that fails to parse (or that the parser does not read to its end) needs the
// whole count.
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

// One value of a parsed text, as nlohmann tells them apart.
enum class Type : uint8_t { null, boolean, integer, unsignedInteger, real, string, array, object };
// Where a string lies in the document's buffer. A settings text is far below 4 GiB.
struct Slice {
    uint32_t offset = 0;
    uint32_t length = 0;
};
union Number {
    int64_t i;
    uint64_t u;  // also a container's member count
    double d;
};
struct Node {
    Type type;
    uint32_t end;  // the index after its last member: its next sibling's
    Slice key;     // its key in the enclosing object
    union {
        Slice text;  // a string's
        Number number;
    };
};

// A parsed settings text, held flat: every value a node in document order (a container followed
// by its members), every string in one buffer. nlohmann's SAX parser builds it, so the grammar,
// the numbers and the parse errors are those of its tree, without a node allocated per value
// and a tree of maps to tear down afterwards.
class Document {
  public:
    // Room for the text's values at once: a settings text spends well over 16 bytes on each.
    explicit Document(std::size_t textSize) {
        nodes_.reserve(textSize / 16);
        strings_.reserve(textSize / 4);
    }

    // One value; a view into its document.
    class Value {
      public:
        Value(const Document& document, uint32_t index) : d_(&document), i_(index) {}

        [[nodiscard]] bool is_null() const { return type() == Type::null; }
        [[nodiscard]] bool is_boolean() const { return type() == Type::boolean; }
        [[nodiscard]] bool is_number() const { return is_number_integer() || type() == Type::real; }
        // Both signed and unsigned, as nlohmann counts them.
        [[nodiscard]] bool is_number_integer() const {
            return type() == Type::integer || type() == Type::unsignedInteger;
        }
        [[nodiscard]] bool is_number_unsigned() const { return type() == Type::unsignedInteger; }
        [[nodiscard]] bool is_number_float() const { return type() == Type::real; }
        [[nodiscard]] bool is_string() const { return type() == Type::string; }
        [[nodiscard]] bool is_array() const { return type() == Type::array; }
        [[nodiscard]] bool is_object() const { return type() == Type::object; }

        [[nodiscard]] bool boolean() const { return node().number.u != 0; }
        [[nodiscard]] int64_t integer() const { return node().number.i; }
        [[nodiscard]] uint64_t unsignedInteger() const { return node().number.u; }
        [[nodiscard]] double real() const {
            switch (type()) {
                case Type::integer:
                    return static_cast<double>(node().number.i);
                case Type::unsignedInteger:
                    return static_cast<double>(node().number.u);
                default:
                    return node().number.d;
            }
        }
        [[nodiscard]] std::string_view string() const { return d_->text(node().text); }

        // The members of an object or the elements of an array, in document order.
        [[nodiscard]] std::size_t size() const { return node().number.u; }
        class Iterator {
          public:
            Iterator(const Document& d, uint32_t i) : d_(&d), i_(i) {}
            Value operator*() const { return {*d_, i_}; }
            Iterator& operator++() {
                i_ = d_->nodes_[i_].end;
                return *this;
            }
            bool operator!=(const Iterator& o) const { return i_ != o.i_; }

          private:
            const Document* d_;
            uint32_t i_;
        };
        [[nodiscard]] Iterator begin() const { return {*d_, i_ + 1}; }
        [[nodiscard]] Iterator end() const { return {*d_, node().end}; }

        // The member under the key; of several with that key the last, as in nlohmann's tree.
        [[nodiscard]] std::optional<Value> find(std::string_view key) const {
            std::optional<Value> found;
            for (const Value member : *this) {
                if (d_->text(member.node().key) == key) {
                    found = member;
                }
            }
            return found;
        }

      private:
        [[nodiscard]] const Node& node() const { return d_->nodes_[i_]; }
        [[nodiscard]] Type type() const { return node().type; }
        const Document* d_;
        uint32_t i_;
    };

    [[nodiscard]] Value root() const { return {*this, 0}; }

    // The SAX events of nlohmann's parser.
    bool null() { return add(Type::null); }
    bool boolean(bool value) { return add(Type::boolean, {.u = value ? 1U : 0U}); }
    bool number_integer(int64_t value) { return add(Type::integer, {.i = value}); }
    bool number_unsigned(uint64_t value) { return add(Type::unsignedInteger, {.u = value}); }
    bool number_float(double value, const std::string& /*text*/) {
        return add(Type::real, {.d = value});
    }
    bool string(std::string& value) {
        add(Type::string);
        nodes_.back().text = store(value);
        return true;
    }
    bool binary(Json::binary_t& /*value*/) { return false; }  // not in JSON text
    bool start_object(std::size_t /*size*/) { return open(Type::object); }
    bool key(std::string& value) {
        key_ = store(value);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t /*size*/) { return open(Type::array); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                     const nlohmann::detail::exception& e) {
        error_ = e.what();
        return false;
    }
    [[nodiscard]] const std::string& error() const { return error_; }
    // True once the parse went deeper than maxDepth (where it stops).
    [[nodiscard]] bool tooDeep() const { return open_.size() > std::size_t{maxDepth}; }

  private:
    Slice store(const std::string& s) {
        const Slice slice{static_cast<uint32_t>(strings_.size()), static_cast<uint32_t>(s.size())};
        strings_ += s;
        return slice;
    }
    [[nodiscard]] std::string_view text(Slice s) const {
        return std::string_view(strings_).substr(s.offset, s.length);
    }
    bool add(Type type, Number number = {.u = 0}) {
        const auto index = static_cast<uint32_t>(nodes_.size());
        nodes_.push_back(Node{type, index + 1, key_, {.number = number}});
        key_ = {};
        if (!open_.empty()) {
            ++nodes_[open_.back()].number.u;
        }
        return true;
    }
    bool open(Type type) {
        add(type);
        open_.push_back(static_cast<uint32_t>(nodes_.size() - 1));
        return !tooDeep();
    }
    bool close() {
        nodes_[open_.back()].end = static_cast<uint32_t>(nodes_.size());
        open_.pop_back();
        return true;
    }

    std::vector<Node> nodes_;
    std::string strings_;
    std::vector<uint32_t> open_;  // the containers not yet closed, outermost first
    Slice key_;
    std::string error_;
};

using Value = Document::Value;

[[noreturn]] void fail(std::string description) {
    throw Failure{std::move(description)};
}

std::string inQuotes(std::string_view key) {
    return "\"" + std::string(key) + "\"";
}

const char* typeName(const Value& v) {
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

[[noreturn]] void mismatch(std::string_view expected, const Value& found, std::string_view where) {
    fail("Expected " + std::string(expected) + " for " + std::string(where) + " but found " +
         typeName(found) + " instead.");
}

const Value& expectObject(const Value& v, std::string_view where) {
    if (!v.is_object()) {
        mismatch("an object", v, where);
    }
    return v;
}

// Missing and null both read as absent.
std::optional<Value> optionalMember(const Value& object, std::string_view key) {
    const auto member = object.find(key);
    if (!member || member->is_null()) {
        return std::nullopt;
    }
    return member;
}

Value requiredMember(const Value& object, std::string_view key) {
    const auto member = object.find(key);
    if (!member) {
        fail("No value associated with key " + inQuotes(key) + ".");
    }
    return *member;
}

bool readBool(const Value& v, std::string_view where) {
    if (!v.is_boolean()) {
        mismatch("a boolean", v, where);
    }
    return v.boolean();
}

// Whole numbers only; a decimal is accepted when it is exactly a 64-bit integer (3.0, 1e2).
int64_t readInt(const Value& v, std::string_view where) {
    if (v.is_number_unsigned()) {
        const auto u = v.unsignedInteger();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            fail("The number for " + std::string(where) + " does not fit in a 64-bit integer.");
        }
        return static_cast<int64_t>(u);
    }
    if (v.is_number_integer()) {
        return v.integer();
    }
    if (v.is_number_float()) {
        const auto d = v.real();
        constexpr double limit = 9223372036854775808.0;  // 2^63
        if (!std::isfinite(d) || std::trunc(d) != d || d < -limit || d >= limit) {
            fail("The number for " + std::string(where) + " is not a 64-bit integer.");
        }
        return static_cast<int64_t>(d);
    }
    mismatch("an integer", v, where);
}

double readDouble(const Value& v, std::string_view where) {
    if (!v.is_number()) {
        mismatch("a number", v, where);
    }
    return v.real();
}

std::string_view readString(const Value& v, std::string_view where) {
    if (!v.is_string()) {
        mismatch("a string", v, where);
    }
    return v.string();
}

template <class Enum>
Enum readEnum(const Value& v, std::string_view where,
              std::optional<Enum> (*fromRaw)(std::string_view)) {
    const std::string_view raw = readString(v, where);
    const std::optional<Enum> value = fromRaw(raw);
    if (!value) {
        fail("Cannot initialize " + std::string(where) + " from invalid value " + inQuotes(raw) +
             ".");
    }
    return *value;
}

KeyCombo readKeyCombo(const Value& v) {
    expectObject(v, "KeyCombo");
    return KeyCombo{readInt(requiredMember(v, "keyCode"), "keyCode"),
                    Mods(readInt(requiredMember(v, "mods"), "mods"))};
}

TrackpadGesture readGesture(const Value& v) {
    expectObject(v, "TrackpadGesture");
    return TrackpadGesture{
        readEnum<TrackpadGesture::Kind>(requiredMember(v, "kind"), "kind", gestureKindFromRaw),
        readInt(requiredMember(v, "fingers"), "fingers")};
}

Drawing readDrawing(const Value& v) {
    expectObject(v, "Drawing");
    Drawing drawing;
    drawing.name = readString(requiredMember(v, "name"), "name");
    const Value points = requiredMember(v, "points");
    if (!points.is_array()) {
        mismatch("an array", points, "points");
    }
    drawing.points.reserve(points.size());
    for (const Value p : points) {
        expectObject(p, "Pt");
        drawing.points.push_back(
            Pt{readDouble(requiredMember(p, "x"), "x"), readDouble(requiredMember(p, "y"), "y")});
    }
    return drawing;
}

// The case-keyed form: exactly one key naming a case; other keys are not counted.
template <std::size_t N>
std::pair<std::size_t, Value> readCase(const Value& v, std::string_view where,
                                       const std::array<std::string_view, N>& cases) {
    expectObject(v, where);
    std::optional<std::size_t> found;
    std::optional<Value> body;
    for (std::size_t i = 0; i < N; ++i) {
        const auto member = v.find(cases[i]);
        if (!member) {
            continue;
        }
        if (found) {
            fail(std::string(wrongKeyCount));
        }
        found = i;
        body = member;
    }
    if (!found) {
        fail(std::string(wrongKeyCount));
    }
    expectObject(*body, cases[*found]);
    return {*found, requiredMember(*body, "_0")};
}

constexpr std::array<std::string_view, 4> triggerCases = {"hotkey", "trackpad", "mouseButton",
                                                          "drawing"};
constexpr std::array<std::string_view, 6> actionCases = {"window",    "system",  "keystroke",
                                                         "launchApp", "openURL", "shell"};

Trigger readTrigger(const Value& v) {
    const auto [index, payload] = readCase(v, "Trigger", triggerCases);
    switch (index) {
        case 0:
            return Trigger::hotkey(readKeyCombo(payload));
        case 1:
            return Trigger::trackpad(readGesture(payload));
        case 2:
            return Trigger::mouseButton(readInt(payload, "mouseButton"));
        default:
            return Trigger::drawing(readDrawing(payload));
    }
}

Action readAction(const Value& v) {
    const auto [index, payload] = readCase(v, "Action", actionCases);
    switch (index) {
        case 0:
            return Action::window(
                readEnum<WindowAction>(payload, "WindowAction", windowActionFromRaw));
        case 1:
            return Action::system(
                readEnum<SystemAction>(payload, "SystemAction", systemActionFromRaw));
        case 2:
            return Action::keystroke(readKeyCombo(payload));
        case 3:
            return Action::launchApp(std::string(readString(payload, "launchApp")));
        case 4:
            return Action::openURL(std::string(readString(payload, "openURL")));
        default:
            return Action::shell(std::string(readString(payload, "shell")));
    }
}

Rule readRule(const Value& v) {
    expectObject(v, "Rule");
    Rule rule;
    const std::string_view idText = readString(requiredMember(v, "id"), "id");
    const std::optional<Uuid> id = Uuid::parse(idText);
    if (!id) {
        fail("Attempted to decode UUID from invalid UUID string " + inQuotes(idText) + ".");
    }
    rule.id = *id;
    rule.trigger = readTrigger(requiredMember(v, "trigger"));
    rule.action = readAction(requiredMember(v, "action"));
    if (const auto app = optionalMember(v, "appBundleID")) {
        rule.appBundleID = std::string(readString(*app, "appBundleID"));
    }
    rule.enabled = readBool(requiredMember(v, "enabled"), "enabled");
    return rule;
}

Config readConfig(const Value& v) {
    expectObject(v, "Config");
    Config config;
    if (const auto engine = optionalMember(v, "engineEnabled")) {
        config.engineEnabled = readBool(*engine, "engineEnabled");
    }
    if (const auto snap = optionalMember(v, "snapEnabled")) {
        config.snapEnabled = readBool(*snap, "snapEnabled");
    }
    if (const auto mods = optionalMember(v, "drawMods")) {
        config.drawMods = Mods(readInt(*mods, "drawMods"));
    }
    if (const auto bindings = optionalMember(v, "bindings")) {
        if (!bindings->is_array()) {
            mismatch("an array", *bindings, "bindings");
        }
        config.bindings.reserve(bindings->size());
        for (const Value rule : *bindings) {
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
    const DecodeError tooDeep{"The settings text is nested too deeply."};
    // The parser takes a NUL byte for the end of the text, so what follows one is counted here.
    if (json.find('\0') != std::string_view::npos && nestingDepth(json) > maxDepth) {
        return tooDeep;
    }
    try {
        Document document(json.size());
        if (!Json::sax_parse(json.begin(), json.end(), &document)) {
            if (document.tooDeep() || nestingDepth(json) > maxDepth) {
                return tooDeep;
            }
            return DecodeError{"The settings text is not valid JSON: " + document.error()};
        }
        return readConfig(document.root());
    } catch (const Failure& failure) {
        return DecodeError{failure.description};
    } catch (const Json::exception& e) {
        return DecodeError{std::string("The settings text is not valid JSON: ") + e.what()};
    } catch (const std::bad_alloc&) {
        if (nestingDepth(json) > maxDepth) {
            return tooDeep;
        }
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
