// Saves on a thread of their own: the file ends with the last assignment, written once after the
// write under way; nothing waiting is lost at the end; the program's own writes are never taken
// for another program's edit, and an edit adopted meanwhile is what the file ends with.
#include <gtest/gtest.h>

#include <deque>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "config/json_codec.h"
#include "config/save_executor.h"
#include "config/store.h"
#include "fakes/fake_platform.h"
#include "support/temp_dir.h"

namespace ombrel {
namespace {

using test::readFile;

// Writes when the test says so. A drain writes everything given but delivers no landing, as when
// the program's event loop has ended.
class ManualSaves final : public SaveExecutor {
  public:
    void run(Job write, Job landed) override {
        jobs.push_back({std::move(write), std::move(landed)});
    }
    void drain() override {
        for (auto& job : jobs) {
            if (job.first) {
                std::exchange(job.first, {})();
            }
        }
    }
    // The oldest write, then its landing on the store's thread.
    void finishOne() {
        auto [write, landed] = std::move(jobs.front());
        jobs.pop_front();
        if (write) {
            write();
        }
        landed();
    }
    std::deque<std::pair<Job, Job>> jobs;
};

Config withDrawMods(const Config& base, int64_t mods) {
    Config config = base;
    config.drawMods = Mods(mods);
    return config;
}

std::string text(const Config& config) {
    return encodeConfig(config).value_or("");
}

TEST(Saving, AssignmentsDuringAWriteEndWithTheLastWrittenOnce) {
    const test::TempDir dir;
    ManualSaves saves;
    Store store(dir.path(), saves);
    saves.jobs.clear();  // the starter set, written at the first start
    const Config a = withDrawMods(store.config(), 1);
    const Config c = withDrawMods(store.config(), 5);
    for (const Config& config : {a, withDrawMods(a, 3), c}) {
        store.setConfig(config);
    }
    EXPECT_EQ(store.config(), c);
    ASSERT_EQ(saves.jobs.size(), 1U);
    saves.finishOne();
    EXPECT_EQ(readFile(store.fileURL()), text(a));
    ASSERT_EQ(saves.jobs.size(), 1U);
    saves.finishOne();
    EXPECT_EQ(readFile(store.fileURL()), text(c));
    EXPECT_TRUE(saves.jobs.empty());
}

// Whether the program flushes on its way out or only destroys the store.
TEST(Saving, NothingWaitingIsLostAtTheEnd) {
    for (const bool flush : {true, false}) {
        const test::TempDir dir;
        ManualSaves saves;
        Config last;
        {
            Store store(dir.path(), saves);
            store.setConfig(withDrawMods(store.config(), 1));
            last = withDrawMods(store.config(), 3);
            store.setConfig(last);
            if (flush) {
                store.flush();
                EXPECT_EQ(readFile(store.fileURL()), text(last));
            }
        }
        EXPECT_EQ(readFile(dir.path() / "config.json"), text(last)) << flush;
    }
}

TEST(Saving, OwnWritesAreNoEditsAndAnEditAdoptedMeanwhileIsWhatStays) {
    const test::TempDir dir;
    ManualSaves saves;
    Store store(dir.path(), saves);
    saves.jobs.clear();
    using Kind = Store::DiskChange::Kind;
    const Config ours = withDrawMods(store.config(), 1);
    const Config edited = withDrawMods(store.config(), 12);
    store.setConfig(ours);
    test::writeFile(store.fileURL(), text(edited));
    EXPECT_EQ(store.adoptFromDisk().kind, Kind::adopted);
    // The older write lands over the edit and is known as the program's own, before and after
    // its landing is told.
    std::exchange(saves.jobs.front().first, {})();
    EXPECT_EQ(store.adoptFromDisk().kind, Kind::none);
    saves.finishOne();
    EXPECT_EQ(store.adoptFromDisk().kind, Kind::none);
    EXPECT_EQ(store.config(), edited);
    ASSERT_EQ(saves.jobs.size(), 1U);
    saves.finishOne();
    EXPECT_EQ(readFile(store.fileURL()), text(edited));
}

// In the order given, each landing posted to the store's queue, and what was given is written
// before the thread ends.
TEST(Saving, SaveThreadWritesInOrderAndFinishesBeforeItEnds) {
    fake::FakeTaskQueue home;
    std::vector<int> seen;
    std::promise<void> release;
    {
        SaveThread thread(home);
        thread.run([&, gate = release.get_future().share()] { gate.wait(), seen.push_back(1); },
                   [&] { seen.push_back(-1); });
        thread.run([&] { seen.push_back(2); }, [&] { seen.push_back(-2); });
        release.set_value();
        thread.drain();
        EXPECT_EQ(seen, (std::vector<int>{1, 2}));
        home.runDue();
        EXPECT_EQ(seen, (std::vector<int>{1, 2, -1, -2}));
        thread.run([&] { seen.push_back(3); }, [] {});
    }
    EXPECT_EQ(seen.back(), 3);
}

}  // namespace
}  // namespace ombrel
