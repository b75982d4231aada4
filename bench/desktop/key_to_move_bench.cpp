// How long a bound shortcut takes to move the focused window, next to the same kind of move made by
// wmctrl started from a shell: from the key press (or the shell's start) to the window's
// ConfigureNotify, interleaved, on a private X session with openbox. Run by hand:
//   key_to_move_bench [rounds]      (40 of each by default)
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include "placement/target_frames.h"
#include "program.h"
#include "typist.h"
#include "x_session.h"

#include <X11/extensions/XInput.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace ombrel;
using Clock = std::chrono::steady_clock;

namespace {

void pump() {
    QEventLoop loop;
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
}

bool pumpUntil(const std::function<bool()>& cond) {
    return xsession::XSession::waitUntil(cond, std::chrono::seconds(3), pump);
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size()));
    return v.empty() ? 0 : v[std::min(v.size() - 1, at)];
}

}  // namespace

int main(int argc, char** argv) {
    xsession::XSession session;
    if (!session.ready()) {
        std::fprintf(stderr, "no X session: %s\n", session.failure().c_str());
        return 1;
    }
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    const auto folder =
        std::filesystem::temp_directory_path() / ("ombrel-key-to-move-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    {
        platform_test::Program program(folder);
        program.store.setConfig(platform_test::inputRules());  // control+option+Left: left half
        program.start();
        Display* d = session.display();
        const Window w =
            session.createWindow("bench", "OmbrelBench", 300, 200, 500, 350, StructureNotifyMask);
        XDevice* keyboard = xsession::openKeyboard(d);
        if (!pumpUntil([&] { return program.tapInstalled(); }) || w == 0 || !session.activate(w) ||
            keyboard == nullptr) {
            std::fprintf(stderr, "set-up failed\n");
            return 1;
        }
        const Rect visible = program.windows.screens()[0].visible;
        const Rect right = targetFrame(WindowAction::rightHalf, visible, visible);
        const std::vector<unsigned> keys = {XKeysymToKeycode(d, XK_Control_L),
                                            XKeysymToKeycode(d, XK_Alt_L),
                                            XKeysymToKeycode(d, XK_Left)};
        const auto press = [&](bool down) {
            for (std::size_t i = 0; i < keys.size(); ++i) {
                const unsigned k = down ? keys[i] : keys[keys.size() - 1 - i];
                XTestFakeDeviceKeyEvent(d, keyboard, k, down ? True : False, nullptr, 0,
                                        CurrentTime);
            }
            XFlush(d);
        };
        std::vector<double> ours;
        std::vector<double> wmctrl;
        XEvent e;
        for (int i = 0; i < 2 * rounds; ++i) {
            const bool key = i % 2 == 0;  // the shortcut places left, wmctrl right: always a move
            while (XSync(d, False), XCheckTypedWindowEvent(d, w, ConfigureNotify, &e)) {
            }
            pid_t pid = -1;
            const auto t0 = Clock::now();
            if (key) {
                press(true);
            } else {
                const std::string geometry =
                    "wmctrl -r :ACTIVE: -e 0," + std::to_string(int(right.x)) + "," +
                    std::to_string(int(right.y)) + "," + std::to_string(int(right.width)) + "," +
                    std::to_string(int(right.height));
                pid = xsession::XSession::start({"/bin/sh", "-c", geometry});
            }
            const bool moved =
                pumpUntil([&] { return XCheckTypedWindowEvent(d, w, ConfigureNotify, &e) != 0; });
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            if (moved) {
                (key ? ours : wmctrl).push_back(ms);
            }
            if (key) {
                press(false);
            }
            xsession::XSession::stop(pid);
            // Let the rest of the move settle before the next one starts.
            pumpUntil([&] {
                return !XCheckTypedWindowEvent(d, w, ConfigureNotify, &e) &&
                       (pump(), !XCheckTypedWindowEvent(d, w, ConfigureNotify, &e));
            });
        }
        for (const auto* m : {&ours, &wmctrl}) {
            std::printf("%-12s %3zu moves  median %6.2f ms  p90 %6.2f ms\n",
                        m == &ours ? "bound key" : "wmctrl", m->size(), percentile(*m, 0.5),
                        percentile(*m, 0.9));
        }
        const double ratio =
            percentile(ours, 0.5) > 0 ? percentile(wmctrl, 0.5) / percentile(ours, 0.5) : 0;
        std::printf("wmctrl takes %.1f times as long as the bound key (medians)\n", ratio);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
