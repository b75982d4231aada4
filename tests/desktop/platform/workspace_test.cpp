// Desktop entries, detached programs, URLs and the desktop shell.
#include "fake_bus.h"

#include <gtest/gtest.h>

#include "platform/linux/detached_process.h"
#include "platform/linux/linux_workspace.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "env.h"
#include "fakes/fake_platform.h"
#include "platform/linux/x_properties.h"
#include "support/temp_dir.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;

class WorkspaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        setenv("PATH", (dir_.string() + ":" + path_).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", path_.c_str(), 1); }

    [[nodiscard]] std::string file(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name)) << text;
        chmod(file(name).c_str(), 0755);
    }
    // The lines of a file once it holds that many, sorted.
    std::vector<std::string> lines(const std::string& name, std::size_t count) const {
        std::vector<std::string> out;
        pumpUntil([&] {
            std::ifstream in(file(name));
            out.clear();
            for (std::string line; std::getline(in, line);) {
                out.push_back(line);
            }
            return out.size() >= count;
        });
        std::sort(out.begin(), out.end());
        return out;
    }
    // The text with the test's folder, ours and a startup id's pattern put in.
    [[nodiscard]] std::string expand(std::string text) const {
        const std::pair<std::string, std::string> names[] = {
            {"$CWD", std::filesystem::current_path()},
            {"$DIR", dir_},
            {"$ID", "ombrel-[0-9]+-[0-9]+_TIME[1-9][0-9]*"}};
        for (const auto& [name, value] : names) {
            for (std::size_t at = 0; (at = text.find(name, at)) != std::string::npos;) {
                text.replace(at, name.size(), value);
            }
        }
        return text;
    }

    const test::TempDir temp_;
    const std::filesystem::path& dir_ = temp_.path();
    const std::string path_ = std::getenv("PATH");
    XConnection x_;
};

// Running applications come forward (by StartupWMClass, else by the file's name); the others
// start detached, leaving no zombie, in the entry's folder or ours, with a startup id, in a
// terminal, or over D-Bus with their Exec line as the fallback.
TEST_F(WorkspaceTest, EntriesBringTheirRunningAppForwardOrStartLikeALauncher) {
    FakeBus bus;
    bus.serve("org.ombrel.TestApp/org/ombrel/TestApp");
    LinuxWorkspace workspace(x_, {bus.connectClient(), {}});
    Display* d = session().display();
    XSelectInput(d, DefaultRootWindow(d), PropertyChangeMask);
    write("report",
          "#!/bin/sh\necho \"$1 $PPID $PWD id=$DESKTOP_STARTUP_ID\" >> " + file("out") + "\n");
    write("x-terminal-emulator",
          "#!/bin/sh\necho \"terminal $1\" >> " + file("out") + "\nshift\nexec \"$@\"\n");
    std::filesystem::create_directory(dir_ / "work");
    const auto entries = records("workspace.cases", "entries");
    std::map<std::string, Window> running;
    for (const auto& e : entries) {
        write(e[0] + ".desktop", "[Desktop Entry]\nType=Application\n" + expand(e[2]) + "\n");
        if (!e[1].empty()) {
            running[e[0]] = session().createWindow(e[1], e[1], 10, 10, 200, 150);
        }
    }
    const Window other = session().createWindow("other", "OmbrelOther", 50, 50, 200, 150);
    ASSERT_TRUE(session().activate(other));
    for (const auto& e : entries) {
        workspace.openApplication(file(e[0] + ".desktop"));
        EXPECT_TRUE(!running.contains(e[0]) || pumpUntil([&] {
            return session().activeWindow() == running[e[0]];
        })) << e[0];
    }
    for (int i = 0; i < 3; ++i) {
        workspace.launchProcess(file("report"), {"launched"});
    }
    workspace.openApplication(file("report"));
    // Missing files and programs are ignored.
    workspace.openApplication(file("missing.desktop"));
    workspace.launchProcess("/nonexistent/program", {});
    EXPECT_FALSE(startDetached("no-such-program-anywhere", {}));

    const auto expected = records("workspace.cases", "reported");
    const auto got = lines("out", expected.size());
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(std::regex_match(got[i], std::regex(expand(expected[i][0])))) << got[i];
        EXPECT_EQ(got[i].find(" " + std::to_string(getpid()) + " "), std::string::npos)
            << "not detached: " << got[i];
    }
    EXPECT_LE(waitpid(-1, nullptr, WNOHANG), 0) << "a child was left unreaped";
    const auto calls = bus.calls();
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].substr(0, 54), "org.ombrel.TestApp Activate desktop-startup-id=ombrel-");
    // The launch of an entry that ends its own feedback is announced to the desktop.
    std::string announced;
    for (XEvent e; XCheckTypedEvent(d, ClientMessage, &e);) {
        announced.append(e.xclient.data.b, 20);
    }
    XSelectInput(d, DefaultRootWindow(d), 0);
    EXPECT_EQ(announced.substr(0, 16), "new: ID=\"ombrel-");
    EXPECT_NE(announced.find("NAME=\"Plain\""), std::string::npos) << announced;
    for (const auto& [name, w] : running) {
        XDestroyWindow(d, w);
    }
    XDestroyWindow(d, other);
}

TEST_F(WorkspaceTest, UrlsGoToXdgOpenOnlyWhenTheyParse) {
    // A stand-in xdg-open first in PATH records what it was given.
    write("xdg-open", "#!/bin/sh\necho \"$#:$1\" >> " + file("opened") + "\n");
    LinuxWorkspace workspace(x_);
    for (const auto& c : records("workspace.cases", "urls")) {
        EXPECT_EQ(workspace.openURL(c[0]), c[1] == "yes") << c[0];
    }
    EXPECT_EQ(lines("opened", 2), (std::vector<std::string>{"1:https://example.com/path?q=1#frag",
                                                            "1:mailto:someone@example.com"}));
}

TEST_F(WorkspaceTest, ShowDesktopTogglesAndOverviewsWithoutADesktopShellAnswerFalse) {
    fake::FakeTaskQueue queue;
    LinuxDesktopShell shell(x_, queue);
    Display* d = session().display();
    const Atom showing = XInternAtom(d, "_NET_SHOWING_DESKTOP", False);
    const long before = readLong(d, DefaultRootWindow(d), showing).value_or(-1);
    ASSERT_TRUE(before == 0 || before == 1);
    for (long expected : {1 - before, before}) {
        ASSERT_TRUE(shell.send(DesktopShell::Request::showDesktop));
        EXPECT_TRUE(
            pumpUntil([&] { return readLong(d, DefaultRootWindow(d), showing) == expected; }));
    }
    // Openbox offers no overview, and no shell answers on the bus.
    EXPECT_FALSE(shell.send(DesktopShell::Request::missionControl));
    // Shell actions run through the login shell.
    const SystemPrograms p = linuxPrograms();
    EXPECT_TRUE(!p.shell.empty() && p.shell.front() == '/' && access(p.shell.c_str(), X_OK) == 0)
        << p.shell;
}

}  // namespace
}  // namespace ombrel::linux_platform
