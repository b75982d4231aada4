// Runs the core's tasks on the Qt main loop.
#include "platform/linux/qt_main_queue.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <ctime>

namespace ombrel::linux_platform {

namespace {

int milliseconds(double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    return static_cast<int>(std::min(std::ceil(seconds * 1000.0), 2.0e9));
}

}  // namespace

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::post(Task task) {
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

void QtMainQueue::postAfter(double seconds, Task task) {
    QTimer::singleShot(milliseconds(seconds), Qt::PreciseTimer, context_.get(), std::move(task));
}

void QtMainQueue::repeatEvery(double seconds, Task task) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(milliseconds(seconds));
    QObject::connect(timer.get(), &QTimer::timeout, context_.get(), std::move(task));
    timer->start();
    repeating_.push_back(std::move(timer));
}

double QtMainQueue::uptime() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace ombrel::linux_platform
