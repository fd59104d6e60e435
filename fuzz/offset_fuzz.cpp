// offset_fuzz.cpp: number parsing and the time shift over arbitrary /OFFSET
// texts and field parameters.
//
//   - StrParseInt64 against a plain reading of its rule (value wrapping
//     modulo 2^64, result 1 only for a text that is all number);
//   - StrToInt against the same reading of its usable run, and its fatal
//     error exactly when that run reaches 70 characters;
//   - DateApplyOffset against the civil calendar of the standard library:
//     wherever the captured moment and the shifted one both lie between
//     1 January 1970 and 28 February 2100 (where every fourth year is a
//     leap year, as the system counts), the shifted moment must be the
//     calendar's;
//   - the conversions between minutes and fields as exact inverses from
//     1970 to 2155.
//
// Input: five bytes of the captured moment, then the /OFFSET text and the
// parameter, each up to a zero byte, then four bytes of a minute count for
// the round trip of the two conversions.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "vorla/app.h"
#include "vorla/date.h"
#include "zizezaz/str/report.h"
#include "zizezaz/str/str.h"

namespace chrono = std::chrono;

static constexpr std::size_t RUN_LIMIT = 70;

static bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

static std::int32_t HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static bool IsHexPrefix(const char* text) {
    return text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// The parse of StrParseInt64, read plainly: an optional sign, then 0x and
// hexadecimal digits or decimal digits, wrapping modulo 2^64.
static std::int32_t ReferenceParse(const char* text, std::int64_t* value) {
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    std::uint64_t magnitude = 0;
    if (IsHexPrefix(text)) {
        for (text += 2; HexValue(*text) >= 0; ++text)
            magnitude = magnitude * 16 + static_cast<std::uint64_t>(HexValue(*text));
    } else {
        for (; IsDigit(*text); ++text)
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(*text - '0');
    }
    *value = static_cast<std::int64_t>(negative ? ~magnitude + 1 : magnitude);
    return *text == '\0' ? 1 : 0;
}

// The usable run of StrToInt: its length (hexadecimal digits only after a
// 0x) and its value.
static std::size_t ReferenceRun(const char* text, std::int64_t* value) {
    *value = 0;
    std::string run;
    std::size_t length = 0;
    if (IsHexPrefix(text)) {
        while (HexValue(text[2 + length]) >= 0)
            ++length;
        if (length == 0) return 0;
        run.assign(text, 2 + length);
    } else {
        while (IsDigit(text[length]) || text[length] == '-' || text[length] == '+')
            ++length;
        run.assign(text, length);
    }
    if (length > 0 && length < RUN_LIMIT) ReferenceParse(run.c_str(), value);
    return length;
}

// StrToInt, with its fatal error caught: 1 and the value, or 0.
static std::int32_t TrappedToInt(const char* text, std::int64_t* value) {
    if (setjmp(FuzzTrap) != 0) return 0;
    *value = StrToInt(text);
    return 1;
}

static std::int32_t TrappedApply(const AppConfig* config, const char* parameter,
                                 std::uint8_t* out) {
    if (setjmp(FuzzTrap) != 0) return 0;
    DateApplyOffset(config, parameter, &out[0], &out[1], &out[2], &out[3], &out[4]);
    return 1;
}

static void CheckNumbers(const std::string& text) {
    std::int64_t expected = 0;
    const std::int32_t whole = ReferenceParse(text.c_str(), &expected);
    std::int64_t value = 0;
    const std::int32_t result = StrParseInt64(text.c_str(), &value);
    FUZZ_CHECK(result == whole && value == expected, "StrParseInt64 [%s]: %d %lld, not %d %lld",
               FuzzShow(text).c_str(), result, static_cast<long long>(value), whole,
               static_cast<long long>(expected));

    const std::size_t run = ReferenceRun(text.c_str(), &expected);
    const std::int32_t converted = TrappedToInt(text.c_str(), &value);
    FUZZ_CHECK(converted == (run < RUN_LIMIT ? 1 : 0), "StrToInt [%s]: run of %zu, %s",
               FuzzShow(text).c_str(), run, converted ? "converted" : "fatal");
    FUZZ_CHECK(!converted || value == expected, "StrToInt [%s]: %lld, not %lld",
               FuzzShow(text).c_str(), static_cast<long long>(value),
               static_cast<long long>(expected));
}

// ---- The calendar ---------------------------------------------------------

// Minutes since 00:00 on 31 December 1969, from the civil calendar.
static std::int64_t CivilMinutes(std::int32_t year, std::int32_t month, std::int32_t day,
                                 std::int32_t hour, std::int32_t minute) {
    // Day 1 of the month plus the days after it, so that a day beyond the
    // month's end runs on into the next, as the system counts.
    const chrono::year_month_day first{chrono::year{year},
                                       chrono::month{static_cast<unsigned>(month)}, chrono::day{1}};
    const chrono::sys_days days = chrono::sys_days{first} + chrono::days{day - 1};
    const std::int64_t sinceEpoch = days.time_since_epoch().count() + 1;
    return (sinceEpoch * 24 + hour) * 60 + minute;
}

static constexpr std::int64_t FIRST_MINUTE = 1440;  // 00:00, 1 January 1970
static const std::int64_t LAST_MINUTE = CivilMinutes(2100, 2, 28, 23, 59);

// 23:59 on 31 December 2155, the last count the fields can hold.
static constexpr std::int32_t LAST_COUNT = 97829279;

static bool InCivilRange(std::int64_t minutes) {
    return minutes >= FIRST_MINUTE && minutes <= LAST_MINUTE;
}

static char UnitLetter(const std::string& offset) {
    std::size_t at = 0;
    while (at < offset.size() && (IsDigit(offset[at]) || offset[at] == '-' || offset[at] == '+'))
        ++at;
    const char c = at < offset.size() ? offset[at] : '\0';
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The shifted moment as minutes of the civil calendar, wrapped to 32 bits
// as the system's count is; 0 when the calendar cannot say: the captured
// moment, or the date a month or year shift lands on, lies outside the
// range where the two calendars agree.
static std::int32_t ExpectedMinutes(const PlatTime& now, const std::string& offset,
                                    std::int64_t parameterDays, std::int64_t* minutes) {
    std::int64_t total =
        CivilMinutes(1900 + now.year, now.month + 1, now.day, now.hour, now.minute);
    if (!InCivilRange(total)) return 0;
    if (!offset.empty()) {
        std::int64_t n = 0;
        ReferenceRun(offset.c_str(), &n);
        // Only the low 32 bits of the number count.
        const std::int64_t low = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
        std::int32_t year = now.year;
        std::int64_t month = now.month;
        switch (UnitLetter(offset)) {
            case 'D':
                total += low * 1440;
                break;
            case 'H':
                total += low * 60;
                break;
            case 'M': {
                const std::int64_t e = month + low;
                const std::int64_t years = e >= 0 ? e / 12 : -((-e + 11) / 12);
                year = static_cast<std::uint8_t>(year + years);  // years wrap at 8 bits
                month = e - years * 12;
                total = CivilMinutes(1900 + year, static_cast<std::int32_t>(month) + 1, now.day,
                                     now.hour, now.minute);
                if (!InCivilRange(total)) return 0;
                break;
            }
            case 'Y':
                year = static_cast<std::uint8_t>(year + low);
                total = CivilMinutes(1900 + year, now.month + 1, now.day, now.hour, now.minute);
                if (!InCivilRange(total)) return 0;
                break;
            default:
                break;
        }
    }
    const std::int64_t days = static_cast<std::int32_t>(static_cast<std::uint32_t>(parameterDays));
    total += days * 1440;
    // The count is 32 bits and wraps.
    *minutes =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(total)));
    return 1;
}

static std::int32_t DaysInMonth(std::int32_t month, std::int32_t year) {
    constexpr std::int32_t DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return DAYS[month] + (month == 1 && year % 4 == 0 ? 1 : 0);
}

static void CheckShift(const PlatTime& now, const std::string& offset,
                       const std::string& parameter) {
    AppConfig config{};
    config.localTime = now;
    std::memcpy(config.offset, offset.c_str(), offset.size() + 1);

    std::int64_t parameterDays = 0;
    std::int64_t offsetValue = 0;
    const bool parameterFatal = ReferenceRun(parameter.c_str(), &parameterDays) >= RUN_LIMIT;
    const bool offsetFatal =
        !offset.empty() && ReferenceRun(offset.c_str(), &offsetValue) >= RUN_LIMIT;
    std::uint8_t out[5] = {};
    const std::int32_t done = TrappedApply(&config, parameter.c_str(), out);
    FUZZ_CHECK(done == (parameterFatal || offsetFatal ? 0 : 1), "offset [%s] parameter [%s]: %s",
               FuzzShow(offset).c_str(), FuzzShow(parameter).c_str(), done ? "shifted" : "fatal");
    if (!done) return;
    const std::int32_t hour = out[0], minute = out[1], month = out[2], day = out[3], year = out[4];

    const std::string shown = "offset [" + FuzzShow(offset) + "] parameter [" +
                              FuzzShow(parameter) + "] from " + std::to_string(1900 + now.year) +
                              "-" + std::to_string(now.month + 1) + "-" + std::to_string(now.day) +
                              " " + std::to_string(now.hour) + ":" + std::to_string(now.minute) +
                              " gave " + std::to_string(1900 + year) + "-" +
                              std::to_string(month + 1) + "-" + std::to_string(day) + " " +
                              std::to_string(hour) + ":" + std::to_string(minute);

    std::int64_t expected = 0;
    if (ExpectedMinutes(now, offset, parameterDays, &expected) && InCivilRange(expected)) {
        const std::int64_t got = CivilMinutes(1900 + year, month + 1, day, hour, minute);
        FUZZ_CHECK(got == expected, "%s, the calendar says minute %lld", shown.c_str(),
                   static_cast<long long>(expected));
    }
}

// Every count from 0 (31 December 1969) to the end of 2155 converts to
// fields in range that convert back to the same count; any other count
// converts without harm.
static void CheckRoundTrip(std::int32_t minutes) {
    std::uint8_t f[5] = {};
    MinutesToDate(minutes, &f[0], &f[1], &f[2], &f[3], &f[4]);
    if (minutes < 0 || minutes > LAST_COUNT) return;
    std::int32_t back = 0;
    DateToMinutes(&back, f[0], f[1], f[2], f[3], f[4]);
    FUZZ_CHECK(f[0] < 24 && f[1] < 60 && f[2] < 12 && f[3] >= 1 &&
                   f[3] <= DaysInMonth(f[2], f[4]) && back == minutes,
               "minute %d gave %d-%d-%d %d:%d, which counts %d", minutes, 1900 + f[4], f[2] + 1,
               f[3], f[0], f[1], back);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StrSetReport(FuzzTrapFatal, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size, 0};
    // A captured moment from 1970 to 2155, day by the month's length.
    PlatTime now{};
    now.year = 70 + FuzzByte(&in) % 186;
    now.month = FuzzByte(&in) % 12;
    now.day = 1 + FuzzByte(&in) % DaysInMonth(now.month, now.year);
    now.hour = FuzzByte(&in) % 24;
    now.minute = FuzzByte(&in) % 60;
    const std::string offset = FuzzText(&in).substr(0, APP_FIELD_CAPACITY - 1);
    const std::string parameter = FuzzText(&in);

    CheckRoundTrip(static_cast<std::int32_t>(FuzzU32(&in)));
    CheckNumbers(offset);
    CheckNumbers(parameter);
    CheckShift(now, offset, parameter);
    return 0;
}
