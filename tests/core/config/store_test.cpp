// The settings store on a real folder: first start, set-aside, unreadable files, atomic saves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "config/json_codec.h"
#include "config/store.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;

const std::string oldFile = R"({"engineEnabled":true,"snapEnabled":false,"bindings":[]})";

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

Config decodeFile(const fs::path& path) {
    auto decoded = decodeConfig(readText(path));
    EXPECT_TRUE(std::holds_alternative<Config>(decoded)) << readText(path);
    return std::holds_alternative<Config>(decoded) ? std::get<Config>(decoded) : Config{};
}

class StoreTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ombrel-store-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        folder_ = root_ / "Ombrel";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(folder_ / "config.json", fs::perms::owner_all, ec);
        fs::remove_all(root_, ec);
    }

    fs::path file() const { return folder_ / "config.json"; }
    fs::path aside() const { return folder_ / "config.unreadable.json"; }

    fs::path root_;
    fs::path folder_;
};

TEST_F(StoreTest, FirstStartCreatesFolderAndWritesStarterSet) {
    folder_ = root_ / "deeper" / "still" / "Ombrel";
    Store store(folder_);
    EXPECT_EQ(store.fileURL(), folder_ / "config.json");
    EXPECT_EQ(store.config().bindings.size(), 10U);
    const Config starter = Config::starter();
    for (std::size_t i = 0; i < starter.bindings.size(); ++i) {
        EXPECT_EQ(store.config().bindings[i].trigger, starter.bindings[i].trigger);
        EXPECT_EQ(store.config().bindings[i].action, starter.bindings[i].action);
        EXPECT_EQ(store.config().bindings[i].enabled, starter.bindings[i].enabled);
    }
    EXPECT_FALSE(store.loadError().has_value());
    ASSERT_TRUE(fs::is_regular_file(file()));
    EXPECT_EQ(decodeFile(file()), store.config());
    EXPECT_EQ(namesIn(folder_), std::set<std::string>{"config.json"});

    // The next start reads the same rules back, ids included.
    Store again(folder_);
    EXPECT_EQ(again.config(), store.config());
}

TEST_F(StoreTest, ValidFileIsReadAndNotRewritten) {
    fs::create_directories(folder_);
    writeText(file(), oldFile);
    Store store(folder_);
    EXPECT_TRUE(store.config().engineEnabled);
    EXPECT_FALSE(store.config().snapEnabled);
    EXPECT_EQ(store.config().drawMods, Mods(6));
    EXPECT_TRUE(store.config().bindings.empty());
    EXPECT_FALSE(store.loadError().has_value());
    EXPECT_EQ(readText(file()), oldFile);
    EXPECT_EQ(namesIn(folder_), std::set<std::string>{"config.json"});
}

struct BadFile {
    const char* name;
    std::string text;
};

class SetAside : public StoreTest, public testing::WithParamInterface<BadFile> {};

TEST_P(SetAside, KeepsCopyLoadsStarterAndWaitsForFirstChange) {
    fs::create_directories(folder_);
    writeText(file(), GetParam().text);
    Store store(folder_);
    EXPECT_EQ(store.config().bindings.size(), 10U);
    EXPECT_EQ(store.loadError(), std::string(Store::loadErrorText));
    EXPECT_EQ(store.loadError(),
              "Saved settings could not be read, so the starter set was loaded. The old file was "
              "kept as config.unreadable.json.");
    EXPECT_EQ(readText(aside()), GetParam().text);
    EXPECT_EQ(readText(file()), GetParam().text);

    Config changed = store.config();
    changed.engineEnabled = false;
    store.setConfig(changed);
    EXPECT_EQ(decodeFile(file()), changed);
    EXPECT_EQ(readText(aside()), GetParam().text);
    EXPECT_EQ(store.loadError(), std::string(Store::loadErrorText));
}

INSTANTIATE_TEST_SUITE_P(Store, SetAside,
                         testing::Values(BadFile{"not_json", "this is not json"},
                                         BadFile{"empty", ""}, BadFile{"wrong_shape", "[1,2,3]"},
                                         BadFile{"bad_rule", R"({"bindings":[{"enabled":true}]})"},
                                         BadFile{"binary", std::string("\0\xFF\x01{", 4)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoreTest, SecondUnreadableStartReplacesTheSetAsideCopy) {
    fs::create_directories(folder_);
    writeText(file(), "first broken");
    { Store first(folder_); }
    EXPECT_EQ(readText(aside()), "first broken");
    writeText(file(), "second broken, longer than the first one");
    Store second(folder_);
    EXPECT_EQ(readText(aside()), "second broken, longer than the first one");
    EXPECT_TRUE(second.loadError().has_value());
}

TEST_F(StoreTest, FileInTheWayOfTheFolderGivesStarterSetWithoutCrash) {
    fs::create_directories(root_);
    writeText(folder_, "a file where the folder should be");
    Store store(folder_);
    EXPECT_EQ(store.config().bindings.size(), 10U);
    store.setConfig(Config{});
    EXPECT_EQ(store.config(), Config{});
    EXPECT_EQ(readText(folder_), "a file where the folder should be");
}

// A settings file that exists but cannot be read must survive the start untouched.
TEST_F(StoreTest, PresentButUnreadableFileIsNotOverwrittenAtStart) {
    fs::create_directories(file());
    writeText(file() / "inside", "precious");
    Store store(folder_);
    EXPECT_EQ(store.config().bindings.size(), 10U);
    EXPECT_FALSE(store.loadError().has_value());
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_EQ(readText(file() / "inside"), "precious");
    EXPECT_EQ(namesIn(folder_), std::set<std::string>{"config.json"});
}

TEST_F(StoreTest, FileWithoutReadPermissionIsNotOverwrittenAtStart) {
    fs::create_directories(folder_);
    writeText(file(), oldFile);
    fs::permissions(file(), fs::perms::none);
    if (std::ifstream(file()).is_open()) {
        GTEST_SKIP() << "this user reads files regardless of permissions";
    }
    Store store(folder_);
    EXPECT_EQ(store.config().bindings.size(), 10U);
    fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(readText(file()), oldFile);
}

TEST_F(StoreTest, EveryAssignmentIsOnDiskSortedWhenItReturns) {
    Store store(folder_);
    std::vector<bool> published;
    auto subscription = store.observeConfig([&](const Config& c) {
        published.push_back(c.engineEnabled);
        // Observers run before the save, with the new value already current.
        EXPECT_EQ(store.config().engineEnabled, c.engineEnabled);
    });
    Config changed = store.config();
    changed.engineEnabled = false;
    changed.bindings[0].appBundleID = "org.example.App";
    store.setConfig(changed);
    EXPECT_EQ(published, std::vector<bool>{false});
    EXPECT_EQ(decodeFile(file()), changed);

    const std::string text = readText(file());
    std::size_t previous = 0;
    for (const char* key :
         {"\"bindings\"", "\"action\"", "\"appBundleID\"", "\"enabled\"", "\"id\"", "\"trigger\"",
          "\"drawMods\"", "\"engineEnabled\"", "\"snapEnabled\""}) {
        const std::size_t at = text.find(key, previous);
        ASSERT_NE(at, std::string::npos) << key << " out of order in\n" << text;
        previous = at;
    }

    subscription.reset();
    changed.snapEnabled = false;
    store.setConfig(changed);
    EXPECT_EQ(published.size(), 1U);
    EXPECT_EQ(decodeFile(file()), changed);
}

TEST_F(StoreTest, SavingLeavesNoTemporaryFiles) {
    Store store(folder_);
    for (int i = 0; i < 5; ++i) {
        Config c = store.config();
        c.drawMods = Mods(i);
        store.setConfig(c);
    }
    EXPECT_EQ(namesIn(folder_), std::set<std::string>{"config.json"});
    EXPECT_EQ(decodeFile(file()).drawMods, Mods(4));
}

// A save that cannot replace the file leaves it as it was, leaves no temporary file and keeps
// the assigned value in memory. A directory in the file's place makes the rename fail for any
// user, root included.
TEST_F(StoreTest, FailedSaveLeavesOldContentAndNoTemporaryFile) {
    fs::create_directories(file());
    writeText(file() / "inside", "precious");
    Store store(folder_);
    Config changed = store.config();
    changed.snapEnabled = false;
    store.setConfig(changed);
    EXPECT_EQ(store.config(), changed);
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_EQ(readText(file() / "inside"), "precious");
    EXPECT_EQ(namesIn(folder_), std::set<std::string>{"config.json"});

    // Once the obstacle is gone the next assignment is written.
    fs::remove_all(file());
    store.setConfig(changed);
    EXPECT_EQ(decodeFile(file()), changed);
}

TEST_F(StoreTest, NonFiniteCoordinateLeavesTheFileUnchanged) {
    Store store(folder_);
    const std::string before = readText(file());
    Config changed = store.config();
    changed.bindings.push_back(
        Rule::make(Trigger::drawing({"bad", {{0, std::numeric_limits<double>::quiet_NaN()}}}),
                   Action::shell("true"), std::nullopt, true));
    store.setConfig(changed);
    // NaN never equals itself, so compare what can be compared.
    EXPECT_EQ(store.config().bindings.size(), 11U);
    EXPECT_EQ(readText(file()), before);
    EXPECT_EQ(namesIn(folder_), std::set<std::string>{"config.json"});
}

TEST_F(StoreTest, PrivateFileStaysPrivateAfterSave) {
    Store store(folder_);
    const auto privateMode = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(file(), privateMode);
    store.setConfig(Config{});
    EXPECT_EQ(fs::status(file()).permissions() & fs::perms::all, privateMode);
}

TEST_F(StoreTest, LinkedSettingsFileStaysALink) {
    fs::create_directories(folder_);
    const fs::path real = root_ / "dotfiles" / "ombrel.json";
    fs::create_directories(real.parent_path());
    writeText(real, oldFile);
    fs::create_symlink(fs::relative(real, folder_), file());
    Store store(folder_);
    EXPECT_FALSE(store.config().snapEnabled);
    Config changed = store.config();
    changed.drawMods = Mods(1);
    store.setConfig(changed);
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(decodeFile(real), changed);
    EXPECT_EQ(namesIn(real.parent_path()), std::set<std::string>{"ombrel.json"});
}

TEST_F(StoreTest, LinkWithMissingTargetGetsTheTargetWrittenThroughEveryHop) {
    fs::create_directories(folder_);
    const fs::path real = root_ / "dotfiles" / "ombrel.json";
    fs::create_directories(real.parent_path());
    fs::create_symlink(real, root_ / "hop");
    fs::create_symlink(root_ / "hop", file());
    Store store(folder_);
    EXPECT_EQ(store.config().bindings.size(), 10U);
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_TRUE(fs::is_symlink(root_ / "hop"));
    EXPECT_EQ(decodeFile(real), store.config());
}

// A pipe in the file's place must neither hang the start nor be replaced.
TEST_F(StoreTest, PipeInPlaceOfTheFileIsLeftAlone) {
    fs::create_directories(folder_);
    const std::string command = "mkfifo '" + file().string() + "'";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "mkfifo is not available";
    }
    Store store(folder_);
    EXPECT_EQ(store.config().bindings.size(), 10U);
    EXPECT_FALSE(store.loadError().has_value());
    EXPECT_EQ(fs::status(file()).type(), fs::file_type::fifo);
}

TEST(StoreFolder, FollowsXdgConfigHome) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg = savedXdg ? savedXdg : "";
    const std::string home = savedHome ? savedHome : "";

    setenv("XDG_CONFIG_HOME", "/tmp/xdg-here", 1);
    EXPECT_EQ(Store::defaultFolder(), fs::path("/tmp/xdg-here/Ombrel"));
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(Store::defaultFolder(), fs::path("/home/someone/.config/Ombrel"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Store::defaultFolder(), fs::path("/home/someone/.config/Ombrel"));

    if (savedXdg) {
        setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    }
    if (savedHome) {
        setenv("HOME", home.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}

}  // namespace
}  // namespace ombrel
