// The XDG base directories: absolute values win, empty and relative ones fall back to the
// defaults under HOME.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "config/xdg_dirs.h"

namespace ombrel::xdg {
namespace {

using Paths = std::vector<std::filesystem::path>;

TEST(BaseDirs, AbsoluteValuesWinAndTheRestFallBack) {
    const Paths system = {"/usr/local/share", "/usr/share"};
    const struct {
        std::map<std::string, std::string> env;
        BaseDirs expected;
    } cases[] = {
        {{{"HOME", "/home/u"}}, {"/home/u/.config", "/home/u/.local/share", system}},
        {{{"HOME", "/home/u"},
          {"XDG_CONFIG_HOME", "/c"},
          {"XDG_DATA_HOME", "/d"},
          {"XDG_DATA_DIRS", "/opt/share:/usr/share"}},
         {"/c", "/d", {"/opt/share", "/usr/share"}}},
        {{{"HOME", "/home/u"},
          {"XDG_CONFIG_HOME", "relative/c"},
          {"XDG_DATA_HOME", ""},
          {"XDG_DATA_DIRS", "share::/opt/share:"}},
         {"/home/u/.config", "/home/u/.local/share", {"/opt/share"}}},
        {{{"HOME", "/home/u"}, {"XDG_DATA_DIRS", "relative:also/relative"}},
         {"/home/u/.config", "/home/u/.local/share", system}},
        {{{"HOME", "/home/u"}, {"XDG_DATA_DIRS", ""}},
         {"/home/u/.config", "/home/u/.local/share", system}},
        {{}, {"./.config", "./.local/share", system}},
    };
    for (const auto& c : cases) {
        const BaseDirs dirs = baseDirs([&](const char* name) -> const char* {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        });
        const std::string where = c.env.contains("XDG_DATA_DIRS") ? c.env.at("XDG_DATA_DIRS") : "-";
        EXPECT_EQ(dirs.configHome, c.expected.configHome) << where;
        EXPECT_EQ(dirs.dataHome, c.expected.dataHome) << where;
        EXPECT_EQ(dirs.dataDirs, c.expected.dataDirs) << where;
    }
    const BaseDirs mine{"/c", "/d", {"/e", "/f"}};
    EXPECT_EQ(mine.dataSearchPath(), (Paths{"/d", "/e", "/f"}));
}

}  // namespace
}  // namespace ombrel::xdg
