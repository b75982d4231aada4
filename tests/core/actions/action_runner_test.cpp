// The action runner and the system actions: every action run against fresh fakes, and the log of
// what it posted, asked the desktop shell for, started or opened.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "config/notices.h"
#include "fakes/fake_platform.h"

namespace ombrel {
namespace {

using S = SystemAction;
enum Setup { plain = 0, noShell = 1, noPointer = 2, lockProgram = 4 };
// The session's player, sound server, display power and a locker that locks (unless lockFails);
// stale: both notices were said before.
constexpr int services = 8, lockFails = 16, stale = 32;

// One entry per effect, joined by "; ": posted events, then desktop shell requests (by number) and
// calls, started programs (each argument in brackets), opened addresses, opened applications and
// notices.
std::string run(const Action& action, int setup) {
    SystemPrograms programs{"/bin/bash", {"-lc"}, {}, {"xset", {"dpms", "force", "off"}},
                            {},          {},      {}};
    programs.missionControlFallback = Command{"overview", {}};
    programs.showDesktopFallback = Command{"desktop", {"--show"}};
    if ((setup & lockProgram) != 0) {
        programs.lockScreen = Command{"loginctl", {"lock-session"}};
    }
    fake::FakeWindowSystem windowSystem;
    WindowManager windows{windowSystem};
    fake::FakeEventPoster poster;
    fake::FakeWorkspace workspace;
    fake::FakeDesktopShell shell;
    shell.available = (setup & noShell) == 0;
    shell.services = (setup & services) != 0;
    if ((setup & (services | lockFails)) != 0) {
        shell.lockAnswer = (setup & lockFails) == 0;
    }
    Notices notices;
    for (const char* topic : {"lockScreen", "overview"}) {
        notices.set(topic, (setup & stale) != 0 ? "before" : "");
    }
    poster.pointer = (setup & noPointer) != 0 ? std::nullopt : std::optional(Point{300, 200});
    ActionRunner runner(windows, poster, workspace, shell, programs);
    runner.setNotices(&notices);
    runner.run(action);

    std::ostringstream log;
    const auto lines = [&log](const char* prefix, const std::vector<std::string>& all) {
        for (const std::string& line : all) {
            log << prefix << line << "; ";
        }
    };
    lines("", poster.posted);
    for (const DesktopShell::Request r : shell.sent) {
        log << "desktop " << static_cast<int>(r) << "; ";
    }
    lines("shell ", shell.calls);
    for (const Command& c : workspace.launched) {
        log << "run " << c.executable;
        for (const std::string& a : c.arguments) {
            log << " [" << a << "]";
        }
        log << "; ";
    }
    lines("url ", workspace.openedURLs);
    lines("app ", workspace.openedApps);
    for (const Notice& n : notices.current()) {
        log << "notice " << n.topic << (n.text.empty() ? " empty" : "") << "; ";
    }
    std::string text = log.str();
    return text.substr(0, text.empty() ? 0 : text.size() - 2);
}

TEST(ActionRunner, EachActionDoesExactlyThis) {
    const struct {
        Action action;
        int setup;
        const char* log;
    } cases[] = {
        // Keystrokes keep their modifier set; a code outside 0..65535 posts nothing.
        {Action::keystroke({40, Mods(9)}), plain, "keystroke 40 9"},
        {Action::keystroke({65535, Mods(0)}), plain, "keystroke 65535 0"},
        {Action::keystroke({65536, Mods(1)}), plain, ""},
        {Action::keystroke({-1, Mods(1)}), plain, ""},
        // Addresses get "https://" only when they name no scheme; refused text opens nothing.
        {Action::openURL("example.com/a"), plain, "url https://example.com/a"},
        {Action::openURL("myapp://open?x=1"), plain, "url myapp://open?x=1"},
        {Action::openURL("search?q=a://b"), plain, "url search?q=a://b"},
        {Action::openURL("mailto:a@example.com"), plain, "url https://mailto:a@example.com"},
        {Action::openURL("not a url"), plain, ""},
        // The command stays one argument for the shell to interpret.
        {Action::shell("ls ~ | wc -l; echo \"$HOME\""), plain,
         "run /bin/bash [-lc] [ls ~ | wc -l; echo \"$HOME\"]"},
        {Action::launchApp("/nowhere/Editor.app"), plain, "app /nowhere/Editor.app"},
        // System functions (one sample of each kind), and the desktop shell's fallbacks.
        {Action::system(S::missionControl), plain, "desktop 0"},
        {Action::system(S::missionControl), noShell, "run overview"},
        {Action::system(S::appWindows), noShell, "notice overview"},
        {Action::system(S::showDesktop), noShell, "run desktop [--show]"},
        {Action::system(S::lockScreen), plain, "keystroke 12 5"},
        {Action::system(S::lockScreen), lockProgram, "run loginctl [lock-session]"},
        {Action::system(S::sleepDisplay), plain, "run xset [dpms] [force] [off]"},
        {Action::system(S::playPause), plain, "media playPause"},
        // The session's own services come first; the media keys are the last resort, and a
        // lock nobody performed is said, never taken for done.
        {Action::system(S::playPause), services, "shell player 0"},
        {Action::system(S::mute), services, "shell volume 2"},
        {Action::system(S::sleepDisplay), services, "shell sleep"},
        {Action::system(S::lockScreen), services, "shell lock"},
        {Action::system(S::lockScreen), lockFails | lockProgram, "shell lock; notice lockScreen"},
        // What the desktop managed after all is no longer said to fail.
        {Action::system(S::lockScreen), services | stale, "shell lock; notice overview"},
        {Action::system(S::appWindows), stale, "desktop 1; notice lockScreen"},
        {Action::system(S::middleClick), plain, "click 2 at 300,200"},
        {Action::system(S::middleClick), noPointer, "click 2 at 0,0"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(run(cases[i].action, cases[i].setup), cases[i].log);
    }
}

}  // namespace
}  // namespace ombrel
