// Writes the application icon as a PNG file without any display.
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include "app/modes.h"
#include "art/icon_art.h"

namespace ombrel::app {
namespace {

void ignoreQtMessages(QtMsgType /*type*/, const QMessageLogContext& /*context*/,
                      const QString& /*message*/) {}

}  // namespace

int makeIcon(int argc, char** argv, const std::string& path) {
    qInstallMessageHandler(ignoreQtMessages);
    // Rendering needs no screen; the offscreen platform works over ssh and in CI.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication application(argc, argv);

    const QImage icon = art::renderAppIcon(1024);
    if (icon.isNull()) {
        return 1;
    }
    // Written beside the target and renamed over it, so a failure leaves nothing half-written.
    QSaveFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::WriteOnly)) {
        return 1;
    }
    if (!icon.save(&file, "PNG")) {
        file.cancelWriting();
        return 1;
    }
    return file.commit() ? 0 : 1;
}

}  // namespace ombrel::app
