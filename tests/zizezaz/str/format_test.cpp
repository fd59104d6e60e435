// format_test.cpp: the formatter. Every case runs with every capacity from
// zero to a roomy one, inside guard bytes, so that a wrong byte, a cut in
// the wrong place or a stray write shows up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"
#include "zizezaz/str/format.h"

namespace {

using FormatCall = std::int32_t (*)(char* out, std::int32_t capacity);

struct FormatCase {
    const char* call;      // the arguments as written, for messages
    std::string expected;  // may hold a zero byte (%c of 0)
    FormatCall run;
};

// FMT("expected", format, args...) runs StrFormat(out, capacity, format, args...).
#define FMT(expected, ...)                                                                         \
    FormatCase {                                                                                   \
#__VA_ARGS__, std::string(expected, sizeof(expected) - 1),                                 \
            [](char* out, std::int32_t capacity) { return StrFormat(out, capacity, __VA_ARGS__); } \
    }

constexpr std::int32_t GUARD = 16;
constexpr char GUARD_BYTE = '\xA5';
constexpr char FILL_BYTE = '\xCC';

void RunAtCapacity(const FormatCase& c, std::int32_t capacity) {
    SCOPED_TRACE(testing::Message() << c.call << " into capacity " << capacity);
    std::vector<char> buffer(static_cast<std::size_t>(GUARD + capacity + GUARD), GUARD_BYTE);
    char* out = buffer.data() + GUARD;
    std::memset(out, FILL_BYTE, static_cast<std::size_t>(capacity));

    const std::int32_t result = c.run(out, capacity);

    const auto length = static_cast<std::int32_t>(c.expected.size());
    const std::int32_t stored = capacity < 1 ? 0 : std::min(length, capacity - 1);
    EXPECT_EQ(result, stored);
    if (capacity >= 1) {
        EXPECT_EQ(std::string(out, static_cast<std::size_t>(stored)),
                  c.expected.substr(0, static_cast<std::size_t>(stored)));
        EXPECT_EQ(out[stored], '\0');
    }
    for (std::int32_t i = capacity < 1 ? 0 : stored + 1; i < capacity; ++i) {
        ASSERT_EQ(out[i], FILL_BYTE) << "byte " << i << " written past the terminator";
    }
    for (std::int32_t i = 0; i < GUARD; ++i) {
        ASSERT_EQ(buffer[static_cast<std::size_t>(i)], GUARD_BYTE) << "guard before, byte " << i;
        ASSERT_EQ(buffer[static_cast<std::size_t>(GUARD + capacity + i)], GUARD_BYTE)
            << "guard after, byte " << i;
    }
}

// Zero-size, every short size (each cut place), exact fit and roomy.
void RunCases(const std::vector<FormatCase>& cases) {
    for (const FormatCase& c : cases) {
        const auto length = static_cast<std::int32_t>(c.expected.size());
        for (std::int32_t capacity = 0; capacity <= length + 1; ++capacity)
            RunAtCapacity(c, capacity);
        RunAtCapacity(c, length + 40);
    }
}

const unsigned char IP_PRIVATE[] = {192, 168, 0, 1};
const unsigned char IP_TEN[] = {10, 0, 0, 255};
const unsigned char IP_MIXED[] = {0, 5, 100, 205};
const unsigned char DEAD_BEEF[] = {0xDE, 0xAD, 0xBE, 0xEF};
const char NO_TERMINATOR[] = {'a', 'b', 'c'};
const char WITH_DEL[] =
    "ab\x7f"
    "cd";
const std::uint16_t WIDE_ABC[] = {'a', 'b', 'c', 0};
const std::uint16_t WIDE_HIGH_UNITS[] = {0x0141, 0x2042, 0};  // low bytes A, B
const std::uint16_t WIDE_STOPS_AT0100[] = {'a', 0x0100, 'b', 0};
const std::uint16_t WIDE_DEL[] = {'a', 0x7F, 'b', 0};
const std::uint16_t WIDE_DEL_HIGH[] = {'a', 0x017F, 'b', 0};
const std::uint16_t WIDE_NO_TERMINATOR[] = {'x', 'y'};

TEST(StrFormat, PlainTextTabsAndPercent) {
    RunCases({
        FMT("", "%s", ""),
        FMT("abc", "abc"),
        FMT("100%", "100%%"),
        FMT("e", "%e"),
        FMT("C", "%C"),
        FMT("h", "%h"),
        FMT("I64", "%I64"),
        FMT("abc", "abc%"),
        FMT("abc", "abc%#-+'012.4"),
        FMT("#d", "%-#d"),  // flags out of order: the # is the conversion
        FMT("    ", "\t"),
        FMT("ab  ", "ab\t"),
        FMT("abcd    |", "abcd\t|"),
        FMT("abc |", "%s\t|", "abc"),
        FMT("a\nb |", "a\nb\t|"),   // columns count from the call's start
        FMT("a\tb", "%s", "a\tb"),  // tabs in arguments stay
        FMT("1099511627776|7|0.500000|z", "%ll|%d|%f|%s", 1LL << 40, 7, 0.5, "z"),
    });
}

TEST(StrFormat, Integers) {
    RunCases({
        FMT("0", "%d", 0),
        FMT("-2147483648", "%d", std::numeric_limits<int>::min()),
        FMT("12", "%i", 12),
        FMT("05", "%.2d", 5),
        FMT("2024", "%.4d", 2024),
        FMT("       123", "%10d", 123),
        FMT("42   |", "%-5d|", 42),
        FMT("42   |", "%-05d|", 42),  // right padding is never zeros
        FMT("-0042", "%05d", -42),
        FMT("+7", "%+d", 7),
        FMT("+0007", "%+05d", 7),
        FMT("  007", "%5.3d", 7),
        FMT("   42", "%*d", 5, 42),
        FMT("42", "%*d", -5, 42),
        FMT("007", "%.*d", 3, 7),
        FMT("7", "%.*d", -1, 7),
        FMT("", "%.0d", 0),
        FMT("[]", "[%5.0d]", 0),  // not even padding
        FMT("7", "%.0d", 7),
        FMT("1,234,567", "%'d", 1234567),
        FMT("-1,234", "%'d", -1234),
        FMT("5d", "%ld", 5),
        FMT("5", "%ll", 5LL),
        FMT("5d", "%lld", 5LL),
        FMT("-9223372036854775808", "%ll", std::numeric_limits<long long>::min()),
        FMT("-1", "%I64d", -1LL),
        FMT("18446744073709551615", "%I64u", -1LL),
        FMT("ABC", "%I64x", 0xABCLL),
        FMT("-1", "%I64x", -1LL),
        FMT("4294967295", "%u", -1),
        FMT("5", "%+u", 5),
        FMT("7", "%U", 7),
        FMT("5nic", "%unic", 5),  // a word only counts whole
        FMT("5p", "%ip", 5),
        FMT("FF", "%X", 255),
        FMT("ffffffff", "%x", -1),
        FMT("0xff", "%#x", 255),
        FMT("0xFF", "%#X", 255),
        FMT("0x    ff", "%#6x", 255),  // the prefix goes ahead of the padding
        FMT("0000BEEF", "%.8X", 0xBEEF),
        FMT(" CD", " %.2X", 0xCD),
        FMT("fff,fff", "%'x", 0xffffff),
        FMT("010", "%#o", 8),
        FMT("10", "%O", 8),
        FMT("101", "%b", 5),
        FMT("11,111,111,111,111,111,111,111,111,111,111", "%'b", -1),
        FMT("0x000012AB", "0x%p", reinterpret_cast<void*>(0x12AB)),
        FMT("0x000012AB", "%#p", reinterpret_cast<void*>(0x12AB)),
        FMT("000012AB", "%.2p", reinterpret_cast<void*>(0x12AB)),
        FMT("00000000", "%p", nullptr),
// Pointers take at least eight digits, and in a 32-bit build exactly eight,
// the highest address included.
#if UINTPTR_MAX > 0xFFFFFFFFu
        FMT("123456789ABC", "%p", reinterpret_cast<void*>(0x123456789ABCull)),
        FMT("FFFFFFFFFFFFFFFF", "%p", reinterpret_cast<void*>(~std::uintptr_t{0})),
        FMT("FFFFFFFFFFFFFFFF", "%+p", reinterpret_cast<void*>(~std::uintptr_t{0})),
#else
        FMT("89ABCDEF", "%p", reinterpret_cast<void*>(0x89ABCDEFu)),
        FMT("FFFFFFFF", "%p", reinterpret_cast<void*>(~std::uintptr_t{0})),
        FMT("FFFFFFFF", "%+p", reinterpret_cast<void*>(~std::uintptr_t{0})),
#endif
    });
}

TEST(StrFormat, FixedAndFloatingPoint) {
    RunCases({
        FMT("1.500000", "%a", 0x18000),
        FMT("65535.999984", "%a", -1),  // cut, not rounded
        FMT("65,535.999984", "%'a", -1),
        FMT("+1.000000", "%+a", 0x10000),
        FMT("001.500000", "%.10a", 0x18000),
        FMT("", "%.0a", 0x8000),  // below 1 with precision 0: nothing
        FMT("1.500000", "%.0a", 0x18000),
        FMT("2.500000", "%f", 2.5),
        FMT("3", "%.0f", 2.5),
        FMT("3", "%.f", 2.5),
        FMT("2.00", "%.2f", 1.999),
        FMT("0.333333333", "%.12f", 1.0 / 3.0),
        FMT("-1.500000", "%f", -1.5),
        FMT("0.000000", "%f", -0.0),
        FMT("-02.5", "%05.1f", -2.5),
        FMT("      3.14", "%10.2f", 3.14159),
        FMT("1,234,567.3", "%'.1f", 1234567.25),
        FMT("1.#QNAN0", "%f", std::numeric_limits<double>::quiet_NaN()),
        FMT("1.#QNAN0", "%+f", -std::numeric_limits<double>::quiet_NaN()),
        FMT("  1.#QNAN0", "%10f", std::numeric_limits<double>::quiet_NaN()),
        FMT("1.#INF00", "%f", std::numeric_limits<double>::infinity()),
        FMT("-1.#INF00", "%f", -std::numeric_limits<double>::infinity()),
        // Beyond what 64 bits hold the integer part saturates.
        FMT("18446744073709551615.000000", "%f", 1e300),
    });
}

TEST(StrFormat, CharactersAndText) {
    RunCases({
        FMT("A", "%c", 'A'),
        FMT("A", "%c", 0x141),
        FMT("  x", "%3c", 'x'),
        FMT("  x", "%+03c", 'x'),  // plus and zero-pad do not apply
        FMT("a\0b", "a%cb", 0),
        FMT("NULL", "%s", nullptr),
        FMT("NULL", "%10.2s", nullptr),  // NULL ignores width and precision
        FMT("   ab", "%5s", "ab"),
        FMT("   ab", "%+05s", "ab"),
        FMT("ab   |", "%-5s|", "ab"),
        FMT("ab", "%.2s", "abcdef"),
        FMT("abc", "%.3s", NO_TERMINATOR),  // never reads past the precision
        FMT("ABC", "%S", "abc"),
        FMT("A\xe9Z[", "%S", "a\xe9z["),  // ASCII letters only
        FMT("\xff\x80", "%s", "\xff\x80"),
        FMT("ab", "%s", WITH_DEL),
        FMT("NONASCII", "%#s", WITH_DEL),
        FMT("NONASCII", "%#20s", WITH_DEL),  // directly, no padding
        FMT("NONASCII", "%#.2s", WITH_DEL),
        FMT("abc", "%#s", "abc"),
        FMT("abc", "%unicode", WIDE_ABC),
        FMT("ABC", "%Unicode", WIDE_ABC),
        FMT("xy", "%.2unicode", WIDE_NO_TERMINATOR),
        FMT("AB", "%unicode", WIDE_HIGH_UNITS),
        FMT("a", "%unicode", WIDE_STOPS_AT0100),
        FMT("a", "%unicode", WIDE_DEL),
        FMT("NONASCII", "%#unicode", WIDE_DEL),
        FMT("NONASCII", "%#unicode", WIDE_DEL_HIGH),
        FMT("NULL", "%Unicode", nullptr),
        FMT("192.168.0.1", "%ipv4", IP_PRIVATE),
        FMT("10.0.0.255", "%ipv4", IP_TEN),
        FMT("0.5.100.205", "%ipv4", IP_MIXED),
        FMT("  10.0.0.255", "%12ipv4", IP_TEN),
        FMT("192", "%.3ipv4", IP_PRIVATE),
        FMT("NULL", "%ipv4", nullptr),
        FMT("DEADBEEF", "%4HEX", DEAD_BEEF),
        FMT("deadbeef", "%4hex", DEAD_BEEF),
        FMT("DEADBEEF", "%4Hex", DEAD_BEEF),
        FMT("dead|", "%*hex|", 2, DEAD_BEEF),
        FMT("|", "%*HEX|", -3, DEAD_BEEF),
        FMT("NULL", "%4HEX", nullptr),
        FMT("HeX", "%HeX"),
    });
}

// Widths and precisions of ten digits (10^9 to 2^31 - 1) are read whole,
// written out or through '*'. Such a field is far longer than any buffer,
// so each row gives only its first characters and runs at every capacity
// that cuts inside them.
TEST(StrFormat, TenDigitWidthAndPrecision) {
    const std::vector<FormatCase> cases = {
        FMT("               ", "%1000000000.200000000d", 5),
        FMT("               ", "%*.*d", 1000000000, 200000000, 5),
        FMT("     0000000000", "%1000000005.1000000000d", 5),
        FMT("       00000000", "%2147483647.2147483640d", 5),
        FMT("5              ", "%-2147483647d", 5),
        FMT("000000000000000", "%.2147483647d", 5),
        FMT("               ", "%99999999999d", 5),  // longer runs stay at the largest
    };
    for (const FormatCase& c : cases) {
        const auto length = static_cast<std::int32_t>(c.expected.size());
        for (std::int32_t capacity = 0; capacity <= length + 1; ++capacity)
            RunAtCapacity(c, capacity);
    }
}

// Log output to standard output, to be captured; restored afterwards.
class FormatReport : public testing::Test {
protected:
    void SetUp() override {
        savedFlags_ = LogState.flags;
        savedConsole_ = LogState.consoleHandle;
        LogState.flags = LOG_CONSOLE;
        LogState.consoleHandle = PlatConsoleOpen();
        testing::internal::CaptureStdout();
    }
    void TearDown() override {
        LogState.flags = savedFlags_;
        LogState.consoleHandle = savedConsole_;
    }
    std::uint32_t savedFlags_ = 0;
    std::uintptr_t savedConsole_ = 0;
};

TEST_F(FormatReport, OverrunNamesTheFormat) {
    char out[4];
    EXPECT_EQ(StrFormat(out, 4, "abcdef"), 3);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nERROR: The next string overran the print buffer!\nLINE: abcdef");
}

TEST_F(FormatReport, ExactFitIsNoOverrun) {
    char out[4];
    EXPECT_EQ(StrFormat(out, 4, "%s", "abc"), 3);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(StrFormat(out, 1, ""), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(FormatReport, FieldThatDoesNotFit) {
    char out[6];
    EXPECT_EQ(StrFormat(out, 6, "%10d|%s", 5, "tail"), 5);
    EXPECT_STREQ(out, "     ");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nERROR: The next string overran the print buffer!\nLINE: %10d|%s");
}

TEST_F(FormatReport, TooSmallForAnything) {
    char out[1] = {'x'};
    EXPECT_EQ(StrFormat(out, 0, "abc"), 0);
    EXPECT_EQ(StrFormat(out, -5, "abc"), 0);
    EXPECT_EQ(out[0], 'x');
    const std::string report =
        "\n\nERROR: The next string too small to contain anything!\nLINE: abc";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), report + report);
}

TEST(StrFormatDeathTest, NullDestinationOrFormat) {
    char out[8];
    EXPECT_EXIT(StrFormat(nullptr, 8, "x"), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(StrFormat(out, 8, nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
}

}  // namespace
