// The tree that cmake --install leaves under a fresh prefix, and the autostart entry of an
// installed program.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/linux/autostart_item.h"
#include "support/temp_dir.h"

namespace ombrel {
namespace {

using linux_platform::XdgAutostartItem;

namespace fs = std::filesystem;

using test::readFile;

TEST(Installed, EveryFileLandsWhereTheDesktopLooksForIt) {
    const test::TempDir dir;
    const fs::path& prefix = dir.path();
    const std::string command = std::string("'") + OMBREL_CMAKE + "' --install '" +
                                OMBREL_BUILD_DIR + "' --prefix '" + prefix.string() +
                                "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::pair<const char*, std::string> files[] = {
        {"share/applications/ombrel.desktop", "Exec=ombrel\nIcon=ombrel\n"},
        {"share/metainfo/local.ombrel.Ombrel.metainfo.xml", ">ombrel.desktop</launchable>"},
        {"share/man/man1/ombrel.1.gz", "\x1f\x8b"},
        {"share/doc/ombrel/changelog.gz", "\x1f\x8b"},
        {"share/doc/ombrel/copyright", "Copyright"},
        {"lib/udev/rules.d/70-ombrel-touchpad.rules", R"(TOUCHPAD}=="1", TAG+="uaccess")"},
    };
    for (const auto& [file, part] : files) {
        EXPECT_NE(readFile(prefix / file).find(part), std::string::npos) << file;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512, 1024}) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        const fs::path png = prefix / "share/icons/hicolor" / folder / "apps/ombrel.png";
        EXPECT_EQ(QImage(png.c_str()).size(), QSize(size, size)) << size;
    }
    // The installed command finds its user interface: it renders the icon.
    const std::string icon = "'" + (prefix / "bin/ombrel").string() + "' --make-icon '" +
                             (prefix / "icon.png").string() + "'";
    EXPECT_EQ(std::system(icon.c_str()), 0);
    EXPECT_TRUE(XdgAutostartItem::isInstalled(prefix / "bin/ombrel"));
    EXPECT_FALSE(XdgAutostartItem::isInstalled(OMBREL_BINARY));
}

// An entry that is on follows the installed binary, keeping the person's own lines; one that is
// off or absent is left alone.
TEST(Installed, AutostartEntryFromABuildFolderStartsTheInstalledProgram) {
    const test::TempDir dir;
    const fs::path file = dir.path() / "ombrel.desktop";
    const std::string ours = XdgAutostartItem::entryText("/usr/bin/ombrel");
    const std::string delay = "X-GNOME-Autostart-Delay=5\n";
    const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
        {XdgAutostartItem::entryText("/home/u/src/build/ombrel") + delay, ours + delay},
        {"[Desktop Entry]\nExec = /old/ombrel\n[Desktop Action a]\nExec=/x\n",
         "[Desktop Entry]\nExec=/usr/bin/ombrel\n[Desktop Action a]\nExec=/x\n"},
        {"[Desktop Entry]\nExec=/old/ombrel\nHidden=true\n",
         "[Desktop Entry]\nExec=/old/ombrel\nHidden=true\n"},
        {std::nullopt, std::nullopt},
    };
    for (const auto& [before, after] : cases) {
        fs::remove(file);
        if (before) {
            std::ofstream(file) << *before;
        }
        EXPECT_EQ(XdgAutostartItem(file, "/usr/bin/ombrel").retarget(), std::nullopt);
        EXPECT_EQ(fs::exists(file) ? std::optional(readFile(file)) : std::nullopt, after)
            << before.value_or("(none)");
    }
}

}  // namespace
}  // namespace ombrel
