// End-to-end runs with the clock fixed past January 2038, where a 32-bit
// time_t has run out: the dates must come out right in every word size.

#include <gtest/gtest.h>

#include <string>

#include "vorla/run_vorla.h"

namespace {

struct LateCase {
    const char* clock;  // UTC
    const char* offset;
    const char* filename;  // as the run reports it
};

TEST(VorlaLateClock, DatesPast2038ComeOutRight) {
    if (!HaveFaketime()) GTEST_SKIP() << "faketime is not installed";
    const LateCase cases[] = {
        // The first second that a signed 32-bit count cannot hold.
        {"2038-01-19 03:14:08", "0d", "20380119-38.zip"},
        // From 2100 on, the two-digit year has three digits.
        {"2099-12-31 23:00:00", "2h", "21000101-100.zip"},
        {"2104-03-01 00:30:00", "-1d", "21040229-104.zip"},
        // Past what even an unsigned 32-bit count holds.
        {"2106-02-07 06:28:16", "-1d", "21060206-106.zip"},
        // The last year that the calendar's 8-bit year reaches.
        {"2155-06-15 12:00:00", "-1y", "21540615-154.zip"},
    };
    for (const LateCase& c : cases) {
        VorlaOptions options;
        options.frozenTime = c.clock;
        VorlaRun run = RunVorla({"/OFFSET", c.offset, "/FILENAME",
                                 "{Time.Year4}{Time.MonthPad}{Time.DayPad}-{Time.Year2}.zip",
                                 "/EXECUTE", "true"},
                                options);
        EXPECT_EQ(run.status, 0) << c.clock;
        EXPECT_NE(run.out.find("Filename: [" + std::string(c.filename) + "]\n"), std::string::npos)
            << c.clock << " " << c.offset << ":\n"
            << run.out;
    }
}

}  // namespace
