// init_test.cpp: log switches, start-up, shut-down and the address range.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "support/test_support.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"

namespace fs = std::filesystem;

namespace {

const char* const ARGV[] = {"/opt/vorla/bin/vorla", "/debug"};

// A fresh log state, a directory of its own and a file standing in for the
// console; the console handle is set before start-up, which keeps it.
class CoreTest : public ConsoleFileTest {
protected:
    void SetUp() override {
        ResetLog();
        ASSERT_NO_FATAL_FAILURE(ConsoleFileTest::SetUp());
        logPath_ = (dir_ / "debug.log").string();
        CmdLineSetFromArgs(2, ARGV);
    }
    void TearDown() override {
        ResetLog();
        ConsoleFileTest::TearDown();
    }

    std::string logPath_;
};

TEST(LogParseSwitchesTest, SwitchWordsAddTheirBits) {
    struct Case {
        const char* line;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {"prog", 0},
        {"prog /debug", 0x0006},
        {"prog /DEBUG /Unique", 0x004E},
        {"prog -debug -perthread", 0x010E},
        {"prog /perthread", 0x0108},
        {"prog /window /cachewrites", 0x8001},
        {"prog -timestamp -append -externalprint", 0x0428},
        {"prog /debug /perthread /unique /window /cachewrites /timestamp /append /externalprint",
         0x856F},
        {"prog /debugging /windows", 0},
        {"prog debug", 0},
        {"prog /debug\t", 0},
        {"prog /EXECUTE \"zip -debug a.zip\"", 0x0006},
    };
    for (const Case& c : cases) {
        std::uint32_t flags = 0xFFFFFFFF;  // replaced, not added to
        EXPECT_EQ(LogParseSwitches(&flags, c.line), 1);
        EXPECT_EQ(flags, c.flags) << c.line;
    }
}

TEST(CoreLogPathTest, LogFileLiesBesideTheProgramUnlessAbsolute) {
    struct Case {
        const char* module;
        const char* name;
        std::string path;
    };
    const std::string longDir = "/" + std::string(240, 'd') + "/";
    const std::string longName(300, 'n');
    const std::string longAbsolute = "/" + longName;
    const Case cases[] = {
        {"D:\\Tools\\prog.exe", "debug.log", "D:\\Tools\\debug.log"},
        {"/opt/vorla/bin/vorla", "debug.log", "/opt/vorla/bin/debug.log"},
        {"\\\\?\\D:\\Tools\\prog.exe", "debug.log", "D:\\Tools\\debug.log"},
        {"\\\\?\\UNC\\server\\share\\prog.exe", "debug.log", "\\\\server\\share\\debug.log"},
        {"\\\\?\\unc\\server\\share\\prog.exe", "debug.log", "\\\\server\\share\\debug.log"},
        {"/opt/vorla/vorla", "", "/opt/vorla/debug.log"},
        {"/opt/vorla/vorla", "x", "/opt/vorla/debug.log"},
        {"/opt/vorla/vorla", "ab", "/opt/vorla/ab"},
        {"/opt/vorla/vorla", "logs/run.log", "/opt/vorla/logs/run.log"},
        {"/opt/vorla/vorla", "/var/log/v.log", "/var/log/v.log"},
        {"/opt/vorla/vorla", "\\share\\v.log", "\\share\\v.log"},
        {"/opt/vorla/vorla", "C:v.log", "C:v.log"},
        {"/opt/vorla/vorla", "/", "/"},
        {"", "debug.log", "debug.log"},  // no program path: current directory
        {"vorla", "x", "debug.log"},
        {longDir.c_str(), longName.c_str(), (longDir + longName).substr(0, 259)},
        {"/opt/vorla", longAbsolute.c_str(), longAbsolute.substr(0, 259)},
    };
    for (const Case& c : cases) {
        char path[LOG_PATH_CAPACITY + 8];
        std::memset(path, 0x5A, sizeof path);
        EXPECT_EQ(CoreLogPath(c.module, c.name, path), 1);
        EXPECT_EQ(path, c.path) << c.module << " + " << c.name;
        for (int i = LOG_PATH_CAPACITY; i < LOG_PATH_CAPACITY + 8; ++i)
            ASSERT_EQ(path[i], 0x5A);
    }
}

TEST_F(CoreTest, DebugRunStartsWithTheBannerAndEmptiesTheFile) {
    std::ofstream(logPath_, std::ios::binary) << "previous run\r\n";
    CoreInit(logPath_.c_str(), 0x17);
    EXPECT_EQ(LogState.mainThreadId, PlatThreadId());
    EXPECT_NE(LogState.mutex, nullptr);
    EXPECT_EQ(LogState.lockBypass, 0);
    EXPECT_STREQ(LogState.basePath, logPath_.c_str());
    LogPrint("work\n");
    const std::string banner = "ZizEzaz v0.50 (rev: 9.517.1219.04)\n";
    EXPECT_EQ(Console(), banner + "work\n");
    EXPECT_EQ(ReadFile(logPath_), "ZizEzaz v0.50 (rev: 9.517.1219.04)\r\nwork\r\n");
    CoreShutdown();
}

TEST_F(CoreTest, ApplicationFlagsAloneWriteNoFileAndNoBanner) {
    CoreInit(logPath_.c_str(), LOG_CONSOLE | LOG_NO_ABORT_BOX);
    EXPECT_EQ(Console(), "");
    LogPrint("hello\n");
    EXPECT_EQ(Console(), "hello\n");
    EXPECT_FALSE(fs::exists(logPath_));
    CoreShutdown();
}

TEST_F(CoreTest, ShutdownClosesTheFileAndLaterMessagesAppend) {
    CoreInit(logPath_.c_str(), LOG_FILE);
    LogPrint("during\n");
    CoreShutdown();
    EXPECT_EQ(LogState.fileDescriptor, 0);
    EXPECT_EQ(LogState.flags, LOG_FILE | LOG_APPEND);
    EXPECT_EQ(LogState.mutex, nullptr);
    EXPECT_EQ(LogState.lockBypass, 1);
    LogPrint("after\n");
    EXPECT_EQ(ReadFile(logPath_), "during\r\nafter\r\n");

    // Start-up is allowed again once the mutex is gone.
    CoreInit(logPath_.c_str(), LOG_FILE | LOG_APPEND);
    LogPrint("again\n");
    CoreShutdown();
    EXPECT_EQ(ReadFile(logPath_), "during\r\nafter\r\nagain\r\n");
}

TEST_F(CoreTest, StartUpFaultsAreFatal) {
    CoreInit(logPath_.c_str(), LOG_CONSOLE);
    EXPECT_EXIT(CoreInit(logPath_.c_str(), LOG_CONSOLE), ::testing::ExitedWithCode(1),
                "^Internal error\\.\\.\\.\nABORT: Zizezaz already initialized\n       "
                "\\(orv-core/[0-9]+\\)\n");
    CoreShutdown();
    ResetLog();
    // The fatal report reaches the console that start-up has just obtained.
    ::testing::internal::CaptureStdout();
    EXPECT_EXIT(CoreInit(logPath_.c_str(), LOG_CONSOLE | LOG_NO_ABORT_BOX | LOG_PER_THREAD),
                ::testing::ExitedWithCode(1), "");
    EXPECT_THAT(::testing::internal::GetCapturedStdout(),
                ::testing::MatchesRegex("\n\nABORT: Threaded logging requires append to be on\n"
                                        "       \\(orv-core/[0-9]+\\)\n"));
}

TEST(CoreInitTest, MissingCommandLineIsFatal) {
    // A child of its own, in which nothing has set the command line.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CoreInit("debug.log", 0), ::testing::ExitedWithCode(1),
                "ABORT: Unable to retrieve commandline!\n       \\(orv-core/[0-9]+\\)");
}

TEST_F(CoreTest, LockSwitchesOnlyWithAMutex) {
    EXPECT_EQ(LogSetLockBypass(0), 0) << "no mutex yet";
    EXPECT_EQ(LogState.lockBypass, 1);
    LogMutexCreate();
    EXPECT_EQ(LogState.lockBypass, 0);
    EXPECT_EQ(LogSetLockBypass(1) + LogState.lockBypass, 2);
    EXPECT_EQ(LogSetLockBypass(0) + LogState.lockBypass, 1);
    LogMutexDestroy();
    EXPECT_EQ(LogState.lockBypass, 1);
}

}  // namespace
