// script_test.cpp: the template engine: name identity and refusals,
// registration order, decoding with its cuts and write-backs, and the fatal
// paths (in child processes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <unordered_map>
#include <utility>

#include "support/test_support.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/mem_internal.h"
#include "zizezaz/script/script.h"
#include "zizezaz/script/script_internal.h"
#include "zizezaz/str/str.h"

namespace {

constexpr std::uint32_t APP_FLAGS = LOG_CONSOLE | LOG_NO_ABORT_BOX;

std::string ScriptAbort(const std::string& message) {
    return Literal("\n\nABORT: " + message + "       (script/") + "[0-9]+\\)\n";
}

// Two different names of one length with one case-folded CRC-32: a birthday
// search over random upper-case names (folding changes none of them). Names
// counted up in order would not do: the CRC is linear, and over so regular
// a set it stays one-to-one far beyond the birthday bound.
std::pair<std::string, std::string> CrcTwins() {
    std::unordered_map<std::uint32_t, std::string> seen;
    std::mt19937 random(8);
    std::uniform_int_distribution<int> letter('A', 'Z');
    for (;;) {
        std::string name(8, ' ');
        for (char& c : name)
            c = static_cast<char>(letter(random));
        std::uint32_t crc = 0;
        Crc32Update(name.c_str(), 0, &crc);
        const auto [at, fresh] = seen.emplace(crc, name);
        if (!fresh && at->second != name) return {at->second, name};
    }
}

// Writes <Name|parameter>, the name as registered or, for the catch-all, as
// written; the keyword Stop writes and then asks to stop.
std::int32_t Echo(Script*, ScriptKeyword* keyword, const char* parameter, void*, char* output,
                  std::int32_t room) {
    const std::string name =
        keyword->length == 1 && keyword->name[0] == '*' ? keyword->matchedName : keyword->name;
    const std::string text = "<" + name + (*parameter ? "|" + std::string(parameter) : "") + ">";
    if (name == "Flood") {
        std::memset(output, 'f', static_cast<std::size_t>(room));  // and no terminator
        return 1;
    }
    StrCopyN(output, text.c_str(), room);
    return name != "Stop";
}

// Names of a list from the head; the walk back from the tail and the
// count must agree with it.
template <typename List>
std::string Names(const List& list) {
    std::string forward, backward;
    for (auto* r = list.head; r; r = r->next)
        forward += std::string(r->name) + ",";
    for (auto* r = list.tail; r; r = r->prev)
        backward = std::string(r->name) + "," + backward;
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(std::count(forward.begin(), forward.end(), ','), list.count);
    return forward;
}

class ScriptTest : public ConsoleFileTest {
protected:
    void SetUp() override {
        StartCore("script_test", APP_FLAGS);
        LogState.flags = APP_FLAGS;
        MemInit(0x7FFFFFFF);
        ASSERT_NO_FATAL_FAILURE(ConsoleFileTest::SetUp());
        ScriptCreate(&script_);
    }
    void TearDown() override {
        if (script_) ScriptDestroy(&script_);
        EXPECT_EQ(script_, nullptr);
        // The object, its classes, the pool and its blocks all came back,
        // and the pool found no keyword still out.
        EXPECT_EQ(MemState.blockCount, 0);
        EXPECT_EQ(Console().find("Not all pool memory"), std::string::npos);
        ConsoleFileTest::TearDown();
    }
    std::string Layout() const {
        std::string text;
        for (const ScriptClass* c = script_->classes.head; c; c = c->next)
            text += std::string(c->name) + ":" + Names(c->keywords) + ";";
        Names(script_->classes);
        return text;
    }
    Script* script_ = nullptr;
};

using ScriptDeathTest = ScriptTest;

TEST_F(ScriptTest, RegistrationKeepsOrderAndRefusesNamesOfOneIdentity) {
    const auto [first, second] = CrcTwins();
    const std::string class79(79, 'C'), keyword79(79, 'k');
    const ScriptCallback none = [](Script*, ScriptKeyword*, const char*, void*, char*,
                                   std::int32_t) { return 0; };
    const struct {
        std::string className, keyword;
        std::int32_t addType, result;
        std::string console;
        ScriptCallback callback = Echo;
    } steps[] = {
        {"Time", "Day", 1, 1, ""},
        {"TIME", "day", 1, 1, "Matching quick CRC's and lengths (day) and (Day)\n", none},
        {"time", "X", 2, 1, ""},
        {first, "K", 1, 1, ""},
        {second, "L", 1, 1, ""},  // into the class named first
        {"Twin", first, 1, 1, ""},
        {"Twin", second, 1, 1,
         "Matching quick CRC's and lengths (" + second + ") and (" + first + ")\n"},
        {"All", "A", 1, 1, ""},
        {"All", "*", 1, 1, ""},
        {"All", "B", 1, 1, "Matching quick CRC's and lengths (B) and (*)\n"},
        {"Clock", "", 2, 1, ""},
        {"Time", "Day", 0, 0, "Unknown ScriptList Add type (0)\n"},
        {"Null", "Day", 3, 0, "Unknown ScriptList Add type (3)\n"},
        {class79, keyword79, 1, 1, ""},
    };
    for (const auto& step : steps) {
        const std::size_t before = Console().size();
        EXPECT_EQ(ScriptAddKeyword(script_, step.className.c_str(), step.keyword.c_str(),
                                   step.addType, step.callback),
                  step.result)
            << step.className << "." << step.keyword;
        EXPECT_EQ(Console().substr(before), step.console) << step.className << "." << step.keyword;
    }
    const std::string timeSet =
        "Time,TimeRFC822,TimeDate,TimeSecond,TimeSecondPad,TimeMinute,TimeMinutePad,TimeHour24,"
        "TimeHour24Pad,TimeHour,TimeHourPad,TimeAMPM,TimeDay,TimeDayPad,TimeMonth,TimeMonthPad,"
        "TimeMonthName,TimeMonthNameAbbreviation,TimeYear2,TimeYear4,";
    EXPECT_EQ(Layout(), "Time:Day," + std::regex_replace(timeSet, std::regex("Time"), "XTime") +
                            ";" + first + ":K,L,;Twin:" + first + ",;All:A,*,;Clock:" + timeSet +
                            ";" + class79 + ":" + keyword79 + ",;");
    EXPECT_EQ(script_->classes.head->keywords.head->callback, Echo);  // the first stays
}

TEST_F(ScriptTest, DecodeCopiesTextReplacesFieldsAndCutsAtTheEnd) {
    ScriptSetReporting(script_, 0, 1);
    for (const char* name : {"Day", "DayPad", "Year2", "MonthPad", "Stop", "Flood"})
        ScriptAddKeyword(script_, "Time", name, ScriptAddTypeKeyword, Echo);
    ScriptAddKeyword(script_, "Config", "Target", ScriptAddTypeKeyword, Echo);
    ScriptAddKeyword(script_, "Any", "*", ScriptAddTypeKeyword, Echo);
    const std::string body80 = "Any." + std::string(76, 'k');
    const struct {
        const char* what;
        std::string text, output;
        std::int32_t result = 1, consumed = -1, capacity = 256, length = -1, start = 0;
        std::string console = "";
        char open = '{', close = '}';
    } rows[] = {
        {"wildcard", "ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log",
         "ex<Year2><MonthPad><DayPad>*.log"},
        {"case, parameter", "{time.dayPAD}{Time.Day-1}{Time.Day1}", "<DayPad><Day|-1>{Time.Day1}",
         1, -1, 256, -1, 0, "Unknown keyword = 'Time':'Day1':''\n"},
        {"keyword with stops", "{Time.Day.Name:x}", "{Time.Day.Name:x}", 1, -1, 256, -1, 0,
         "Unknown keyword = 'Time':'Day.Name':':x'\n"},
        {"not fields, silent class", "}{Time}{}{Time. Day}{.Day}{Time.-1}{Foo.Bar}{",
         "}{Time}{}{Time. Day}{.Day}{Time.-1}{Foo.Bar}{"},
        {"nested", "{A.{Time.Day}}", "{A.<Day>}"},
        {"catch-all", "{Any.Whatever:x}", "<Whatever|:x>"},
        {"body of 80", "{" + body80 + "}", "<" + body80.substr(4) + ">"},
        {"body of 81", "{" + body80 + "k}", "{" + body80 + "k}"},
        {"default delimiters", "&Time.Day;{Time.Day}", "<Day>{Time.Day}", 1, -1, 256, -1, 0, "",
         '&', ';'},
        {"zero closes nothing", "{Time.Day", "{Time.Day", 1, -1, 256, -1, 0, "", '{', '\0'},
        {"text cut", "abcdefgh", "abcd", 0, 4, 5},
        {"exact fit", "abcd", "abcd", 0, -1, 5},
        {"no room for a terminator", "abcd", "#", 0, 0, 0},
        {"callback cut", "x{Config.Target}y", "x<Tar", 0, 16, 6},
        {"callback overran", "a{Time.Flood}b", "afff", 0, 13, 5},
        {"callback stops", "a{Time.Day}b{Time.Stop}c{Time.Day}", "a<Day>b", 1, 12},
        {"field past the end", "ab{Time.Day}cd", "ab<Day>", 1, 12, 256, 3},
        {"start offset", "abcdef", "abc", 1, 3, 256, 5, 2},
        // {Foo.Bar} is 9 characters: whole from a room of 15.
        {"room n+6", "{Foo.Bar}", "{Foo.Bar}", 1, -1, 15},
        {"room n+5, then text", "{Foo.Bar}xy", "{Foo.Barxy", 0, -1, 14},
        {"room n+1", "{Foo.Bar}", "{Foo.B", 0, -1, 10},
        {"room 5", "{Foo.Bar}", "{", 0, -1, 5},
        {"room 4", "{Foo.Bar}", "", 0, -1, 4},
    };
    for (const auto& row : rows) {
        ScriptSetDelimiters(script_, row.open, row.close);
        const std::size_t before = Console().size();
        // Exactly the capacity, so that a write past it is caught; a
        // capacity of 0 gets a byte that must stay as it was.
        auto output =
            std::make_unique<char[]>(static_cast<std::size_t>(row.capacity) + !row.capacity);
        output[0] = '#';
        const auto length = static_cast<std::int32_t>(row.text.size());
        std::int32_t consumed = -2, produced = -2;
        EXPECT_EQ(ScriptDecode(script_, nullptr, row.start, row.text.c_str(),
                               row.length < 0 ? length : row.length, &consumed, output.get(),
                               row.capacity, &produced),
                  row.result)
            << row.what;
        const std::string text = row.capacity ? output.get() : std::string(1, output[0]);
        EXPECT_EQ(text, row.output) << row.what;
        EXPECT_EQ(produced, row.capacity ? static_cast<std::int32_t>(text.size()) : 0) << row.what;
        EXPECT_EQ(consumed, row.consumed < 0 ? length : row.consumed) << row.what;
        EXPECT_EQ(Console().substr(before), row.console) << row.what;
    }
    EXPECT_EQ(script_->classes.head->resolutions, 11);  // Time: the stop and the flood too
    EXPECT_STREQ(script_->classes.tail->keywords.head->matchedName, body80.substr(4).c_str());
}

TEST_F(ScriptDeathTest, FaultsAreReportedAndEndWithStatusOne) {
    LogState.consoleHandle = 2;
    static const char otherTag[] = "script";  // same text, another address
    static Script fake;
    fake.tag = otherTag;
    const std::string name80(80, 'n');
    std::int32_t count = 0;
    const struct {
        const char* what;
        std::function<void()> run;
        std::string expected;
    } rows[] = {
        {"null output",
         [&] { ScriptDecode(script_, nullptr, 0, "", 0, &count, nullptr, 8, &count); },
         "Pointer is NULL\n"},
        {"object tag by address", [] { ScriptSetDelimiters(&fake, '{', '}'); },
         "Struct mismatch pointer (0x" + Hex(&fake) + ":script != script)\n"},
        {"list tag", [&] { script_->classes.tag = otherTag, ScriptClear(script_); },
         "Struct mismatch pointer (0x" + Hex(&script_->classes) +
             ":script != ScriptClassStructLinked)\n"},
        {"class of 80", [&] { ScriptAddKeyword(script_, name80.c_str(), "D", 1, Echo); },
         "Class keyword too long (" + name80 + ") (80 > 80)\n"},
        {"keyword of 80", [&] { ScriptAddKeyword(script_, "Time", name80.c_str(), 1, Echo); },
         "Script keyword too long (" + name80 + ") (80 > 80)\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EXIT(row.run(), ::testing::ExitedWithCode(1), ScriptAbort(row.expected)) << row.what;
    }
}

}  // namespace
