// A private D-Bus daemon for one test, and fake desktop services on it. The services answer from
// a thread of their own, so the code under test may block on calls from the main thread.
// Include it before any Xlib header.
#pragma once

#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QThread;
class QObject;

namespace ombrel::platform_test {

class FakeBus {
  public:
    // Builds the answer to a call (call.createReply(...) or an error); nothing never answers.
    using Handler = std::function<std::optional<QDBusMessage>(const QDBusMessage& call)>;

    FakeBus();
    ~FakeBus();
    FakeBus(const FakeBus&) = delete;
    FakeBus& operator=(const FakeBus&) = delete;

    [[nodiscard]] bool ready() const { return !address_.isEmpty(); }
    // A connection of the main thread to this bus under a fresh name, for the code under test.
    std::string connectClient();

    // Owns the name on a connection of its own and handles every call to the path and below.
    void serve(const QString& service, const QString& path, Handler handler);
    // Drops a service and its connection.
    void stop(const QString& service);
    // Emits a signal from the service's connection.
    void emitSignal(const QString& service, const QDBusMessage& signal);

    // "service member arg..." for each call the services received, in order.
    std::vector<std::string> calls();
    void clearCalls();

    // A property answer for Properties.Get.
    static QDBusMessage propertyReply(const QDBusMessage& call, const QVariant& value);

  private:
    void onThread(const std::function<void()>& task);

    QProcess daemon_;
    QString address_;
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<QObject> worker_;  // lives in the thread
    std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<QString> services_;
    int clients_ = 0;
};

}  // namespace ombrel::platform_test
