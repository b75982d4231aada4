// Desktop entries, detached programs, URLs, the frontmost application and show desktop.
#include <gtest/gtest.h>

#include "platform/linux/desktop_entry.h"
#include "platform/linux/detached_process.h"
#include "platform/linux/linux_workspace.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "desktop_env.h"
#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::pumpUntil;
using platform_test::session;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

TEST(DesktopEntry, ExecLinesSplitByTheQuotingRules) {
    struct Case {
        const char* exec;
        std::optional<Args> args;
    };
    const Case cases[] = {
        {"firefox %u", Args{"firefox"}},
        {"gimp-2.10 %U", Args{"gimp-2.10"}},
        {"/usr/bin/app --new-window %F --flag", Args{"/usr/bin/app", "--new-window", "--flag"}},
        {"app %i %c %k", Args{"app"}},
        {"app --file=%f", Args{"app", "--file="}},
        {"app 100%%", Args{"app", "100%"}},
        {R"("/opt/My App/run" --x)", Args{"/opt/My App/run", "--x"}},
        {R"(sh -c "echo \"hi\" \$HOME \\ \`x\`")", Args{"sh", "-c", R"(echo "hi" $HOME \ `x`)"}},
        {R"(app "%u")", Args{"app", "%u"}},
        {"  app   two  ", Args{"app", "two"}},
        {R"(app "unclosed)", std::nullopt},
        {"", std::nullopt},
        {"%U", std::nullopt},
        {"app 50%", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitExec(c.exec), c.args) << c.exec;
    }
}

TEST(DesktopEntry, ExecKeyOfTheDesktopEntryGroupOnly) {
    struct Case {
        const char* text;
        std::optional<Args> args;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nName=Editor\nExec=editor %F\n", Args{"editor"}},
        {"# comment\n[Desktop Entry]\r\nExec = editor --a\r\n", Args{"editor", "--a"}},
        {"[Desktop Action new]\nExec=other\n[Desktop Entry]\nExec=main\n", Args{"main"}},
        {"[Desktop Entry]\nExec[de]=localised\nExec=main\n", Args{"main"}},
        // \s is a space: a separator unless quoted.
        {"[Desktop Entry]\nExec=my\\sapp --x\n", Args{"my", "app", "--x"}},
        {"[Desktop Entry]\nExec=\"my\\sapp\" --x\n", Args{"my app", "--x"}},
        {"[Desktop Entry]\nName=No command\n", std::nullopt},
        {"Exec=outside any group\n", std::nullopt},
        {"[Desktop Entry]\nExec=\n", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(execCommand(c.text), c.args) << c.text;
    }
}

class TempDir {
  public:
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "ombrel-ws-XXXXXX").string();
        path_ = mkdtemp(t.data()) != nullptr ? t : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& text, bool executable = false) const {
        std::ofstream(file(name)) << text;
        if (executable) {
            chmod(file(name).c_str(), 0755);
        }
    }
    [[nodiscard]] const std::string& path() const { return path_; }

  private:
    std::string path_;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool waitForFile(const std::string& path) {
    return platform_test::pumpUntil(
        [&] {
            const std::string t = readAll(path);
            return !t.empty() && t.back() == '\n';
        },
        5s);
}

// Our own children that have ended but were not reaped.
int zombieChildren() {
    int zombies = 0;
    const std::string self = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        const auto close = line.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(line.substr(close + 2));
        std::string state;
        std::string ppid;
        rest >> state >> ppid;
        if (ppid == self && state == "Z") {
            ++zombies;
        }
    }
    return zombies;
}

class WorkspaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        ASSERT_FALSE(dir_.path().empty());
        x_ = std::make_unique<XConnection>();
        workspace_ = std::make_unique<LinuxWorkspace>(*x_);
    }
    TempDir dir_;
    std::unique_ptr<XConnection> x_;
    std::unique_ptr<LinuxWorkspace> workspace_;
};

TEST_F(WorkspaceTest, LaunchedProcessesRunDetachedAndLeaveNoZombie) {
    const std::string out = dir_.file("out");
    for (int i = 0; i < 5; ++i) {
        workspace_->launchProcess(
            "/bin/sh", {"-c", "echo $PPID >> \"$1\"; echo noise; echo noise >&2", "sh", out});
    }
    ASSERT_TRUE(pumpUntil([&] {
        const std::string t = readAll(out);
        return std::count(t.begin(), t.end(), '\n') == 5;
    }));
    std::istringstream lines(readAll(out));
    std::string parent;
    while (std::getline(lines, parent)) {
        EXPECT_NE(parent, std::to_string(getpid()));
    }
    EXPECT_EQ(zombieChildren(), 0);
    // A program that does not exist is simply not started.
    workspace_->launchProcess("/nonexistent/program", {});
    EXPECT_FALSE(startDetached("no-such-program-anywhere", {}));
    EXPECT_EQ(zombieChildren(), 0);
}

TEST_F(WorkspaceTest, OpensDesktopEntriesAndExecutables) {
    const std::string fromEntry = dir_.file("entry-ran");
    dir_.write("app.desktop",
               "[Desktop Entry]\nType=Application\nName=Test\nExec=/bin/sh -c "
               "\"echo entry \\\\$0 > " +
                   fromEntry + "\" %U\n");
    workspace_->openApplication(dir_.file("app.desktop"));
    ASSERT_TRUE(waitForFile(fromEntry));
    EXPECT_EQ(readAll(fromEntry), "entry /bin/sh\n");

    const std::string fromScript = dir_.file("script-ran");
    dir_.write("tool", "#!/bin/sh\necho script > " + fromScript + "\n", true);
    workspace_->openApplication(dir_.file("tool"));
    ASSERT_TRUE(waitForFile(fromScript));
    EXPECT_EQ(readAll(fromScript), "script\n");

    // Broken entries and missing files are ignored.
    dir_.write("broken.desktop", "[Desktop Entry]\nExec=\"unclosed\n");
    workspace_->openApplication(dir_.file("broken.desktop"));
    workspace_->openApplication(dir_.file("missing.desktop"));
    EXPECT_EQ(zombieChildren(), 0);
}

TEST_F(WorkspaceTest, UrlsGoToXdgOpenOnlyWhenTheyParse) {
    // A stand-in xdg-open first in PATH records what it was given.
    const std::string log = dir_.file("opened");
    dir_.write("xdg-open", "#!/bin/sh\necho \"$#:$1\" >> " + log + "\n", true);
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", (dir_.path() + ":" + oldPath).c_str(), 1);
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"https://example.com/a b", false},
        {"no scheme at all", false},
        {"http://[::1", false},
        {"", false},
        {"https://example.com/path?q=1#frag", true},
        {"mailto:someone@example.com", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(workspace_->openURL(c.text), c.valid) << c.text;
    }
    const bool opened = pumpUntil([&] {
        const std::string t = readAll(log);
        return std::count(t.begin(), t.end(), '\n') == 2;
    });
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(opened);
    const std::string t = readAll(log);
    EXPECT_NE(t.find("1:https://example.com/path?q=1#frag\n"), std::string::npos) << t;
    EXPECT_NE(t.find("1:mailto:someone@example.com\n"), std::string::npos) << t;
}

TEST_F(WorkspaceTest, FrontmostApplicationIsTheActiveWindowsClass) {
    const Window w = session().createWindow("editor", "OmbrelEditor", 100, 100, 300, 200);
    ASSERT_NE(w, 0U);
    ASSERT_TRUE(session().activate(w));
    EXPECT_EQ(workspace_->frontmostApplicationID(), std::optional<std::string>("OmbrelEditor"));
    XDestroyWindow(session().display(), w);
    XSync(session().display(), False);
}

TEST_F(WorkspaceTest, ShowDesktopTogglesTheWindowManagersState) {
    LinuxDesktopShell shell(*x_);
    Display* d = session().display();
    const Atom showing = XInternAtom(d, "_NET_SHOWING_DESKTOP", False);
    auto state = [&] { return readLong(d, DefaultRootWindow(d), showing).value_or(-1); };
    const long before = state();
    ASSERT_TRUE(before == 0 || before == 1);
    ASSERT_TRUE(shell.send(DesktopShell::Request::showDesktop));
    EXPECT_TRUE(pumpUntil([&] { return state() == 1 - before; }));
    ASSERT_TRUE(shell.send(DesktopShell::Request::showDesktop));
    EXPECT_TRUE(pumpUntil([&] { return state() == before; }));
}

TEST_F(WorkspaceTest, OverviewsWithoutADesktopShellAnswerFalse) {
    // Openbox offers neither overview; no shell answers on the bus.
    LinuxDesktopShell shell(*x_);
    EXPECT_FALSE(shell.send(DesktopShell::Request::missionControl));
    EXPECT_FALSE(shell.send(DesktopShell::Request::appWindows));
}

TEST(SystemPrograms, LoginShellAndToolsWithoutFallbacks) {
    const SystemPrograms p = linuxPrograms();
    ASSERT_FALSE(p.shell.empty());
    EXPECT_EQ(p.shell.front(), '/');
    EXPECT_EQ(access(p.shell.c_str(), X_OK), 0);
    EXPECT_EQ(p.shellArguments, Args{"-lc"});
    ASSERT_TRUE(p.lockScreen.has_value());
    EXPECT_EQ(p.sleepDisplay.executable, "xset");
    EXPECT_FALSE(p.missionControlFallback || p.appWindowsFallback || p.showDesktopFallback);
}

}  // namespace
}  // namespace ombrel::linux_platform
