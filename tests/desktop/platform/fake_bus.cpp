// Starts dbus-daemon and serves fake objects from a thread of their own.
#include "fake_bus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>

namespace ombrel::platform_test {

namespace {

class FakeObject : public QDBusVirtualObject {
  public:
    FakeObject(QString service, FakeBus::Handler handler, std::function<void(std::string)> record)
        : service_(std::move(service)), handler_(std::move(handler)), record_(std::move(record)) {}

    QString introspect(const QString& /*path*/) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::string line = service_.toStdString() + " " + message.member().toStdString();
        for (const QVariant& a : message.arguments()) {
            const QVariant v = a.canConvert<QDBusVariant>() ? a.value<QDBusVariant>().variant() : a;
            if (v.userType() != qMetaTypeId<QDBusArgument>()) {
                line += " " + v.toString().toStdString();
                continue;
            }
            // Dictionaries (a{sv}) as key=value pairs.
            const auto map = qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
            for (auto it = map.begin(); it != map.end(); ++it) {
                line += " " + it.key().toStdString() + "=" + it.value().toString().toStdString();
            }
        }
        record_(line);
        if (auto reply = handler_(message)) {
            connection.send(*reply);
        }
        return true;
    }

  private:
    QString service_;
    FakeBus::Handler handler_;
    std::function<void(std::string)> record_;
};

QString connectionName(const QString& service) {
    return QStringLiteral("fake-") + service;
}

}  // namespace

FakeBus::FakeBus() : thread_(std::make_unique<QThread>()), worker_(std::make_unique<QObject>()) {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
    if (daemon_.waitForReadyRead(5000)) {
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    worker_->moveToThread(thread_.get());
    thread_->start();
}

FakeBus::~FakeBus() {
    for (const QString& s : std::vector<QString>(services_)) {
        stop(s);
    }
    for (int i = 1; i <= clients_; ++i) {
        QDBusConnection::disconnectFromBus(QStringLiteral("client-%1").arg(i));
    }
    onThread([this] { worker_.reset(); });
    thread_->quit();
    thread_->wait();
    daemon_.kill();
    daemon_.waitForFinished();
}

void FakeBus::onThread(const std::function<void()>& task) {
    QMetaObject::invokeMethod(worker_.get(), task, Qt::BlockingQueuedConnection);
}

std::string FakeBus::connectClient() {
    const QString name = QStringLiteral("client-%1").arg(++clients_);
    QDBusConnection::connectToBus(address_, name);
    return name.toStdString();
}

void FakeBus::serve(const QString& service, const QString& path, Handler handler) {
    const bool known = std::find(services_.begin(), services_.end(), service) != services_.end();
    if (!known) {
        services_.push_back(service);
    }
    onThread([&] {
        QDBusConnection c = known
                                ? QDBusConnection(connectionName(service))
                                : QDBusConnection::connectToBus(address_, connectionName(service));
        auto record = [this](std::string line) {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(line));
        };
        // The object belongs to the worker, which ends in its thread.
        auto* object = new FakeObject(service, std::move(handler), record);  // NOLINT
        object->setParent(worker_.get());
        c.registerVirtualObject(path, object, QDBusConnection::SubPath);
        c.registerService(service);
    });
}

void FakeBus::stop(const QString& service) {
    services_.erase(std::remove(services_.begin(), services_.end(), service), services_.end());
    onThread([&] { QDBusConnection::disconnectFromBus(connectionName(service)); });
}

void FakeBus::emitSignal(const QString& service, const QDBusMessage& signal) {
    onThread([&] { QDBusConnection(connectionName(service)).send(signal); });
}

std::vector<std::string> FakeBus::calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeBus::clearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

QDBusMessage FakeBus::propertyReply(const QDBusMessage& call, const QVariant& value) {
    return call.createReply(QVariant::fromValue(QDBusVariant(value)));
}

}  // namespace ombrel::platform_test
