// log_test.cpp: message output, file naming, fatal frames and the log lock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"

namespace fs = std::filesystem;

namespace {

std::int64_t gMoment = 0;
std::int64_t FixedClock() {
    return gMoment;
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The stamp as the file must show it for the moment the fixed clock gives.
std::string ExpectedStamp(std::int64_t moment) {
    PlatTime t{};
    PlatLocalTime(moment, &t);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d ", t.month + 1, t.day,
                  t.year + 1900, t.hour, t.minute, t.second);
    return stamp;
}

std::string ExpectedDate(std::int64_t moment) {
    PlatTime t{};
    PlatLocalTime(moment, &t);
    char date[40];
    std::snprintf(date, sizeof date, "%02d%02d%02d", t.month + 1, t.day, t.year % 100);
    return date;
}

// Every test gets a fresh log state, a directory of its own and a file
// standing in for the console, so that console output can be checked.
class LogTest : public ConsoleFileTest {
protected:
    void SetUp() override {
        ResetLog();
        ASSERT_NO_FATAL_FAILURE(ConsoleFileTest::SetUp());
        Use("debug.log");
        gMoment = 1260108187;  // 6 December 2009, early afternoon in most zones
        PlatSetTimeSource(FixedClock);
    }
    void TearDown() override {
        ResetLog();
        ConsoleFileTest::TearDown();
    }
    // A clean slate for the next row of a table-driven test.
    void Fresh() {
        TearDown();
        SetUp();
    }
    void Use(const std::string& name) {
        std::snprintf(LogState.basePath, LOG_PATH_CAPACITY, "%s", (dir_ / name).string().c_str());
    }
    std::string File(const std::string& name = "debug.log") { return ReadFile(dir_ / name); }
};

const PlatTime DEC6 = {7, 3, 14, 6, 11, 109};
const PlatTime JAN1 = {0, 0, 0, 1, 0, 100};
const PlatTime DEC31 = {59, 59, 23, 31, 11, 99};

TEST(LogFileNameTest, NamesFollowFlagsDateThreadAndErrorRules) {
    struct Case {
        const char* base;
        std::uint32_t flags;
        std::int32_t fatal;
        const PlatTime* now;
        std::int32_t otherThread;
        std::int32_t result;
        const char* name;
    };
    const std::uint32_t F = LOG_FILE;
    const std::uint32_t D = LOG_FILE | LOG_DATED_NAME;
    const std::uint32_t T = LOG_FILE | LOG_PER_THREAD | LOG_APPEND;
    const std::uint32_t E = LOG_FILE | LOG_ERROR_FILE;
    const Case cases[] = {
        {"D:\\Tools\\debug.log", F, 0, &DEC6, 0, 1, "D:\\Tools\\debug.log"},
        {"D:\\Tools\\debug.log", LOG_CONSOLE, 0, &DEC6, 0, 0, ""},
        {"D:\\Tools\\debug.log", LOG_ERROR_FILE, 0, &DEC6, 0, 0, ""},
        {"D:\\Tools\\debug.log", D, 0, &DEC6, 0, 1, "D:\\Tools\\debug-120609.log"},
        {"D:\\Tools\\debug.log", D, 0, &JAN1, 0, 1, "D:\\Tools\\debug-010100.log"},
        {"D:\\Tools\\debug.log", D, 0, &DEC31, 0, 1, "D:\\Tools\\debug-123199.log"},
        {"/var/log/debug", D, 0, &DEC6, 0, 1, "/var/log/debug-120609.log"},
        {"/var/log/trace.txt", D, 0, &DEC6, 0, 1, "/var/log/trace-120609.txt"},
        {"/var/log/.log", D, 0, &DEC6, 0, 1, "/var/log/-120609.log"},
        {".log", D, 0, &DEC6, 0, 1, ".log-120609.log"},  // the first character is stem
        {"x.abcdefghijklmnopqrstu", D, 0, &DEC6, 0, 1, "x-120609.abcdefghijklmnopq"},
        // The search for the extension crosses separators.
        {"/opt/v1.2/debug", D, 0, &DEC6, 0, 1, "/opt/v1-120609.2/debug"},
        {"D:\\Tools\\debug.log", T, 0, &DEC6, 1, 1, "D:\\Tools\\debug-4321.log"},
        {"D:\\Tools\\debug.log", T, 0, &DEC6, 0, 1, "D:\\Tools\\debug.log"},
        {"D:\\Tools\\debug.log", T | D, 0, &DEC6, 1, 1, "D:\\Tools\\debug-120609-4321.log"},
        {"D:\\Tools\\debug.log", T | D, 0, &DEC6, 0, 1, "D:\\Tools\\debug-120609.log"},
        {"D:\\Tools\\debug.log", E, 0, &DEC6, 0, 1, "D:\\Tools\\debug.log"},
        {"D:\\Tools\\debug.log", E, 1, &DEC6, 0, 1, "D:\\Tools\\debug.err"},
        {"D:\\Tools\\debug.log", E | D | T, 1, &DEC6, 1, 1, "D:\\Tools\\debug.err"},
        {"D:\\Tools\\debug.log", LOG_ERROR_FILE, 1, &DEC6, 0, 1, "D:\\Tools\\debug.err"},
        {"D:\\Tools\\debug.log", F, 1, &DEC6, 0, 1, "D:\\Tools\\debug.log"},
        {"D:\\Tools\\debug", E, 1, &DEC6, 0, 1, "D:\\Tools\\error.log"},
        {"/srv/x.d/debug", E, 1, &DEC6, 0, 1, "/srv/x.d/error.log"},
        {"/srv/log/", E, 1, &DEC6, 0, 1, "/srv/log/error.log"},
        {"debug", E, 1, &DEC6, 0, 1, "error.log"},
    };
    for (const Case& c : cases) {
        char name[LOG_PATH_CAPACITY];
        EXPECT_EQ(LogFileName(c.base, c.flags, c.fatal, c.now, 4321, c.otherThread, name), c.result)
            << c.base << " flags " << c.flags;
        if (c.result == 1) {
            EXPECT_STREQ(name, c.name) << c.base << " flags " << c.flags;
        }
    }
}

TEST(LogFileNameTest, LongBasePathsStayInsideThePathBuffer) {
    constexpr int GUARD = 16;
    const std::uint32_t flagSets[] = {LOG_FILE | LOG_DATED_NAME | LOG_PER_THREAD,
                                      LOG_FILE | LOG_ERROR_FILE};
    for (std::uint32_t flags : flagSets) {
        for (int length = 240; length < LOG_PATH_CAPACITY; ++length) {
            for (const char* tail : {".log", "/debug", "/a.b"}) {
                std::string base(static_cast<std::size_t>(length), 'p');
                base.replace(base.size() - std::strlen(tail), std::strlen(tail), tail);
                char name[LOG_PATH_CAPACITY + GUARD];
                std::memset(name, 0x5A, sizeof name);
                LogFileName(base.c_str(), flags, 1, &DEC6, 98765, 1, name);
                EXPECT_LT(std::strlen(name), static_cast<std::size_t>(LOG_PATH_CAPACITY));
                for (int i = LOG_PATH_CAPACITY; i < LOG_PATH_CAPACITY + GUARD; ++i) {
                    ASSERT_EQ(name[i], 0x5A) << "length " << length << tail;
                }
            }
        }
    }
}

TEST_F(LogTest, ConsoleGetsTextUnchangedFileGetsStampsAndCrLf) {
    LogState.flags = LOG_CONSOLE | LOG_FILE | LOG_TIMESTAMP;
    LogPrint("one %d\ntwo", 1);
    LogPrint(" continued\n");
    EXPECT_EQ(Console(), "one 1\ntwo continued\n");
    const std::string stamp = ExpectedStamp(gMoment);
    EXPECT_THAT(stamp, ::testing::MatchesRegex(
                           "[01][0-9]/[0-3][0-9]/2009 [0-2][0-9]:[0-5][0-9]:[0-5][0-9] "));
    EXPECT_EQ(File(), stamp + "one 1\r\ntwo" + stamp + " continued\r\n");
}

TEST_F(LogTest, FlagsChooseTheDestinations) {
    struct Case {
        std::uint32_t flags;
        const char* console;
        bool file;
    };
    const Case cases[] = {
        {0, "", false},
        {LOG_TIMESTAMP | LOG_APPEND, "", false},
        {LOG_CONSOLE, "m\n", false},
        {LOG_FILE, "", true},
        {LOG_CONSOLE | LOG_FILE, "m\n", true},
        {LOG_EXTERNAL_PRINT, "", false},
    };
    for (const Case& c : cases) {
        Fresh();
        std::snprintf(LogState.debugBuffer, LOG_BUFFER_CAPACITY, "untouched");
        LogState.flags = c.flags;
        LogPrint("m\n");
        EXPECT_EQ(Console(), c.console) << c.flags;
        EXPECT_EQ(fs::exists(dir_ / "debug.log"), c.file) << c.flags;
        // Only a flag word that asks for output has the message composed.
        const bool composed = (c.flags & (LOG_CONSOLE | LOG_FILE | LOG_EXTERNAL_PRINT)) != 0;
        EXPECT_STREQ(LogState.debugBuffer, composed ? "m\n" : "untouched") << c.flags;
    }
}

TEST_F(LogTest, RawTextUnformattedAndBellsBlankedOnlyWithNoBell) {
    for (std::uint32_t extra : {0u, LOG_NO_BELL}) {
        Fresh();
        LogState.flags = LOG_CONSOLE | LOG_FILE | extra;
        static const char RAW[] = "raw %d\a\n";  // written as it stands
        LogPrint("ring\a%c!\n", 7);
        LogWriteRaw(RAW);
        const std::string expected = extra ? "ring  !\nraw %d \n" : "ring\a\a!\nraw %d\a\n";
        EXPECT_EQ(Console(), expected);
        EXPECT_EQ(File(), CrLf(expected));
        EXPECT_STREQ(RAW, "raw %d\a\n") << "the caller's text is left alone";
    }
}

TEST_F(LogTest, FileEmptiedUnlessAppend) {
    for (std::uint32_t extra : {0u, LOG_APPEND}) {
        Fresh();
        WriteFile(dir_ / "debug.log", "old\r\n");
        LogState.flags = LOG_FILE | extra;
        LogPrint("new\n");
        LogPrint("more\n");
        EXPECT_EQ(File(), extra ? "old\r\nnew\r\nmore\r\n" : "new\r\nmore\r\n");
    }
}

TEST_F(LogTest, FileKeptOpenWhileTheNameIsTheSameIgnoringCase) {
    LogState.flags = LOG_FILE;
    LogPrint("a\n");
    Use("DEBUG.LOG");
    LogPrint("b\n");
    EXPECT_FALSE(fs::exists(dir_ / "DEBUG.LOG"));
    Use("other.log");
    LogPrint("c\n");
    EXPECT_EQ(File(), "a\r\nb\r\n");
    EXPECT_EQ(File("other.log"), "c\r\n");
}

TEST_F(LogTest, DatedNameMovesToTheNewDayAtMidnight) {
    LogState.flags = LOG_FILE | LOG_DATED_NAME | LOG_APPEND;
    PlatTime t{};
    PlatLocalTime(gMoment, &t);
    gMoment += (23 - t.hour) * 3600 + (59 - t.minute) * 60 + (59 - t.second);  // 23:59:59
    const std::string before = ExpectedDate(gMoment);
    LogPrint("late\n");
    gMoment += 1;
    LogPrint("early\n");
    EXPECT_NE(before, ExpectedDate(gMoment));
    EXPECT_EQ(File("debug-" + before + ".log"), "late\r\n");
    EXPECT_EQ(File("debug-" + ExpectedDate(gMoment) + ".log"), "early\r\n");
}

TEST_F(LogTest, NameCutAtThePathLimitStillReceivesTheMessages) {
    const std::size_t stemLength = 257 - (dir_.string().size() + 1) - 4;
    ASSERT_LT(stemLength, 240u);
    Use(std::string(stemLength, 's') + ".log");
    LogState.mainThreadId = PlatThreadId();
    LogState.flags = LOG_FILE | LOG_DATED_NAME | LOG_PER_THREAD | LOG_APPEND;
    std::thread([] { LogPrint("from a thread\n"); }).join();
    LogPrint("from main\n");
    std::vector<std::string> logs;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        if (entry.path().filename() != "console.txt") logs.push_back(ReadFile(entry.path()));
    }
    // Cut to the same name, both threads share one file.
    EXPECT_EQ(logs, std::vector<std::string>{"from a thread\r\nfrom main\r\n"});
}

TEST_F(LogTest, BannerIsExactly79CharactersAndALineFeed) {
    struct Case {
        const char* title;
        std::string line;
    };
    const std::string title80(80, 't');
    const Case cases[] = {
        {"Memory Init", "====[Memory Init]" + std::string(62, '=')},
        {nullptr, std::string(79, '=')},
        {"", "====[]" + std::string(73, '=')},
        {title80.c_str(), "====[" + std::string(74, 't')},
    };
    std::string expected;
    LogState.flags = LOG_CONSOLE | LOG_FILE;
    for (const Case& c : cases) {
        ASSERT_EQ(c.line.size(), 79u);
        LogBanner(c.title);
        expected += c.line + "\n";
    }
    EXPECT_EQ(Console(), expected);
    EXPECT_EQ(File(), CrLf(expected));
}

TEST_F(LogTest, OversizedMessageIsCutAndFollowedByANote) {
    const std::string note = "\n\n***** Last string too large for debug buffer\n\n";
    struct Case {
        std::size_t length;
        std::size_t written;
        bool noted;
        bool overrun;  // the formatter reports its own cut first
    };
    const Case cases[] = {
        {4086, 4086, false, false},
        {4087, 4087, true, false},
        {4095, 4095, true, false},
        {5000, 4095, true, true},
    };
    for (const Case& c : cases) {
        Fresh();
        LogState.flags = LOG_CONSOLE;
        const std::string message(c.length, 'x');
        LogPrint("%s", message.c_str());
        const std::string tail = std::string(c.written, 'x') + (c.noted ? note : "");
        const std::string console = Console();
        ASSERT_GE(console.size(), tail.size());
        EXPECT_EQ(console.substr(console.size() - tail.size()), tail) << c.length;
        EXPECT_EQ(console.size() > tail.size(), c.overrun) << c.length;
    }
}

TEST_F(LogTest, FatalFrameReachesConsoleAndFileWithoutABox) {
    LogState.flags = LOG_CONSOLE | LOG_FILE | LOG_NO_ABORT_BOX;
    LogPrint("before\n");
    EXPECT_EXIT(LogAbortNull("orv-str", 123), ::testing::ExitedWithCode(1),
                ::testing::Not(::testing::HasSubstr("Internal error")));
    const std::string frame = "\n\nABORT: Pointer is NULL\n       (orv-str/123)\n";
    EXPECT_EQ(Console(), "before\n" + frame);
    EXPECT_EQ(File(), CrLf("before\n" + frame));
}

TEST_F(LogTest, AbortBeforeStartUpShowsOnlyTheBox) {
    ResetLog();
    EXPECT_EXIT(LogAbort("Pointer is %s\n", "NULL"), ::testing::ExitedWithCode(1),
                "^Internal error\\.\\.\\.\nABORT: Pointer is NULL\n       \\(Unknown/0\\)\n");
    EXPECT_EXIT(LogAbortNull("pool", 77), ::testing::ExitedWithCode(1),
                "^Internal error\\.\\.\\.\nABORT: Pointer is NULL\n       \\(pool/77\\)\n");
    EXPECT_EQ(Console(), "");
}

TEST_F(LogTest, FatalMessageGoesToTheErrorFileStampedAndAppended) {
    WriteFile(dir_ / "debug.err", "earlier\r\n");
    LogState.flags = LOG_FILE | LOG_ERROR_FILE | LOG_NO_ABORT_BOX;
    LogPrint("ordinary\n");
    EXPECT_EXIT(
        {
            LogSetLocation("orv-core", 9);
            LogAbort("boom %d\n", 7);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(File(), "ordinary\r\n");
    EXPECT_EQ(File("debug.err"), "earlier\r\n" + ExpectedStamp(gMoment) +
                                     CrLf("\n\nABORT: boom 7\n       (orv-core/9)\n"));
}

TEST_F(LogTest, UnwritableDirectoryCostsRetriesAndABoxButNoConsoleOutput) {
    Use("missing/debug.log");
    LogState.flags = LOG_CONSOLE | LOG_FILE;
    const std::string path = (dir_ / "missing/debug.log").string();
    const std::string longText(4000, 'y');
    const auto start = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStderr();
    LogPrint("first\n");
    LogPrint("%s\n", longText.c_str());
    const std::string boxes = ::testing::internal::GetCapturedStderr();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(Console(), "first\n" + longText + "\n");
    EXPECT_GE(elapsed, std::chrono::milliseconds(1900)) << "10 attempts 100 ms apart, twice";
    const std::string error =
        std::to_string(static_cast<int>(std::errc::no_such_file_or_directory));
    const std::string head = "Internal error...\nUnable to create log file [" + path +
                             "] due to error [" + error + "]\n -- String [";
    EXPECT_EQ(boxes.find(head + "first\n]\n"), 0u) << boxes.substr(0, 300);
    // The long text is cut to fit the box instead of overrunning it, which
    // would cost another round of retries.
    const std::size_t second = boxes.find(head, 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(boxes.find("Internal error", second + 1), std::string::npos);
    EXPECT_GT(boxes.size() - second, 3000u);
    EXPECT_EQ(LogState.fileDescriptor, 0);
    EXPECT_EQ(path, LogState.currentPath);

    // The next message tries again and finds the directory there now.
    fs::create_directory(dir_ / "missing");
    LogPrint("third\n");
    EXPECT_EQ(ReadFile(path), "third\r\n");
}

TEST_F(LogTest, FullDiskOrVanishedFileLosesNoConsoleOutput) {
    LogState.flags = LOG_CONSOLE | LOG_FILE;
    LogPrint("a\n");
    fs::remove(dir_ / "debug.log");
    LogPrint("b\n");
    if (fs::exists("/dev/full")) {
        std::snprintf(LogState.basePath, LOG_PATH_CAPACITY, "/dev/full");
        ::testing::internal::CaptureStderr();
        LogPrint("c\n");
        LogPrint("d\n");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_GT(LogState.fileDescriptor, 2);
    }
    EXPECT_EQ(Console(), fs::exists("/dev/full") ? "a\nb\nc\nd\n" : "a\nb\n");
}

TEST_F(LogTest, LockIsReentrantAndCountsEachTake) {
    EXPECT_EQ(LogLock(), 1) << "locking is off before start-up";
    EXPECT_EQ(LogUnlock(), 1);
    LogMutexCreate();
    ASSERT_EQ(LogState.lockBypass, 0);
    LogState.flags = LOG_CONSOLE;
    ASSERT_EQ(LogLock(), 1);
    ASSERT_EQ(LogLock(), 1);
    LogPrint("main\n");  // the owner takes it a third time
    // Unlocks by a thread that holds nothing change nothing.
    std::thread other([] {
        LogUnlock();
        LogUnlock();
        LogPrint("other\n");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Console(), "main\n");
    LogUnlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Console(), "main\n") << "one take is still held";
    LogUnlock();
    other.join();
    EXPECT_EQ(Console(), "main\nother\n");
    LogUnlock();  // held by nobody: the lock stays free for the next taker
    std::thread([] { LogPrint("again\n"); }).join();
    EXPECT_EQ(Console(), "main\nother\nagain\n");
}

// Messages are long enough that the file layer writes each in several
// pieces, so that a missing lock would show as torn lines.
std::string ThreadLine(int thread, int n) {
    return "T" + std::to_string(thread) + " M" + std::to_string(n) + " " +
           std::string(1500, static_cast<char>('a' + thread)) + "\n";
}

TEST_F(LogTest, ThreadsLoggingAtOnceNeitherInterleaveNorLoseMessages) {
    constexpr int THREADS = 4;
    constexpr int MESSAGES = 150;
    LogMutexCreate();
    LogState.mainThreadId = PlatThreadId();
    LogState.flags = LOG_FILE | LOG_CACHE_WRITES;
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < MESSAGES; ++n)
                LogPrint("%s", ThreadLine(t, n).c_str());
        });
    }
    for (std::thread& th : threads)
        th.join();

    std::istringstream in(File());
    std::string line;
    int next[THREADS] = {};
    int total = 0;
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        const int t = line[1] - '0';
        ASSERT_TRUE(t >= 0 && t < THREADS) << line.substr(0, 20);
        ASSERT_EQ(line + "\n", CrLf(ThreadLine(t, next[t])));
        ++next[t];
        ++total;
    }
    EXPECT_EQ(total, THREADS * MESSAGES);
}

TEST_F(LogTest, PerThreadFilesAndTheConsoleReservedToTheMainThread) {
    constexpr int THREADS = 3;
    constexpr int MESSAGES = 40;
    LogMutexCreate();
    LogState.mainThreadId = PlatThreadId();
    LogState.flags =
        LOG_CONSOLE | LOG_FILE | LOG_PER_THREAD | LOG_APPEND | LOG_DATED_NAME | LOG_CACHE_WRITES;
    std::uint32_t ids[THREADS] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([t, &ids] {
            ids[t] = PlatThreadId();
            for (int n = 0; n < MESSAGES; ++n)
                LogPrint("thread %d message %d\n", t, n);
        });
    }
    std::string mainText;
    for (int n = 0; n < MESSAGES; ++n) {
        LogPrint("main %d\n", n);
        mainText += "main " + std::to_string(n) + "\n";
    }
    for (std::thread& th : threads)
        th.join();

    const std::string date = ExpectedDate(gMoment);
    EXPECT_EQ(Console(), mainText);
    EXPECT_EQ(File("debug-" + date + ".log"), CrLf(mainText));
    for (int t = 0; t < THREADS; ++t) {
        std::string expected;
        for (int n = 0; n < MESSAGES; ++n) {
            expected += "thread " + std::to_string(t) + " message " + std::to_string(n) + "\n";
        }
        EXPECT_EQ(File("debug-" + date + "-" + std::to_string(ids[t]) + ".log"), CrLf(expected));
    }
}

}  // namespace
