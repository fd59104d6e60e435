// date_test.cpp: the minute count against the civil calendar, the /OFFSET
// units and the parameter, month ends, 8-bit years and shifts of any size.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "support/test_support.h"
#include "vorla/app.h"
#include "vorla/date.h"

namespace {

struct Fields {
    std::uint8_t hour, minute, month, day, year;
};

// Year-month-day hour:minute, with the month counted from 1.
std::string Show(const Fields& f) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", f.year + 1900, f.month + 1, f.day,
                  f.hour, f.minute);
    return text;
}

Fields FromMinutes(std::int32_t count) {
    Fields f{};
    EXPECT_EQ(MinutesToDate(count, &f.hour, &f.minute, &f.month, &f.day, &f.year), 1);
    return f;
}

std::int32_t ToMinutes(const Fields& f) {
    std::int32_t count = -1;
    EXPECT_EQ(DateToMinutes(&count, f.hour, f.minute, f.month, f.day, f.year), 1);
    return count;
}

TEST(Date, KnownCounts) {
    struct Case {
        Fields fields;
        std::int32_t count;
        bool inverse;  // false: a day or month that runs on, converting back differs
    };
    const Case cases[] = {
        {{0, 0, 11, 31, 69}, 0, true},         {{0, 0, 0, 1, 70}, 1440, true},
        {{0, 0, 0, 1, 100}, 15779520, true},   {{23, 59, 11, 31, 255}, 97829279, true},
        {{0, 0, 1, 29, 200}, 68460480, true},  // 29 February 2100: every fourth year leaps
        {{0, 0, 2, 1, 200}, 68461920, true},   {{1, 38, 11, 6, 126}, 29943458, true},
        {{0, 0, 1, 31, 125}, 29017440, false},  // 31 February 2025 is 3 March
        {{0, 0, 1, 31, 124}, 28490400, false},  // and 2 March in a leap year
        {{0, 0, 12, 5, 125}, 29460960, false},  // month 12 is the next January
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.fields));
        EXPECT_EQ(ToMinutes(c.fields), c.count);
        if (c.inverse) {
            EXPECT_EQ(Show(FromMinutes(c.count)), Show(c.fields));
        }
    }
}

// Every day from the start of the count to the end of 2155 converts back to
// itself; up to 2099 it is also the civil calendar's date.
TEST(Date, EveryDayRoundTripsAndMatchesTheCalendar) {
    using namespace std::chrono;
    const sys_days dayZero = sys_days{1969y / December / 31};
    for (std::int32_t dayCount = 0; dayCount <= 97829279 / 1440; ++dayCount) {
        const std::int32_t count = dayCount * 1440 + (dayCount % 1440);
        const Fields f = FromMinutes(count);
        ASSERT_EQ(ToMinutes(f), count) << Show(f);
        ASSERT_EQ(f.hour * 60 + f.minute, dayCount % 1440);
        if (f.year < 200) {
            const year_month_day civil{dayZero + days{dayCount}};
            ASSERT_EQ(static_cast<int>(civil.year()), f.year + 1900) << Show(f);
            ASSERT_EQ(static_cast<unsigned>(civil.month()), f.month + 1u) << Show(f);
            ASSERT_EQ(static_cast<unsigned>(civil.day()), f.day) << Show(f);
        }
    }
}

AppConfig* Captured(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                    std::int32_t minute, const std::string& offset) {
    static AppConfig config;
    config = AppConfig{};
    config.localTime = PlatTime{17, minute, hour, day, month - 1, year - 1900};
    EXPECT_LT(offset.size(), sizeof config.offset);
    offset.copy(config.offset, offset.size());
    return &config;
}

std::string Shifted(const AppConfig* config, const char* parameter) {
    Fields f{};
    EXPECT_EQ(DateApplyOffset(config, parameter, &f.hour, &f.minute, &f.month, &f.day, &f.year), 1);
    return Show(f);
}

TEST(DateApplyOffset, UnitsParameterAndMonthEnds) {
    struct Case {
        std::int32_t year, month, day, hour, minute;
        std::string offset;
        const char* parameter;
        const char* result;
    };
    const std::string ones69 = "1" + std::string(68, '0') + "d";  // 10^68, 0 in 32 bits
    const Case cases[] = {
        {2026, 12, 6, 1, 38, "", "", "2026-12-06 01:38"},
        {2026, 12, 6, 1, 38, "1d", "", "2026-12-07 01:38"},
        {2026, 12, 6, 1, 38, "-1d", "", "2026-12-05 01:38"},
        {2026, 12, 6, 1, 38, "-1D", "", "2026-12-05 01:38"},
        {2026, 12, 6, 1, 38, "10h", "", "2026-12-06 11:38"},
        {2026, 12, 6, 1, 38, "-2H", "", "2026-12-05 23:38"},
        {2026, 12, 6, 1, 38, "-1m", "", "2026-11-06 01:38"},
        {2026, 12, 6, 1, 38, "1M", "", "2027-01-06 01:38"},
        {2026, 12, 6, 1, 38, "-12m", "", "2025-12-06 01:38"},
        {2026, 12, 6, 1, 38, "-13m", "", "2025-11-06 01:38"},
        {2026, 12, 6, 1, 38, "13m", "", "2028-01-06 01:38"},
        {2026, 12, 6, 1, 38, "-1y", "", "2025-12-06 01:38"},
        {2026, 12, 6, 1, 38, "5", "", "2026-12-06 01:38"},
        {2026, 12, 6, 1, 38, "1x", "", "2026-12-06 01:38"},
        {2026, 12, 6, 1, 38, "0x10d", "", "2026-12-06 01:38"},  // the unit letter is the x
        {2026, 12, 6, 1, 38, " 1d", "", "2026-12-06 01:38"},
        {2026, 12, 6, 1, 38, "1d2h", "", "2026-12-07 01:38"},
        {2026, 12, 6, 1, 38, "", "-1", "2026-12-05 01:38"},
        {2026, 12, 6, 1, 38, "-1d", "-1", "2026-12-04 01:38"},
        {2026, 12, 6, 1, 38, "-1m", "+30", "2026-12-06 01:38"},  // parameter after the unit
        {2025, 1, 31, 12, 0, "1m", "", "2025-03-03 12:00"},
        {2024, 1, 31, 12, 0, "1m", "", "2024-03-02 12:00"},
        {2024, 3, 31, 12, 0, "-1m", "", "2024-03-02 12:00"},
        {2024, 2, 29, 9, 5, "1y", "", "2025-03-01 09:05"},
        {2024, 2, 29, 9, 5, "-1y", "", "2023-03-01 09:05"},
        {2024, 3, 1, 0, 30, "-1h", "", "2024-02-29 23:30"},
        {2024, 3, 1, 0, 30, "-1d", "", "2024-02-29 00:30"},
        {2100, 3, 1, 0, 0, "-1d", "", "2100-02-29 00:00"},
        {2026, 12, 6, 1, 38, "-127y", "", "2155-12-06 01:38"},  // years wrap at 8 bits
        {2026, 12, 6, 1, 38, "230y", "", "2000-12-06 01:38"},
        {2026, 12, 6, 1, 38, "256y", "", "2026-12-06 01:38"},
        {1900, 1, 15, 8, 0, "-1m", "", "2155-12-15 08:00"},
        // Numbers beyond 32 bits keep their low 32 bits, and the minute
        // count wraps at 32 bits: 2^30 days are 0 minutes.
        {2026, 12, 6, 1, 38, "4294967296d", "", "2026-12-06 01:38"},
        {2026, 12, 6, 1, 38, "4294967297d", "", "2026-12-07 01:38"},
        {2026, 12, 6, 1, 38, "1073741824d", "", "2026-12-06 01:38"},
        {2026, 12, 6, 1, 38, "-1073741824D", "1073741823", "2026-12-05 01:38"},
        {2026, 12, 6, 1, 38, "4294967284m", "", "2025-12-06 01:38"},
        {2026, 12, 6, 1, 38, "-2147483648m", "", "2112-04-06 01:38"},
        {2026, 12, 6, 1, 38, "4294967552y", "", "2026-12-06 01:38"},
        {2026, 12, 6, 1, 38, ones69, "", "2026-12-06 01:38"},
        {2026, 12, 6, 1, 38, "", "4294967295", "2026-12-05 01:38"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << " [" << c.parameter << "] from " << c.year
                                        << "-" << c.month << "-" << c.day);
        const AppConfig* config = Captured(c.year, c.month, c.day, c.hour, c.minute, c.offset);
        EXPECT_EQ(Shifted(config, c.parameter), c.result);
    }
}

// Shifts and counts with no valid date: they must wrap, never overflow or
// read outside a table (the sanitizer build checks).
TEST(DateApplyOffset, AnyShiftWraps) {
    const std::string texts[] = {"2147483647d",
                                 "-2147483648h",
                                 std::string(69, '9') + "d",
                                 "-" + std::string(68, '9') + "m",
                                 std::string(69, '9') + "y",
                                 "9223372036854775807h",
                                 "2147483647m"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        Shifted(Captured(2026, 12, 6, 1, 38, text), std::string(69, '9').c_str());
    }
    for (std::int32_t count : {std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max(), -1, -1441})
        FromMinutes(count);
    ToMinutes({0, 0, 255, 1, 0});
}

TEST(DateApplyOffsetDeathTest, OffsetTooLong) {
    const std::string seventy = std::string(70, '1') + "d";
    EXPECT_EXIT(Shifted(Captured(2026, 12, 6, 1, 38, seventy), ""), testing::ExitedWithCode(1),
                Literal("Input AtoI string too large (" + seventy + ")"));
}

}  // namespace
