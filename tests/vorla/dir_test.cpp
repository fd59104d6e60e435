// dir_test.cpp: path normalising with both separators, directory creation in
// a temporary tree, and the current directory as the default source.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"
#include "vorla/dir.h"
#include "vorla/dir_internal.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"

namespace fs = std::filesystem;

namespace {

constexpr char GUARD = '\x5A';

TEST(DirNormalize, BothSeparatorsNeverAboveTheStart) {
    struct Case {
        const char* path;  // written for '\\'; run for '/' with the two swapped
        std::int32_t trailing;
        const char* expected;
    } const cases[] = {
        {"D:\\logs", 1, "D:\\logs\\"},
        {"D:/logs/old", 1, "D:\\logs\\old\\"},
        {"a\\b/", 1, "a\\b\\"},
        {"D:\\a\\b\\..\\c", 1, "D:\\a\\c\\"},
        {"D:\\a\\b\\..\\..\\c", 1, "D:\\c\\"},
        {"D:\\a\\.\\b", 1, "D:\\a\\b\\"},
        {"a.b\\c", 1, "a.b\\c\\"},
        {"D:\\logs.", 1, "D:\\logs"},
        {"D:\\logs\\", 0, "D:\\logs"},
        {"D:\\logs\\", 2, "D:\\logs"},
        {"\\", 0, ""},
        {"", 1, ""},
        {"D:\\..\\x", 1, "D:\\x\\"},
        {"D:\\a\\..\\..\\x", 1, "D:\\x\\"},
        {"\\..\\x", 1, "\\x\\"},
        {"..\\x", 1, "..\\x\\"},
        {"..\\..\\x", 1, "..\\..\\x\\"},
        {".\\..\\x", 1, "..\\x\\"},
        {"a\\..\\..\\b", 1, "..\\b\\"},
        {"a\\..\\..\\..\\b", 1, "..\\..\\b\\"},
        {"..\\a\\..\\b", 1, "..\\b\\"},
        {"a\\..\\b", 1, "b\\"},
        {"a\\..", 1, ""},
        {"{Config.Source}..\\old", 1, "old\\"},
        {"x\\..\\..", 0, ".."},
        {"a\\..\\\\b", 1, "b\\"},
        {".\\\\x", 1, "x\\"},
    };
    for (const char separator : {'\\', '/'}) {
        for (const Case& c : cases) {
            std::string path = c.path, expected = c.expected;
            for (std::string* text : {&path, &expected}) {
                for (char& ch : *text)
                    if (separator == '/') ch = ch == '\\' ? '/' : ch == '/' ? '\\' : ch;
            }
            SCOPED_TRACE(path + " trailing " + std::to_string(c.trailing));
            // Room for the separator that may be appended, then guard bytes.
            std::vector<char> buffer(path.size() + 2 + 8, GUARD);
            std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
            EXPECT_EQ(DirNormalizeWith(buffer.data(), c.trailing, separator), 1);
            EXPECT_EQ(std::string(buffer.data()), expected);
            EXPECT_EQ(std::string(buffer.end() - 8, buffer.end()), std::string(8, GUARD));
        }
    }
}

class DirCreateTest : public ConsoleFileTest {
protected:
    void SetUp() override {
        StartCore("dir_test", LOG_CONSOLE | LOG_NO_ABORT_BOX);
        ASSERT_NO_FATAL_FAILURE(ConsoleFileTest::SetUp());
        LogState.flags = LOG_CONSOLE | LOG_NO_ABORT_BOX;
    }
    // '@' stands for the test's tree and '!' for the code of the error that
    // a file standing where a parent directory should be gives. The paths
    // are written with '/', which stands for the native separator: the one
    // that DirCreate puts back where it cut.
    std::string At(const char* text) {
        std::string out = std::regex_replace(text, std::regex("@"), dir_.string());
        const std::size_t mark = out.find('!');
        if (mark != std::string::npos) out.replace(mark, 1, FileInTheWay());
        for (char& ch : out)
            if (ch == '/') ch = PLAT_PATH_SEPARATOR;
        return out;
    }
    std::string FileInTheWay() {
        std::ofstream(dir_ / "in-the-way") << "x";
        std::int32_t error = 0;
        PlatMakeDir((dir_ / "in-the-way" / "sub").string().c_str(), &error);
        char text[32];
        std::snprintf(text, sizeof text, "%d:%.8X", error, static_cast<unsigned>(error));
        return text;
    }
};

TEST_F(DirCreateTest, LevelsInOrderExistingAndFailing) {
    struct Case {
        const char* file;  // a regular file made first, or ""
        const char* path;
        std::int32_t strip, verbose, result;
        const char* console;
        const char* made;  // a directory there afterwards, or ""
    } const cases[] = {
        {"", "@/a/b/c/", 0, 1, 1,
         "Check dir [@/a/b/c/]\nCheck dir [@/a/b/c]\nCheck dir [@/a/b]\nCheck dir [@/a]\n"
         "Check dir [@]\nCreate Dir = @/a\nCreate Dir = @/a/b\nCreate Dir = @/a/b/c\n",
         "@/a/b/c"},
        {"", "@/a/b/c/", 0, 1, 1, "Check dir [@/a/b/c/]\n", "@/a/b/c"},  // again: nothing to do
        {"@/f", "@/f", 0, 1, 1, "Check dir [@/f]\n", ""},
        {"@/f", "@/f/sub/deeper/", 0, 1, 0,
         "Check dir [@/f/sub/deeper/]\nCheck dir [@/f/sub/deeper]\nCheck dir [@/f/sub]\n"
         "Check dir [@/f]\nUnable to create [!] Dir = @/f/sub\n",
         ""},
        {"", "@/x/y/file.zip", 1, 1, 1,
         "Check dir [@/x/y]\nCheck dir [@/x]\nCheck dir [@]\nCreate Dir = @/x\nCreate Dir = "
         "@/x/y\n",
         "@/x/y"},
        {"@/f", "@/f/y/z.zip", 1, 0, 0, "Unable to create [!] Dir = @/f/y\n", ""},
        {"", "", 0, 1, 1, "Check dir []\n", ""},
        {"", "D:", 0, 1, 1, "Check dir [D:]\n", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.file[0] != '\0') std::ofstream(At(c.file)) << "x";
        std::string path = At(c.path);
        const std::string original = path;
        const std::size_t before = Console().size();  // each case reads what it printed itself
        EXPECT_EQ(DirCreate(path.data(), c.strip, c.verbose), c.result);
        EXPECT_EQ(path, original);
        EXPECT_EQ(Console().substr(before), At(c.console));
        EXPECT_TRUE(c.made[0] == '\0' || fs::is_directory(At(c.made)));
        EXPECT_TRUE(c.file[0] == '\0' || fs::is_regular_file(At(c.file)));
    }
}

// A path longer than the private copy is not mistaken for the existing
// directory that its first 319 characters name.
TEST_F(DirCreateTest, LongPathIsNotCutShort) {
    const fs::path first = dir_ / std::string(200, 'a');
    const std::size_t rest = DIR_COPY_CAPACITY - 2 - first.string().size();
    const fs::path prefix = first / std::string(rest, 'b');
    fs::create_directories(prefix);
    std::string path = (prefix / "c" / "d" / "").string();
    EXPECT_EQ(DirExists(path.c_str()), 0);
    EXPECT_EQ(DirCreate(path.data(), 0, 0), 1);
    EXPECT_TRUE(fs::is_directory(prefix / "c" / "d"));
}

TEST(AppGetCurrentDir, FitsOrKeepsTheBuffer) {
    const std::string current = fs::current_path().string();
    const auto length = static_cast<std::int32_t>(current.size());
    for (const std::int32_t capacity : {length, length + 1}) {
        const std::string expected = capacity == length ? "keep" : current + PLAT_PATH_SEPARATOR;
        std::vector<char> buffer(static_cast<std::size_t>(capacity) + 1 + 8, GUARD);
        std::memcpy(buffer.data(), "keep", 5);
        EXPECT_EQ(AppGetCurrentDir(buffer.data(), capacity), capacity == length ? 0 : 1);
        EXPECT_EQ(std::string(buffer.data()), expected);
        EXPECT_EQ(std::string(buffer.end() - 8, buffer.end()), std::string(8, GUARD));
    }
}

}  // namespace
