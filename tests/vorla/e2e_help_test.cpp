// End-to-end: the words that ask for help or the version, alone after the
// program's name, answer and end; anywhere else they are unknown words and
// the job runs as always.

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "vorla/run_vorla.h"

namespace {

namespace fs = std::filesystem;

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

// The usage text's first line, without the empty line before it.
const std::string BANNER = USAGE.substr(1, USAGE.find('\n', 1));
const std::string HERE = "<here>/";

std::string Unknown(const std::string& word) {
    return "Unknown command [" + word + "]\n";
}

class VorlaHelp : public testing::TestWithParam<HelpCase> {};

// A run that goes past the options always prints the six report lines
// before it hands over the command, so output without them shows that
// nothing was decoded or run.
TEST_P(VorlaHelp, AnswersOnlyWhenAlone) {
    const HelpCase& c = GetParam();
    VorlaOptions options;
    options.directory = MakeTempDir();
    VorlaRun run = RunVorla(c.args, options);
    std::string expected = c.expected;
    for (std::size_t at; (at = expected.find(HERE)) != std::string::npos;)
        expected.replace(at, HERE.size(), options.directory + "/");
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, c.status);
    std::vector<std::string> created;
    for (const fs::directory_entry& entry : fs::directory_iterator(options.directory))
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
    // Trailing blanks are not part of a field, so this is the one field --help.
    {"QuotedWithBlanks", {"--help "}, USAGE, 0, {}},
    {"Misspelt",
     {"--hlep"},
     Unknown("--hlep") + Report("", "", "archive.zip", HERE, "", ""),
     0,
     {}},
    {"OtherCase", {"-H"}, Unknown("-H") + Report("", "", "archive.zip", HERE, "", ""), 0, {}},
    {"NotAlone",
     {"--help", "/EXECUTE", "touch ran"},
     Unknown("--help") + Report("", "", "archive.zip", HERE, "", "touch ran"),
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
