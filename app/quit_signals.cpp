#include "app/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <csignal>

namespace ombrel::app {

namespace {

constexpr std::array quitSignals{SIGTERM, SIGHUP, SIGINT};

// The write end for the handler, which can reach nothing else; one program, one instance.
volatile std::sig_atomic_t writeEnd = -1;

void onSignal(int /*signal*/) {
    const char byte = 'q';
    // Nothing to do when the pipe is full: a quit is on its way already.
    [[maybe_unused]] const auto written = write(writeEnd, &byte, 1);
}

}  // namespace

QuitOnSignals::QuitOnSignals() {
    if (pipe2(pipe_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_ = {-1, -1};
        return;  // the default ending stays: killed, with the last write possibly lost
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        std::array<char, 16> drained{};
        while (read(pipe_[0], drained.data(), drained.size()) > 0) {
        }
        QCoreApplication::quit();
    });
    writeEnd = pipe_[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : quitSignals) {
        sigaction(s, &action, nullptr);
    }
}

QuitOnSignals::~QuitOnSignals() {
    if (pipe_[0] < 0) {
        return;
    }
    for (int s : quitSignals) {
        std::signal(s, SIG_DFL);
    }
    writeEnd = -1;
    notifier_.reset();
    close(pipe_[0]);
    close(pipe_[1]);
}

}  // namespace ombrel::app
