// Receives run requests (the "run" signal of interface local.ombrel on path /local/ombrel) and
// performs the named system or window action, whether or not the engine is switched on.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantList>
#include <functional>

#include "config/model.h"

class QDBusMessage;

namespace ombrel {

// Where a request goes: system actions to the action runner, window actions to the window manager.
struct RunTargets {
    std::function<void(SystemAction)> system;
    std::function<void(WindowAction)> window;
};

inline constexpr const char* runRequestPath = "/local/ombrel";
inline constexpr const char* runRequestInterface = "local.ombrel";
inline constexpr const char* runRequestMember = "run";

// Performs the request carried by a signal's arguments: the first one, when it is a string that
// is exactly a raw value. Anything else is ignored.
void performRunRequest(const QVariantList& arguments, const RunTargets& targets);

class RunRequestReceiver : public QObject {
    Q_OBJECT
  public:
    explicit RunRequestReceiver(RunTargets targets, QObject* parent = nullptr);

    // Starts observing the signal from any sender; false when the bus refused.
    bool listen(QDBusConnection bus);

  private slots:
    void received(const QDBusMessage& message);

  private:
    RunTargets targets_;
};

}  // namespace ombrel
