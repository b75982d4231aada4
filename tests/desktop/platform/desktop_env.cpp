// Starts the shared Qt application and X session of the platform tests.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "desktop_env.h"

namespace ombrel {

void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}
void PrintTo(const Point& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}
void PrintTo(const Size& s, std::ostream* os) {
    *os << s.width << " x " << s.height;
}

}  // namespace ombrel

namespace ombrel::platform_test {

namespace {

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

}  // namespace

xsession::XSession& session() {
    // Created before the application, so the Qt loop and every connection see its DISPLAY.
    static xsession::XSession s(xsession::twoMonitors());
    application();
    return s;
}

void pump() {
    application();
    // A short blocking turn, as in the program: events that round trips left in Xlib's queue
    // are handed out when the loop is about to wait.
    QEventLoop loop;
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
}

bool pumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    return xsession::XSession::waitUntil(cond, timeout, pump);
}

}  // namespace ombrel::platform_test
