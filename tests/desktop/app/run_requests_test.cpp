// Run requests: which signal arguments perform which action, and that requests sent over the
// session bus by another program arrive.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusVariant>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/run_requests.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include "shell_env.h"

namespace ombrel::shell_test {
namespace {

using Performed = std::variant<SystemAction, WindowAction>;

struct Recorder {
    std::vector<Performed> performed;
    RunTargets targets() {
        return {[this](SystemAction a) { performed.emplace_back(a); },
                [this](WindowAction a) { performed.emplace_back(a); }};
    }
};

struct ArgumentCase {
    const char* name;
    QVariantList arguments;
    std::optional<Performed> expected;
};

TEST(RunRequest, PerformsExactlyTheNamedAction) {
    const ArgumentCase cases[] = {
        {"window action", {QString("leftHalf")}, WindowAction::leftHalf},
        {"system action", {QString("showDesktop")}, SystemAction::showDesktop},
        {"wrong case", {QString("Center")}, std::nullopt},
        {"empty name", {QString("")}, std::nullopt},
        {"unknown name", {QString("fullScreen")}, std::nullopt},
        {"padded name", {QString(" leftHalf")}, std::nullopt},
        {"no argument", {}, std::nullopt},
        {"not a string", {42}, std::nullopt},
        {"a string inside a variant",
         {QVariant::fromValue(QDBusVariant(QString("leftHalf")))},
         std::nullopt},
        {"extra arguments are ignored",
         {QString("maximize"), QString("x")},
         WindowAction::maximize},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        performRunRequest(c.arguments, recorder.targets());
        if (c.expected) {
            ASSERT_EQ(recorder.performed.size(), 1U);
            EXPECT_EQ(recorder.performed.front(), *c.expected);
        } else {
            EXPECT_TRUE(recorder.performed.empty());
        }
    }
}

int sendSignal(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"dbus-send", "--session", "--type=signal", "/local/ombrel",
                                     "local.ombrel.run"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return xsession::XSession::run(argv);
}

TEST(RunRequest, ArrivesFromAnySenderOverTheSessionBus) {
    ASSERT_FALSE(busAddress().empty());
    Recorder recorder;
    RunRequestReceiver receiver(recorder.targets());
    ASSERT_TRUE(receiver.listen(QDBusConnection::sessionBus()));
    // Each sender finishes before the next starts, so the bus delivers them in this order; the
    // last one tells that every earlier one has been handled.
    const std::vector<std::vector<std::string>> ignored = {
        {"string:noSuchAction"}, {"int32:3"}, {}, {"variant:string:leftHalf"}};
    for (const auto& args : ignored) {
        ASSERT_EQ(sendSignal(args), 0);
    }
    ASSERT_EQ(sendSignal({"string:rightHalf"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return !recorder.performed.empty(); }));
    EXPECT_EQ(recorder.performed, std::vector<Performed>{WindowAction::rightHalf});

    ASSERT_EQ(sendSignal({"string:playPause"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return recorder.performed.size() == 2; }));
    EXPECT_EQ(recorder.performed.back(), Performed{SystemAction::playPause});
}

}  // namespace
}  // namespace ombrel::shell_test
