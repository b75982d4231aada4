// Reads and writes the settings file format; a reading error anywhere fails the whole text.
#include "config/json_codec.h"

#include <algorithm>
#include <array>
#include <charconv>
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
// Where a string lies: in the text itself, or, when it had to be unescaped, in the document's
// buffer (the top bit of the offset). A settings text is far below 2 GiB.
struct Slice {
    static constexpr uint32_t copied = uint32_t{1} << 31;
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
// by its members), strings where they lie in the text. A scanner of its own reads the plain
// JSON that settings files are in one pass; whatever it does not take for certain (an error, a
// NUL byte, a number beyond 64 bits, a byte-order mark) is read again by nlohmann's SAX parser,
// so the grammar, the numbers and the parse errors are those of nlohmann's tree, without a node
// allocated per value and a tree of maps to tear down afterwards.
class Document {
  public:
    // Room for the text's values at once: a settings text spends well over 16 bytes on each.
    explicit Document(std::string_view text) : base_(text) { nodes_.reserve(text.size() / 16); }

    // Reads the whole text; false when it has to be left to nlohmann (clear() first).
    bool scan() {
        const char* p = base_.data();
        const char* end = p + base_.size();
        return Scanner{*this, p, end}.document();
    }
    void clear() {
        nodes_.clear();
        strings_.clear();
        open_.clear();
        key_ = {};
        error_.clear();
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
    Slice store(std::string_view s) {
        const Slice slice{static_cast<uint32_t>(strings_.size()) | Slice::copied,
                          static_cast<uint32_t>(s.size())};
        strings_ += s;
        return slice;
    }
    [[nodiscard]] std::string_view text(Slice s) const {
        return (s.offset & Slice::copied) != 0
                   ? std::string_view(strings_).substr(s.offset & ~Slice::copied, s.length)
                   : base_.substr(s.offset, s.length);
    }

    // The one-pass reader of plain JSON. Each step answers false when it meets anything it does
    // not take for certain; nlohmann then reads the text again from the start.
    struct Scanner {
        Document& d;
        const char* p;
        const char* end;

        bool document() {
            // A byte-order mark is nlohmann's to skip.
            if (!value()) {
                return false;
            }
            skipSpace();
            return p == end;
        }
        void skipSpace() {
            while (p != end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) {
                ++p;
            }
        }
        bool value() {
            skipSpace();
            if (p == end) {
                return false;
            }
            switch (*p) {
                case '{':
                    return object();
                case '[':
                    return array();
                case '"': {
                    Slice text;
                    if (!string(text)) {
                        return false;
                    }
                    d.add(Type::string);
                    d.nodes_.back().text = text;
                    return true;
                }
                case 't':
                    return literal("true") && d.boolean(true);
                case 'f':
                    return literal("false") && d.boolean(false);
                case 'n':
                    return literal("null") && d.null();
                default:
                    return number();
            }
        }
        bool literal(std::string_view word) {
            if (static_cast<std::size_t>(end - p) < word.size() ||
                std::string_view(p, word.size()) != word) {
                return false;
            }
            p += word.size();
            return true;
        }
        bool object() {
            ++p;
            if (!d.open(Type::object)) {
                return false;  // too deep
            }
            skipSpace();
            if (p != end && *p == '}') {
                ++p;
                return d.close();
            }
            for (;;) {
                skipSpace();
                Slice key;
                if (p == end || *p != '"' || !string(key)) {
                    return false;
                }
                skipSpace();
                if (p == end || *p != ':') {
                    return false;
                }
                ++p;
                d.key_ = key;
                if (!value()) {
                    return false;
                }
                skipSpace();
                if (p == end) {
                    return false;
                }
                if (*p == '}') {
                    ++p;
                    return d.close();
                }
                if (*p++ != ',') {
                    return false;
                }
            }
        }
        bool array() {
            ++p;
            if (!d.open(Type::array)) {
                return false;
            }
            skipSpace();
            if (p != end && *p == ']') {
                ++p;
                return d.close();
            }
            for (;;) {
                if (!value()) {
                    return false;
                }
                skipSpace();
                if (p == end) {
                    return false;
                }
                if (*p == ']') {
                    ++p;
                    return d.close();
                }
                if (*p++ != ',') {
                    return false;
                }
            }
        }
        // A string at p (its opening quote); plain ones stay where they are in the text.
        bool string(Slice& out) {
            const char* start = ++p;
            while (p != end && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20) {
                if (static_cast<unsigned char>(*p) >= 0x80) {
                    if (!utf8()) {
                        return false;
                    }
                } else {
                    ++p;
                }
            }
            if (p == end || static_cast<unsigned char>(*p) < 0x20) {
                return false;
            }
            if (*p == '"') {
                out = {static_cast<uint32_t>(start - d.base_.data()),
                       static_cast<uint32_t>(p - start)};
                ++p;
                return true;
            }
            // Escapes: the string is unescaped into the document's buffer.
            const auto mark = static_cast<uint32_t>(d.strings_.size());
            d.strings_.append(start, p);
            while (p != end && *p != '"') {
                const unsigned char c = static_cast<unsigned char>(*p);
                if (c < 0x20) {
                    return false;
                }
                if (c >= 0x80) {
                    const char* from = p;
                    if (!utf8()) {
                        return false;
                    }
                    d.strings_.append(from, p);
                    continue;
                }
                if (c != '\\') {
                    d.strings_ += *p++;
                    continue;
                }
                if (++p == end) {
                    return false;
                }
                switch (*p++) {
                    case '"':
                        d.strings_ += '"';
                        break;
                    case '\\':
                        d.strings_ += '\\';
                        break;
                    case '/':
                        d.strings_ += '/';
                        break;
                    case 'b':
                        d.strings_ += '\b';
                        break;
                    case 'f':
                        d.strings_ += '\f';
                        break;
                    case 'n':
                        d.strings_ += '\n';
                        break;
                    case 'r':
                        d.strings_ += '\r';
                        break;
                    case 't':
                        d.strings_ += '\t';
                        break;
                    case 'u':
                        if (!codePoint()) {
                            return false;
                        }
                        break;
                    default:
                        return false;
                }
            }
            if (p == end) {
                return false;
            }
            ++p;
            out = {mark | Slice::copied, static_cast<uint32_t>(d.strings_.size() - mark)};
            return true;
        }
        // Four hexadecimal digits at p.
        bool hex4(uint32_t& value) {
            if (end - p < 4) {
                return false;
            }
            value = 0;
            for (int i = 0; i < 4; ++i) {
                const char c = *p++;
                const int digit = c >= '0' && c <= '9'   ? c - '0'
                                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
                if (digit < 0) {
                    return false;
                }
                value = value * 16 + static_cast<uint32_t>(digit);
            }
            return true;
        }
        // After "\u": one code point, a surrogate pair in two escapes, written as UTF-8.
        bool codePoint() {
            uint32_t cp = 0;
            if (!hex4(cp) || (cp >= 0xDC00 && cp <= 0xDFFF)) {
                return false;
            }
            if (cp >= 0xD800 && cp <= 0xDBFF) {
                uint32_t low = 0;
                if (end - p < 2 || p[0] != '\\' || p[1] != 'u') {
                    return false;
                }
                p += 2;
                if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                    return false;
                }
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            }
            auto& out = d.strings_;
            if (cp < 0x80) {
                out += static_cast<char>(cp);
            } else if (cp < 0x800) {
                out += static_cast<char>(0xC0 | (cp >> 6));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                out += static_cast<char>(0xE0 | (cp >> 12));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (cp >> 18));
                out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            }
            return true;
        }
        // One well-formed UTF-8 sequence at p (no overlong form, no surrogate, at most U+10FFFF).
        bool utf8() {
            const auto byte = [&](std::ptrdiff_t i) { return static_cast<unsigned char>(p[i]); };
            const auto tail = [&](std::ptrdiff_t i) { return (byte(i) & 0xC0) == 0x80; };
            const unsigned char c = byte(0);
            const std::ptrdiff_t left = end - p;
            if (c >= 0xC2 && c <= 0xDF && left >= 2 && tail(1)) {
                p += 2;
                return true;
            }
            if (c >= 0xE0 && c <= 0xEF && left >= 3 && tail(1) && tail(2) &&
                !(c == 0xE0 && byte(1) < 0xA0) && !(c == 0xED && byte(1) >= 0xA0)) {
                p += 3;
                return true;
            }
            if (c >= 0xF0 && c <= 0xF4 && left >= 4 && tail(1) && tail(2) && tail(3) &&
                !(c == 0xF0 && byte(1) < 0x90) && !(c == 0xF4 && byte(1) >= 0x90)) {
                p += 4;
                return true;
            }
            return false;
        }
        // A number by the JSON grammar; integers of up to 18 digits and decimals that stay
        // finite and nonzero are read here, the rest by nlohmann.
        bool number() {
            const char* start = p;
            const bool negative = *p == '-';
            if (negative) {
                ++p;
            }
            const char* digits = p;
            if (p == end || *p < '0' || *p > '9') {
                return false;
            }
            if (*p == '0') {
                ++p;
            } else {
                while (p != end && *p >= '0' && *p <= '9') {
                    ++p;
                }
            }
            const auto intDigits = p - digits;
            bool decimal = false;
            if (p != end && *p == '.') {
                decimal = true;
                ++p;
                const char* fraction = p;
                while (p != end && *p >= '0' && *p <= '9') {
                    ++p;
                }
                if (p == fraction) {
                    return false;
                }
            }
            if (p != end && (*p == 'e' || *p == 'E')) {
                decimal = true;
                ++p;
                if (p != end && (*p == '+' || *p == '-')) {
                    ++p;
                }
                const char* exponent = p;
                while (p != end && *p >= '0' && *p <= '9') {
                    ++p;
                }
                if (p == exponent) {
                    return false;
                }
            }
            if (p != end && *p >= '0' && *p <= '9') {
                return false;  // a leading zero followed by digits
            }
            if (!decimal) {
                if (intDigits > 18) {
                    return false;
                }
                int64_t value = 0;
                for (const char* q = digits; q != p; ++q) {
                    value = value * 10 + (*q - '0');
                }
                return negative ? d.number_integer(-value)
                                : d.number_unsigned(static_cast<uint64_t>(value));
            }
            double value = 0;
            const auto [after, ec] = std::from_chars(start, p, value);
            if (ec != std::errc() || after != p || !std::isfinite(value) || value == 0) {
                return false;  // zero may be an underflow, whose sign and errors are nlohmann's
            }
            return d.add(Type::real, {.d = value});
        }
    };
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

    std::string_view base_;
    std::vector<Node> nodes_;
    std::string strings_;         // unescaped strings
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

// Writes the settings text directly, byte for byte as nlohmann's dump(2) of the equivalent tree
// would (keys sorted, two spaces per level), without building that tree: a long list is written
// in one pass into one buffer.
class Writer {
  public:
    explicit Writer(std::size_t reserve) { out_.reserve(reserve); }

    // An object's members: open, then key/value pairs in ascending key order, then close.
    void open() {
        out_ += '{';
        first_ = true;
        ++depth_;
    }
    void key(std::string_view name) {
        out_ += first_ ? "\n" : ",\n";
        first_ = false;
        indent();
        out_ += '"';
        out_ += name;  // the format's own keys need no escaping
        out_ += "\": ";
    }
    void close() {
        --depth_;
        if (first_) {
            out_ += '}';  // nothing was written in it
        } else {
            out_ += '\n';
            indent();
            out_ += '}';
        }
        first_ = false;
    }
    // An array: openArray, item() before each element, closeArray.
    void openArray() {
        out_ += '[';
        first_ = true;
        ++depth_;
    }
    void item() {
        out_ += first_ ? "\n" : ",\n";
        first_ = false;
        indent();
    }
    void closeArray() {
        --depth_;
        if (first_) {
            out_ += ']';
        } else {
            out_ += '\n';
            indent();
            out_ += ']';
        }
        first_ = false;
    }

    void boolean(bool value) { out_ += value ? "true" : "false"; }
    void integer(int64_t value) {
        std::array<char, 24> buffer{};
        const char* end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
        out_.append(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    }
    // Finite values only; the shortest text that reads back as the same value.
    void real(double value) {
        std::array<char, 64> buffer{};
        const char* end =
            nlohmann::detail::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
        out_.append(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    }
    void string(std::string_view text) {
        const std::size_t mark = out_.size();
        out_ += '"';
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x80) {
                // Not ASCII: the library checks the UTF-8 and replaces what is not.
                out_.resize(mark);
                out_ +=
                    Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
                return;
            }
            switch (c) {
                case '"':
                    out_ += "\\\"";
                    break;
                case '\\':
                    out_ += "\\\\";
                    break;
                case '\b':
                    out_ += "\\b";
                    break;
                case '\f':
                    out_ += "\\f";
                    break;
                case '\n':
                    out_ += "\\n";
                    break;
                case '\r':
                    out_ += "\\r";
                    break;
                case '\t':
                    out_ += "\\t";
                    break;
                default:
                    if (byte < 0x20) {
                        constexpr std::string_view hex = "0123456789abcdef";
                        out_ += "\\u00";
                        out_ += hex[byte >> 4];
                        out_ += hex[byte & 0xF];
                    } else {
                        out_ += c;
                    }
            }
        }
        out_ += '"';
    }
    // {"<name>": {"_0": <payload>}}: the case-keyed form; the payload follows.
    void openCase(std::string_view name) {
        open();
        key(name);
        open();
        key("_0");
    }
    void closeCase() {
        close();
        close();
    }

    std::string take() && { return std::move(out_); }

  private:
    void indent() { out_.append(2 * depth_, ' '); }

    std::string out_;
    std::size_t depth_ = 0;
    bool first_ = false;  // nothing written yet in the innermost open container
};

void writeKeyCombo(Writer& w, const KeyCombo& combo) {
    w.open();
    w.key("keyCode");
    w.integer(combo.keyCode);
    w.key("mods");
    w.integer(combo.mods.rawValue);
    w.close();
}

// False when a coordinate has no JSON form.
bool writeTrigger(Writer& w, const Trigger& trigger) {
    struct Visitor {
        Writer& w;
        bool operator()(const KeyCombo& combo) const {
            w.openCase("hotkey");
            writeKeyCombo(w, combo);
            return true;
        }
        bool operator()(const TrackpadGesture& g) const {
            w.openCase("trackpad");
            w.open();
            w.key("fingers");
            w.integer(g.fingers);
            w.key("kind");
            w.string(rawValue(g.kind));
            w.close();
            return true;
        }
        bool operator()(const Trigger::MouseButton& b) const {
            w.openCase("mouseButton");
            w.integer(b.button);
            return true;
        }
        bool operator()(const Drawing& d) const {
            w.openCase("drawing");
            w.open();
            w.key("name");
            w.string(d.name);
            w.key("points");
            w.openArray();
            for (const Pt& p : d.points) {
                if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
                    return false;
                }
                w.item();
                w.open();
                w.key("x");
                w.real(p.x);
                w.key("y");
                w.real(p.y);
                w.close();
            }
            w.closeArray();
            w.close();
            return true;
        }
    };
    if (!std::visit(Visitor{w}, trigger.payload)) {
        return false;
    }
    w.closeCase();
    return true;
}

void writeAction(Writer& w, const Action& action) {
    struct Visitor {
        Writer& w;
        void operator()(WindowAction a) const {
            w.openCase("window");
            w.string(rawValue(a));
        }
        void operator()(SystemAction a) const {
            w.openCase("system");
            w.string(rawValue(a));
        }
        void operator()(const KeyCombo& c) const {
            w.openCase("keystroke");
            writeKeyCombo(w, c);
        }
        void operator()(const Action::LaunchApp& a) const {
            w.openCase("launchApp");
            w.string(a.path);
        }
        void operator()(const Action::OpenURL& a) const {
            w.openCase("openURL");
            w.string(a.text);
        }
        void operator()(const Action::Shell& a) const {
            w.openCase("shell");
            w.string(a.command);
        }
    };
    std::visit(Visitor{w}, action.payload);
    w.closeCase();
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
        Document document(json);
        if (!document.scan() &&
            (document.clear(), !Json::sax_parse(json.begin(), json.end(), &document))) {
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
    // A rule takes about 330 bytes, most of them indentation.
    Writer w(512 + 384 * config.bindings.size());
    // Keys in ascending order at every level. Text that is not valid UTF-8 is written with
    // replacement characters rather than refusing the save.
    w.open();
    w.key("bindings");
    w.openArray();
    for (const Rule& rule : config.bindings) {
        w.item();
        w.open();
        w.key("action");
        writeAction(w, rule.action);
        if (rule.appBundleID) {
            w.key("appBundleID");
            w.string(*rule.appBundleID);
        }
        w.key("enabled");
        w.boolean(rule.enabled);
        w.key("id");
        w.string(rule.id.string());
        w.key("trigger");
        if (!writeTrigger(w, rule.trigger)) {
            return std::nullopt;
        }
        w.close();
    }
    w.closeArray();
    w.key("drawMods");
    w.integer(config.drawMods.rawValue);
    w.key("engineEnabled");
    w.boolean(config.engineEnabled);
    w.key("snapEnabled");
    w.boolean(config.snapEnabled);
    w.close();
    std::string text = std::move(w).take();
    text += '\n';
    return text;
}

}  // namespace ombrel
