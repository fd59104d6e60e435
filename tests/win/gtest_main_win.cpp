// gtest_main_win.cpp: main of the test programs on Windows. It runs every
// test but those below, which check behaviour that exists on POSIX only;
// each is reported as skipped, with its reason, when it is asked for.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct Excluded {
    const char* test;
    const char* reason;
};

// A death test's child on Windows is no fork but a new process that runs
// the test again from its start: its heap lies elsewhere, its temporary
// directory is another, and it captures its own output.
constexpr const char* CHILD_IS_NO_FORK =
    "the death test's child is a new process, which sees none of the parent's state";

constexpr Excluded EXCLUDED[] = {
    {"CoreInitTest.MissingCommandLineIsFatal",
     "Windows gives every process a command line; only POSIX can lack one"},
    {"PlatCommandLine.IsNullUntilSetThenTheJoinedLine",
     "Windows gives every process a command line; only POSIX can lack one"},
    {"CoreTest.StartUpFaultsAreFatal", CHILD_IS_NO_FORK},
    {"LogTest.FatalFrameReachesConsoleAndFileWithoutABox", CHILD_IS_NO_FORK},
    {"LogTest.FatalMessageGoesToTheErrorFileStampedAndAppended", CHILD_IS_NO_FORK},
    {"MemDeathTest.EveryFaultIsReportedAndEndsWithStatusOne", CHILD_IS_NO_FORK},
    {"MemDeathTest.TrackingFaultsNameTheRecordOrTheCaller", CHILD_IS_NO_FORK},
    {"PoolDeathTest.FaultsAreReportedAndEndWithStatusOne", CHILD_IS_NO_FORK},
    {"ScriptDeathTest.FaultsAreReportedAndEndWithStatusOne", CHILD_IS_NO_FORK},
    {"LogTest.FileKeptOpenWhileTheNameIsTheSameIgnoringCase",
     "names that differ in letter case are one file on Windows, and the test tells them "
     "apart by the file system"},
    {"LogTest.FullDiskOrVanishedFileLosesNoConsoleOutput",
     "Windows refuses to remove a file that is open, and has no /dev/full"},
    {"DirCreateTest.LongPathIsNotCutShort",
     "the system's ANSI path calls stop at 260 characters, short of the 320 that the test "
     "must pass"},
};

// gtest's own pattern rules: ':' separates patterns, '*' matches any text
// and '?' any one character.
bool Matches(const char* name, const char* pattern, const char* end) {
    if (pattern == end) return *name == '\0';
    if (*pattern == '*')
        return Matches(name, pattern + 1, end) || (*name && Matches(name + 1, pattern, end));
    return *name != '\0' && (*pattern == '?' || *pattern == *name) &&
           Matches(name + 1, pattern + 1, end);
}

bool MatchesAny(const std::string& name, const std::string& patterns) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t stop = patterns.find(':', start);
        const std::size_t end = stop == std::string::npos ? patterns.size() : stop;
        if (Matches(name.c_str(), patterns.data() + start, patterns.data() + end)) return true;
        if (stop == std::string::npos) return false;
        start = stop + 1;
    }
}

// Whether this program has the test of that full name.
bool HasTest(const std::string& name) {
    const testing::UnitTest& all = *testing::UnitTest::GetInstance();
    for (int i = 0; i < all.total_test_suite_count(); ++i) {
        const testing::TestSuite& suite = *all.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) {
            if (name == std::string(suite.name()) + "." + suite.GetTestInfo(j)->name()) return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The listing stays whole, so that CTest knows the left-out tests and
    // shows them as skipped.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

    std::string filter = GTEST_FLAG_GET(filter);
    const std::size_t dash = filter.find('-');
    const std::string positive = filter.substr(0, dash);
    std::string negative = dash == std::string::npos ? "" : filter.substr(dash + 1);
    for (const Excluded& entry : EXCLUDED) {
        if (!HasTest(entry.test) || !MatchesAny(entry.test, positive.empty() ? "*" : positive))
            continue;
        std::printf("[  SKIPPED ] %s on Windows: %s\n", entry.test, entry.reason);
        negative += negative.empty() ? "" : ":";
        negative += entry.test;
    }
    GTEST_FLAG_SET(filter, positive + (negative.empty() ? "" : "-" + negative));
    return RUN_ALL_TESTS();
}
