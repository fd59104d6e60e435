// e2e_integrity_test.cpp: copies of the built binary, damaged or stamped
// in different ways, run as their own processes: only an intact stamped
// file may run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "vorla/integrity.h"
#include "vorla/run_vorla.h"

namespace {

const std::string CORRUPTED =
    "\n\nABORT: Vorla has been corrupted, please re-install to correct the problem.\n"
    "       (winmain/340)\n";
constexpr std::size_t TRAILER = sizeof(AppStamp);

using Bytes = std::vector<char>;

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Flip(const std::string& path, std::size_t fromEnd) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    const auto at = static_cast<std::streamoff>(std::filesystem::file_size(path) - fromEnd);
    char byte = 0;
    file.seekg(at).get(byte);
    file.seekp(at).put(static_cast<char>(byte ^ 0x01));
}

// Where in the file a byte may be damaged without stopping the program
// before its check: in the padding between two loaded segments, the gap
// nearest the middle (counted from the end, as Flip takes it). Damage to
// code or to the tables that loading and start-up read can end the run in
// other ways first, and where those lie depends on the build.
std::size_t UnreadByteNearTheMiddle(const std::string& path) {
    const Bytes file = ReadBytes(path);
    const auto read = [&file](std::size_t at, std::size_t width) {
        std::uint64_t value = 0;
        for (std::size_t i = width; i-- > 0;)
            value = value << 8 | static_cast<unsigned char>(file.at(at + i));
        return value;
    };
    // e_phoff, e_phentsize, e_phnum, and in each entry p_offset and
    // p_filesz, where the ELF class (64- or 32-bit) puts them.
    const bool wide = file.at(4) == 2;
    const std::uint64_t table = wide ? read(32, 8) : read(28, 4);
    const std::uint64_t entrySize = read(wide ? 54 : 42, 2);
    const std::uint64_t entries = read(wide ? 56 : 44, 2);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> loaded;  // file offset, size
    for (std::uint64_t i = 0; i < entries; ++i) {
        const auto entry = static_cast<std::size_t>(table + i * entrySize);
        if (read(entry, 4) == 1)
            loaded.emplace_back(wide ? read(entry + 8, 8) : read(entry + 4, 4),
                                wide ? read(entry + 32, 8) : read(entry + 16, 4));
    }
    std::sort(loaded.begin(), loaded.end());
    const std::uint64_t middle = file.size() / 2;
    const auto distance = [middle](std::uint64_t at) {
        return at > middle ? at - middle : middle - at;
    };
    std::uint64_t best = 0;
    for (std::size_t i = 0; i + 1 < loaded.size(); ++i) {
        const std::uint64_t gapStart = loaded[i].first + loaded[i].second;
        if (gapStart >= loaded[i + 1].first) continue;
        const std::uint64_t at = std::clamp(middle, gapStart, loaded[i + 1].first - 1);
        if (best == 0 || distance(at) < distance(best)) best = at;
    }
    EXPECT_NE(best, 0u) << "no padding between the loaded segments of " << path;
    return static_cast<std::size_t>(file.size() - best);
}

void Run(const std::string& command, const std::string& path) {
    ASSERT_EQ(std::system((command + " " + path).c_str()), 0) << command;
}

struct IntegrityCase {
    const char* name;
    void (*damage)(const std::string& path);
    bool runs;
};

void PrintTo(const IntegrityCase& c, std::ostream* os) {
    *os << c.name;
}

const IntegrityCase CASES[] = {
    {"Intact", [](const std::string&) {}, true},
    {"UnreadByteFlippedNearTheMiddle",
     [](const std::string& path) { Flip(path, UnreadByteNearTheMiddle(path)); }, false},
    {"LastCoveredByteFlipped", [](const std::string& path) { Flip(path, TRAILER + 1); }, false},
    {"RecordedCrcFlipped", [](const std::string& path) { Flip(path, TRAILER); }, false},
    {"Unstamped",
     [](const std::string& path) {
         std::filesystem::resize_file(path, std::filesystem::file_size(path) - TRAILER);
     },
     false},
    {"StrippedThenStampedAgain",
     [](const std::string& path) {
         Run("strip", path);
         Run(VORLA_STAMP, path);
     },
     true},
    {"StampedTwiceIsUnchanged",
     [](const std::string& path) {
         const Bytes before = ReadBytes(path);
         Run(VORLA_STAMP, path);
         EXPECT_EQ(ReadBytes(path), before);
     },
     true},
    {"DamagedThenStampedAgain",
     [](const std::string& path) {
         Flip(path, TRAILER + 100);
         Run(VORLA_STAMP, path);
     },
     true},
};

class VorlaIntegrity : public testing::TestWithParam<IntegrityCase> {};

TEST_P(VorlaIntegrity, OnlyAnIntactStampedFileRuns) {
    const IntegrityCase& c = GetParam();
    const std::string dir = MakeTempDir();
    VorlaOptions options;
    options.binary = CopyBinaryTo(dir);
    c.damage(options.binary);
    VorlaRun run = RunVorla({}, options);
    RemoveTree(dir);
    if (c.runs) {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.find("ABORT"), std::string::npos) << run.out;
    } else {
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.ends_with(CORRUPTED)) << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(E2E, VorlaIntegrity, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<IntegrityCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
