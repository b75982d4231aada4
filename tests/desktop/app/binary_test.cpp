// End-to-end checks of the built ombrel executable: exit statuses, output, the icon file, the run
// request on a private session bus, and the normal start with and without an X display.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/desktop/app/process.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Background;
using testing_support::environmentWith;
using testing_support::runToEnd;

const std::string binary = OMBREL_BINARY;

// Variables through which a child could find a bus or a display we did not give it.
const std::vector<std::string> ambient = {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                          "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"};

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "ombrel-e2e-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    [[nodiscard]] const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// An environment with no display and no bus; the given entries are added.
std::vector<std::string> isolated(const TempDir& runtime, std::vector<std::string> add = {}) {
    add.push_back("XDG_RUNTIME_DIR=" + runtime.path().string());
    add.push_back("XDG_CONFIG_HOME=" + (runtime.path() / "config").string());
    return environmentWith(ambient, add);
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t bigEndian32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// ---- --selftest ---------------------------------------------------------------------------------

TEST(Binary, SelftestPrintsOkAndExitsZeroWithoutDisplayOrBus) {
    TempDir runtime;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{binary, "--selftest"},
          std::vector<std::string>{binary, "--run", "--selftest"},
          std::vector<std::string>{binary, "--make-icon", "/nonexistent/x.png", "--selftest"}}) {
        const auto result = runToEnd(args, isolated(runtime), 60s);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "selftest ok\n");
        EXPECT_EQ(result.err, "");
    }
    // The self-check touches no settings file.
    EXPECT_FALSE(fs::exists(runtime.path() / "config"));
}

// ---- --make-icon --------------------------------------------------------------------------------

TEST(Binary, MakeIconIntoMissingFolderFailsAndCreatesNothing) {
    TempDir dir;
    const fs::path missing = dir.path() / "missing";
    const auto result =
        runToEnd({binary, "--make-icon", (missing / "icon.png").string()}, isolated(dir), 60s);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(fs::exists(missing));
}

TEST(Binary, MakeIconOntoADirectoryFails) {
    TempDir dir;
    fs::create_directories(dir.path() / "taken");
    const auto result =
        runToEnd({binary, "--make-icon", (dir.path() / "taken").string()}, isolated(dir), 60s);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(fs::is_directory(dir.path() / "taken"));
}

TEST(Binary, MakeIconWritesA1024PngReplacingAnOldFileRelativeToTheWorkingFolder) {
    TempDir dir;
    const fs::path target = dir.path() / "icon.png";
    {
        std::ofstream old(target);
        old << "old content";
    }
    const auto result =
        runToEnd({binary, "--make-icon", "icon.png"}, isolated(dir), 60s, dir.path());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const std::string png = readBytes(target);
    ASSERT_GT(png.size(), 1000U);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(bigEndian32(png, 16), 1024U);
    EXPECT_EQ(bigEndian32(png, 20), 1024U);
    // Only the icon is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// ---- Normal start
// ---------------------------------------------------------------------------------

struct NoDisplayCase {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<std::string> extraEnv;
    friend void PrintTo(const NoDisplayCase& c, std::ostream* os) { *os << c.name; }
};

class NoDisplay : public testing::TestWithParam<NoDisplayCase> {};

TEST_P(NoDisplay, NormalStartSaysItNeedsX11AndExitsOne) {
    TempDir runtime;
    std::vector<std::string> args = {binary};
    args.insert(args.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const auto result = runToEnd(args, isolated(runtime, GetParam().extraEnv), 60s);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("Ombrel needs an X11 session"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Binary, NoDisplay,
    testing::Values(NoDisplayCase{"no_arguments", {}, {}},
                    NoDisplayCase{"run_as_last_argument", {"--run"}, {}},
                    NoDisplayCase{"make_icon_as_last_argument", {"--make-icon"}, {}},
                    NoDisplayCase{"display_that_does_not_exist", {}, {"DISPLAY=:97"}},
                    NoDisplayCase{"wayland_only", {}, {"WAYLAND_DISPLAY=wayland-0"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A private X server for the normal start; its display number comes back on a pipe.
class PrivateX {
  public:
    PrivateX()
        : server_({"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                  environmentWith({}, {})) {
        if (server_.waitForOutput(
                [](const std::string& out) { return out.find('\n') != std::string::npos; }, 20s)) {
            display_ = ":" + server_.output().substr(0, server_.output().find('\n'));
        }
    }
    [[nodiscard]] const std::string& display() const { return display_; }

  private:
    Background server_;
    std::string display_;
};

TEST(Binary, NormalStartLoadsSettingsAndKeepsRunning) {
    PrivateX x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    TempDir dir;
    Background ombrel({binary}, isolated(dir, {"DISPLAY=" + x.display()}));
    ASSERT_TRUE(ombrel.started());
    const fs::path settings = dir.path() / "config" / "Ombrel" / "config.json";
    EXPECT_TRUE(testing_support::pollUntil([&] { return fs::exists(settings); }, 30s));
    EXPECT_TRUE(ombrel.running());
    EXPECT_NE(readBytes(settings).find("\"bindings\""), std::string::npos);
}

// ---- --run --------------------------------------------------------------------------------------

TEST(Binary, RunWithoutAnySessionBusExitsZeroSilently) {
    TempDir runtime;
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{},
          std::vector<std::string>{"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"},
          std::vector<std::string>{"DBUS_SESSION_BUS_ADDRESS=garbage"}}) {
        const auto result = runToEnd({binary, "--run", "leftHalf"}, isolated(runtime, extra), 60s);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
    }
}

// A private session bus with a monitor on the run interface.
class PrivateBus : public testing::Test {
  protected:
    void SetUp() override {
        daemon_ = std::make_unique<Background>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--print-address=1"},
            isolated(runtime_));
        ASSERT_TRUE(daemon_->waitForOutput(
            [](const std::string& out) { return out.find('\n') != std::string::npos; }, 20s))
            << "dbus-daemon did not start";
        address_ = daemon_->output().substr(0, daemon_->output().find('\n'));
        monitor_ = std::make_unique<Background>(
            std::vector<std::string>{"dbus-monitor", "--address", address_,
                                     "type='signal',interface='local.ombrel'"},
            isolated(runtime_));
        // The monitor is listening once it reports a probe sent after it started.
        ASSERT_TRUE(sendProbe("ready"));
    }

    // Sends a probe signal until the monitor has shown it; answers whether it did in time.
    bool sendProbe(const std::string& member) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            runToEnd({"dbus-send", "--bus=" + address_, "--type=signal", "/local/ombrel",
                      "local.ombrel." + member},
                     isolated(runtime_), 10s);
            if (monitor_->waitForOutput(
                    [&](const std::string& out) {
                        return out.find("member=" + member) != std::string::npos;
                    },
                    200ms)) {
                return true;
            }
        }
        return false;
    }

    testing_support::Finished runOmbrel(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {binary};
        argv.insert(argv.end(), args.begin(), args.end());
        return runToEnd(argv, isolated(runtime_, {"DBUS_SESSION_BUS_ADDRESS=" + address_}), 60s);
    }

    // The string arguments of every "run" signal the monitor has seen so far, in order.
    std::vector<std::string> runNames() const {
        std::vector<std::string> names;
        const std::string& out = monitor_->output();
        std::size_t at = 0;
        while ((at = out.find("interface=local.ombrel; member=run", at)) != std::string::npos) {
            const std::size_t open = out.find("string \"", at);
            const std::size_t close = out.find("\"\n", open + 8);
            if (open == std::string::npos || close == std::string::npos) {
                break;
            }
            names.push_back(out.substr(open + 8, close - open - 8));
            at = close;
        }
        return names;
    }

    TempDir runtime_;
    std::unique_ptr<Background> daemon_;
    std::unique_ptr<Background> monitor_;
    std::string address_;
};

TEST_F(PrivateBus, RunPostsTheSignalWithTheName) {
    const auto result = runOmbrel({"--run", "leftHalf"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    ASSERT_TRUE(sendProbe("after"));
    EXPECT_EQ(runNames(), std::vector<std::string>{"leftHalf"});
    EXPECT_NE(monitor_->output().find("path=/local/ombrel; interface=local.ombrel; member=run"),
              std::string::npos)
        << monitor_->output();
}

TEST_F(PrivateBus, OnlyTheFirstRunCountsAndAnyNameIsSent) {
    EXPECT_EQ(runOmbrel({"--run", "maximize", "--run", "center"}).status, 0);
    EXPECT_EQ(runOmbrel({"--run", "no such action"}).status, 0);
    ASSERT_TRUE(sendProbe("after"));
    EXPECT_EQ(runNames(), (std::vector<std::string>{"maximize", "no such action"}));
}

TEST_F(PrivateBus, SelftestSendsNothing) {
    EXPECT_EQ(runOmbrel({"--run", "leftHalf", "--selftest"}).status, 0);
    ASSERT_TRUE(sendProbe("after"));
    EXPECT_TRUE(runNames().empty());
}

}  // namespace
}  // namespace ombrel
