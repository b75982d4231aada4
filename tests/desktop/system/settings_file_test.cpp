// The running program's settings file edited by other programs the ways they write files: the
// store, the watcher and the General pane's sentence together, on a real folder and inotify.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <filesystem>
#include <string>

#include "app/settings_reload.h"
#include "config/json_codec.h"
#include "config/notices.h"
#include "config/store.h"
#include "platform/linux/file_watcher.h"
#include "platform/log.h"
#include "support/temp_dir.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;

struct CountReloads final : log::Sink {
    int reloads = 0;
    void note(std::string_view line) override {
        reloads += line.find("changed by another program") != std::string_view::npos ? 1 : 0;
    }
    void decision(std::string_view /*line*/) override {}
    [[nodiscard]] bool wantsDecisions() const override { return false; }
};

// As editors, git and dotfile managers write: a new entry renamed over the old one.
void renameOver(const fs::path& path, const std::string& text) {
    test::writeFile(path.string() + ".new", text);
    fs::rename(path.string() + ".new", path);
}

TEST(SettingsFile, EditsByOtherProgramsApplyAndOwnSavesDoNot) {
    int argc = 1;
    char name[] = "ombrel";
    char* argv[] = {name};
    const QCoreApplication app(argc, argv);
    const test::TempDir root;
    const fs::path dotfile = root.path() / "dotfiles" / "ombrel.json";
    CountReloads counter;
    log::setSink(&counter);
    Notices notices;
    Store store(root.path() / "Ombrel");
    const fs::path file = store.fileURL();
    app::SettingsFileFollower follower(store, notices);
    int calls = 0;
    linux_platform::FileWatcher watcher(file, [&] {
        ++calls;
        follower.fileMayHaveChanged();
    });
    const auto sentence = [&] {
        const auto now = notices.current();
        return now.empty() ? std::string() : now.front().text;
    };
    const std::pair<const char*, std::function<void(const std::string&)>> edits[] = {
        {"renamed over", [&](const std::string& t) { renameOver(file, t); }},
        {"written in place", [&](const std::string& t) { test::writeFile(file, t); }},
        {"relinked",
         [&](const std::string& t) {
             test::writeFile(dotfile, t);
             fs::create_symlink(dotfile, file.string() + ".new");
             fs::rename(file.string() + ".new", file);
         }},
        {"link target renamed over", [&](const std::string& t) { renameOver(dotfile, t); }},
    };
    int mods = 1;
    for (const auto& [how, edit] : edits) {
        edit(*encodeConfig(Config{true, true, Mods(++mods), {}}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return store.config().drawMods == Mods(mods); }, 5000))
            << how;
    }

    // Broken by hand: the settings in force stay, nothing is set aside, the pane says why.
    test::writeFile(dotfile, "{\"bindings\": [");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sentence().empty(); }, 5000));
    EXPECT_NE(sentence().find("not valid JSON"), std::string::npos) << sentence();
    EXPECT_EQ(store.config().drawMods, Mods(mods));
    EXPECT_FALSE(fs::exists(store.unreadableURL()));

    // The program's own save replaces the broken file: the sentence goes, and once the watcher
    // has reported the write, nothing has been reloaded.
    const int before = calls;
    store.setConfig(Config{});
    EXPECT_EQ(sentence(), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > before; }, 5000));
    EXPECT_EQ(counter.reloads, std::ssize(edits));
    log::setSink(nullptr);
}

}  // namespace
}  // namespace ombrel
