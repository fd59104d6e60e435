// End-to-end runs of the whole job: templates resolved with the clock frozen
// at 01:38 on 6 December 2026 (UTC), the report, the target directory and
// the command, each run in a directory of its own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "vorla/run_vorla.h"

namespace {

namespace fs = std::filesystem;

struct RunCase {
    const char* name;
    std::vector<std::string> args;  // "<here>" stands for the run's directory
    std::string expected;           // everything printed, "<here>" likewise
    int status;
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Here(std::string text, const std::string& dir) {
    static const std::string HERE = "<here>";
    for (std::size_t at; (at = text.find(HERE)) != std::string::npos;)
        text.replace(at, HERE.size(), dir);
    return text;
}

class VorlaJob : public testing::TestWithParam<RunCase> {};

// Yesterday's two logs and today's one lie in <here>/logs.
TEST_P(VorlaJob, ResolvesReportsCreatesAndRuns) {
    if (!HaveFaketime()) GTEST_SKIP() << "faketime is not installed";
    const RunCase& c = GetParam();
    VorlaOptions options;
    options.directory = MakeTempDir();
    options.frozenTime = "2026-12-06 01:38:00";
    const fs::path here = options.directory;
    fs::create_directory(here / "logs");
    for (const char* name : {"ex261205a.log", "ex261205b.log", "ex261206.log"})
        std::ofstream(here / "logs" / name) << name << "\n";

    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(Here(arg, options.directory));
    VorlaRun run = RunVorla(args, options);
    EXPECT_EQ(run.out, Here(c.expected, options.directory));
    EXPECT_EQ(run.status, c.status);
    RemoveTree(options.directory);
}

const std::string ARCHIVE = "<here>/archive/2026/ex261205.tgz";
const std::string PACK =
    "cd {Config.Source} && tar -czf {Config.Target}{Config.Filename} {Config.Wildcard} && "
    "tar -tzf {Config.Target}{Config.Filename}";

const RunCase JOB_CASES[] = {
    {"YesterdaysLogsPackedIntoADatedArchive",
     {"/SOURCE", "<here>/logs", "/TARGET", "<here>/archive/{Time.Year4}", "/FILENAME",
      "ex{Time.Year2}{Time.MonthPad}{Time.DayPad}.tgz", "/WILDCARD",
      "ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log", "/OFFSET", "-1d", "/EXECUTE", PACK},
     Report("-1d", "ex261205*.log", "ex261205.tgz", "<here>/logs/", "<here>/archive/2026/",
            "cd <here>/logs/ && tar -czf " + ARCHIVE + " ex261205*.log && tar -tzf " + ARCHIVE) +
         "ex261205a.log\nex261205b.log\n",
     0},
    {"ConfigSeesEarlierFieldsDecodedAndLaterOnesRaw",
     {"/TARGET", "out/{Config.Filename}", "/FILENAME", "f{Time.Day}", "/EXECUTE",
      "echo {Config.Filename} {Config.Target}"},
     Report("", "", "f6", "<here>/", "out/f{Time.Day}/", "echo f6 out/f{Time.Day}/") +
         "f6 out/f{Time.Day}/\n",
     0},
    {"ParametersShiftSingleFieldsAndQuotesComeFromSpecial",
     {"/OFFSET", "-1m", "/EXECUTE",
      "echo {Special.Quote}{Time.Day-1} {time.monthpad} {Time.Year2+400}{Special.Quote}"},
     Report("-1m", "", "archive.zip", "<here>/", "", "echo \"5 11 27\"") + "5 11 27\n",
     0},
    {"UnknownFieldsStayAndOnlyKnownClassesAreReported",
     {"/EXECUTE", "echo '{Time.Day1}' '{Foo.Bar}' '{Time}'"},
     "Unknown keyword = 'Time':'Day1':''\n" +
         Report("", "", "archive.zip", "<here>/", "", "echo '{Time.Day1}' '{Foo.Bar}' '{Time}'") +
         "{Time.Day1} {Foo.Bar} {Time}\n",
     0},
    {"DotDotNeverClimbsAboveTheStart",
     {"/TARGET", "a/./../b", "/SOURCE", "a/../../b", "/EXECUTE", "test -d b"},
     Report("", "", "archive.zip", "../b/", "b/", "test -d b"),
     0},
    {"AFieldNamingItselfSeesWhatItHasSoFar",
     {"/WILDCARD", "ab{Config.Wildcard}c", "/EXECUTE", "true"},
     Report("", "ababc", "archive.zip", "<here>/", "", "true"),
     0},
    {"CommandThatDoesNotFitRunsNothing",
     {"/TARGET", "<here>/" + std::string(600, 't'), "/EXECUTE",
      "touch {Config.Target}x {Config.Target}y"},
     "Unable to decode script for execute (touch {Config.Target}x {Config.Target}y)\n",
     1},
};

INSTANTIATE_TEST_SUITE_P(E2E, VorlaJob, testing::ValuesIn(JOB_CASES),
                         [](const testing::TestParamInfo<RunCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
