// Desktop files the program reads and writes: what an entry says, the names of applications and
// the program's own autostart entry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/app_catalog.h"
#include "platform/linux/autostart_item.h"
#include "platform/linux/desktop_entry.h"
#include "support/temp_dir.h"

namespace ombrel::linux_platform {
namespace {

using Args = std::optional<std::vector<std::string>>;

TEST(DesktopEntry, ExecLinesSplitByTheQuotingRules) {
    const std::pair<const char*, Args> cases[] = {
        {"firefox %u", Args{{"firefox"}}},
        {"gimp-2.10 %U", Args{{"gimp-2.10"}}},
        {"/usr/bin/app --new-window %F --flag", Args{{"/usr/bin/app", "--new-window", "--flag"}}},
        {"app %i %c %k", Args{{"app"}}},
        {"app --file=%f", Args{{"app", "--file="}}},
        {"app 100%%", Args{{"app", "100%"}}},
        {R"("/opt/My App/run" --x)", Args{{"/opt/My App/run", "--x"}}},
        {R"(sh -c "echo \"hi\" \$HOME \\ \`x\`")", Args{{"sh", "-c", R"(echo "hi" $HOME \ `x`)"}}},
        {R"(app "%u")", Args{{"app", "%u"}}},
        {"  app   two  ", Args{{"app", "two"}}},
        {R"(app "unclosed)", {}},
        {"", {}},
        {"%U", {}},
        {"app 50%", {}},
    };
    for (const auto& [exec, args] : cases) {
        EXPECT_EQ(splitExec(exec), args) << exec;
    }
    const std::pair<const char*, Args> entries[] = {
        {"[Desktop Entry]\nName=Editor\nExec=editor %F\n", Args{{"editor"}}},
        {"# comment\n[Desktop Entry]\r\nExec = editor --a\r\n", Args{{"editor", "--a"}}},
        {"[Desktop Action new]\nExec=other\n[Desktop Entry]\nExec=main\n", Args{{"main"}}},
        {"[Desktop Entry]\nExec[de]=localised\nExec=main\n", Args{{"main"}}},
        // \s is a space: a separator unless quoted.
        {"[Desktop Entry]\nExec=my\\sapp --x\n", Args{{"my", "app", "--x"}}},
        {"[Desktop Entry]\nExec=\"my\\sapp\" --x\n", Args{{"my app", "--x"}}},
        {"[Desktop Entry]\nName=No command\n", Args(std::in_place)},
        {"Exec=outside any group\n", {}},
        {"[Desktop Entry]\nExec=\n", Args(std::in_place)},
    };
    for (const auto& [text, args] : entries) {
        const auto entry = parseDesktopEntry(text);
        EXPECT_EQ(entry ? Args(entry->exec) : Args(), args) << text;
    }
    const auto entry = parseDesktopEntry(
        "[Desktop Entry]\nName=Notes\nExec=notes %f\nTerminal=true\nPath=/tmp/a\\sb\n"
        "DBusActivatable=true\nStartupNotify=true\nStartupWMClass=NotesApp\n"
        "[Desktop Action x]\nTerminal=false\n");
    ASSERT_TRUE(entry && entry->terminal && entry->dbusActivatable && entry->startupNotify);
    EXPECT_EQ(entry->path + " " + entry->startupWMClass + " " + entry->name,
              "/tmp/a b NotesApp Notes");
    // Activatable over D-Bus, an entry needs no Exec line.
    EXPECT_TRUE(parseDesktopEntry("[Desktop Entry]\nDBusActivatable=true\n").value().startable());
    EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nName=No command\n").value().startable());
    EXPECT_EQ(applicationObjectPath("org.example.My-App"), "/org/example/My_App");
}

using Folder = test::TempDir;

TEST(LoginItemEntry, WrittenQuotedReadHiddenRemovedAndFailuresReported) {
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
    // The autostart folder's place taken by a file: nothing can be written under it.
    std::filesystem::remove_all(dir.path() / "autostart");
    std::ofstream(dir.path() / "autostart") << "not a folder";
    const auto error = item.setEnabled(true);
    EXPECT_TRUE(error && !error->empty());
    EXPECT_FALSE(item.enabled());
    // How the Exec key quotes and escapes the program's path.
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
    test::writeFile(first.path() / "applications" / "org.example.Editor.desktop",
                    "[Desktop Entry]\nName=Text Editor\nStartupWMClass=Edit-Main\n"
                    "[Desktop Action new]\nName=New Window\n");
    test::writeFile(first.path() / "applications" / "viewer.desktop",
                    "[Desktop Entry]\nName=Viewer (user copy)\n");
    test::writeFile(second.path() / "applications" / "viewer.desktop",
                    "[Desktop Entry]\nName=Viewer\n");
    test::writeFile(second.path() / "applications" / "kde" / "konsole.desktop",
                    "# comment\n[Desktop Entry]\nName = Konsole\n");
    test::writeFile(second.path() / "applications" / "nameless.desktop",
                    "[Desktop Entry]\nExec=x\n");
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
