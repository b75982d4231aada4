// Keeps one running instance per session: the first start owns the bus name "local.ombrel"; a
// later start asks that instance to show its settings window instead of starting a second engine
// (two event taps would fight over the same grabs).
#pragma once

#include <QDBusConnection>
#include <QObject>

namespace ombrel {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "local.ombrel.Instance")
  public:
    static constexpr const char* busName = "local.ombrel";
    static constexpr const char* objectPath = "/local/ombrel/instance";
    static constexpr const char* interfaceName = "local.ombrel.Instance";

    enum class Role {
        primary,    // this process runs the program
        secondary,  // another instance runs it and has been asked to show its window
    };

    explicit SingleInstance(QDBusConnection bus, QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Owns the name, or hands over to its owner. Without a session bus there is nobody to ask,
    // so the process runs.
    Role claim();

  public slots:
    // Called over the bus by a later start.
    Q_SCRIPTABLE void showSettings();

  signals:
    void showSettingsRequested();

  private:
    enum class Handover { done, ownerGone, failed };
    Handover askOwner();

    QDBusConnection bus_;
    bool registered_ = false;
};

}  // namespace ombrel
