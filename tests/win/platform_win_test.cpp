// platform_win_test.cpp: the log file of the Windows platform layer where
// the runtime, not the layer, does the work that POSIX code does itself:
// descriptors kept clear of the standard streams, the text-mode line feeds,
// appending and emptying.
#include <gtest/gtest.h>

#include <io.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace {

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST(PlatWin32LogFile, ClearOfTheStandardStreamsAppendingOrEmptying) {
    struct Case {
        int closed;  // standard descriptors closed before the open: 0 up to this
        std::int32_t append;
        std::string before, text, after;
    } const cases[] = {
        {0, 0, "old\r\n", "a\nb\n", "a\r\nb\r\n"},
        {1, 1, "old\r\n", "a\n", "old\r\na\r\n"},
        {2, 0, "old", "\n\n", "\r\n\r\n"},
        {3, 1, "x", "y\n", "xy\r\n"},
        {3, 0, "", Repeat("\n", 5000), Repeat("\r\n", 5000)},  // more than any buffer
    };
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "plat-win-log.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.closed);
        std::ofstream(path, std::ios::binary) << c.before;
        int saved[3] = {-1, -1, -1};
        for (int low = 0; low < c.closed; ++low)
            saved[low] = _dup(low);
        for (int low = 0; low < c.closed; ++low)
            _close(low);
        std::int32_t error = 0;
        const std::int32_t fd = PlatLogOpen(path.string().c_str(), c.append, &error);
        bool lowStillFree = true;  // nothing held on the way to a higher descriptor is kept
        for (int low = 0; low < c.closed; ++low)
            lowStillFree = lowStillFree && _get_osfhandle(low) == -1;
        const std::int32_t wrote = fd > 2 ? PlatLogWrite(fd, c.text.data(), c.text.size()) : 0;
        if (fd > 2) PlatLogClose(fd);
        for (int low = 0; low < c.closed; ++low) {
            _dup2(saved[low], low);
            _close(saved[low]);
        }
        EXPECT_GT(fd, 2);
        EXPECT_TRUE(lowStillFree);
        EXPECT_EQ(wrote, 1);
        EXPECT_EQ(ReadBytes(path), c.after);
    }
    std::int32_t error = 0;
    EXPECT_EQ(PlatLogOpen((path / "no" / "such.log").string().c_str(), 0, &error), -1);
    EXPECT_EQ(error, ENOENT);
    std::filesystem::remove(path);
}

TEST(PlatWin32PathExists, DrivesAloneAndRoots) {
    const struct {
        const char* path;
        std::int32_t exists;
    } cases[] = {{"C:", 1},
                 {"C:\\", 1},
                 {"c:", 1},
                 {"C:\\windows", 1},
                 {"Q:", 0},
                 {"Q:\\", 0},
                 {"C:x-no-such-name", 0},
                 {"", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(PlatPathExists(c.path), c.exists) << c.path;
}

}  // namespace
