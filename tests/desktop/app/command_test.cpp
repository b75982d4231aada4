// The command: its mode from the whole argument list, the self-check, and the built executable
// run the ways scripts and people run it: exit status, output, files left behind, and run
// requests that reach a listener on the session bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "app/command_line.h"
#include "app/run_requests.h"
#include "app/selftest.h"
#include "support/temp_dir.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include "shell_env.h"

namespace ombrel::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using xsession::XSession;
using Args = std::vector<std::string>;

TEST(CommandLine, FollowsTheOrderOfModes) {
    using enum LaunchMode::Kind;
    const std::pair<Args, LaunchMode> cases[] = {
        {{"ombrel"}, {normal, ""}},
        {{}, {normal, ""}},
        // Other spellings are no flags.
        {{"ombrel", "--help", "-v", "--Run", "x", "--selftest=1", "-run", "--verbose=1",
          "--Verbose"},
         {normal, ""}},
        {{"ombrel", "--run", "leftHalf", "--make-icon", "x", "--selftest"}, {selftest, ""}},
        {{"--selftest"}, {selftest, ""}},
        {{"ombrel", "--run", "maximize", "--run", "center"}, {run, "maximize"}},
        {{"ombrel", "--run", "--make-icon", "x.png"}, {run, "--make-icon"}},
        {{"ombrel", "--run", ""}, {run, ""}},
        {{"ombrel", "--run"}, {normal, ""}},
        {{"ombrel", "--make-icon", "i.png", "--run"}, {makeIcon, "i.png"}},
        {{"ombrel", "--make-icon", "i.png", "--run", "center"}, {run, "center"}},
        {{"ombrel", "--make-icon", "a.png", "--make-icon", "b.png"}, {makeIcon, "a.png"}},
        {{"ombrel", "--make-icon"}, {normal, ""}},
        {{"ombrel", "--verbose", "--run"}, {normal, "", true}},
        {{"ombrel", "--run", "--verbose"}, {run, "--verbose"}},
        {{"ombrel", "--selftest", "--verbose"}, {selftest, ""}},
    };
    for (const auto& [arguments, expected] : cases) {
        EXPECT_EQ(chooseMode(arguments), expected) << testing::PrintToString(arguments);
    }
}

// The run request's name goes on the bus as a D-Bus string, which must be UTF-8.
TEST(CommandLine, RunNamesBecomeValidUtf8) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"\xFF", r},
        {"a\xC3", "a" + r},
        {"\xE2\x82x", r + "x"},
        {"\xC0\xAF", r + r},
        {"\xED\xA0\x80", r + r + r},
        {"\xF4\x90\x80\x80", r + r + r + r},
        {"\x80\xE2\x82\xAC", r + "\xE2\x82\xAC"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(validUtf8(in), out) << testing::PrintToString(in);
    }
}

// Failures in order, then the summary; a throwing or missing check fails and the run goes on,
// each check running once. The program's own list has its configuration checks sorted into place.
TEST(SelfTest, ReportsEveryFailureThenTheSummary) {
    static int calls = 0;
    const auto passes = +[] { return ++calls > 0; };
    const auto fails = +[] { return false; };
    const auto throws = +[]() -> bool { throw std::runtime_error("boom"); };
    const std::tuple<std::vector<SelfTestCase>, std::string, int> cases[] = {
        {{}, "selftest ok\n", 0},
        {{{"a", passes}, {"b", passes}}, "selftest ok\n", 2},
        {{{"first", fails}, {"second", passes}, {"third", fails}},
         "FAIL first\nFAIL third\nselftest: 2 failed\n",
         1},
        {{{"bad", throws}, {"good", passes}, {"none", nullptr}, {"last", passes}},
         "FAIL bad\nFAIL none\nselftest: 2 failed\n",
         2},
    };
    for (const auto& [list, report, passing] : cases) {
        calls = 0;
        std::ostringstream out;
        EXPECT_EQ(runSelfTest(list, out), report == "selftest ok\n");
        EXPECT_EQ(out.str(), report);
        EXPECT_EQ(calls, passing) << report;
    }
    const auto program = selfTestCases();
    ASSERT_EQ(program.size(), 32U);
    EXPECT_EQ(program[20].name, "old settings file still loads");
    EXPECT_EQ(program.back().name, "config round-trip");
}

// A display number no server answers on: another test's X server may hold any fixed one.
std::string deadDisplay() {
    int n = 700;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) {
        ++n;
    }
    return "DISPLAY=:" + std::to_string(n);
}

// Nothing but the status and the one line expected, no settings written, no file half-written.
// Run requests from the command and from any other program, received as the running program
// receives them: a string that names an action is performed, once; anything else is ignored.
TEST(Command, AnswersWithItsStatusAloneAndRunRequestsReachTheListener) {
    using Performed = std::variant<SystemAction, WindowAction>;
    std::vector<Performed> performed;
    RunRequestReceiver receiver({[&](SystemAction a) { performed.emplace_back(a); },
                                 [&](WindowAction a) { performed.emplace_back(a); }});
    ASSERT_TRUE(receiver.listen(QDBusConnection::sessionBus()));
    // Each run is in a folder of its own, with no display and no bus but those the case gives and
    // settings in a folder of the test's; its output goes to files beside the folder.
    const test::TempDir dir;
    const fs::path& root = dir.path();
    const fs::path work = root / "work";
    fs::create_directories(work / "taken");
    std::ofstream(work / "icon.png") << "old content";
    const std::string noX11 = "Ombrel needs an X11 session";
    const std::string bus = "DBUS_SESSION_BUS_ADDRESS=" + shell_test::bus().address();
    const struct {
        Args args;
        Args env;
        int status;
        std::string out;
        std::string err;  // the start of its only line
    } cases[] = {
        {{"--selftest"}, {}, 0, "selftest ok\n", ""},
        {{"--make-icon", "/nonexistent/x.png", "--selftest"}, {}, 0, "selftest ok\n", ""},
        {{"--make-icon", "missing/icon.png"}, {}, 1, "", ""},
        {{"--make-icon", "taken"}, {}, 1, "", ""},
        {{"--make-icon", "icon.png"}, {}, 0, "", ""},
        {{}, {}, 1, "", noX11},
        {{"--run"}, {}, 1, "", noX11},
        {{}, {deadDisplay()}, 1, "", noX11},
        {{}, {"WAYLAND_DISPLAY=wayland-0"}, 1, "", noX11},
        {{"--run", "leftHalf"}, {}, 0, "", ""},
        {{"--run", "leftHalf"}, {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"}, 0, "", ""},
        {{"--run", "leftHalf"}, {"DBUS_SESSION_BUS_ADDRESS=garbage"}, 0, "", ""},
        {{"--run", "leftHalf"}, {bus}, 0, "", ""},
        {{"--run", "maximize", "--run", "center"}, {bus}, 0, "", ""},
        {{"--run", "no such action"}, {bus}, 0, "", ""},
        {{"--run", "not UTF-8 \xFF"}, {bus}, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + testing::PrintToString(c.env));
        Args line = {"sh", "-c",
                     "cd \"$0\" && unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM "
                     "DBUS_SESSION_BUS_ADDRESS && export XDG_RUNTIME_DIR=\"$PWD\" "
                     "XDG_CONFIG_HOME=\"$PWD/../config\" && exec env \"$@\" >../out 2>../err",
                     work.string()};
        line.insert(line.end(), c.env.begin(), c.env.end());
        line.push_back(OMBREL_BINARY);
        line.insert(line.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(XSession::run(line, 60s), c.status);
        EXPECT_EQ(test::readFile(root / "out"), c.out);
        const std::string err = test::readFile(root / "err");
        EXPECT_TRUE(err.starts_with(c.err) && err.empty() == c.err.empty()) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), c.err.empty() ? 0 : 1) << err;
    }
    EXPECT_FALSE(fs::exists(root / "config"));
    EXPECT_FALSE(fs::exists(work / "missing"));
    EXPECT_TRUE(fs::is_empty(work / "taken"));
    // A 1024-pixel PNG over the old file, and no temporary file beside it.
    EXPECT_EQ(QImage((work / "icon.png").c_str()).size(), QSize(1024, 1024));
    EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 2);

    // The bus keeps one sender's order but not the order between senders, even when each ends
    // before the next starts: compare what was performed, not when.
    for (const Args& args : {Args{"string:Center"}, Args{"string: leftHalf"}, Args{"string:"},
                             Args{"int32:42"}, Args{}, Args{"variant:string:leftHalf"},
                             Args{"string:maximize", "string:x"}, Args{"string:showDesktop"}}) {
        Args line = {"dbus-send", "--session", "--type=signal", "/local/ombrel",
                     "local.ombrel.run"};
        line.insert(line.end(), args.begin(), args.end());
        ASSERT_EQ(XSession::run(line), 0);
    }
    const std::vector<Performed> expected = {SystemAction::showDesktop, WindowAction::leftHalf,
                                             WindowAction::maximize, WindowAction::maximize};
    shell_test::pumpUntil([&] { return performed.size() >= expected.size(); });
    std::ranges::sort(performed);
    EXPECT_EQ(performed, expected);
}

}  // namespace
}  // namespace ombrel::app
