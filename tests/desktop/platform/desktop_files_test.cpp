// Desktop files the program reads and writes: the names of applications and its own autostart
// entry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/app_catalog.h"
#include "platform/linux/autostart_item.h"

namespace ombrel::linux_platform {
namespace {

// A folder of its own for one test, removed with it.
class Folder {
  public:
    Folder() {
        static int made = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("ombrel-desktop-files-" + std::to_string(getpid()) + "-" + std::to_string(++made));
        std::filesystem::create_directories(path_);
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

TEST(LoginItemEntry, WrittenReadHiddenAndRemoved) {
    const Folder dir;
    const auto file = dir.path() / "autostart" / "ombrel.desktop";
    XdgAutostartItem item(file, "/opt/Ombrel Build/ombrel");
    EXPECT_FALSE(item.enabled());
    EXPECT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_TRUE(item.enabled());
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_THAT(text, ::testing::HasSubstr("[Desktop Entry]\n"));
    EXPECT_THAT(text, ::testing::HasSubstr("Exec=\"/opt/Ombrel Build/ombrel\"\n"));
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));

    std::ofstream(file) << "[Desktop Entry]\nType=Application\nHidden = true\n";
    EXPECT_FALSE(item.enabled());
    std::ofstream(file) << "[Desktop Entry]\nType=Application\n[Desktop Action x]\nHidden=true\n";
    EXPECT_TRUE(item.enabled());

    EXPECT_EQ(item.setEnabled(false), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(file));
    // Turning off what is already off is no failure.
    EXPECT_EQ(item.setEnabled(false), std::nullopt);
}

TEST(LoginItemEntry, FailureIsReportedAndChangesNothing) {
    const Folder dir;
    // The autostart folder's place is taken by a file, so nothing can be written under it.
    std::ofstream(dir.path() / "autostart") << "not a folder";
    XdgAutostartItem item(dir.path() / "autostart" / "ombrel.desktop", "/usr/bin/ombrel");
    const auto error = item.setEnabled(true);
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->empty());
    EXPECT_FALSE(item.enabled());
}

TEST(LoginItemEntry, ExecKeyQuotesAndEscapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/bin/ombrel", "Exec=/usr/bin/ombrel\n"},
        {"/a b/ombrel", "Exec=\"/a b/ombrel\"\n"},
        {"/a$b/om\"brel", R"(Exec="/a\\$b/om\\"brel")"
                          "\n"},
        {"/100%/ombrel", "Exec=/100%%/ombrel\n"},
    };
    for (const auto& [exe, line] : cases) {
        EXPECT_THAT(XdgAutostartItem::entryText(exe), ::testing::HasSubstr(line)) << exe;
    }
}

TEST(ApplicationNames, FoundByWindowClassOrFileNameIgnoringCase) {
    const Folder first;
    const Folder second;
    std::filesystem::create_directories(first.path() / "applications");
    std::filesystem::create_directories(second.path() / "applications" / "kde");
    std::ofstream(first.path() / "applications" / "org.example.Editor.desktop")
        << "[Desktop Entry]\nName=Text Editor\nStartupWMClass=Edit-Main\n"
           "[Desktop Action new]\nName=New Window\n";
    std::ofstream(first.path() / "applications" / "viewer.desktop")
        << "[Desktop Entry]\nName=Viewer (user copy)\n";
    std::ofstream(second.path() / "applications" / "viewer.desktop")
        << "[Desktop Entry]\nName=Viewer\n";
    std::ofstream(second.path() / "applications" / "kde" / "konsole.desktop")
        << "# comment\n[Desktop Entry]\nName = Konsole\n";
    std::ofstream(second.path() / "applications" / "nameless.desktop")
        << "[Desktop Entry]\nExec=x\n";
    const AppCatalog catalog({first.path(), second.path()});

    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"edit-main", "Text Editor"},
        {"Org.example.Editor", "Text Editor"},
        {"viewer", "Viewer (user copy)"},
        {"konsole", "Konsole"},
        {"nameless", std::nullopt},
        {"unknown", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [id, name] : cases) {
        EXPECT_EQ(catalog.nameFor(id), name) << id;
    }
    EXPECT_EQ(catalog.displayName("unknown"), "unknown");
}

}  // namespace
}  // namespace ombrel::linux_platform
