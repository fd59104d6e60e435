// e2e_integrity_test.cpp: copies of the built binary, damaged or stamped
// in different ways, run as their own processes: only an intact stamped
// file may run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "vorla/integrity.h"
#include "vorla/run_vorla.h"

namespace {

const std::string kCorrupted =
    "\n\nABORT: Vorla has been corrupted, please re-install to correct the problem.\n"
    "       (winmain/340)\n";
constexpr std::size_t kTrailer = sizeof(AppStamp);

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

const IntegrityCase kCases[] = {
    {"Intact", [](const std::string&) {}, true},
    {"ByteFlippedInTheMiddle",
     [](const std::string& path) { Flip(path, std::filesystem::file_size(path) / 2); }, false},
    {"LastCoveredByteFlipped", [](const std::string& path) { Flip(path, kTrailer + 1); }, false},
    {"RecordedCrcFlipped", [](const std::string& path) { Flip(path, kTrailer); }, false},
    {"Unstamped",
     [](const std::string& path) {
         std::filesystem::resize_file(path, std::filesystem::file_size(path) - kTrailer);
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
         Flip(path, kTrailer + 100);
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
        EXPECT_TRUE(run.out.ends_with(kCorrupted)) << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(E2E, VorlaIntegrity, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<IntegrityCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
