// vars_test.cpp: the bytes each variable writes for a captured moment and
// an /OFFSET, the cut at the room, and the variables inside real templates.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vorla/app.h"
#include "vorla/vars.h"
#include "vorla/vars_internal.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/mem_internal.h"
#include "zizezaz/script/script.h"

namespace {

constexpr std::int32_t GUARD = 8;
constexpr char GUARD_BYTE = '\xA5';

// Keyword name to its entry in the registration table.
const AppVariable& Variable(const char* keyword) {
    for (const AppVariable& v : APP_VARIABLES) {
        if (std::strcmp(v.keyword, keyword) == 0) return v;
    }
    ADD_FAILURE() << "no variable " << keyword;
    return APP_VARIABLES[0];
}

// The run's record: the given moment and offset, the fields of a full run.
AppConfig* Config(std::int32_t year, std::int32_t month, std::int32_t day, const char* offset) {
    static AppConfig config;
    config = AppConfig{};
    config.localTime = PlatTime{5, 38, 1, day, month - 1, year - 1900};
    std::strcpy(config.offset, offset);
    std::strcpy(config.wildcard, "ex261205*.log");
    std::strcpy(config.filename, "ex261205.zip");
    std::strcpy(config.source, "/var/log/iis/");
    std::strcpy(config.target, "/srv/archive/2026/");
    return &config;
}

TEST(AppVariables, CallbackBytesAndRoom) {
    struct Case {
        std::int32_t year, month, day;
        const char* offset;
        const char* keyword;
        const char* parameter;
        std::int32_t room;
        const char* written;
    };
    const Case cases[] = {
        {2026, 12, 6, "-1d", "Day", "", 64, "5"},
        {2026, 12, 6, "-1d", "DayPad", "", 64, "05"},
        {2026, 12, 6, "-1d", "Month", "", 64, "12"},
        {2026, 12, 6, "-1d", "MonthPad", "", 64, "12"},
        {2026, 12, 6, "-1d", "Year2", "", 64, "26"},
        {2026, 12, 6, "-1d", "Year4", "", 64, "2026"},
        {2026, 12, 6, "-1d", "Day", "-1", 64, "4"},
        {2026, 12, 6, "-1d", "Day", "+1", 64, "6"},
        {2026, 12, 6, "-1d", "DayPad", "+26", 64, "31"},
        {2026, 12, 6, "-1d", "Year4", "+27", 64, "2027"},
        {2026, 1, 6, "", "Month", "", 64, "1"},  // January is 1, never 0
        {2026, 1, 6, "", "MonthPad", "", 64, "01"},
        {2000, 3, 1, "", "Year2", "", 64, "00"},
        {1999, 3, 1, "", "Year2", "", 64, "99"},
        {2099, 3, 1, "", "Year2", "", 64, "99"},
        {2100, 3, 1, "", "Year2", "", 64, "100"},
        {2155, 3, 1, "", "Year4", "", 64, "2155"},
        {2026, 12, 6, "-1d", "Year4", "", 3, "20"},  // cut at the room
        {2026, 12, 6, "", "Filename", "", 13, "ex261205.zip"},
        {2026, 12, 6, "", "Filename", "", 12, "ex261205.zi"},
        {2026, 12, 6, "", "Filename", "", 2, "e"},
        {2026, 12, 6, "", "Target", "x", 64, "/srv/archive/2026/"},
        {2026, 12, 6, "", "Source", "", 64, "/var/log/iis/"},
        {2026, 12, 6, "", "Wildcard", "", 6, "ex261"},
        {2026, 12, 6, "", "Quote", "", 2, "\""},
        {2026, 12, 6, "", "Quote", "ignored", 64, "\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.keyword << " [" << c.parameter << "] offset "
                                        << c.offset << " room " << c.room);
        AppConfig* config = Config(c.year, c.month, c.day, c.offset);
        const AppConfig before = *config;
        ScriptKeyword keyword{};
        std::strcpy(keyword.name, c.keyword);
        std::vector<char> buffer(static_cast<std::size_t>(GUARD + c.room + GUARD), GUARD_BYTE);
        char* out = buffer.data() + GUARD;
        out[0] = '\0';  // as the engine hands it over
        EXPECT_EQ(Variable(c.keyword).callback(nullptr, &keyword, c.parameter, config, out, c.room),
                  1);
        EXPECT_STREQ(out, c.written);
        // Nothing before the output position or past the room is touched.
        for (std::int32_t i = 0; i < GUARD; ++i) {
            EXPECT_EQ(buffer[static_cast<std::size_t>(i)], GUARD_BYTE) << "before " << i;
            EXPECT_EQ(out[c.room + i], GUARD_BYTE) << "past the room " << i;
        }
        EXPECT_EQ(std::memcmp(&before, config, sizeof before), 0) << "the record changed";
    }
}

// The variables registered on a real script object, decoded in templates
// of a run captured at 01:38 on 6 December 2026 with /OFFSET -1d.
class AppRegisterTest : public ConsoleFileTest {
protected:
    void SetUp() override {
        StartCore("vars_test", LOG_CONSOLE | LOG_NO_ABORT_BOX);
        MemInit(0x7FFFFFFF);
        ASSERT_NO_FATAL_FAILURE(ConsoleFileTest::SetUp());
        LogState.flags = LOG_CONSOLE | LOG_NO_ABORT_BOX;
    }
};

TEST_F(AppRegisterTest, TemplatesOfARun) {
    const std::int32_t blocksBefore = MemState.blockCount;
    Script* script = nullptr;
    ASSERT_EQ(ScriptCreate(&script), 1);
    ASSERT_EQ(AppRegisterVariables(script), 1);
    EXPECT_EQ(script->openDelimiter, '{');
    EXPECT_EQ(script->closeDelimiter, '}');
    EXPECT_EQ(script->reportUnknownClass, 0);
    EXPECT_EQ(script->reportUnknownKeyword, 1);
    std::string registered;
    for (ScriptClass* c = script->classes.head; c != nullptr; c = c->next) {
        for (ScriptKeyword* k = c->keywords.head; k != nullptr; k = k->next)
            registered += std::string(c->name) + "." + k->name + " ";
    }
    EXPECT_EQ(registered,
              "Time.Day Time.DayPad Time.Month Time.MonthPad Time.Year2 Time.Year4 "
              "Config.Filename Config.Target Config.Source Config.Wildcard Special.Quote ");

    struct Case {
        const char* text;
        const char* output;
        const char* console;
    };
    const Case cases[] = {
        {"ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log", "ex261205*.log", ""},
        {"{Time.Day}/{Time.DayPad}/{Time.Month}/{Time.MonthPad}/{Time.Year2}/{Time.Year4}",
         "5/05/12/12/26/2026", ""},
        {"{Time.Day-1} {Time.Day+1} {time.daypad} {TIME.YEAR4}", "4 6 05 2026", ""},
        {"a{Time.Day1}b", "a{Time.Day1}b", "Unknown keyword = 'Time':'Day1':''\n"},
        {"{Foo.Bar} {Config.Nope-2}", "{Foo.Bar} {Config.Nope-2}",
         "Unknown keyword = 'Config':'Nope':'-2'\n"},
        {"zip {Special.Quote}{Config.Target}{Config.Filename}{Special.Quote} "
         "{Config.Source}{Config.Wildcard}",
         "zip \"/srv/archive/2026/ex261205.zip\" /var/log/iis/ex261205*.log", ""},
    };
    AppConfig* config = Config(2026, 12, 6, "-1d");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string before = Console();
        char output[APP_FIELD_CAPACITY];
        std::int32_t consumed = 0;
        std::int32_t produced = 0;
        const auto length = static_cast<std::int32_t>(std::strlen(c.text));
        EXPECT_EQ(ScriptDecode(script, config, 0, c.text, length, &consumed, output,
                               APP_FIELD_CAPACITY, &produced),
                  1);
        EXPECT_STREQ(output, c.output);
        EXPECT_EQ(Console().substr(before.size()), c.console);
    }
    ScriptDestroy(&script);
    EXPECT_EQ(script, nullptr);
    EXPECT_EQ(MemState.blockCount, blocksBefore) << "records not given back";
}

}  // namespace
