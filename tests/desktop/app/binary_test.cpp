// End-to-end checks of the built ombrel executable: exit statuses, output, the icon file, the run
// request on a private session bus, and the normal start without an X display.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_dir.h"

// Last: Xlib macros collide with GoogleTest names.
#include "x_session.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using xsession::XSession;
using Args = std::vector<std::string>;

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

struct Finished {
    int status;
    std::string out, err;
};

// Ends a program started in the background when the test does.
struct Started {
    pid_t pid;
    ~Started() { XSession::stop(pid); }
};

// Programs run in a folder of their own with no display and no bus but those a test gives them;
// the standard output and error of each go to files beside that folder.
class Binary : public testing::Test {
  protected:
    void SetUp() override { fs::create_directories(work_); }

    // The command line for argv with the environment entries added, writing <name>.out/.err.
    [[nodiscard]] Args command(const Args& argv, const Args& env, const std::string& name) const {
        Args line = {"env",
                     "-u",
                     "DISPLAY",
                     "-u",
                     "WAYLAND_DISPLAY",
                     "-u",
                     "QT_QPA_PLATFORM",
                     "-u",
                     "DBUS_SESSION_BUS_ADDRESS",
                     "XDG_RUNTIME_DIR=" + work_.string(),
                     "XDG_CONFIG_HOME=" + (root_ / "config").string()};
        line.insert(line.end(), env.begin(), env.end());
        line.insert(
            line.end(),
            {"sh", "-c", "cd \"$0\" && exec \"$@\" >../" + name + ".out 2>../" + name + ".err",
             work_.string()});
        line.insert(line.end(), argv.begin(), argv.end());
        return line;
    }
    [[nodiscard]] std::string out(const std::string& name) const {
        return test::readFile(root_ / (name + ".out"));
    }
    // Runs ombrel with these arguments to its end.
    [[nodiscard]] Finished ombrel(const Args& args, const Args& env = {}) const {
        Args argv = {OMBREL_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        const int status = XSession::run(command(argv, env, "ombrel"), 60s);
        return {status, out("ombrel"), test::readFile(root_ / "ombrel.err")};
    }

    test::TempDir dir_;
    const fs::path root_ = dir_.path();
    const fs::path work_ = root_ / "work";
};

TEST_F(Binary, SelftestPrintsOkWithoutDisplayOrBusAndTouchesNoSettings) {
    for (const Args& args :
         {Args{"--selftest"}, Args{"--make-icon", "/nonexistent/x.png", "--selftest"}}) {
        const auto result = ombrel(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "selftest ok\n");
        EXPECT_EQ(result.err, "");
    }
    EXPECT_FALSE(fs::exists(root_ / "config"));
}

TEST_F(Binary, MakeIconFailsSilentlyWhereNoFileCanBeWritten) {
    fs::create_directories(work_ / "taken");
    for (const char* target : {"missing/icon.png", "taken"}) {
        const auto result = ombrel({"--make-icon", target});
        EXPECT_EQ(result.status, 1) << target;
        EXPECT_EQ(result.out + result.err, "") << target;
    }
    EXPECT_FALSE(fs::exists(work_ / "missing"));
    EXPECT_TRUE(fs::is_empty(work_ / "taken"));
}

TEST_F(Binary, MakeIconWritesA1024PngOverAnOldFile) {
    std::ofstream(work_ / "icon.png") << "old content";
    const auto result = ombrel({"--make-icon", "icon.png"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const std::string png = test::readFile(work_ / "icon.png");
    // Signature, then the header chunk: width and height as big-endian 32-bit numbers.
    EXPECT_EQ(png.substr(0, 24),
              std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x04\0\0\0\x04\0", 24));
    EXPECT_GT(png.size(), 1000U);
    // Only the icon is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(work_), fs::directory_iterator()), 1);
}

// A display number no server answers on: another test's X server may hold any fixed one.
std::string deadDisplay() {
    for (int n = 700;; ++n) {
        const std::string number = std::to_string(n);
        if (!fs::exists("/tmp/.X11-unix/X" + number) && !fs::exists("/tmp/.X" + number + "-lock")) {
            return "DISPLAY=:" + number;
        }
    }
}

TEST_F(Binary, NormalStartWithoutX11SaysSoInOneLineAndExitsOne) {
    for (const auto& [args, env] :
         std::initializer_list<std::pair<Args, Args>>{{{}, {}},
                                                      {{"--run"}, {}},
                                                      {{}, {deadDisplay()}},
                                                      {{}, {"WAYLAND_DISPLAY=wayland-0"}}}) {
        const auto result = ombrel(args, env);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.find("Ombrel needs an X11 session"), 0U) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST_F(Binary, RunWithoutAUsableSessionBusExitsZeroSilently) {
    for (const Args& env : {Args{}, Args{"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"},
                            Args{"DBUS_SESSION_BUS_ADDRESS=garbage"}}) {
        const auto result = ombrel({"--run", "leftHalf"}, env);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out + result.err, "");
    }
}

// The string argument of every "run" signal in a monitor's output, in order.
std::vector<std::string> runNames(const std::string& monitored) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while ((at = monitored.find("interface=local.ombrel; member=run", at)) != std::string::npos) {
        const std::size_t open = monitored.find("string \"", at);
        at = monitored.find("\"\n", open);
        if (at == std::string::npos) {
            break;
        }
        names.push_back(monitored.substr(open + 8, at - open - 8));
    }
    return names;
}

TEST_F(Binary, RunPostsTheFirstNameOnThePrivateSessionBus) {
    const Started daemon{XSession::start(
        command({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, "daemon"))};
    ASSERT_TRUE(
        XSession::waitUntil([&] { return out("daemon").find('\n') != std::string::npos; }, 20s))
        << "dbus-daemon did not start";
    const std::string address = firstLine(out("daemon"));
    const Started monitor{XSession::start(
        command({"dbus-monitor", "--address", address, "type='signal',interface='local.ombrel'"},
                {}, "monitor"))};
    // A probe the monitor shows proves it listening, and everything sent before it seen.
    const auto probe = [&](const std::string& member) {
        return XSession::waitUntil(
            [&] {
                XSession::run(command({"dbus-send", "--bus=" + address, "--type=signal",
                                       "/local/ombrel", "local.ombrel." + member},
                                      {}, "send"));
                return XSession::waitUntil(
                    [&] { return out("monitor").find("member=" + member) != std::string::npos; },
                    200ms);
            },
            20s);
    };
    ASSERT_TRUE(probe("ready"));
    for (const Args& args :
         {Args{"--run", "leftHalf"}, Args{"--run", "maximize", "--run", "center"},
          Args{"--run", "no such action"}, Args{"--run", "leftHalf", "--selftest"},
          Args{"--run", "not UTF-8 \xFF"}}) {
        const auto result = ombrel(args, {"DBUS_SESSION_BUS_ADDRESS=" + address});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, args.back() == "--selftest" ? "selftest ok\n" : "");
        EXPECT_EQ(result.err, "");
    }
    ASSERT_TRUE(probe("after"));
    EXPECT_EQ(runNames(out("monitor")),
              (Args{"leftHalf", "maximize", "no such action", "not UTF-8 \uFFFD"}));
    EXPECT_NE(out("monitor").find("path=/local/ombrel; interface=local.ombrel; member=run"),
              std::string::npos);
}

}  // namespace
}  // namespace ombrel
