// The action runner and the system actions: every action run against fresh fakes, and the log of
// what it posted, asked the desktop shell for, started or opened.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "config/notices.h"
#include "fakes/fake_platform.h"

namespace ombrel {
namespace {

using S = SystemAction;
enum Setup { plain = 0, noShell = 1, noPointer = 2, failDown = 4, failUp = 8, lockProgram = 16 };
// The session's player, sound server, display power and a locker that locks (unless lockFails);
// stale: both notices were said before.
constexpr int services = 32, lockFails = 64, stale = 128;

// One entry per effect, joined by "; ": posted events, then shell requests and calls, started
// programs (each argument in brackets), opened addresses, opened applications and notices.
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
    poster.failKeyDown = (setup & failDown) != 0;
    poster.failKeyUp = (setup & failUp) != 0;
    ActionRunner runner(windows, poster, workspace, shell, programs);
    runner.setNotices(&notices);
    runner.run(action);

    std::ostringstream log;
    auto line = [&log](const auto&... parts) { (log << ... << parts) << std::dec << "; "; };
    using Kind = fake::FakeEventPoster::Posted::Kind;
    for (const auto& p : poster.posted) {
        const char* marked = p.userData == syntheticEventMarker ? " marked" : "";
        if (p.kind == Kind::aux) {
            line("aux ", std::hex, p.aux.modifierFlags, ' ', p.aux.subtype, ' ', p.aux.data1, ' ',
                 std::dec, p.aux.data2);
        } else if (p.kind == Kind::key) {
            line("key ", p.code, p.down ? " down " : " up ", std::hex, p.flags, marked);
        } else {
            line("mouse ", p.code, p.down ? " down" : " up", marked, " at ", p.at.x, ',', p.at.y);
        }
    }
    const char* const requests[] = {"missionControl", "appWindows", "showDesktop"};
    for (const DesktopShell::Request r : shell.sent) {
        line("desktop ", requests[static_cast<int>(r)]);
    }
    for (const std::string& call : shell.calls) {
        line("shell ", call);
    }
    for (const Command& c : workspace.launched) {
        std::string arguments;
        for (const std::string& a : c.arguments) {
            arguments += " [" + a + "]";
        }
        line("run ", c.executable, arguments);
    }
    for (const std::string& url : workspace.openedURLs) {
        line("url ", url);
    }
    for (const std::string& app : workspace.openedApps) {
        line("app ", app);
    }
    for (const Notice& n : notices.current()) {
        line("notice ", n.topic, n.text.empty() ? " empty" : "");
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
        // Keystrokes: the four modifier bits map to event flags, both halves are marked, a code
        // outside 0..65535 posts nothing and a half that fails does not stop the other.
        {Action::keystroke({0, Mods(0)}), plain, "key 0 down 0 marked; key 0 up 0 marked"},
        {Action::keystroke({40, Mods(1)}), plain,
         "key 40 down 100000 marked; key 40 up 100000 marked"},
        {Action::keystroke({65535, Mods(9)}), plain,
         "key 65535 down 120000 marked; key 65535 up 120000 marked"},
        {Action::keystroke({65536, Mods(1)}), plain, ""},
        {Action::keystroke({-1, Mods(1)}), plain, ""},
        {Action::keystroke({40, Mods(2)}), failDown, "key 40 up 80000 marked"},
        {Action::keystroke({40, Mods(16 | 4)}), failUp, "key 40 down 40000 marked"},
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
        // The twelve system functions, and the desktop shell's fallbacks.
        {Action::system(S::missionControl), plain, "desktop missionControl"},
        {Action::system(S::appWindows), plain, "desktop appWindows"},
        {Action::system(S::showDesktop), plain, "desktop showDesktop"},
        {Action::system(S::missionControl), noShell, "run overview"},
        {Action::system(S::appWindows), noShell, "notice overview"},
        {Action::system(S::showDesktop), noShell, "run desktop [--show]"},
        {Action::system(S::lockScreen), plain,
         "key 12 down 140000 marked; key 12 up 140000 marked"},
        {Action::system(S::lockScreen), lockProgram, "run loginctl [lock-session]"},
        {Action::system(S::sleepDisplay), plain, "run xset [dpms] [force] [off]"},
        {Action::system(S::playPause), plain, "aux a00 8 100a00 -1; aux b00 8 100b00 -1"},
        {Action::system(S::nextTrack), plain, "aux a00 8 110a00 -1; aux b00 8 110b00 -1"},
        {Action::system(S::previousTrack), plain, "aux a00 8 120a00 -1; aux b00 8 120b00 -1"},
        {Action::system(S::volumeUp), plain, "aux a00 8 a00 -1; aux b00 8 b00 -1"},
        {Action::system(S::volumeDown), plain, "aux a00 8 10a00 -1; aux b00 8 10b00 -1"},
        {Action::system(S::mute), plain, "aux a00 8 70a00 -1; aux b00 8 70b00 -1"},
        // The session's own services come first; the media keys are the last resort, and a
        // lock nobody performed is said, never taken for done.
        {Action::system(S::playPause), services, "shell player 0"},
        {Action::system(S::previousTrack), services, "shell player 2"},
        {Action::system(S::volumeDown), services, "shell volume 1"},
        {Action::system(S::mute), services, "shell volume 2"},
        {Action::system(S::sleepDisplay), services, "shell sleep"},
        {Action::system(S::lockScreen), services, "shell lock"},
        {Action::system(S::lockScreen), lockFails | lockProgram, "shell lock; notice lockScreen"},
        // What the desktop managed after all is no longer said to fail.
        {Action::system(S::lockScreen), services | stale, "shell lock; notice overview"},
        {Action::system(S::appWindows), stale, "desktop appWindows; notice lockScreen"},
        {Action::system(S::middleClick), plain,
         "mouse 2 down marked at 300,200; mouse 2 up marked at 300,200"},
        {Action::system(S::middleClick), noPointer,
         "mouse 2 down marked at 0,0; mouse 2 up marked at 0,0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.action, c.setup), c.log) << "setup " << c.setup;
    }
}

}  // namespace
}  // namespace ombrel
