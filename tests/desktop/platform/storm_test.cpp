// A storm of input with the program paused and resumed meanwhile. It runs in an X session of its
// own: after it, the window manager does not always take on new windows.
#include "input_scripts.h"

#include <signal.h>
#include <sys/wait.h>

#include <random>

namespace ombrel::platform_test {
namespace {

// Tens of thousands of keys and buttons from the user's devices and from xdotool at once, one in
// thirty-two bound, with the program paused twice while bound ones arrive: after every round keys
// and clicks reach the focused window plain, and nothing is held. (The server replays what a
// frozen device queued by walking the whole queue, so pauses and rounds are kept short.)
TEST_F(InputScripts, AfterAStormWithThePausedProgramKeysAndClicksStillArrive) {
    // Once the program has worked off a round, keys and clicks arrive as typed and nothing is
    // held. Its actions may still be posting for a while, so this asks again and again.
    std::string got;
    const auto settled = [&] {
        return pumpUntil([&] { return !(got = received(1s)).ends_with("frozen") && nothingHeld(); },
                         30s);
    };
    start(true);
    std::mt19937 random(12);  // NOLINT(cert-msc51-cpp): the same storm every run
    const auto pick = [&](const std::vector<std::string>& unbound,
                          const std::vector<std::string>& bound, unsigned odds) {
        return random() % odds == 0 ? bound[random() % bound.size()]
                                    : unbound[random() % unbound.size()];
    };
    const auto user = [&](int steps, unsigned odds) {
        for (int i = 0; i < steps; ++i) {
            play(pick(
                {"+a -a", "+shift +c -c -shift", "+ctrl +Left -Left -ctrl", "+b3 -b3", "+b9 -b9"},
                {"+ctrl +alt +k -k -alt -ctrl", "+ctrl +alt +j -j -alt -ctrl", "+b2 -b2",
                 "+ctrl +alt +m -m -alt -ctrl", "+ctrl +alt +p -p -alt -ctrl"},
                odds));
        }
    };
    // Pauses the program, though not while it holds the server grabbed around a post: every
    // other client, this test too, would wait for it. Another client's round trip shows that
    // nothing holds it.
    const auto pauseProgram = [&] {
        for (int attempt = 0; attempt < 20; ++attempt) {
            kill(host_, SIGSTOP);
            if (xsession::XSession::run({"xdotool", "getmouselocation"}, 2s) == 0) {
                return;
            }
            kill(host_, SIGCONT);
        }
    };
    for (int round = 0; round < 10; ++round) {
        std::vector<std::string> argv = {"xdotool"};
        for (int i = 0; i < 300; ++i) {
            const std::string what =
                pick({"key a", "key shift+c", "key Up", "key ctrl+d", "click 3", "click 9"},
                     {"key ctrl+alt+k", "key ctrl+alt+m", "key ctrl+alt+j", "click 2"}, 32);
            const auto space = what.find(' ');
            argv.insert(argv.end(),
                        {what.substr(0, space), "--delay", "0", what.substr(space + 1)});
        }
        pid_t xdotool = xsession::XSession::start(argv);
        if (round % 4 == 3) {
            pauseProgram();
            user(100, 4);
            kill(host_, SIGCONT);
        }
        user(400, 32);
        EXPECT_TRUE(xsession::XSession::waitUntil(
            [&] { return waitpid(xdotool, nullptr, WNOHANG) == xdotool && (xdotool = -1) < 0; },
            60s));
        xsession::XSession::stop(xdotool);
        EXPECT_TRUE(settled()) << "round " << round << ", last arrived: " << got;
    }
}

}  // namespace
}  // namespace ombrel::platform_test
