// Cost of turning touchpad events into frames, per event and per frame, with the heap
// allocations counted; and the reader thread's CPU over a 10-second replay of five fingers at
// 125 Hz through the shipped reader (pipes in place of the devices).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "allocation_counter.h"
#include "platform/linux/touch_frames.h"

#ifdef OMBREL_BENCH_READER
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include <QCoreApplication>

#include "fakes/fake_touchpads.h"
#include "platform/linux/qt_task_queue.h"
#include "trackpad/trackpad_monitor.h"
#endif

namespace ombrel::linux_platform {
namespace {

constexpr TouchpadCapabilities pad{5, {0, 1200}, {0, 800}, false, true, 0b111110};

input_event event(uint16_t type, uint16_t code, int32_t value, int64_t usec) {
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    e.input_event_sec = usec / 1000000;
    e.input_event_usec = usec % 1000000;
    return e;
}

// Frame i of five fingers circling slowly, as a precision pad reports it: each slot's position,
// the landing with tracking ids in frame 0.
std::vector<input_event> fiveFingerFrame(int i) {
    std::vector<input_event> events;
    const int64_t usec = int64_t{i} * 8000;
    for (int slot = 0; slot < 5; ++slot) {
        events.push_back(event(EV_ABS, ABS_MT_SLOT, slot, usec));
        if (i == 0) {
            events.push_back(event(EV_ABS, ABS_MT_TRACKING_ID, slot + 1, usec));
        }
        const double angle = 0.05 * i + slot;
        events.push_back(event(EV_ABS, ABS_MT_POSITION_X,
                               static_cast<int32_t>(200 + 150 * slot + 40 * std::cos(angle)),
                               usec));
        events.push_back(event(EV_ABS, ABS_MT_POSITION_Y,
                               static_cast<int32_t>(400 + 40 * std::sin(angle)), usec));
    }
    if (i == 0) {
        events.push_back(event(EV_KEY, BTN_TOOL_QUINTTAP, 1, usec));
    }
    events.push_back(event(EV_SYN, SYN_REPORT, 0, usec));
    return events;
}

std::vector<input_event> replay(int frames) {
    std::vector<input_event> events;
    for (int i = 0; i < frames; ++i) {
        const auto frame = fiveFingerFrame(i);
        events.insert(events.end(), frame.begin(), frame.end());
    }
    return events;
}

void BM_BuildPerEvent(benchmark::State& state) {
    const auto events = replay(1250);
    TouchFrameBuilder builder(pad);
    std::size_t i = 0;
    int64_t frames = 0;
    const std::size_t before = heapAllocations();
    for (auto _ : state) {
        frames += builder.feed(events[i]) ? 1 : 0;
        i = i + 1 == events.size() ? 1 : i + 1;  // event 0 lands the fingers once
    }
    const std::size_t made = heapAllocations() - before;
    benchmark::DoNotOptimize(frames);
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_total"] = static_cast<double>(made);
}
BENCHMARK(BM_BuildPerEvent);

void BM_BuildPerFrame(benchmark::State& state) {
    const auto first = fiveFingerFrame(0);
    std::vector<std::vector<input_event>> frames;
    for (int i = 1; i < 126; ++i) {
        frames.push_back(fiveFingerFrame(i));
    }
    TouchFrameBuilder builder(pad);
    for (const auto& e : first) {
        builder.feed(e);
    }
    std::size_t i = 0;
    const std::size_t before = heapAllocations();
    for (auto _ : state) {
        for (const auto& e : frames[i]) {
            builder.feed(e);
        }
        benchmark::DoNotOptimize(builder.frame().data());
        i = (i + 1) % frames.size();
    }
    const std::size_t made = heapAllocations() - before;
    state.SetItemsProcessed(state.iterations());
    state.counters["events_per_frame"] = static_cast<double>(frames[0].size());
    state.counters["allocs_total"] = static_cast<double>(made);
}
BENCHMARK(BM_BuildPerFrame);

#ifdef OMBREL_BENCH_READER

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The program's main queue, noting on the posting thread (the reader's) how much CPU that thread
// has used. The main thread is busy writing, so the tasks wait and are dropped at the end.
class CpuNotingQueue : public TaskQueue {
  public:
    void post(Task task) override {
        queue.post(std::move(task));
        const double cpu = threadCpuSeconds();
        if (posts++ == 0) {
            first = cpu;
        }
        last = cpu;
    }
    void postAfter(double, Task) override {}
    void repeatEvery(double, Task) override {}
    [[nodiscard]] double uptime() const override { return 0; }
    std::atomic<int64_t> posts{0};
    std::atomic<double> first{0};
    std::atomic<double> last{0};
    QtTaskQueue queue;
};

void BM_ReaderReplay10s(benchmark::State& state) {
    constexpr int frames = 1250;  // 10 s at 125 Hz
    int argc = 1;
    std::array<char, 16> name{"touchpad_bench"};
    std::array<char*, 2> argv{name.data(), nullptr};
    const QCoreApplication app(argc, argv.data());
    for (auto _ : state) {
        const std::string path = "/bench/event0";
        fake::FakeTouchpads pads(pad, {{path, "Bench"}});
        EvdevMultitouch source(pads.watch(), pads.opener());
        CpuNotingQueue queue;
        TrackpadMonitor monitor(source, queue, queue);
        monitor.start();
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i) {
            pads.send(path, fiveFingerFrame(i));
            next += std::chrono::microseconds(8000);
            std::this_thread::sleep_until(next);
        }
        source.stop();
        state.counters["frames"] = static_cast<double>(queue.posts.load());
        state.counters["reader_cpu_ms"] = (queue.last - queue.first) * 1e3;
        state.counters["reader_cpu_percent"] = (queue.last - queue.first) / 10.0 * 100;
    }
}
BENCHMARK(BM_ReaderReplay10s)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

#endif

}  // namespace
}  // namespace ombrel::linux_platform
