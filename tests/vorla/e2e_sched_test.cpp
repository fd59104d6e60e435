// e2e_sched_test.cpp: the whole job as cron starts it: a bare environment
// without TZ or TERM, no terminal, standard input closed, standard output to
// a file and / as the working directory. The job packs yesterday's logs,
// the exit status tells success from failure, and a log that cannot be
// opened costs nothing of the console copy.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vorla/run_vorla.h"

namespace {

namespace fs = std::filesystem;

struct SchedCase {
    const char* name;
    int days;     // the day whose logs the job packs, from today; only yesterday has two
    bool debug;   // /debug, run from a copy of the program in a directory of its own
    bool closed;  // that directory closed to writing, so the log cannot be opened
    int status;   // 0: the archive holds exactly that day's logs
};

constexpr SchedCase CASES[] = {
    {"YesterdaysLogsPacked", -1, false, false, 0},
    {"TomorrowHasNoLogsSoTheCommandFails", 1, false, false, 1},
    // With standard input closed the log file may be given descriptor 0.
    {"DebugLogHoldsEveryLine", -1, true, false, 0},
    {"DebugLogUnwritableTheJobRunsAndTheConsoleKeepsAll", -1, true, true, 0},
};

void PrintTo(const SchedCase& c, std::ostream* os) {
    *os << c.name;
}

// A day from today as the job sees it: without TZ, in the system's own zone.
// Counted on the calendar, so that a day of 23 or 25 hours is still one day.
std::string Day(int days, const char* format) {
    const char* tz = std::getenv("TZ");
    const std::string saved = tz != nullptr ? tz : "";
    unsetenv("TZ");
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm day{};
    localtime_r(&now, &day);
    day.tm_mday += days;
    day.tm_hour = 12;
    day.tm_isdst = -1;
    const std::time_t then = std::mktime(&day);
    localtime_r(&then, &day);
    if (tz != nullptr) setenv("TZ", saved.c_str(), 1);
    tzset();
    char text[16] = "";
    std::strftime(text, sizeof text, format, &day);
    return text;
}

std::string Listing(const std::string& archive) {
    std::string listed;
    FILE* tar = popen(("tar -tzf '" + archive + "' 2>&1").c_str(), "r");
    if (tar == nullptr) return listed;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, tar)) > 0;)
        listed.append(buffer, n);
    pclose(tar);
    return listed;
}

class VorlaSched : public testing::TestWithParam<SchedCase> {};

TEST_P(VorlaSched, PacksTheDayAndEndsWithTheCommandsVerdict) {
    const SchedCase& c = GetParam();
    const std::string here = MakeTempDir();
    VorlaOptions options;
    options.directory = "/";
    options.cron = true;
    options.outputFile = here + "/cron.out";
    if (c.debug) {
        fs::create_directory(here + "/bin");
        options.binary = CopyBinaryTo(here + "/bin");
    }
    if (c.closed) {
        fs::permissions(here + "/bin", fs::perms::owner_read | fs::perms::owner_exec);
        options.unprivileged = true;
    }
    const std::string packed = Day(c.days, "%y%m%d");
    fs::create_directory(here + "/logs");
    const std::string yesterday = Day(-1, "%y%m%d");
    for (const std::string& name : {"ex" + yesterday + "01.log", "ex" + yesterday + "02.log",
                                    "ex" + Day(0, "%y%m%d") + "03.log"})
        std::ofstream(here + "/logs/" + name) << name << "\n";
    ASSERT_TRUE(HandToUnprivileged(here)) << "the user nobody cannot be given the test's files";

    const std::vector<std::string> args = {
        "/SOURCE", here + "/logs", "/TARGET", here + "/archive/{Time.Year4}",
        "/FILENAME", "ex{Time.Year2}{Time.MonthPad}{Time.DayPad}.tar.gz",
        "/WILDCARD", "ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log",
        "/OFFSET", std::to_string(c.days) + "d", "/EXECUTE",
        "cd {Config.Source} && tar -czf {Config.Target}{Config.Filename} {Config.Wildcard}"};
    std::vector<std::string> words = args;
    if (c.debug) words.insert(words.begin(), "/debug");
    const VorlaRun run = RunVorla(words, options);
    // Started just before midnight, the job may have met another day.
    if (Day(c.days, "%y%m%d") != packed) {
        RemoveTree(here);
        GTEST_SKIP() << "the day changed during the run";
    }

    const std::string target = here + "/archive/" + Day(c.days, "%Y") + "/";
    const std::string archive = target + "ex" + packed + ".tar.gz";
    const std::string report =
        Report(std::to_string(c.days) + "d", "ex" + packed + "*.log", "ex" + packed + ".tar.gz",
               here + "/logs/", target,
               "cd " + here + "/logs/ && tar -czf " + archive + " ex" + packed + "*.log");
    EXPECT_EQ(run.out, c.debug ? VERSION_BANNER + MEMORY_INIT + "Unknown command [/debug]\n" +
                                     report + MEMORY_REMOVE
                               : report);
    EXPECT_EQ(run.status, c.status);
    if (c.status == 0) {
        EXPECT_EQ(Listing(archive), "ex" + packed + "01.log\nex" + packed + "02.log\n");
    }
    if (c.closed) {
        EXPECT_FALSE(fs::exists(here + "/bin/debug.log"));
        EXPECT_NE(run.err.find("Unable to create log file [" + here + "/bin/debug.log]"),
                  std::string::npos)
            << run.err;
    } else if (c.status == 0) {
        EXPECT_EQ(run.err, "");
    }
    if (c.debug && !c.closed) {
        EXPECT_EQ(ReadFile(here + "/bin/debug.log"), CrLf(run.out));
    }
    RemoveTree(here);
}

INSTANTIATE_TEST_SUITE_P(E2E, VorlaSched, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<SchedCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
