// Desktop entries, detached programs and URLs.
#include "fake_bus.h"

#include <gtest/gtest.h>

#include "platform/linux/detached_process.h"
#include "platform/linux/linux_workspace.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "env.h"
#include "support/temp_dir.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;

// URLs, desktop entries, programs and scripts, opened as a launcher opens them.
TEST(Workspace, UrlsGoToXdgOpenAndEntriesBringTheirAppForwardOrStartDetachedLikeALauncher) {
    const test::TempDir temp;
    const auto file = [&](const std::string& name) { return (temp.path() / name).string(); };
    // The lines of a file once it holds that many, sorted.
    const auto lines = [&](const std::string& name, std::size_t count) {
        std::vector<std::string> out;
        pumpUntil([&] {
            std::istringstream in(test::readFile(file(name)));
            out.clear();
            for (std::string line; std::getline(in, line);) {
                out.push_back(line);
            }
            return out.size() >= count;
        });
        std::sort(out.begin(), out.end());
        return out;
    };
    // Stand-ins for the desktop's programs come first in PATH: xdg-open records what it was
    // given; each start of "report" reports its first argument, its parent, its folder and its
    // startup id.
    const std::pair<const char*, std::string> scripts[] = {
        {"xdg-open", "echo \"$#:$1\" >> " + file("opened")},
        {"report", "echo \"$1 $PPID $PWD $DESKTOP_STARTUP_ID\" >> " + file("out")},
        {"x-terminal-emulator",
         "echo \"terminal $PPID $1\" >> " + file("out") + "\nshift\nexec \"$@\""},
    };
    for (const auto& [name, text] : scripts) {
        test::writeFile(file(name), "#!/bin/sh\n" + text + "\n");
        chmod(file(name).c_str(), 0755);
    }
    const std::string path = std::getenv("PATH");
    setenv("PATH", (temp.path().string() + ":" + path).c_str(), 1);
    FakeBus bus;
    bus.serve("org.ombrel.TestApp", "/org/ombrel/TestApp", FakeBus::answer());
    XConnection x;
    LinuxWorkspace workspace(x, {bus.connectClient(), {}});

    const std::pair<const char*, bool> urls[] = {
        {"https://example.com/a b", false},
        {"no scheme at all", false},
        {"example.com/a", false},
        {"http://[::1", false},
        {"", false},
        {"mailto:someone@example.com", true},
        {"https://example.com/path?q=1#frag", true},
    };
    for (auto [text, valid] : urls) {
        EXPECT_EQ(workspace.openURL(text), valid) << text;
    }
    EXPECT_EQ(lines("opened", 2), (std::vector<std::string>{"1:https://example.com/path?q=1#frag",
                                                            "1:mailto:someone@example.com"}));
    // Shell actions run through the login shell.
    const SystemPrograms p = linuxPrograms();
    EXPECT_TRUE(!p.shell.empty() && p.shell.front() == '/' && access(p.shell.c_str(), X_OK) == 0)
        << p.shell;

    Display* d = session().display();
    XSelectInput(d, DefaultRootWindow(d), PropertyChangeMask);
    std::filesystem::create_directory(temp.path() / "work");
    const std::string report = "Exec=" + file("report");
    const std::pair<const char*, std::string> entries[] = {
        {"editor", report + " editor\nStartupWMClass=OmbrelEditor"},
        {"OmbrelViewer", report + " viewer"},
        {"plain", report + " plain\nPath=" + file("work") + "\nStartupNotify=true\nName=Plain"},
        {"term", report + " term\nTerminal=true"},
        {"org.ombrel.TestApp", report + " activatable\nDBusActivatable=true"},
        {"org.ombrel.Missing", report + " missing\nDBusActivatable=true"},
        {"app", report + " entry %U"},
        {"broken", "Exec=\"unclosed"},
    };
    for (const auto& [name, keys] : entries) {
        test::writeFile(file(std::string(name) + ".desktop"),
                        "[Desktop Entry]\nType=Application\n" + keys + "\n");
    }

    // Running applications come forward: by StartupWMClass, else by the file's name.
    const Window editor = session().createWindow("editor", "OmbrelEditor", 10, 10, 200, 150);
    const Window viewer = session().createWindow("ombrelviewer", "OmbrelViewer", 30, 30, 200, 150);
    const Window other = session().createWindow("other", "OmbrelOther", 50, 50, 200, 150);
    ASSERT_TRUE(session().activate(other));
    workspace.openApplication(file("editor.desktop"));
    EXPECT_TRUE(pumpUntil([&] { return session().activeWindow() == editor; }));
    workspace.openApplication(file("OmbrelViewer.desktop"));
    EXPECT_TRUE(pumpUntil([&] { return session().activeWindow() == viewer; }));
    // Others start, as do programs and scripts; broken entries and missing files are ignored.
    for (const char* name :
         {"plain", "term", "org.ombrel.TestApp", "org.ombrel.Missing", "app", "broken", "none"}) {
        workspace.openApplication(file(std::string(name) + ".desktop"));
    }
    workspace.openApplication(file("report"));
    for (int i = 0; i < 3; ++i) {
        workspace.launchProcess(file("report"), {"launched"});
    }
    workspace.launchProcess("/nonexistent/program", {});
    EXPECT_FALSE(startDetached("no-such-program-anywhere", {}));
    const auto got = lines("out", 9);
    setenv("PATH", path.c_str(), 1);
    for (Window w : {editor, viewer, other}) {
        XDestroyWindow(d, w);
    }
    // Entries' programs run in the entry's folder, or ours, with a startup id that carries the
    // time of the request; a terminal runs the one that asks for it. None is our child.
    const std::string cwd = std::filesystem::current_path();
    const std::string id = " ombrel-[0-9]+-[0-9]+_TIME[1-9][0-9]*$";
    const std::string expected[] = {" [0-9]+ .*",
                                    "entry [0-9]+ .*",
                                    "launched [0-9]+ .*",
                                    "launched [0-9]+ .*",
                                    "launched [0-9]+ .*",
                                    "missing [0-9]+ " + cwd + id,
                                    "plain [0-9]+ " + file("work") + id,
                                    "term [0-9]+ " + cwd + id,
                                    "terminal [0-9]+ -e"};
    ASSERT_EQ(got.size(), 9U);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(std::regex_match(got[i], std::regex(expected[i]))) << got[i];
        EXPECT_EQ(got[i].find(" " + std::to_string(getpid()) + " "), std::string::npos) << got[i];
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
}

}  // namespace
}  // namespace ombrel::linux_platform
