// Ends the event loop when the session or a terminal asks the program to end (SIGTERM, SIGHUP,
// SIGINT), so that it quits as from its menu: threads stopped and the last change written.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <memory>

namespace ombrel::app {

class QuitOnSignals : public QObject {
  public:
    QuitOnSignals();
    ~QuitOnSignals() override;
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

  private:
    // A signal handler may only write to a pipe; the event loop reads the other end.
    std::array<int, 2> pipe_{-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace ombrel::app
