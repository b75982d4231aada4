// Whole-file reads: what counts as missing, unreadable or too large.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/file_io.h"

namespace ombrel::file_io {
namespace {

namespace fs = std::filesystem;

class ReadWhole : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ombrel-io-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path write(const std::string& name, const std::string& text) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    fs::path dir_;
};

TEST_F(ReadWhole, TellsMissingFromUnreadable) {
    EXPECT_TRUE(std::holds_alternative<Missing>(readWhole(dir_ / "absent")));
    EXPECT_TRUE(std::holds_alternative<Missing>(readWhole(dir_ / "no" / "folder")));
    fs::create_symlink(dir_ / "absent", dir_ / "dangling");
    EXPECT_TRUE(std::holds_alternative<Missing>(readWhole(dir_ / "dangling")));
    fs::create_directories(dir_ / "folder");
    EXPECT_TRUE(std::holds_alternative<Unreadable>(readWhole(dir_ / "folder")));
    // A file where a folder should be: nothing can exist below it, so nothing is lost either.
    write("file", "x");
    EXPECT_TRUE(std::holds_alternative<Missing>(readWhole(dir_ / "file" / "below")));
}

TEST_F(ReadWhole, ReadsEveryByteUpToTheLimit) {
    const std::string big(100000, 'q');
    const std::string binary("a\0b\xFF", 4);
    struct Case {
        std::string text;
        std::size_t limit;
        bool readable;
    };
    for (const Case& c : {Case{"", 0, true}, Case{binary, 4, true}, Case{binary, 3, false},
                          Case{big, big.size(), true}, Case{big, big.size() - 1, false}}) {
        const auto result = readWhole(write("f", c.text), c.limit);
        if (c.readable) {
            ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.limit;
            EXPECT_EQ(std::get<std::string>(result), c.text);
        } else {
            EXPECT_TRUE(std::holds_alternative<Unreadable>(result)) << c.limit;
        }
    }
}

TEST_F(ReadWhole, ReplaceCreatesAndReplacesWholeContent) {
    const fs::path path = dir_ / "target";
    ASSERT_TRUE(replaceAtomically(path, "first, rather long content"));
    ASSERT_TRUE(replaceAtomically(path, "second"));
    EXPECT_EQ(std::get<std::string>(readWhole(path)), "second");
    EXPECT_FALSE(replaceAtomically(dir_ / "no" / "folder" / "target", "x"));
    EXPECT_FALSE(fs::exists(dir_ / "no"));
}

}  // namespace
}  // namespace ombrel::file_io
