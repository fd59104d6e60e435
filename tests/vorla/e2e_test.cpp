// End-to-end tests: the built vorla binary run as its own process, its
// standard output compared byte for byte and its exit status checked.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "vorla/run_vorla.h"

namespace {

const std::string kUsage =
    "\nQuendil Vorla version 1.04 (Release)\n"
    "The latest version can always be found at https://quendil.example/vorla/\n"
    "\nUsage:   Vorla [options]\n"
    "Options:   /TARGET [path]      Destination for files\n"
    "           /SOURCE [path]      Source for files (def: current)\n"
    "           /FILENAME [name]    Destination filename\n"
    "           /WILDCARD [match]   String to use to find matches (ie; ex12*.log)\n"
    "           /OFFSET [time]      Time to offset (ie; 1d=1day, 10h=10hours)\n"
    "           /EXECUTE [...]      Command to execute\n";

std::string Report(const std::string& offset, const std::string& wildcard,
                   const std::string& filename, const std::string& source,
                   const std::string& target, const std::string& execute) {
    return "Offset:   [" + offset + "]\n" + "Wildcard: [" + wildcard + "]\n" + "Filename: [" +
           filename + "]\n" + "Source:   [" + source + "]\n" + "Target:   [" + target + "]\n" +
           "Execute:  [" + execute + "]\n";
}

TEST(VorlaUsage, NoOptionsPrintsBannerAndUsage) {
    VorlaRun run = RunVorla({});
    EXPECT_EQ(run.out, kUsage);
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

TEST_P(VorlaOptions_, ReadsOptionsReportsAndExits) {
    const OptionCase& c = GetParam();
    VorlaRun run = RunVorla(c.args);
    EXPECT_EQ(run.out, c.expected);
    EXPECT_EQ(run.status, c.status);
}

const OptionCase kOptionCases[] = {
    {"AllSixOptions",
     {"/OFFSET", "-1d", "/WILDCARD", "ex*.log", "/FILENAME", "a.zip", "/SOURCE", "src", "/TARGET",
      "dst", "/EXECUTE", "true"},
     Report("-1d", "ex*.log", "a.zip", "src", "dst", "true"),
     0},
    {"FirstCharacterIsNeverLookedAt",
     {"-TARGET", "a", "xtarget", "b", "/target", "c"},
     Report("", "", "archive.zip", "", "c", ""),
     0},
    {"ValueIsTheNextFieldWhateverItLooksLike",
     {"/TARGET", "/SOURCE", "D:\\x"},
     Report("", "", "archive.zip", "", "/SOURCE", "").insert(0, "Unknown command [D:\\x]\n"),
     0},
    {"OptionAsLastFieldEmptiesItsValue", {"/FILENAME"}, Report("", "", "", "", "", ""), 0},
    {"UnknownWordsAreReportedWhole",
     {"/bogus", "x", "/EXECUTE", "true"},
     "Unknown command [/bogus]\nUnknown command [x]\n" +
         Report("", "", "archive.zip", "", "", "true"),
     0},
    {"QuotedCommandKeepsItsBlanks",
     {"/EXECUTE", "exit 0"},
     Report("", "", "archive.zip", "", "", "exit 0"),
     0},
    {"CommandStatusThreeGivesOne",
     {"/EXECUTE", "exit 3"},
     Report("", "", "archive.zip", "", "", "exit 3"),
     1},
    {"CommandThatCannotStartGivesOne",
     {"/EXECUTE", "/nonexistent/program 2>/dev/null"},
     Report("", "", "archive.zip", "", "", "/nonexistent/program 2>/dev/null"),
     1},
    {"LaterValueWins",
     {"/OFFSET", "1d", "/OFFSET", "2h", "/EXECUTE", "true"},
     Report("2h", "", "archive.zip", "", "", "true"),
     0},
    {"AccentedLetterStaysInItsField",
     {"/TARGET", "caf\xE9x", "/EXECUTE", "true"},
     Report("", "", "archive.zip", "", "caf\xE9x", "true"),
     0},
};

INSTANTIATE_TEST_SUITE_P(E2E, VorlaOptions_, testing::ValuesIn(kOptionCases),
                         [](const testing::TestParamInfo<OptionCase>& p) {
                             return std::string(p.param.name);
                         });

TEST(VorlaRun, CommandOutputFollowsTheReport) {
    VorlaRun run = RunVorla({"/EXECUTE", "echo hello"});
    EXPECT_EQ(run.out, Report("", "", "archive.zip", "", "", "echo hello") + "hello\n");
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
