// End-to-end: the words that ask for help or the version answer and end
// when they are the only field; anywhere else the job runs as always.

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "vorla/run_vorla.h"

namespace {

struct HelpCase {
    const char* name;
    std::vector<std::string> args;
    std::string expected;  // everything printed; "<here>/" is the run's directory
    int status;
    std::vector<std::string> created;  // what the run leaves in its directory
};

void PrintTo(const HelpCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string HERE = "<here>/";
const std::string BANNER = USAGE.substr(1, USAGE.find('\n', 1));  // without the empty line
const std::string DEFAULTS = Report("", "", "archive.zip", HERE, "", "");

class VorlaHelp : public testing::TestWithParam<HelpCase> {};

// A run past the options prints the six report lines before it hands over
// the command, so output without them shows nothing was decoded or run.
TEST_P(VorlaHelp, AnswersOnlyWhenAlone) {
    const HelpCase& c = GetParam();
    VorlaOptions options;
    options.directory = MakeTempDir();
    VorlaRun run = RunVorla(c.args, options);
    std::string expected = c.expected;
    for (std::size_t at; (at = expected.find(HERE)) != std::string::npos;)
        expected.replace(at, HERE.size(), options.directory + "/");
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.status, c.status);
    std::vector<std::string> created;
    for (const auto& entry : std::filesystem::directory_iterator(options.directory))
        created.push_back(entry.path().filename().string());
    EXPECT_EQ(created, c.created);
    RemoveTree(options.directory);
}

const HelpCase HELP_CASES[] = {
    {"DoubleDashHelp", {"--help"}, USAGE, 0, {}},
    {"DashH", {"-h"}, USAGE, 0, {}},
    {"DashQuestionMark", {"-?"}, USAGE, 0, {}},
    {"SlashQuestionMark", {"/?"}, USAGE, 0, {}},
    {"Version", {"--version"}, BANNER, 0, {}},
    // Trailing blanks are no part of a field: this is the one field --help.
    {"TrailingBlank", {"--help "}, USAGE, 0, {}},
    {"Misspelt", {"--hlep"}, "Unknown command [--hlep]\n" + DEFAULTS, 0, {}},
    {"OtherCase", {"-H"}, "Unknown command [-H]\n" + DEFAULTS, 0, {}},
    {"NotAlone",
     {"--help", "/EXECUTE", "touch ran"},
     "Unknown command [--help]\n" + Report("", "", "archive.zip", HERE, "", "touch ran"),
     0,
     {"ran"}},
    {"AsAValue",
     {"/TARGET", "--version"},
     Report("", "", "archive.zip", HERE, "--version/", ""),
     0,
     {"--version"}},
};

INSTANTIATE_TEST_SUITE_P(E2E, VorlaHelp, testing::ValuesIn(HELP_CASES),
                         [](const testing::TestParamInfo<HelpCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
