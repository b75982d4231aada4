// The normal start: checks for an X display, then runs the tray application's event loop.
#include <QApplication>
#include <iostream>
#include <string>

#include "app/modes.h"
#include "app/services.h"
#include "app/x_display.h"

namespace ombrel::app {

int normalStart(int argc, char** argv) {
    // Qt would abort with a long message of its own; say plainly what is missing instead.
    if (const std::string reason = missingDisplayReason(); !reason.empty()) {
        std::cerr << "Ombrel needs an X11 session, but " << reason << ".\n";
        return 1;
    }
    // Global input and window control go through X11, also under XWayland.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ombrel"));
    // Ombrel lives in the tray: closing its windows must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    return runProgram();
}

}  // namespace ombrel::app
