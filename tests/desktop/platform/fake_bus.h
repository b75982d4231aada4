// A private D-Bus daemon for one test, with fake services that answer from a thread of their
// own, so the code under test may block on calls from the main thread. Include before Xlib.
// Its address goes into this process's environment, as the private bus's does.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "private_bus.h"

namespace ombrel::platform_test {

class FakeBus {
  public:
    // Builds the answer to a call (a reply or an error); nothing never answers.
    using Reply = std::optional<QDBusMessage>;
    using Handler = std::function<Reply(const QDBusMessage& call)>;
    // Answers every call with the value (a property read with it as a variant), or never.
    static Handler answer(QVariant value = {}) {
        return [value](const QDBusMessage& call) -> Reply {
            const bool get = call.member() == "Get";
            return !value.isValid()
                       ? call.createReply()
                       : call.createReply(get ? QVariant::fromValue(QDBusVariant(value)) : value);
        };
    }
    static Reply silent(const QDBusMessage& /*call*/) { return std::nullopt; }

    FakeBus() {
        worker_->moveToThread(&thread_);
        thread_.start();
    }
    ~FakeBus() {
        onThread([this] { worker_.reset(); });  // with the fake objects
        thread_.quit();
        thread_.wait();
    }
    FakeBus(const FakeBus&) = delete;
    FakeBus& operator=(const FakeBus&) = delete;

    // A connection of the main thread under a fresh name, for the code under test.
    std::string connectClient() { return connect("client-" + QString::number(++clients_)); }
    // Owns the name on a connection of its own and handles every call to the path and below.
    void serve(const QString& service, const QString& path, Handler handler) {
        onThread([&] {
            QDBusConnection c(QString::fromStdString(connect(service)));
            auto* object = new Object(*this, service, std::move(handler));  // NOLINT: Qt parent
            object->setParent(worker_.get());
            c.registerVirtualObject(path, object, QDBusConnection::SubPath);
            c.registerService(service);
        });
    }
    void emitSignal(const QString& service, const QDBusMessage& signal) {
        onThread([&] { QDBusConnection(service + address_).send(signal); });
    }
    // "service member arg..." for each call received, in order; dictionaries as key=value.
    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    class Object : public QDBusVirtualObject {
      public:
        Object(FakeBus& bus, QString service, Handler handler)
            : bus_(bus), service_(std::move(service)), handler_(std::move(handler)) {}
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
            if (auto reply = handler_(message)) {
                c.send(*reply);
            }
            return true;
        }

      private:
        FakeBus& bus_;
        QString service_;
        Handler handler_;
    };

    // Connection names carry the bus address: Qt keeps them for the life of the process.
    std::string connect(const QString& name) {
        return QDBusConnection::connectToBus(address_, name + address_).name().toStdString();
    }
    void onThread(const std::function<void()>& task) {
        QMetaObject::invokeMethod(worker_.get(), task, Qt::BlockingQueuedConnection);
    }

    xsession::PrivateBus daemon_;
    QString address_ = QString::fromStdString(daemon_.address());
    QThread thread_;
    std::unique_ptr<QObject> worker_ = std::make_unique<QObject>();  // lives in the thread
    std::mutex mutex_;
    std::vector<std::string> calls_;
    int clients_ = 0;
};

}  // namespace ombrel::platform_test
