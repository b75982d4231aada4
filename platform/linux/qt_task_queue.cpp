// Runs the core's tasks on a Qt event loop.
#include "platform/linux/qt_task_queue.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <future>

namespace ombrel::linux_platform {

namespace {

int milliseconds(double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    return static_cast<int>(std::min(std::ceil(seconds * 1000.0), 2.0e9));
}

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

QtTaskQueue::QtTaskQueue() : context_(std::make_unique<QObject>()) {}

QtTaskQueue::~QtTaskQueue() = default;

bool QtTaskQueue::onThread() const {
    return QThread::currentThread() == context_->thread();
}

void QtTaskQueue::post(Task task) {
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

void QtTaskQueue::postAfter(double seconds, Task task) {
    // A timer belongs to the thread that starts it: one started elsewhere is started from here.
    if (!onThread()) {
        post([this, seconds, task = std::move(task)]() mutable {
            postAfter(seconds, std::move(task));
        });
        return;
    }
    QTimer::singleShot(milliseconds(seconds), Qt::PreciseTimer, context_.get(), std::move(task));
}

void QtTaskQueue::repeatEvery(double seconds, Task task) {
    if (!onThread()) {
        post([this, seconds, task = std::move(task)]() mutable {
            repeatEvery(seconds, std::move(task));
        });
        return;
    }
    // A child of the context, so it ends with the queue.
    auto* timer = new QTimer(context_.get());  // NOLINT(cppcoreguidelines-owning-memory)
    timer->setInterval(milliseconds(seconds));
    QObject::connect(timer, &QTimer::timeout, context_.get(), std::move(task));
    timer->start();
}

double QtTaskQueue::uptime() const {
    return monotonicSeconds();
}

class QtThread::Thread final : public QThread {
  public:
    Thread(QtThread& owner, std::function<void()> setUp, std::function<void()> tearDown)
        : owner_(owner), setUp_(std::move(setUp)), tearDown_(std::move(tearDown)) {}

    std::promise<void> ready;

  protected:
    void run() override {
        {
            // Made and destroyed on this thread, so its tasks and timers run here.
            QtTaskQueue queue;
            {
                const std::lock_guard lock(owner_.mutex_);
                owner_.live_ = &queue;
            }
            if (setUp_) {
                setUp_();
            }
            ready.set_value();
            exec();
            {
                const std::lock_guard lock(owner_.mutex_);
                owner_.live_ = nullptr;
            }
            // Tasks still queued are dropped with the queue's context; none runs after this.
            if (tearDown_) {
                tearDown_();
            }
        }
    }

  private:
    QtThread& owner_;
    std::function<void()> setUp_;
    std::function<void()> tearDown_;
};

QtThread::QtThread(std::string name) : name_(std::move(name)) {}

QtThread::~QtThread() {
    stop();
}

void QtThread::start(std::function<void()> setUp, std::function<void()> tearDown) {
    if (thread_) {
        return;
    }
    thread_ = std::make_unique<Thread>(*this, std::move(setUp), std::move(tearDown));
    // The system's name for the thread, as top and debuggers show it.
    thread_->setObjectName(QString::fromStdString(name_));
    std::future<void> ready = thread_->ready.get_future();
    thread_->start();
    ready.wait();
}

void QtThread::stop() {
    if (!thread_) {
        return;
    }
    thread_->quit();
    thread_->wait();
    thread_.reset();
}

void QtThread::runAndWait(const Task& task) {
    bool elsewhere = false;
    {
        const std::lock_guard lock(mutex_);
        elsewhere = live_ != nullptr && QThread::currentThread() != thread_.get();
    }
    if (!elsewhere) {
        task();
        return;
    }
    postAndWait(*this, task);
}

void QtThread::post(Task task) {
    const std::lock_guard lock(mutex_);
    if (live_ != nullptr) {
        live_->post(std::move(task));
    }
}

void QtThread::postAfter(double seconds, Task task) {
    const std::lock_guard lock(mutex_);
    if (live_ != nullptr) {
        live_->postAfter(seconds, std::move(task));
    }
}

void QtThread::repeatEvery(double seconds, Task task) {
    const std::lock_guard lock(mutex_);
    if (live_ != nullptr) {
        live_->repeatEvery(seconds, std::move(task));
    }
}

double QtThread::uptime() const {
    return monotonicSeconds();
}

}  // namespace ombrel::linux_platform
