// Build tool: renders the application icon into a hicolor icon theme tree for installation,
// <folder>/<n>x<n>/apps/ombrel.png for every usual size, without any display.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <array>
#include <cstdio>

#include "art/icon_art.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: ombrel_icon_set <hicolor folder>\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication application(argc, argv);
    const QDir root(QString::fromLocal8Bit(argv[1]));
    constexpr std::array sizes = {16, 22, 24, 32, 48, 64, 128, 256, 512, 1024};
    for (const int size : sizes) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = root.filePath(folder + QStringLiteral("/ombrel.png"));
        if (!root.mkpath(folder) || !ombrel::art::renderAppIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "ombrel_icon_set: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
