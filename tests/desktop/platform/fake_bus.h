// A private D-Bus daemon for one test, with fake services that answer from a thread of their
// own, so the code under test may block on calls from the main thread. Include before Xlib.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ombrel::platform_test {

class FakeBus {
  public:
    FakeBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address"});
        daemon_.waitForReadyRead(5000);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        worker_->moveToThread(&thread_);
        thread_.start();
    }
    ~FakeBus() {
        onThread([this] { worker_.reset(); });  // with the fake objects
        thread_.quit();
        thread_.wait();
        stop();
    }
    FakeBus(const FakeBus&) = delete;
    FakeBus& operator=(const FakeBus&) = delete;

    // A connection of the main thread under a fresh name, for the code under test.
    std::string connectClient() { return connect("client-" + QString::number(++clients_)); }
    // A service that owns its name on a connection of its own and answers every call to the path
    // and below: "name/path" answers plainly, "name/path=value" with the value (a property read
    // with it, a write changes it; "true", "false", "/an/object/path" or a string),
    // "name/path~" never and "name/path!" with an error.
    void serve(const std::string& service) {
        const std::size_t slash = service.find('/');
        const std::size_t mark = std::min(service.find_first_of("=~!"), service.size());
        const QString name = QString::fromStdString(service.substr(0, slash));
        const QString path = QString::fromStdString(service.substr(slash, mark - slash));
        const std::string text = service.substr(std::min(mark + 1, service.size()));
        QVariant value = text.starts_with('/') ? QVariant::fromValue(QDBusObjectPath(text.c_str()))
                         : text == "true" || text == "false" ? QVariant(text == "true")
                         : text.empty()                      ? QVariant()
                                                             : QVariant(text.c_str());
        const char how = mark < service.size() ? service[mark] : '=';
        onThread([&] {
            QDBusConnection c(QString::fromStdString(connect(name)));
            auto* object = new Object(*this, name, how, value);  // NOLINT: Qt parent
            object->setParent(worker_.get());
            c.registerVirtualObject(path, object, QDBusConnection::SubPath);
            c.registerService(name);
        });
    }
    void emitSignal(const QString& service, const QDBusMessage& signal) {
        onThread([&] { QDBusConnection(service + address_).send(signal); });
    }
    // The daemon goes away, as when the session ends.
    void stop() {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    // "service member arg..." for each call received, in order; dictionaries as key=value.
    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    class Object : public QDBusVirtualObject {
      public:
        Object(FakeBus& bus, QString service, char how, QVariant value)
            : bus_(bus), service_(std::move(service)), how_(how), value_(std::move(value)) {}
        QString introspect(const QString& /*path*/) const override { return {}; }
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& c) override {
            QString line = service_ + " " + message.member();
            for (QVariant v : message.arguments()) {
                v = v.canConvert<QDBusVariant>() ? v.value<QDBusVariant>().variant() : v;
                const auto map = v.userType() == qMetaTypeId<QDBusArgument>()
                                     ? qdbus_cast<QVariantMap>(v.value<QDBusArgument>())
                                     : QVariantMap{{"", v}};
                for (auto it = map.begin(); it != map.end(); ++it) {
                    line +=
                        " " + (it.key().isEmpty() ? "" : it.key() + "=") + it.value().toString();
                }
            }
            {
                std::lock_guard lock(bus_.mutex_);
                bus_.calls_.push_back(line.toStdString());
            }
            if (message.member() == "Set") {
                value_ = message.arguments()[2].value<QDBusVariant>().variant();
            }
            const bool get = message.member() == "Get";
            if (how_ == '!') {
                c.send(message.createErrorReply(QDBusError::UnknownObject, {}));
            } else if (how_ == '=') {
                c.send(!value_.isValid() ? message.createReply()
                       : get ? message.createReply(QVariant::fromValue(QDBusVariant(value_)))
                             : message.createReply(value_));
            }
            return true;
        }

      private:
        FakeBus& bus_;
        QString service_;
        char how_;
        QVariant value_;
    };

    // Connection names carry the bus address: Qt keeps them for the life of the process.
    std::string connect(const QString& name) {
        return QDBusConnection::connectToBus(address_, name + address_).name().toStdString();
    }
    void onThread(const std::function<void()>& task) {
        QMetaObject::invokeMethod(worker_.get(), task, Qt::BlockingQueuedConnection);
    }

    QProcess daemon_;
    QString address_;
    QThread thread_;
    std::unique_ptr<QObject> worker_ = std::make_unique<QObject>();  // lives in the thread
    std::mutex mutex_;
    std::vector<std::string> calls_;
    int clients_ = 0;
};

}  // namespace ombrel::platform_test
