// End-to-end tests of the log switches: what reaches the console and the
// log file beside the program, and that a broken log never costs output.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/test_support.h"
#include "vorla/run_vorla.h"

namespace {

namespace fs = std::filesystem;

// The report of a run with no options but /EXECUTE true, started in dir.
std::string EmptyReport(const std::string& dir) {
    return "Offset:   []\nWildcard: []\nFilename: [archive.zip]\nSource:   [" + dir +
           "/]\nTarget:   []\nExecute:  [true]\n";
}

// Each test gets its own copy of the binary, so its log lands in a fresh directory.
class VorlaLog : public testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        binary = CopyBinaryTo(dir);
        options.binary = binary;
        options.directory = dir;
    }
    void TearDown() override { RemoveTree(dir); }
    std::string dir, binary;
    VorlaOptions options;
};

TEST_F(VorlaLog, NoSwitchWritesNoFile) {
    VorlaRun run = RunVorla({"/EXECUTE", "true"}, options);
    EXPECT_EQ(run.out, EmptyReport(dir));
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(FileExists(dir + "/debug.log"));
}

TEST_F(VorlaLog, DebugCopiesEveryMessageBesideTheProgram) {
    // Run from another directory: the file still lands beside the program.
    options.directory = fs::path(dir).parent_path().string();
    fs::path stale = fs::path(dir) / "debug.log";
    { std::ofstream(stale) << "left over from an earlier run\n"; }
    VorlaRun run = RunVorla({"/debug", "/EXECUTE", "true"}, options);
    const std::string expected = VERSION_BANNER + MEMORY_INIT + "Unknown command [/debug]\n" +
                                 EmptyReport(options.directory) + MEMORY_REMOVE;
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFile(stale.string()), CrLf(expected));
}

TEST_F(VorlaLog, DebugFoundInsideAnotherOptionsValue) {
    VorlaRun run = RunVorla({"/EXECUTE", "true -debug now"}, options);
    EXPECT_EQ(run.out.rfind(VERSION_BANNER, 0), 0u) << run.out;
    EXPECT_TRUE(FileExists(dir + "/debug.log"));
    EXPECT_EQ(run.status, 0);
}

TEST_F(VorlaLog, UniqueNamesTheFileByDateAndAppends) {
    if (!HaveFaketime()) GTEST_SKIP() << "faketime is not installed";
    options.frozenTime = "2026-12-06 01:38:00";
    VorlaRun first = RunVorla({"/Unique", "/EXECUTE", "true"}, options);
    VorlaRun second = RunVorla({"/Unique", "/EXECUTE", "true"}, options);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(second.status, 0);
    EXPECT_FALSE(FileExists(dir + "/debug.log"));
    std::string log = ReadFile(dir + "/debug-120626.log");
    EXPECT_EQ(log, CrLf(first.out) + CrLf(second.out));
}

TEST_F(VorlaLog, TimestampPrefixesEveryMessageInTheFileOnly) {
    if (!HaveFaketime()) GTEST_SKIP() << "faketime is not installed";
    options.frozenTime = "2026-12-06 01:38:07";
    VorlaRun run = RunVorla({"/debug", "/timestamp", "/EXECUTE", "true"}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("12/06/2026"), std::string::npos);
    std::string log = ReadFile(dir + "/debug.log");
    const std::string stamp = "12/06/2026 01:38:07 ";
    EXPECT_EQ(log.rfind(stamp + "ZizEzaz v0.50", 0), 0u) << log;
    EXPECT_NE(log.find(stamp + "Unknown command [/debug]\r\n" + stamp +
                       "Unknown command [/timestamp]\r\n"),
              std::string::npos)
        << log;
}

TEST_F(VorlaLog, UnwritableLogLosesNoConsoleOutput) {
    // Even root cannot open a directory as the log file.
    fs::create_directory(fs::path(dir) / "debug.log");
    VorlaRun plain = RunVorla({"/EXECUTE", "exit 3"}, options);
    VorlaRun run = RunVorla({"/debug", "/EXECUTE", "exit 3"}, options);
    EXPECT_EQ(run.out, VERSION_BANNER + MEMORY_INIT + "Unknown command [/debug]\n" + plain.out +
                           MEMORY_REMOVE);
    EXPECT_EQ(run.status, plain.status);
    EXPECT_EQ(run.status, 1);
    // One box per message, naming the file and the text that was lost.
    EXPECT_NE(run.err.find("Internal error...\nUnable to create log file [" + dir +
                           "/debug.log] due to error [21]\n -- String [" + VERSION_BANNER + "]"),
              std::string::npos)
        << run.err;
    size_t boxes = 0;
    for (size_t at = run.err.find("Internal error..."); at != std::string::npos;
         at = run.err.find("Internal error...", at + 1)) {
        boxes++;
    }
    EXPECT_EQ(boxes, 14u);  // version, 3 + 3 memory lines, unknown word, 6 report lines
}

TEST_F(VorlaLog, FullDiskLosesNoConsoleOutput) {
    fs::create_symlink("/dev/full", fs::path(dir) / "debug.log");
    VorlaRun run = RunVorla({"/debug", "/EXECUTE", "true"}, options);
    EXPECT_EQ(run.out, VERSION_BANNER + MEMORY_INIT + "Unknown command [/debug]\n" +
                           EmptyReport(dir) + MEMORY_REMOVE);
    EXPECT_EQ(run.status, 0);
}

}  // namespace
