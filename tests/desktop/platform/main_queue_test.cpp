// The Qt main queue: tasks from other threads run on the main thread, in order; delays and
// repeats run on time; the clock only moves forward.
#include <gtest/gtest.h>

#include "platform/linux/qt_main_queue.h"

#include <atomic>
#include <thread>
#include <vector>

#include "desktop_env.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::pumpUntil;
using platform_test::session;
using namespace std::chrono_literals;

TEST(QtMainQueue, TasksFromAnyThreadRunOnTheMainThreadInOrder) {
    ASSERT_TRUE(session().ready());
    QtMainQueue queue;
    const auto mainThread = std::this_thread::get_id();
    std::vector<int> order;
    bool offThread = false;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            queue.post([&, i] {
                order.push_back(i);
                offThread = offThread || std::this_thread::get_id() != mainThread;
            });
        }
    });
    worker.join();
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 100; }));
    EXPECT_FALSE(offThread);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    }
}

TEST(QtMainQueue, DelaysAndRepeatsKeepTheirTime) {
    ASSERT_TRUE(session().ready());
    QtMainQueue queue;
    const double start = queue.uptime();
    std::vector<std::pair<char, double>> runs;
    queue.postAfter(0.05, [&] { runs.emplace_back('b', queue.uptime()); });
    queue.postAfter(0.01, [&] { runs.emplace_back('a', queue.uptime()); });
    queue.postAfter(-1, [&] { runs.emplace_back('0', queue.uptime()); });
    int ticks = 0;
    queue.repeatEvery(0.01, [&] { ++ticks; });
    ASSERT_TRUE(pumpUntil([&] { return runs.size() == 3 && ticks >= 3; }));
    ASSERT_EQ(runs.size(), 3U);
    EXPECT_EQ(runs[0].first, '0');
    EXPECT_EQ(runs[1].first, 'a');
    EXPECT_EQ(runs[2].first, 'b');
    EXPECT_GE(runs[1].second - start, 0.01 - 1e-3);
    EXPECT_GE(runs[2].second - start, 0.05 - 1e-3);
    EXPECT_GE(queue.uptime(), runs[2].second);
}

}  // namespace
}  // namespace ombrel::linux_platform
