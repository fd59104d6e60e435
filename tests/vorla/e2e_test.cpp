// End-to-end tests: the built vorla binary run as its own process, its
// standard output compared byte for byte and its exit status checked.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "vorla/run_vorla.h"

namespace {

TEST(VorlaUsage, NoOptionsPrintsBannerAndUsage) {
    VorlaRun run = RunVorla({});
    EXPECT_EQ(run.out, USAGE);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

struct OptionCase {
    const char* name;
    std::vector<std::string> args;
    std::string expected;  // everything printed
    int status;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.name;
}

class VorlaOptions_ : public testing::TestWithParam<OptionCase> {};

// Each case runs in a directory of its own, which is the default source
// and where relative targets are created; HERE in an expected text stands
// for it.
const std::string HERE = "<here>/";

std::string InDirectory(std::string text, const std::string& dir) {
    for (std::size_t at; (at = text.find(HERE)) != std::string::npos;)
        text.replace(at, HERE.size(), dir + "/");
    return text;
}

TEST_P(VorlaOptions_, ReadsOptionsReportsAndExits) {
    const OptionCase& c = GetParam();
    VorlaOptions options;
    options.directory = MakeTempDir();
    VorlaRun run = RunVorla(c.args, options);
    EXPECT_EQ(run.out, InDirectory(c.expected, options.directory));
    EXPECT_EQ(run.status, c.status);
    RemoveTree(options.directory);
}

const OptionCase OPTION_CASES[] = {
    {"AllSixOptions",
     {"/OFFSET", "-1d", "/WILDCARD", "ex*.log", "/FILENAME", "a.zip", "/SOURCE", "src", "/TARGET",
      "dst", "/EXECUTE", "test -d dst"},
     Report("-1d", "ex*.log", "a.zip", "src/", "dst/", "test -d dst"),
     0},
    {"FirstCharacterIsNeverLookedAt",
     {"-TARGET", "a", "xtarget", "b", "/target", "c"},
     Report("", "", "archive.zip", HERE, "c/", ""),
     0},
    {"ValueIsTheNextFieldWhateverItLooksLike",
     {"/TARGET", "-SOURCE", "D:\\x"},
     Report("", "", "archive.zip", HERE, "-SOURCE/", "").insert(0, "Unknown command [D:\\x]\n"),
     0},
    {"OptionAsLastFieldEmptiesItsValue", {"/FILENAME"}, Report("", "", "", HERE, "", ""), 0},
    {"UnknownWordsAreReportedWhole",
     {"/bogus", "x", "/EXECUTE", "true"},
     "Unknown command [/bogus]\nUnknown command [x]\n" +
         Report("", "", "archive.zip", HERE, "", "true"),
     0},
    {"QuotedCommandKeepsItsBlanks",
     {"/EXECUTE", "exit 0"},
     Report("", "", "archive.zip", HERE, "", "exit 0"),
     0},
    {"CommandStatusThreeGivesOne",
     {"/EXECUTE", "exit 3"},
     Report("", "", "archive.zip", HERE, "", "exit 3"),
     1},
    {"CommandThatCannotStartGivesOne",
     {"/EXECUTE", "/nonexistent/program 2>/dev/null"},
     Report("", "", "archive.zip", HERE, "", "/nonexistent/program 2>/dev/null"),
     1},
    {"LaterValueWins",
     {"/OFFSET", "1d", "/OFFSET", "2h", "/EXECUTE", "true"},
     Report("2h", "", "archive.zip", HERE, "", "true"),
     0},
    {"AccentedLetterStaysInItsField",
     {"/TARGET", "caf\xE9x", "/EXECUTE", "test -d caf\xE9x"},
     Report("", "", "archive.zip", HERE, "caf\xE9x/", "test -d caf\xE9x"),
     0},
};

INSTANTIATE_TEST_SUITE_P(E2E, VorlaOptions_, testing::ValuesIn(OPTION_CASES),
                         [](const testing::TestParamInfo<OptionCase>& p) {
                             return std::string(p.param.name);
                         });

TEST(VorlaRun, CommandOutputFollowsTheReport) {
    VorlaOptions options;
    options.directory = MakeTempDir();
    VorlaRun run = RunVorla({"/EXECUTE", "echo hello"}, options);
    EXPECT_EQ(run.out,
              Report("", "", "archive.zip", options.directory + "/", "", "echo hello") + "hello\n");
    RemoveTree(options.directory);
    EXPECT_EQ(run.status, 0);
}

TEST(VorlaRun, OverlongCommandLineRunsNothing) {
    std::string dir = MakeTempDir();
    std::string marker = dir + "/ran";
    // The cut at 999 characters would leave "touch <marker>", a valid command.
    std::string command = "touch " + marker + " ; true " + std::string(1200, 'x');
    VorlaRun run = RunVorla({"/EXECUTE", command});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(FileExists(marker));
    EXPECT_NE(run.out.find("Command line too long ("), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("limit 999"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Execute:"), std::string::npos);
    RemoveTree(dir);
}

TEST(VorlaRun, LineOfExactlyTheLimitStillRuns) {
    // argv[0] is the binary path; pad the command so the joined line is 999 bytes.
    std::string prefix = std::string(VORLA_BINARY) + " /EXECUTE ";
    std::string command = "true " + std::string(999 - prefix.size() - 7, 'x');
    command = "\"" + command + "\"";  // quoted on the line, the quotes count
    ASSERT_EQ(prefix.size() + command.size(), 999u);
    VorlaRun run = RunVorla({"/EXECUTE", command.substr(1, command.size() - 2)});
    EXPECT_EQ(run.status, 0) << run.out;
}

TEST(VorlaRun, ClockCanBeFrozen) {
    if (!HaveFaketime()) GTEST_SKIP() << "faketime is not installed";
    VorlaOptions options;
    options.frozenTime = "2026-12-06 01:38:00";
    VorlaRun run = RunVorla({"/EXECUTE", "date +%Y-%m-%dT%H:%M"}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("2026-12-06T01:38\n"), std::string::npos) << run.out;
}

}  // namespace
