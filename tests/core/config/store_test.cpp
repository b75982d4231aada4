// The settings store on a real folder (first start, set-aside, unreadable files, atomic saves),
// the whole-file reads and writes beneath it, and the rule lookup.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/json_codec.h"
#include "config/store.h"
#include "platform/posix/file_io.h"
#include "support/temp_dir.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

const std::string oldFile = R"({"engineEnabled":true,"snapEnabled":false,"bindings":[]})";

using test::readFile;
using test::writeFile;

Names namesIn(const fs::path& folder) {
    Names names;
    for (const auto& entry : fs::directory_iterator(folder)) {
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

TEST_F(StoreTest, FirstStartWritesTheStarterSetThenTheFileIsRead) {
    folder_ = root_ / "deeper" / "still" / "Ombrel";
    Store store(folder_);
    EXPECT_EQ(store.fileURL(), file());
    EXPECT_TRUE(isStarter(store.config()));
    EXPECT_FALSE(store.loadError().has_value());
    EXPECT_EQ(readFile(file()), savedForm(store.config()));
    EXPECT_EQ(namesIn(folder_), Names{"config.json"});
    EXPECT_EQ(Store(folder_).config(), store.config());

    // A valid file is read as it is and not rewritten.
    writeFile(file(), oldFile);
    const Store next(folder_);
    EXPECT_EQ(next.config(), (Config{true, false, Mods(6), {}}));
    EXPECT_FALSE(next.loadError().has_value());
    EXPECT_EQ(readFile(file()), oldFile);
}

// Each start on a bad file replaces the copy set aside by the one before, longer or shorter.
TEST_F(StoreTest, BadFileIsSetAsideAndKeptUntilTheFirstChange) {
    for (const std::string& bad :
         {std::string("this is not json"), std::string(),
          std::string(R"({"bindings":[{"enabled":true}]})"), std::string("\0\xFF\x01{", 4)}) {
        writeFile(file(), bad);
        Store store(folder_);
        EXPECT_TRUE(isStarter(store.config()));
        EXPECT_EQ(store.loadError(),
                  "Saved settings could not be read, so the starter set was loaded. The old file "
                  "was kept as config.unreadable.json.");
        EXPECT_EQ(readFile(aside()), bad);
        EXPECT_EQ(readFile(file()), bad);
        Config changed = store.config();
        changed.engineEnabled = false;
        store.setConfig(changed);
        EXPECT_EQ(readFile(file()), savedForm(changed));
        EXPECT_EQ(readFile(aside()), bad);
    }
}

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
    return access(path.c_str(), R_OK) == 0 ? size : "unreadable " + size;
}

// Runs what as the user "nobody", given the folder first, in a child process, so that file modes
// apply; directly without privileges to drop. Nothing when that fails.
std::optional<std::string> asUnprivileged(const fs::path& root,
                                          const std::function<std::string()>& what) {
    constexpr uid_t nobody = 65534;
    if (geteuid() != 0) {
        return what();
    }
    int fds[2];
    if (std::system(("chown -R 65534:65534 '" + root.string() + "'").c_str()) != 0 ||
        pipe(fds) != 0) {
        return std::nullopt;
    }
    if (fork() == 0) {
        const bool dropped = setgroups(0, nullptr) == 0 && setresgid(nobody, nobody, nobody) == 0 &&
                             setresuid(nobody, nobody, nobody) == 0;
        const std::string seen = dropped ? what() : "";
        _exit(write(fds[1], seen.data(), seen.size()) > 0 ? 0 : 1);
    }
    close(fds[1]);
    std::string seen(4096, '\0');
    seen.resize(std::max<ssize_t>(0, read(fds[0], seen.data(), seen.size())));
    close(fds[0]);
    int status = 0;
    wait(&status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::optional(seen) : std::nullopt;
}

enum class Who { anyone, unprivileged, root };

// Whatever stands in the settings file's place: what a start makes of it, where the first change
// goes, what lies beside it, and whether the next start finds that change.
TEST_F(StoreTest, FileCaseTable) {
    fs::path elsewhere;  // beside the folder, in each case's own root
    const auto link = [&] {
        writeFile(elsewhere, oldFile);
        fs::create_directories(folder_);
        fs::create_symlink(elsewhere, file());
    };
    const struct {
        const char* name;
        Who who;
        std::function<void()> make;
        std::string expected;
    } cases[] = {
        {"mode 000", Who::unprivileged,
         [&] {
             writeFile(file(), oldFile);
             fs::permissions(file(), fs::perms::none);
         },
         "starter, load error; file: the change; aside: unreadable 56 bytes; elsewhere: none; "
         "kept; "
         "config.json config.unreadable.json"},
        {"beyond the size limit", Who::anyone,
         [&] {
             writeFile(file(), oldFile);
             fs::resize_file(file(), (std::uintmax_t{64} << 20) + 1);
         },
         "starter, load error; file: the change; aside: 67108865 bytes; elsewhere: none; kept; "
         "config.json config.unreadable.json"},
        {"pipe", Who::anyone,
         [&] { fs::create_directories(folder_), mkfifo(file().c_str(), 0600); },
         "starter, load error; file: the change; aside: pipe; elsewhere: none; kept; config.json "
         "config.unreadable.json"},
        {"folder", Who::anyone, [&] { writeFile(file() / "inside", "precious"); },
         "starter; file: folder (not saved); aside: none; elsewhere: none; lost; config.json"},
        {"link to an own file", Who::anyone, link,
         "own; file: link to the change; aside: none; elsewhere: the change; kept; config.json"},
        {"link to another user's file", Who::root,
         [&] { link(), chown(elsewhere.c_str(), 65534, 65534); },
         "own; file: the change; aside: none; elsewhere: old; kept; config.json"},
        {"another user's link", Who::root, [&] { link(), lchown(file().c_str(), 65534, 65534); },
         "own; file: the change; aside: none; elsewhere: old; kept; config.json"},
        {"temporary files of crashed saves", Who::anyone,
         [&] {
             for (const char* name : {"config.json", ".config.json.0a1b2c3z.tmp",
                                      ".config.json.0A1B2C3Z.tmp", ".config.json.0a1b2c3.tmp",
                                      "x.config.json.0a1b2c3z.tmp", ".config.json.0a1b2c3z.tmpx"}) {
                 writeFile(folder_ / name, oldFile);
             }
         },
         "own; file: the change; aside: none; elsewhere: none; kept; .config.json.0A1B2C3Z.tmp "
         ".config.json.0a1b2c3.tmp .config.json.0a1b2c3z.tmpx config.json "
         "x.config.json.0a1b2c3z.tmp"},
    };
    const auto observe = [&] {
        Store store(folder_);
        std::string seen = isStarter(store.config()) ? "starter" : "own";
        seen += store.loadError() == Store::loadErrorText ? ", load error" : "";
        Config changed = store.config();
        changed.snapEnabled = !changed.snapEnabled;
        store.setConfig(changed);
        const Known known = {{"the change", savedForm(changed)}, {"old", oldFile}};
        seen += "; file: " + describe(file(), known) + (store.saveError() ? " (not saved)" : "") +
                "; aside: " + describe(aside(), known) +
                "; elsewhere: " + describe(elsewhere, known);
        const Store next(folder_);
        seen += next.config() == changed && !next.loadError() ? "; kept;" : "; lost;";
        for (const std::string& name : namesIn(folder_)) {
            seen += " " + name;
        }
        return seen;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        renew();
        elsewhere = root_ / "elsewhere.json";
        if (c.who == Who::root && geteuid() != 0) {
            std::cout << "[ SKIPPED  ] " << c.name << ": another user's files need root\n";
            continue;
        }
        c.make();
        const auto seen = c.who == Who::unprivileged ? asUnprivileged(root_, observe) : observe();
        EXPECT_EQ(seen.value_or("(could not run as an ordinary user)"), c.expected);
    }
}

// A folder in the file's place is kept and no save pretends to succeed; once it is gone, saving
// works again.
TEST_F(StoreTest, FolderInPlaceOfTheFileIsKeptAndNoSavePretends) {
    writeFile(file() / "inside", "precious");
    Store store(folder_);
    EXPECT_EQ(store.saveError(), Store::folderInPlaceText);
    Config changed = store.config();
    changed.snapEnabled = false;
    store.setConfig(changed);
    EXPECT_EQ(store.config(), changed);
    EXPECT_EQ(store.saveError(), Store::folderInPlaceText);
    EXPECT_EQ(readFile(file() / "inside"), "precious");

    fs::remove_all(file());
    store.setConfig(changed);
    EXPECT_EQ(readFile(file()), savedForm(changed));
    EXPECT_EQ(store.saveError(), std::nullopt);
}

TEST_F(StoreTest, FileInTheWayOfTheFolderLeavesTheStoreWorkingInMemory) {
    writeFile(folder_, "a file where the folder should be");
    Store store(folder_);
    EXPECT_TRUE(isStarter(store.config()));
    store.setConfig(Config{});
    EXPECT_EQ(store.config(), Config{});
    EXPECT_NE(store.saveError().value_or("").find("(Not a directory)"), std::string::npos);
    EXPECT_EQ(readFile(folder_), "a file where the folder should be");
}

// Published first, then on disk in full when the assignment returns; a private file stays
// private; a value that cannot be written leaves the file as it was.
TEST_F(StoreTest, EveryAssignmentIsPublishedThenSaved) {
    Store store(folder_);
    const auto privateMode = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(file(), privateMode);
    int published = 0;
    auto subscription = store.observeConfig([&](const Config& c) {
        EXPECT_EQ(store.config(), c);
        ++published;
    });
    const auto held = store.snapshot();
    Config changed = store.config();
    changed.bindings[0].appBundleID = "org.example.App";
    store.setConfig(changed);
    EXPECT_EQ(published, 1);
    // A reader keeps the value it took; the next one gets the new value with what follows from it.
    EXPECT_TRUE(isStarter(held->config));
    EXPECT_EQ(store.snapshot()->config, changed);
    EXPECT_EQ(store.snapshot()->hotkeys.size(), 6U);
    EXPECT_EQ(store.snapshot()->hotkeys.front(), (KeyCombo{8, Mods(6)}));
    const std::string saved = readFile(file());
    EXPECT_EQ(saved, savedForm(changed));
    EXPECT_EQ(fs::status(file()).permissions() & fs::perms::all, privateMode);
    subscription.reset();
    changed.bindings.push_back(
        Rule::make(Trigger::drawing({"bad", {{0, std::numeric_limits<double>::quiet_NaN()}}}),
                   Action::shell("true"), std::nullopt, true));
    store.setConfig(changed);
    EXPECT_EQ(published, 1);
    EXPECT_EQ(store.config().bindings.size(), 11U);
    EXPECT_NE(store.saveError().value_or("").find("not expressible"), std::string::npos);
    EXPECT_EQ(readFile(file()), saved);
    EXPECT_EQ(namesIn(folder_), Names{"config.json"});
}

// Another thread reading while the store's thread assigns sees whole values only: every rule a
// snapshot finds belongs to that snapshot's own list, and each stays readable while it is held.
TEST_F(StoreTest, SnapshotsReadOnAnotherThreadAreWholeValues) {
    Store store(folder_);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done.load()) {
            const auto s = store.snapshot();
            const Rule* rule = s->matchingRule(Trigger::hotkey({123, Mods(6)}), std::nullopt);
            const auto& list = s->config.bindings;
            if (rule == nullptr || rule < list.data() || rule >= list.data() + list.size() ||
                s->hotkeys.size() != list.size() - 4) {
                ++torn;
            }
        }
    });
    for (int i = 0; i < 100; ++i) {
        Config config = store.config();
        config.bindings.push_back(
            Rule::make(Trigger::hotkey({i, Mods(1)}), Action::shell("x"), std::nullopt, true));
        store.setConfig(std::move(config));
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

// A settings file kept elsewhere through links, relative or not, stays linked; its target is
// written even when it does not exist yet.
TEST_F(StoreTest, LinkedSettingsFileIsWrittenThroughEveryLink) {
    const fs::path real = root_ / "dotfiles" / "ombrel.json";
    fs::create_directories(real.parent_path());
    fs::create_directories(folder_);
    fs::create_symlink(real, root_ / "hop");
    fs::create_symlink(fs::path("..") / "hop", file());
    Store store(folder_);
    EXPECT_EQ(readFile(real), savedForm(store.config()));
    Config changed = store.config();
    changed.drawMods = Mods(1);
    store.setConfig(changed);
    EXPECT_TRUE(fs::is_symlink(file()) && fs::is_symlink(root_ / "hop"));
    EXPECT_EQ(readFile(real), savedForm(changed));
    EXPECT_EQ(namesIn(real.parent_path()), Names{"ombrel.json"});
}

// Edits by other programs, in order: bytes that read as settings are adopted (published only when
// they differ), others leave the config in force and set nothing aside; the store's own save, a
// missing file and bytes already seen change nothing.
TEST_F(StoreTest, AdoptsWhatOtherProgramsWrite) {
    Store store(folder_);
    int published = 0;
    auto subscription = store.observeConfig([&](const Config&) { ++published; });
    Config own = store.config();
    own.snapEnabled = false;
    store.setConfig(own);
    using Kind = Store::DiskChange::Kind;
    const Config old{true, false, Mods(6), {}};
    const struct {
        std::optional<std::string> bytes;  // nothing: the file is removed
        Kind kind;
        Config inForce;
        int published;
    } steps[] = {
        {savedForm(own), Kind::none, own, 1},      {oldFile, Kind::adopted, old, 2},
        {oldFile + "\n\n", Kind::adopted, old, 2}, {"{\"bindings\": [", Kind::refused, old, 2},
        {"{\"bindings\": [", Kind::none, old, 2},  {std::nullopt, Kind::none, old, 2},
        {savedForm(own), Kind::adopted, own, 3},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        steps[i].bytes ? writeFile(file(), *steps[i].bytes) : (void)fs::remove(file());
        const Store::DiskChange change = store.adoptFromDisk();
        EXPECT_EQ(change.kind, steps[i].kind) << "step " << i;
        EXPECT_EQ(change.reason.empty(), steps[i].kind != Kind::refused) << "step " << i;
        EXPECT_EQ(store.config(), steps[i].inForce) << "step " << i;
        EXPECT_EQ(published, steps[i].published) << "step " << i;
        // The lookup follows the adopted rules, not the ones before.
        EXPECT_EQ(store.matchingRule(own.bindings[0].trigger, std::nullopt) != nullptr,
                  !steps[i].inForce.bindings.empty())
            << "step " << i;
    }
    EXPECT_FALSE(fs::exists(aside()));
}

TEST_F(StoreTest, WholeFileReadsStopAtTheLimit) {
    const std::string text(100000, 'q');
    ASSERT_TRUE(file_io::replaceAtomically(root_ / "f", text));
    EXPECT_EQ(std::get<std::string>(file_io::readWhole(root_ / "f", text.size())), text);
    EXPECT_TRUE(std::holds_alternative<file_io::Unreadable>(
        file_io::readWhole(root_ / "f", text.size() - 1)));
}

struct Bound {
    Trigger trigger;
    std::optional<std::string> app = std::nullopt;
    bool enabled = true;
};

// Scoped to the front application first, then unscoped; earlier wins among equals; disabled
// rules and other applications' rules never; the whole trigger must be equal. (Its allocations
// are counted in bench/config.)
TEST_F(StoreTest, MatchingRuleTable) {
    const Trigger cmdK = Trigger::hotkey({40, Mods(1)});
    const Trigger key3 = Trigger::hotkey({3, Mods(0)});
    const Trigger tap3 = Trigger::trackpad({TrackpadGesture::Kind::tap, 3});
    const Trigger circle = Trigger::drawing({"circle", {{0, 0}, {1, 1}}});
    const std::string a = "org.example.first-application";
    const std::string b = "org.example.other-application";
    const std::string upperA = "Org.Example.First-Application";
    struct Case {
        std::vector<Bound> rules;
        Trigger query;
        std::optional<std::string_view> frontApp;
        int expected;  // index into rules, -1 for none
    };
    const Case cases[] = {
        {{}, cmdK, a, -1},
        {{{cmdK}}, cmdK, a, 0},
        {{{cmdK}}, cmdK, std::nullopt, 0},
        {{{cmdK}, {cmdK, a}}, cmdK, a, 1},
        {{{cmdK, b}, {cmdK}}, cmdK, a, 1},
        {{{cmdK, b}}, cmdK, a, -1},
        {{{cmdK, a}}, cmdK, std::nullopt, -1},
        {{{cmdK, upperA}}, cmdK, a, -1},
        {{{cmdK, ""}}, cmdK, a, -1},
        {{{cmdK}, {cmdK, ""}}, cmdK, "", 1},
        {{{cmdK}, {cmdK}}, cmdK, a, 0},
        {{{cmdK, a}, {cmdK, a}}, cmdK, a, 0},
        {{{cmdK, std::nullopt, false}, {cmdK}}, cmdK, a, 1},
        {{{cmdK, a, false}, {cmdK}}, cmdK, a, 1},
        {{{cmdK}}, Trigger::hotkey({40, Mods(9)}), a, -1},
        {{{key3}, {Trigger::mouseButton(4)}}, Trigger::mouseButton(3), std::nullopt, -1},
        {{{Trigger::trackpad({TrackpadGesture::Kind::click, 3})}, {tap3}}, tap3, std::nullopt, 1},
        {{{Trigger::drawing({"circle", {{0, 0}, {1, 1.5}}})}, {circle}}, circle, std::nullopt, 1},
    };
    Store store(folder_);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Config config;
        for (const Bound& b : cases[i].rules) {
            config.bindings.push_back(Rule::make(b.trigger, Action::shell("x"), b.app, b.enabled));
        }
        store.setConfig(config);
        const Rule* found = store.matchingRule(cases[i].query, cases[i].frontApp);
        const int expected = cases[i].expected;
        EXPECT_EQ(found, expected < 0 ? nullptr : &store.config().bindings.at(expected))
            << "case " << i;
    }
}

// The frontmost application costs a query of the desktop: asked only when a rule scoped to some
// application has the trigger, and then once.
TEST_F(StoreTest, AsksForTheFrontmostApplicationOnlyWhenAScopedRuleNeedsIt) {
    const Trigger cmdK = Trigger::hotkey({40, Mods(1)});
    const Trigger other = Trigger::hotkey({41, Mods(1)});
    Config config;
    config.bindings = {Rule::make(other, Action::shell("x"), "org.example.a", true),
                       Rule::make(other, Action::shell("y"), "org.example.b", true),
                       Rule::make(cmdK, Action::shell("z"), std::nullopt, true)};
    Store store(folder_);
    store.setConfig(config);
    for (const auto& [trigger, asks] :
         {std::pair{cmdK, 0}, {other, 1}, {Trigger::mouseButton(3), 0}}) {
        int asked = 0;
        (void)store.matchingRuleAskingFront(trigger, [&] {
            ++asked;
            return std::optional<std::string_view>("org.example.b");
        });
        EXPECT_EQ(asked, asks) << trigger.label();
    }
}

}  // namespace
}  // namespace ombrel
