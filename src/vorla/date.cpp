// date.cpp: calendar fields to and from a count of minutes, and the shift of
// the captured moment by /OFFSET and a field's parameter.

#include "vorla/date.h"

#include <array>
#include <cstdint>

#include "vorla/app.h"
#include "zizezaz/core/log.h"
#include "zizezaz/str/ascii.h"
#include "zizezaz/str/str.h"

static constexpr char SOURCE_NAME[] = "winmain";

static constexpr std::int32_t MINUTES_PER_HOUR = 60;
static constexpr std::int32_t MINUTES_PER_DAY = 1440;
static constexpr std::int32_t DAYS_PER_CYCLE = 4 * 365 + 1;  // three common years and a leap year

// Days before each month of a common year.
static constexpr std::array<std::int32_t, 12> DAYS_BEFORE = {0,   31,  59,  90,  120, 151,
                                                             181, 212, 243, 273, 304, 334};

// The count is a 32-bit value that wraps, whatever /OFFSET asks for; signed
// arithmetic would make a large shift undefined, so shifts are added here in
// unsigned arithmetic and the bits read back as a signed count.
static std::int32_t AddWrapping(std::int32_t total, std::uint32_t amount) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(total) + amount);
}

std::int32_t DateToMinutes(std::int32_t* minutes, std::uint8_t hour, std::uint8_t minute,
                           std::uint8_t month, std::uint8_t day, std::uint8_t year) {
    if (minutes == nullptr) LogAbortNull(SOURCE_NAME, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    // Months past December run on into the following years, as days past a
    // month's end run on into the next month; it also keeps the table
    // look-up inside the table for any month a caller hands in.
    const std::int32_t y = year + month / 12;
    const std::int32_t m = month % 12;
    const std::int32_t leapAdjust = (y % 4 == 0 && m <= 1) ? 1 : 0;
    const std::int32_t days =
        (y - 70) * 365 + (y - 68) / 4 + DAYS_BEFORE[static_cast<std::size_t>(m)] + day - leapAdjust;
    *minutes = (days * 24 + hour) * MINUTES_PER_HOUR + minute;
    return 1;
}

std::int32_t MinutesToDate(std::int32_t minutes, std::uint8_t* hour, std::uint8_t* minute,
                           std::uint8_t* month, std::uint8_t* day, std::uint8_t* year) {
    if (hour == nullptr || minute == nullptr || month == nullptr || day == nullptr ||  // GCOVR_EXCL_START: only a faulty caller passes a null
        year == nullptr) {
        LogAbortNull(SOURCE_NAME, __LINE__);
    }  // GCOVR_EXCL_STOP
    // Every intermediate value below stays far inside 32 bits for any count;
    // negative counts give no valid date, and their fields are simply the
    // low 8 bits of what the arithmetic yields.
    const std::int32_t q = minutes / MINUTES_PER_DAY;
    const std::int32_t r = minutes - q * MINUTES_PER_DAY;
    const std::int32_t b = q + 364;  // days since 1 January 1969, the start of a cycle
    const std::int32_t c = b / DAYS_PER_CYCLE;
    const std::int32_t rem = b - c * DAYS_PER_CYCLE;
    std::int32_t y = rem / 365;
    if (y > 3) y = 3;
    const auto yearValue = static_cast<std::uint8_t>(c * 4 + 69 + y);
    const bool leap = yearValue % 4 == 0;

    std::int32_t monthIndex = 11;
    std::int32_t dayOfMonth = 31;
    if (rem != DAYS_PER_CYCLE - 1) {
        const std::int32_t d = rem - 365 * y;
        monthIndex = 0;
        std::int32_t extra = 0;
        for (std::int32_t i = 11; i >= 0; --i) {
            const std::int32_t e = (leap && i > 1) ? 1 : 0;
            if (DAYS_BEFORE[static_cast<std::size_t>(i)] + e <= d) {
                monthIndex = i;
                extra = e;
                break;
            }
        }
        dayOfMonth = d - DAYS_BEFORE[static_cast<std::size_t>(monthIndex)] - extra + 1;
    }
    const std::int32_t h = r / MINUTES_PER_HOUR;
    *year = yearValue;
    *month = static_cast<std::uint8_t>(monthIndex);
    *day = static_cast<std::uint8_t>(dayOfMonth);
    *hour = static_cast<std::uint8_t>(h);
    *minute = static_cast<std::uint8_t>(r - h * MINUTES_PER_HOUR);
    return 1;
}

// The unit letter: the first character that cannot belong to the number.
static char UnitLetter(const char* text) {
    while (AsciiIsDigit(*text) || *text == '-' || *text == '+')
        ++text;
    return *text;
}

// Low 8 bits of year + delta, for any delta.
static std::uint8_t ShiftYear(std::uint8_t year, std::int64_t delta) {
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(year) +
                                     static_cast<std::uint64_t>(delta));
}

std::int32_t DateApplyOffset(const AppConfig* config, const char* parameter, std::uint8_t* hour,
                             std::uint8_t* minute, std::uint8_t* month, std::uint8_t* day,
                             std::uint8_t* year) {
    if (config == nullptr || parameter == nullptr || hour == nullptr || minute == nullptr ||  // GCOVR_EXCL_START: only a faulty caller passes a null
        month == nullptr || day == nullptr || year == nullptr) {
        LogAbortNull(SOURCE_NAME, __LINE__);
    }  // GCOVR_EXCL_STOP
    const PlatTime& now = config->localTime;
    const auto h = static_cast<std::uint8_t>(now.hour);
    const auto mi = static_cast<std::uint8_t>(now.minute);
    auto mo = static_cast<std::uint8_t>(now.month);
    const auto d = static_cast<std::uint8_t>(now.day);
    auto y = static_cast<std::uint8_t>(now.year);
    std::int32_t total = 0;
    DateToMinutes(&total, h, mi, mo, d, y);

    if (config->offset[0] != '\0') {
        // Only the low 32 bits of the number count; as unsigned they wrap
        // cleanly when multiplied into minutes.
        const auto bits =
            static_cast<std::uint32_t>(static_cast<std::uint64_t>(StrToInt(config->offset)));
        const auto n = static_cast<std::int32_t>(bits);
        switch (AsciiUpper(static_cast<unsigned char>(UnitLetter(config->offset)))) {
            case 'D':
                total = AddWrapping(total, bits * static_cast<std::uint32_t>(MINUTES_PER_DAY));
                break;
            case 'H':
                total = AddWrapping(total, bits * static_cast<std::uint32_t>(MINUTES_PER_HOUR));
                break;
            case 'M': {
                // 64 bits, so that month + n cannot overflow for any n.
                std::int64_t e = std::int64_t{mo} + n;
                if (e < 0) {
                    const std::int64_t k = (-e - 1) / 12 + 1;
                    y = ShiftYear(y, -k);
                    e += 12 * k;
                }
                if (e > 11) {
                    const std::int64_t k = (e - 12) / 12 + 1;
                    y = ShiftYear(y, k);
                    e -= 12 * k;
                }
                mo = static_cast<std::uint8_t>(e);
                DateToMinutes(&total, h, mi, mo, d, y);
                break;
            }
            case 'Y':
                y = ShiftYear(y, n);
                DateToMinutes(&total, h, mi, mo, d, y);
                break;
            default:  // no unit letter: the number shifts nothing
                break;
        }
    }

    const auto days = static_cast<std::uint32_t>(static_cast<std::uint64_t>(StrToInt(parameter)));
    total = AddWrapping(total, days * static_cast<std::uint32_t>(MINUTES_PER_DAY));
    return MinutesToDate(total, hour, minute, month, day, year);
}
