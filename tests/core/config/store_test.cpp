// The settings store on a real folder (first start, set-aside, unreadable files, atomic saves, the
// save thread) and the whole-file reads and writes beneath it. The rule lookup is tried through
// the engine's scenarios.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "config/json_codec.h"
#include "config/save_executor.h"
#include "config/store.h"
#include "fakes/fake_platform.h"
#include "platform/posix/file_io.h"
#include "support/temp_dir.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;
using Kind = Store::DiskChange::Kind;

const std::string oldFile = R"({"engineEnabled":true,"snapEnabled":false,"bindings":[]})";
const std::string badFile = "this is not json";

using test::readFile;
using test::writeFile;

// None when the folder cannot be listed.
Names namesIn(const fs::path& folder) {
    Names names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// The starter set but for its fresh ids.
bool isStarter(const Config& config) {
    Config starter = Config::starter();
    for (std::size_t i = 0; i < starter.bindings.size() && i < config.bindings.size(); ++i) {
        starter.bindings[i].id = config.bindings[i].id;
    }
    return config == starter;
}

// What a save must leave on disk: the whole text, keys sorted.
std::string savedForm(const Config& config) {
    return encodeConfig(config).value_or("(not encodable)");
}

class StoreTest : public testing::Test {
  protected:
    // A fresh root, as for another test.
    void renew() {
        temp_ = std::make_unique<test::TempDir>();
        root_ = temp_->path();
        folder_ = root_ / "Ombrel";
    }
    void SetUp() override { renew(); }
    fs::path file() const { return folder_ / "config.json"; }
    fs::path aside() const { return folder_ / "config.unreadable.json"; }

    std::unique_ptr<test::TempDir> temp_;
    fs::path root_;
    fs::path folder_;
};

using Known = std::vector<std::pair<std::string, std::string>>;

// What lies at a path: the kind of entry, and for a file the name of the known text it holds or
// its size.
std::string describe(const fs::path& path, const Known& known) {
    std::error_code ec;
    const auto type = fs::symlink_status(path, ec).type();
    if (type == fs::file_type::symlink) {
        return "link to " + describe(fs::canonical(path, ec), known);
    }
    if (type != fs::file_type::regular) {
        return type == fs::file_type::fifo        ? "pipe"
               : type == fs::file_type::directory ? "folder"
                                                  : "none";
    }
    std::string size = std::to_string(fs::file_size(path)) + " bytes";
    for (const auto& [name, text] : known) {
        if (text.size() == fs::file_size(path) && readFile(path) == text) {
            return name;
        }
    }
    return std::ifstream(path).is_open() ? size : "unreadable " + size;
}

// Said only when there is something.
std::string besides(const std::string& name, const fs::path& path, const Known& known) {
    const std::string what = describe(path, known);
    return what == "none" ? "" : "; " + name + ": " + what;
}

enum class Who { anyone, nobody, root };

// Whatever stands in the settings file's place: what a start makes of it and leaves in the
// file's place, where the first change goes, what lies beside it, and whether the next start finds
// that change.
TEST_F(StoreTest, FileCaseTable) {
    constexpr uid_t nobody = 65534;
    fs::path elsewhere;  // beside the folder, in each case's own root
    const auto link = [&] {
        writeFile(elsewhere, oldFile);
        fs::create_directories(folder_);
        fs::create_symlink(elsewhere, file());
    };
    // The case, who runs it, what stands in the file's place, and what is seen.
    const std::tuple<const char*, Who, std::function<void()>, std::string> cases[] = {
        {"none", Who::anyone, [] {},
         "starter; start: as loaded; file: the change; kept; config.json"},
        // Kept until the first change; the copy replaces the one a start before set aside.
        {"not settings", Who::anyone,
         [&] { writeFile(file(), badFile), writeFile(aside(), oldFile + oldFile); },
         "starter, load error; start: bad; file: the change; aside: bad; kept; config.json "
         "config.unreadable.json"},
        {"mode 000", Who::nobody,
         [&] {
             writeFile(file(), oldFile);
             fs::permissions(file(), fs::perms::none);
         },
         "starter, load error; start: as loaded; file: the change; aside: unreadable 56 bytes; "
         "kept; config.json config.unreadable.json"},
        {"beyond the size limit", Who::anyone,
         [&] {
             writeFile(file(), oldFile);
             fs::resize_file(file(), (std::uintmax_t{64} << 20) + 1);
         },
         "starter, load error; start: as loaded; file: the change; aside: 67108865 bytes; kept; "
         "config.json config.unreadable.json"},
        {"pipe", Who::anyone,
         [&] { fs::create_directories(folder_), mkfifo(file().c_str(), 0600); },
         "starter, load error; start: as loaded; file: the change; aside: pipe; kept; config.json "
         "config.unreadable.json"},
        {"folder", Who::anyone, [&] { writeFile(file() / "inside", "precious"); },
         "starter; start: folder; file: folder (a folder in place); lost; config.json"},
        {"file in the folder's place", Who::anyone, [&] { writeFile(folder_, oldFile); },
         "starter; start: none; file: none (not saved); lost;"},
        // Written through every link, relative or not, even to a target not there yet.
        {"links to no file yet", Who::anyone,
         [&] {
             fs::create_directories(folder_);
             fs::create_symlink(elsewhere, root_ / "hop");
             fs::create_symlink(fs::path("..") / "hop", file());
         },
         "starter; start: link to as loaded; file: link to the change; elsewhere: the change; "
         "kept; config.json"},
        {"link to another user's file", Who::root,
         [&] { link(), chown(elsewhere.c_str(), nobody, nobody); },
         "own; start: link to old; file: the change; elsewhere: old; kept; config.json"},
        {"another user's link", Who::root, [&] { link(), lchown(file().c_str(), nobody, nobody); },
         "own; start: link to old; file: the change; elsewhere: old; kept; config.json"},
        // A valid file, with leftovers of crashed saves beside it: only names its own saves use go.
        {"temporary files of crashed saves", Who::anyone,
         [&] {
             for (const char* name : {"config.json", ".config.json.0a1b2c3z.tmp",
                                      ".config.json.0A1B2C3Z.tmp", ".config.json.0a1b2c3.tmp",
                                      "x.config.json.0a1b2c3z.tmp", ".config.json.0a1b2c3z.tmpx"}) {
                 writeFile(folder_ / name, oldFile);
             }
         },
         "own; start: old; file: the change; kept; .config.json.0A1B2C3Z.tmp "
         ".config.json.0a1b2c3.tmp .config.json.0a1b2c3z.tmpx config.json "
         "x.config.json.0a1b2c3z.tmp"},
    };
    const auto observe = [&] {
        Store store(folder_);
        std::string seen = isStarter(store.config()) ? "starter" : "own";
        seen += store.loadError() == Store::loadErrorText ? ", load error" : "";
        Known known = {
            {"as loaded", savedForm(store.config())}, {"old", oldFile}, {"bad", badFile}};
        seen += "; start: " + describe(file(), known);
        Config changed = store.config();
        changed.snapEnabled = !changed.snapEnabled;
        store.setConfig(changed);
        known.emplace_back("the change", savedForm(changed));
        const auto& error = store.saveError();
        seen += "; file: " + describe(file(), known) +
                (error == Store::folderInPlaceText ? " (a folder in place)"
                 : error                           ? " (not saved)"
                                                   : "") +
                besides("aside", aside(), known) + besides("elsewhere", elsewhere, known);
        const Store next(folder_);
        seen += next.config() == changed && !next.loadError() ? "; kept;" : "; lost;";
        for (const std::string& name : namesIn(folder_)) {
            seen += " " + name;
        }
        return seen;
    };
    for (const auto& [name, who, make, expected] : cases) {
        SCOPED_TRACE(name);
        renew();
        elsewhere = root_ / "elsewhere.json";
        if (who == Who::root && geteuid() != 0) {
            std::cout << "[ SKIPPED  ] " << name << ": another user's files need root\n";
            continue;
        }
        make();
        // As root, the files are given to "nobody" and read with its access, so that file modes
        // bind root too.
        if (who == Who::nobody && geteuid() == 0) {
            for (const auto& entry : fs::recursive_directory_iterator(root_)) {
                lchown(entry.path().c_str(), nobody, nobody);
            }
            lchown(root_.c_str(), nobody, nobody);
            setfsuid(nobody);
        }
        EXPECT_EQ(observe(), expected);
        setfsuid(geteuid());
    }
}

// An assignment is saved at once, a private file staying private, while a reader keeps the value
// it took. Then edits by other programs, in order: bytes that read as settings are adopted
// (published only when they differ), others leave the config in force and set nothing aside; the
// store's own save, a missing file and bytes already seen change nothing.
TEST_F(StoreTest, AdoptsWhatOtherProgramsWrite) {
    Store store(folder_);
    const auto privateMode = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(file(), privateMode);
    int publications = 0;
    auto subscription = store.observeConfig([&](const Config&) { ++publications; });
    const auto held = store.snapshot();
    Config own = store.config();
    own.snapEnabled = false;
    store.setConfig(own);
    EXPECT_TRUE(isStarter(held->config));
    EXPECT_EQ(readFile(file()), savedForm(own));
    EXPECT_EQ(fs::status(file()).permissions() & fs::perms::all, privateMode);
    const Config old{true, false, Mods(6), {}};
    const std::string ownForm = savedForm(own);
    // Longer than one piece of a streamed read and no whole number of words; the texts made of it
    // differ from each other in their first or last byte only.
    const std::string padded = oldFile + std::string(70001, ' ');
    // The bytes written (none: the file is removed), what they are taken for, the config then in
    // force, and the publications so far.
    const std::tuple<std::optional<std::string>, Kind, Config, int> steps[] = {
        {ownForm, Kind::none, own, 1},
        {oldFile, Kind::adopted, old, 2},
        {oldFile + "\n\n", Kind::adopted, old, 2},
        {padded + "\n", Kind::adopted, old, 2},
        {padded + "\n", Kind::none, old, 2},
        {padded + " ", Kind::adopted, old, 2},
        {" " + oldFile + std::string(70001, ' '), Kind::adopted, old, 2},
        {"{\"bindings\": [", Kind::refused, old, 2},
        {"{\"bindings\": [", Kind::none, old, 2},
        {std::nullopt, Kind::none, old, 2},
        {ownForm, Kind::adopted, own, 3},
    };
    int step = 0;
    for (const auto& [bytes, kind, inForce, published] : steps) {
        SCOPED_TRACE("step " + std::to_string(step++));
        bytes ? writeFile(file(), *bytes) : (void)fs::remove(file());
        const Store::DiskChange change = store.adoptFromDisk();
        EXPECT_EQ(change.kind, kind);
        EXPECT_EQ(change.reason.empty(), kind != Kind::refused);
        EXPECT_EQ(store.config(), inForce);
        EXPECT_EQ(publications, published);
        // The lookup follows the adopted rules, not the ones before.
        EXPECT_EQ(store.matchingRule(own.bindings[0].trigger, std::nullopt) != nullptr,
                  !inForce.bindings.empty());
    }
    // A value that cannot be written leaves the file as it was.
    own.bindings.push_back(
        Rule::make(Trigger::drawing({"bad", {{0, std::numeric_limits<double>::quiet_NaN()}}}),
                   Action::shell("true"), std::nullopt, true));
    subscription.reset();  // a value with a NaN is equal to nothing, itself included
    store.setConfig(own);
    EXPECT_NE(store.saveError().value_or("").find("not expressible"), std::string::npos);
    EXPECT_EQ(readFile(file()), ownForm);
    EXPECT_EQ(namesIn(folder_), Names{"config.json"});
}

TEST_F(StoreTest, WholeFileReadsStopAtTheLimit) {
    const std::string text(100000, 'q');
    ASSERT_TRUE(file_io::replaceAtomically(root_ / "f", text));
    EXPECT_EQ(std::get<std::string>(file_io::readWhole(root_ / "f", text.size())), text);
    EXPECT_TRUE(std::holds_alternative<file_io::Unreadable>(
        file_io::readWhole(root_ / "f", text.size() - 1)));
    std::string pieces;
    const auto collect = [&pieces](std::string_view piece) { pieces += piece; };
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        file_io::readPieces(root_ / "f", collect, text.size())));
    EXPECT_EQ(pieces, text);
    EXPECT_TRUE(std::holds_alternative<file_io::Unreadable>(
        file_io::readPieces(root_ / "f", collect, text.size() - 1)));
}

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

// Saves on a thread of their own. The program's own writes are never taken for another
// program's edit, before or after their landing is told, and an edit adopted meanwhile is what the
// file ends with. Assignments during a write end with the last, written once after the write
// under way; nothing waiting is lost when the program flushes on its way out or only destroys the
// store.
TEST_F(StoreTest, OwnWritesAreNoEditsAndAssignmentsDuringAWriteEndWithTheLast) {
    ManualSaves saves;
    auto store = std::make_unique<Store>(folder_, saves);
    saves.jobs.clear();  // the starter set, written at the first start
    const Config edited = withDrawMods(store->config(), 12);
    store->setConfig(withDrawMods(store->config(), 1));
    writeFile(file(), savedForm(edited));
    EXPECT_EQ(store->adoptFromDisk().kind, Kind::adopted);
    // The older write lands over the edit.
    std::exchange(saves.jobs.front().first, {})();
    EXPECT_EQ(store->adoptFromDisk().kind, Kind::none);
    saves.finishOne();
    EXPECT_EQ(store->adoptFromDisk().kind, Kind::none);
    EXPECT_EQ(store->config(), edited);
    ASSERT_EQ(saves.jobs.size(), 1U);
    saves.finishOne();
    EXPECT_EQ(readFile(file()), savedForm(edited));
    const auto assign = [&](std::initializer_list<int64_t> values) {
        for (const int64_t mods : values) {
            store->setConfig(withDrawMods(store->config(), mods));
        }
        return savedForm(store->config());
    };
    const std::string last = assign({1, 3, 5});
    ASSERT_EQ(saves.jobs.size(), 1U);
    saves.finishOne();
    EXPECT_EQ(readFile(file()), savedForm(withDrawMods(store->config(), 1)));
    ASSERT_EQ(saves.jobs.size(), 1U);
    saves.finishOne();
    EXPECT_EQ(readFile(file()), last);
    EXPECT_TRUE(saves.jobs.empty());
    const std::string flushed = assign({7, 9});
    store->flush();
    EXPECT_EQ(readFile(file()), flushed);
    const std::string atTheEnd = assign({11, 13});
    store.reset();
    EXPECT_EQ(readFile(file()), atTheEnd);
}

// In the order given, each landing posted to the store's queue, and what was given is written
// before the thread ends.
TEST(SaveThread, WritesInOrderAndFinishesBeforeItEnds) {
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
