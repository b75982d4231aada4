// Picks the player the user is listening to and sends it the media command.
#include "platform/linux/mpris_players.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "platform/linux/dbus_calls.h"

namespace ombrel::linux_platform {

namespace {

const QString prefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString playerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

}  // namespace

// Remembers when each player (by its unique bus name) last changed its playback status, so
// that with none playing the one the user touched last gets the command.
class MprisPlayers::Watcher : public QObject {
    Q_OBJECT

  public:
    explicit Watcher(QDBusConnection bus) : bus_(std::move(bus)) {
        if (bus_.isConnected()) {
            bus_.connect(QString(), playerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                         QStringLiteral("PropertiesChanged"), this,
                         SLOT(propertiesChanged(QDBusMessage)));
        }
    }

    bool send(DesktopShell::Player command) {
        struct Candidate {
            QString name;
            QString owner;
            bool playing = false;
            bool paused = false;
            uint64_t active = 0;
        };
        std::optional<Candidate> best;
        auto better = [](const Candidate& a, const Candidate& b) {
            if (a.playing != b.playing) {
                return a.playing;
            }
            if (a.active != b.active) {
                return a.active > b.active;
            }
            return a.paused && !b.paused;
        };
        for (const QString& name : busNames(bus_)) {
            if (!name.startsWith(prefix)) {
                continue;
            }
            Candidate c;
            c.name = name;
            c.owner = ownerOf(bus_, name);
            const QString status = linux_platform::property(bus_, name, playerPath, playerInterface,
                                                            QStringLiteral("PlaybackStatus"))
                                       .value_or(QVariant())
                                       .toString();
            c.playing = status == QLatin1String("Playing");
            c.paused = status == QLatin1String("Paused");
            const auto seen = lastActive_.find(c.owner);
            c.active = seen != lastActive_.end() ? seen->second : 0;
            if (!best || better(c, *best)) {
                best = c;
            }
        }
        if (!best) {
            return false;
        }
        const char* method = command == DesktopShell::Player::playPause ? "PlayPause"
                             : command == DesktopShell::Player::next    ? "Next"
                                                                        : "Previous";
        // Nothing waits for the player: the command is sent and the main thread goes on.
        bus_.send(QDBusMessage::createMethodCall(best->name, playerPath, playerInterface,
                                                 QString::fromLatin1(method)));
        lastActive_[best->owner] = ++sequence_;
        return true;
    }

  private slots:
    void propertiesChanged(const QDBusMessage& message) {
        const QVariantList args = message.arguments();
        if (args.size() >= 2 && args[0].toString() == playerInterface &&
            qdbus_cast<QVariantMap>(args[1]).contains(QStringLiteral("PlaybackStatus"))) {
            lastActive_[message.service()] = ++sequence_;
        }
    }

  private:
    QDBusConnection bus_;
    std::unordered_map<QString, uint64_t> lastActive_;
    uint64_t sequence_ = 0;
};

MprisPlayers::MprisPlayers(const std::string& busName)
    : watcher_(std::make_unique<Watcher>(sessionBus(busName))) {}

MprisPlayers::~MprisPlayers() = default;

bool MprisPlayers::send(DesktopShell::Player command) {
    return watcher_->send(command);
}

}  // namespace ombrel::linux_platform

#include "mpris_players.moc"
