// The rule lookup: scoped before unscoped, other applications never, earlier wins, no allocation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "config/store.h"

namespace {
// Counts allocations while a test asks it to; the lookup runs for every key press and must not
// allocate.
thread_local bool countingAllocations = false;
thread_local std::size_t allocationCount = 0;
}  // namespace

void* operator new(std::size_t size) {
    if (countingAllocations) {
        ++allocationCount;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t /*size*/) noexcept {
    std::free(p);
}

namespace ombrel {
namespace {

namespace fs = std::filesystem;

struct Binding {
    Binding(Trigger t, std::optional<std::string> a = std::nullopt, bool e = true)  // NOLINT
        : trigger(std::move(t)), app(std::move(a)), enabled(e) {}
    Trigger trigger;
    std::optional<std::string> app;
    bool enabled;
};

struct LookupCase {
    const char* name;
    std::vector<Binding> rules;
    Trigger query;
    std::optional<std::string> frontApp;
    std::optional<std::size_t> expected;  // index into rules
    friend void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }
};

const Trigger cmdK = Trigger::hotkey({40, Mods(1)});
const Trigger cmdShiftK = Trigger::hotkey({40, Mods(9)});
const Trigger button3 = Trigger::mouseButton(3);
const Trigger tap3 = Trigger::trackpad({TrackpadGesture::Kind::tap, 3});
const Trigger circle = Trigger::drawing({"circle", {{0, 0}, {1, 1}}});

class MatchingRule : public testing::TestWithParam<LookupCase> {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ombrel-match-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    fs::path folder_;
};

TEST_P(MatchingRule, FindsTheRightRule) {
    const LookupCase& c = GetParam();
    Store store(folder_);
    Config config;
    for (const Binding& binding : c.rules) {
        config.bindings.push_back(
            Rule::make(binding.trigger, Action::shell("x"), binding.app, binding.enabled));
    }
    store.setConfig(config);

    const std::optional<std::string_view> front =
        c.frontApp ? std::optional<std::string_view>(*c.frontApp) : std::nullopt;
    allocationCount = 0;
    countingAllocations = true;
    const Rule* found = store.matchingRule(c.query, front);
    countingAllocations = false;
    EXPECT_EQ(allocationCount, 0U);

    if (!c.expected) {
        EXPECT_EQ(found, nullptr);
        return;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, &store.config().bindings[*c.expected]);
}

INSTANTIATE_TEST_SUITE_P(
    Store, MatchingRule,
    testing::Values(
        LookupCase{"nothing_bound", {}, cmdK, "app.a", std::nullopt},
        LookupCase{"unscoped_fires_anywhere", {{cmdK}}, cmdK, "app.a", 0},
        LookupCase{"unscoped_fires_without_front_app", {{cmdK}}, cmdK, std::nullopt, 0},
        LookupCase{"scoped_wins_although_later", {{cmdK}, {cmdK, "app.a"}}, cmdK, "app.a", 1},
        LookupCase{"unscoped_when_other_app_front", {{cmdK, "app.b"}, {cmdK}}, cmdK, "app.a", 1},
        LookupCase{
            "scoped_to_other_app_never_fires", {{cmdK, "app.b"}}, cmdK, "app.a", std::nullopt},
        LookupCase{"scoped_needs_a_front_app", {{cmdK, "app.a"}}, cmdK, std::nullopt, std::nullopt},
        LookupCase{"bundle_ids_compare_exactly", {{cmdK, "App.A"}}, cmdK, "app.a", std::nullopt},
        LookupCase{"empty_scope_is_still_a_scope", {{cmdK, ""}}, cmdK, "app.a", std::nullopt},
        LookupCase{"empty_scope_matches_empty_front", {{cmdK}, {cmdK, ""}}, cmdK, "", 1},
        LookupCase{"earlier_unscoped_wins", {{cmdK}, {cmdK}}, cmdK, "app.a", 0},
        LookupCase{"earlier_scoped_wins", {{cmdK, "app.a"}, {cmdK, "app.a"}}, cmdK, "app.a", 0},
        LookupCase{"disabled_skipped", {{cmdK, std::nullopt, false}, {cmdK}}, cmdK, "app.a", 1},
        LookupCase{"disabled_scoped_skipped", {{cmdK, "app.a", false}, {cmdK}}, cmdK, "app.a", 1},
        LookupCase{"only_disabled", {{cmdK, std::nullopt, false}}, cmdK, "app.a", std::nullopt},
        LookupCase{"whole_modifier_set", {{cmdK}}, cmdShiftK, "app.a", std::nullopt},
        LookupCase{"same_number_other_case",
                   {{Trigger::hotkey({3, Mods(0)})}},
                   button3,
                   std::nullopt,
                   std::nullopt},
        LookupCase{
            "mouse_button", {{Trigger::mouseButton(4)}, {button3}}, button3, std::nullopt, 1},
        LookupCase{"gesture_fingers_count",
                   {{Trigger::trackpad({TrackpadGesture::Kind::tap, 4})}, {tap3}},
                   tap3,
                   std::nullopt,
                   1},
        LookupCase{"gesture_kind_counts",
                   {{Trigger::trackpad({TrackpadGesture::Kind::click, 3})}},
                   tap3,
                   std::nullopt,
                   std::nullopt},
        LookupCase{"drawing_equal", {{circle}}, circle, std::nullopt, 0},
        LookupCase{"drawing_points_differ",
                   {{Trigger::drawing({"circle", {{0, 0}, {1, 1.5}}})}},
                   circle,
                   std::nullopt,
                   std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ombrel
