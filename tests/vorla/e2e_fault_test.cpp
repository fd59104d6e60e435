// e2e_fault_test.cpp: the program run into the faults of the world around
// it: a log that cannot be written, a target that cannot be made, a command
// that is missing or killed, an over-long current directory or command line,
// too little memory, every byte in a value. Each run is checked for all it
// printed, its exit status, and the files it made or must not have made.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vorla/run_vorla.h"

namespace {

namespace fs = std::filesystem;

// Where a case runs: its own directory and how the program is started.
struct Stage {
    std::string here;
    VorlaOptions options;
};

struct FaultCase {
    const char* name = "";
    void (*prepare)(Stage* stage) = nullptr;
    // "<here>" is the case's directory; "<pad>" is filled with x so that
    // the joined command line is lineLength characters long.
    std::vector<std::string> args = {};
    std::size_t lineLength = 0;
    // Everything printed: "<here>" and "<pad>" as above, "<cwd>" the
    // working directory, "<line>" any source line of a fatal report.
    std::string out = {};
    int status = 0;
    std::vector<std::string> made = {};     // under <here>, must exist afterwards
    std::vector<std::string> notMade = {};  // under <here>, must not
    int logError = 0;                       // the log file's error: each line comes back as a box
    bool logged = false;                    // bin/debug.log holds every line
    std::string received = {};              // what the command wrote to <here>/received
    bool unprivileged = false;              // the program must not pass permission bits
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

// The program's own copy in <here>/bin, so that its log lands there.
void BinaryInBin(Stage* stage, const char* binary) {
    const fs::path bin = fs::path(stage->here) / "bin";
    fs::create_directory(bin);
    fs::copy_file(binary, bin / "vorla");
    stage->options.binary = (bin / "vorla").string();
}

void ReadOnly(Stage* stage, const char* name) {
    const fs::path dir = fs::path(stage->here) / name;
    fs::create_directory(dir);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
}

// Runs in a directory whose path is exactly length characters long.
void WorkIn(Stage* stage, std::size_t length) {
    const std::size_t left = length - stage->here.size();
    ASSERT_GE(left, 4u);
    const std::size_t first = (left - 2) / 2;
    const std::string cwd =
        stage->here + "/" + std::string(first, 'c') + "/" + std::string(left - 2 - first, 'd');
    fs::create_directories(cwd);
    stage->options.directory = cwd;
}

std::string Report(const std::string& wildcard, const std::string& source,
                   const std::string& target, const std::string& execute) {
    return ::Report("", wildcard, "archive.zip", source, target, execute);
}

// A /debug run that makes <here>/made and then <here>/ran.
const std::vector<std::string> DEBUG_ARGS = {"/debug", "/TARGET", "<here>/made", "/EXECUTE",
                                             "touch <here>/ran"};
const std::string DEBUG_OUT = VERSION_BANNER + MEMORY_INIT + "Unknown command [/debug]\n" +
                              Report("", "<cwd>/", "<here>/made/", "touch <here>/ran") +
                              MEMORY_REMOVE;

std::string Bytes(int from, int to) {
    std::string bytes;
    for (int b = from; b <= to; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}
const std::string ALL_BYTES = Bytes(1, 255);
// The report prints a text up to its first DEL; the command gets it whole.
const std::string BYTES_BEFORE_DEL = Bytes(1, 126);
const std::string HEREDOC = "cat > <here>/received <<'EOF'\n";

const std::string DEEP = [] {
    std::string path = "deep";
    while (path.size() < 600)
        path += "/level";
    return path;
}();
const std::string LONG_NAME(256, 'n');

const FaultCase CASES[] = {
    {.name = "LogDirectoryWithoutWritePermission",
     .prepare =
         [](Stage* stage) {
             BinaryInBin(stage, VORLA_BINARY);
             ReadOnly(stage, "bin");
         },
     .args = DEBUG_ARGS,
     .out = DEBUG_OUT,
     .made = {"made", "ran"},
     .notMade = {"bin/debug.log"},
     .logError = 13,
     .unprivileged = true},
    {.name = "LogPlaceUnderAFile",
     // Even root cannot create a file whose path runs through a file.
     .prepare =
         [](Stage* stage) {
             BinaryInBin(stage, VORLA_BINARY);
             fs::create_symlink("vorla/debug.log", stage->here + "/bin/debug.log");
         },
     .args = DEBUG_ARGS,
     .out = DEBUG_OUT,
     .made = {"made", "ran"},
     .logError = 20},
    {.name = "LogOnAFullDisk",
     .prepare =
         [](Stage* stage) {
             BinaryInBin(stage, VORLA_BINARY);
             fs::create_symlink("/dev/full", stage->here + "/bin/debug.log");
         },
     .args = DEBUG_ARGS,
     .out = DEBUG_OUT,
     .made = {"made", "ran"}},
    {.name = "TargetUnderAFile",
     .prepare = [](Stage* stage) { std::ofstream(stage->here + "/file") << "a file\n"; },
     .args = {"/TARGET", "<here>/file/sub/deeper", "/EXECUTE", "touch <here>/ran"},
     .out = Report("", "<cwd>/", "<here>/file/sub/deeper/", "touch <here>/ran") +
            "Unable to create [20:00000014] Dir = <here>/file/sub\n",
     .made = {"ran"}},
    {.name = "TargetUnderADirectoryWithoutWritePermission",
     .prepare = [](Stage* stage) { ReadOnly(stage, "ro"); },
     .args = {"/TARGET", "<here>/ro/sub/deeper", "/EXECUTE", "touch <here>/ran"},
     .out = Report("", "<cwd>/", "<here>/ro/sub/deeper/", "touch <here>/ran") +
            "Unable to create [13:0000000D] Dir = <here>/ro/sub\n",
     .made = {"ran"},
     .notMade = {"ro/sub"},
     .unprivileged = true},
    {.name = "TargetDeeperThanThePathBuffers",
     .args = {"/TARGET", "<here>/" + DEEP, "/EXECUTE",
              "test -d {Config.Target} && touch <here>/ran"},
     .out = Report("", "<cwd>/", "<here>/" + DEEP + "/",
                   "test -d <here>/" + DEEP + "/ && touch <here>/ran"),
     .made = {DEEP, "ran"}},
    {.name = "TargetLevelLongerThanANameMayBe",
     .args = {"/TARGET", "<here>/made/" + LONG_NAME + "/below", "/EXECUTE", "touch <here>/ran"},
     .out = Report("", "<cwd>/", "<here>/made/" + LONG_NAME + "/below/", "touch <here>/ran") +
            "Unable to create [36:00000024] Dir = <here>/made/" + LONG_NAME + "\n",
     .made = {"made", "ran"}},
    {.name = "CommandNotFound",
     .args = {"/TARGET", "<here>/made", "/EXECUTE", "no-such-command-vorla 2>/dev/null"},
     .out = Report("", "<cwd>/", "<here>/made/", "no-such-command-vorla 2>/dev/null"),
     .status = 1,
     .made = {"made"}},
    {.name = "InterpreterKilledBySignal",
     .args = {"/EXECUTE", "kill -KILL $$; touch <here>/ran"},
     .out = Report("", "<cwd>/", "", "kill -KILL $$; touch <here>/ran"),
     .status = 1,
     .notMade = {"ran"}},
    {.name = "CommandKilledBySignal",
     .args = {"/EXECUTE", "exec 2>/dev/null; sh -c 'kill -TERM $$'"},
     .out = Report("", "<cwd>/", "", "exec 2>/dev/null; sh -c 'kill -TERM $$'"),
     .status = 1},
    {.name = "CurrentDirectoryOf319Characters",
     .prepare = [](Stage* stage) { WorkIn(stage, 319); },
     .args = {"/EXECUTE", "test {Config.Source} = \"$PWD/\""},
     .out = Report("", "<cwd>/", "", "test <cwd>/ = \"$PWD/\"")},
    {.name = "CurrentDirectoryOf320CharactersLeavesSourceEmpty",
     .prepare = [](Stage* stage) { WorkIn(stage, 320); },
     .args = {"/EXECUTE", "test -z '{Config.Source}'"},
     .out = Report("", "", "", "test -z ''")},
    {.name = "MemoryLimitMetByTheTemplateEngine",
     .prepare = [](Stage* stage) { BinaryInBin(stage, VORLA_LOWLIMIT_BINARY); },
     .args = DEBUG_ARGS,
     .out = VERSION_BANNER + Banner("Memory Init") + "Memory Initialized (limit 16k)\n" +
            Banner("") + "Unknown command [/debug]\n" +
            // The request that crosses the limit is the keyword pool's first
            // block, whose size follows the word size.
            (sizeof(void*) == 4 ? "\n\nABORT: Memory exceeds limit ((1264 + 20032) / 16384)\n"
                                : "\n\nABORT: Memory exceeds limit ((2360 + 22440) / 16384)\n") +
            "       (pool/<line>)\n",
     .status = 1,
     .notMade = {"made", "ran"},
     .logged = true},
    {.name = "LineOf999CharactersRuns",
     .args = {"/TARGET", "<here>/made", "/EXECUTE", "touch <here>/ran # <pad>"},
     .lineLength = 999,
     .out = Report("", "<cwd>/", "<here>/made/", "touch <here>/ran # <pad>"),
     .made = {"made", "ran"}},
    {.name = "LineOf1000CharactersRunsNothing",
     .args = {"/TARGET", "<here>/made", "/EXECUTE", "touch <here>/ran # <pad>"},
     .lineLength = 1000,
     .out = "Command line too long (1000 characters, limit 999): nothing was run\n",
     .status = 1,
     .notMade = {"made", "ran"}},
    {.name = "EveryByteFrom1To255",
     .args = {"/WILDCARD", ALL_BYTES, "/EXECUTE", HEREDOC + "{Config.Wildcard}\nEOF"},
     .out = Report(BYTES_BEFORE_DEL, "<cwd>/", "", HEREDOC + BYTES_BEFORE_DEL),
     .received = ALL_BYTES + "\n"},
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// The line the program joins from its argv: words with blanks are quoted
// (the padded words hold no quotes of their own).
std::size_t JoinedLength(const std::vector<std::string>& words) {
    std::size_t length = words.size() - 1;
    for (const std::string& word : words)
        length += word.size() + (word.find(' ') != std::string::npos ? 2 : 0);
    return length;
}

class VorlaFault : public testing::TestWithParam<FaultCase> {};

TEST_P(VorlaFault, ReportsExitsAndMakesOnlyWhatItShould) {
    const FaultCase& c = GetParam();
    Stage stage;
    stage.here = MakeTempDir();
    stage.options.directory = stage.here;
    stage.options.unprivileged = c.unprivileged;
    if (c.prepare != nullptr) c.prepare(&stage);
    // Root passes every permission bit, so the program runs as nobody then.
    if (c.unprivileged && !HandToUnprivileged(stage.here)) {
        RemoveTree(stage.here);
        GTEST_SKIP() << "running as root, and the user nobody cannot be given the test's files";
    }
    const fs::path here = stage.here;
    const std::string binary = stage.options.binary.empty() ? VORLA_BINARY : stage.options.binary;

    std::vector<std::string> words = {binary};
    for (const std::string& arg : c.args)
        words.push_back(Replace(Replace(arg, "<here>", stage.here), "<pad>", ""));
    const std::string pad(c.lineLength > 0 ? c.lineLength - JoinedLength(words) : 0, 'x');
    const auto fill = [&](const std::string& text) {
        return Replace(
            Replace(Replace(text, "<here>", stage.here), "<cwd>", stage.options.directory), "<pad>",
            pad);
    };
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(fill(arg));

    const VorlaRun run = RunVorla(args, stage.options);
    EXPECT_EQ(std::regex_replace(run.out, std::regex(R"(\(([a-z]+)/[0-9]+\)\n)"), "($1/<line>)\n"),
              fill(c.out));
    EXPECT_EQ(run.status, c.status);
    // A log that cannot be opened costs a box per message; the console has
    // had each of them already.
    std::string boxes;
    for (std::size_t at = 0; c.logError != 0 && at < run.out.size();) {
        const std::size_t next = std::min(run.out.find('\n', at), run.out.size() - 1) + 1;
        boxes += "Internal error...\nUnable to create log file [" + stage.here +
                 "/bin/debug.log] due to error [" + std::to_string(c.logError) + "]\n -- String [" +
                 run.out.substr(at, next - at) + "]\n";
        at = next;
    }
    EXPECT_EQ(run.err, boxes);
    for (const std::string& path : c.made)
        EXPECT_TRUE(fs::exists(here / path)) << path;
    for (const std::string& path : c.notMade)
        EXPECT_FALSE(fs::exists(here / path)) << path;
    if (!c.received.empty()) {
        EXPECT_EQ(ReadFile(here / "received"), c.received);
    }
    if (c.logged) {
        EXPECT_EQ(ReadFile(here / "bin" / "debug.log"), CrLf(run.out));
    }
    RemoveTree(stage.here);
}

INSTANTIATE_TEST_SUITE_P(E2E, VorlaFault, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<FaultCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
