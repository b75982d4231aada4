// Desktop files the program reads and writes: what an entry says, the names of applications and
// the program's own autostart entry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "env.h"
#include "platform/linux/app_catalog.h"
#include "platform/linux/autostart_item.h"
#include "platform/linux/desktop_entry.h"
#include "support/temp_dir.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::records;
using Args = std::optional<std::vector<std::string>>;

// The arguments a record of desktop_entries.cases expects.
Args expected(const std::vector<std::string>& c) {
    if (c.size() > 1 && c[1] == "(invalid)") {
        return std::nullopt;
    }
    return std::vector<std::string>(c.begin() + 1, c.end());
}

TEST(DesktopEntry, ExecLinesSplitByTheQuotingRules) {
    for (const auto& c : records("desktop_entries.cases", "exec")) {
        EXPECT_EQ(splitExec(c[0]), expected(c)) << c[0];
    }
    for (const auto& c : records("desktop_entries.cases", "entries")) {
        const auto entry = parseDesktopEntry(c[0]);
        EXPECT_EQ(entry ? Args(entry->exec) : Args(), expected(c)) << c[0];
    }
    // Activatable over D-Bus, an entry needs no Exec line.
    EXPECT_TRUE(parseDesktopEntry("[Desktop Entry]\nDBusActivatable=true\n").value().startable());
    EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nName=No command\n").value().startable());
    EXPECT_EQ(applicationObjectPath("org.example.My-App"), "/org/example/My_App");
}

// Written with the executable quoted and escaped, read (hidden or not), removed, and a failure
// to write reported with nothing changed.
TEST(LoginItemEntry, WrittenReadHiddenRemovedAndFailuresReported) {
    const test::TempDir dir;
    const auto file = dir.path() / "autostart" / "ombrel.desktop";
    XdgAutostartItem item(file, "/opt/Ombrel Build/ombrel");
    EXPECT_FALSE(item.enabled());
    EXPECT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_TRUE(item.enabled());
    EXPECT_THAT(test::readFile(file), ::testing::StartsWith("[Desktop Entry]\n"));
    EXPECT_THAT(test::readFile(file), ::testing::HasSubstr("Exec=\"/opt/Ombrel Build/ombrel\"\n"));
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));
    const std::pair<std::string, std::string> execs[] = {
        {"/usr/bin/ombrel", "Exec=/usr/bin/ombrel\n"},
        {"/a b/100%/ombrel", "Exec=\"/a b/100%%/ombrel\"\n"},
        {"/a$b/om\"brel", R"(Exec="/a\\$b/om\\"brel")"
                          "\n"},
    };
    for (const auto& [exe, line] : execs) {
        EXPECT_THAT(XdgAutostartItem::entryText(exe), ::testing::HasSubstr(line)) << exe;
    }

    std::ofstream(file) << "[Desktop Entry]\nType=Application\nHidden = true\n";
    EXPECT_FALSE(item.enabled());
    std::ofstream(file) << "[Desktop Entry]\nType=Application\n[Desktop Action x]\nHidden=true\n";
    EXPECT_TRUE(item.enabled());
    EXPECT_EQ(item.setEnabled(false), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(file));
    // Turning off what is already off is no failure.
    EXPECT_EQ(item.setEnabled(false), std::nullopt);

    // The autostart folder's place is taken by a file, so nothing can be written under it.
    std::filesystem::remove_all(dir.path() / "autostart");
    std::ofstream(dir.path() / "autostart") << "not a folder";
    const auto error = item.setEnabled(true);
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->empty());
    EXPECT_FALSE(item.enabled());
}

TEST(ApplicationNames, FoundByWindowClassOrFileNameIgnoringCase) {
    const test::TempDir folders[2];
    for (const auto& c : records("desktop_entries.cases", "catalog files")) {
        test::writeFile(folders[c[0] == "2"].path() / "applications" / c[1], c[2]);
    }
    const AppCatalog catalog({folders[0].path(), folders[1].path()});
    for (const auto& c : records("desktop_entries.cases", "catalog names")) {
        EXPECT_EQ(catalog.nameFor(c[0]), c.size() > 1 ? std::optional(c[1]) : std::nullopt) << c[0];
    }
    EXPECT_EQ(catalog.displayName("unknown"), "unknown");
}

}  // namespace
}  // namespace ombrel::linux_platform
