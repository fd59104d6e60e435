// str_test.cpp: bounds, results and case rules of the string primitives,
// and the fatal paths of the number conversion.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "zizezaz/str/str.h"

namespace {

constexpr std::int32_t kGuard = 8;
constexpr char kGuardByte = '\xA5';

TEST(StrLength, EveryLengthAtEveryAlignment)
{
    // Each text ends at the very end of its own heap block, so a scan that
    // reads ahead of the terminator is caught by the sanitizer build.
    for (std::int32_t offset = 0; offset < 8; ++offset) {
        for (std::int32_t length = 0; length < 40; ++length) {
            const auto size = static_cast<std::size_t>(offset + length + 1);
            auto block = std::make_unique<char[]>(size);
            std::memset(block.get(), '\x80', size);
            for (std::int32_t i = 0; i < length; i += 3) block[static_cast<std::size_t>(offset + i)] = '\xff';
            block[size - 1] = '\0';
            EXPECT_EQ(StrLength(block.get() + offset), length) << "offset " << offset;
        }
    }
}

TEST(StrCopyN, BoundsAndResult)
{
    struct Case {
        const char* source;
        std::int32_t capacity;
        const char* stored;
        std::int32_t result;
    };
    const Case cases[] = {
        {"abc", 4, "abc", 0},  // exactly capacity - 1: stored whole, yet "cut"
        {"abc", 5, "abc", 1},  {"abcdef", 3, "ab", 0}, {"", 2, "", 1},   {"xy", 2, "x", 0},
        {"abc", 1, "", 0},     // below what callers use: only the terminator
        {"\xe9t\xe9", 8, "\xe9t\xe9", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " capacity " << c.capacity);
        std::vector<char> buffer(static_cast<std::size_t>(kGuard + c.capacity + kGuard), kGuardByte);
        char* out = buffer.data() + kGuard;
        EXPECT_EQ(StrCopyN(out, c.source, c.capacity), c.result);
        EXPECT_STREQ(out, c.stored);
        const auto used = std::strlen(c.stored) + 1;
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            if (i < kGuard || i >= kGuard + used) {
                ASSERT_EQ(buffer[i], kGuardByte) << "byte " << i;
            }
        }
    }
}

TEST(StrCopyN, CapacityZeroStoresNothing)
{
    char out[2] = {'x', 'y'};
    EXPECT_EQ(StrCopyN(out, "abc", 0), 0);
    EXPECT_EQ(StrCopyN(out, "abc", -1), 0);
    EXPECT_EQ(out[0], 'x');
    EXPECT_EQ(out[1], 'y');
}

TEST(StrCopy, CopyAndAppend)
{
    char out[16];
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(StrCopy(out, "abc"), 1);
    EXPECT_EQ(StrAppend(out, "de"), 1);
    EXPECT_EQ(StrAppend(out, ""), 1);
    EXPECT_STREQ(out, "abcde");
    EXPECT_EQ(out[6], 'z');
}

TEST(StrEqualNoCase, AsciiLettersOnly)
{
    struct Case {
        const char* first;
        const char* second;
        std::int32_t equal;
    };
    const Case cases[] = {
        {"Target", "TARGET", 1}, {"", "", 1},       {"a", "ab", 0},     {"ab", "a", 0},
        {"", "a", 0},            {"abc", "abd", 0}, {"z", "Z", 1},      {"[", "{", 0},
        {"@", "`", 0},           {"^", "~", 0},     {"\xe9", "\xc9", 0},  // differ by 32, not letters
        {"\xe9", "\xe9", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StrEqualNoCase(c.first, c.second), c.equal) << "[" << c.first << "] [" << c.second << "]";
    }
}

TEST(StrStartsWithNoCase, Prefixes)
{
    struct Case {
        const char* text;
        const char* prefix;
        std::int32_t result;
    };
    const Case cases[] = {
        {"anything", "", 1}, {"", "", 1},     {"ab", "abc", 0},       {"ABCdef", "abc", 1},
        {"[x", "{", 0},      {"", "a", 0},    {"//?/C:", "//?/", 1},  {"\xe9x", "\xc9", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StrStartsWithNoCase(c.text, c.prefix), c.result) << "[" << c.text << "] [" << c.prefix << "]";
    }
}

TEST(StrFind, FirstMatchIgnoringCase)
{
    struct Case {
        const char* text;
        const char* pattern;
        std::int32_t offset;  // -1: not found
    };
    const Case cases[] = {
        {"abc", "", 0},    {"", "x", -1},       {"", "", -1},          {"x/DEBUG", "debug", 2},
        {"aab", "ab", 1},  {"abcabc", "CA", 2}, {"abc", "abcd", -1},   {"a/debugx", "/DEBUG", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "[" << c.text << "] [" << c.pattern << "]");
        const char* position = c.text;  // must be overwritten, with null when absent
        EXPECT_EQ(StrFind(c.text, c.pattern, &position), c.offset >= 0 ? 1 : 0);
        if (c.offset >= 0) {
            EXPECT_EQ(position, c.text + c.offset);
        } else {
            EXPECT_EQ(position, nullptr);
        }
    }
}

TEST(StrToInt, LeadingNumber)
{
    const std::string zeros68(68, '0');
    const std::string decimal69 = zeros68 + "7";  // 69 usable characters: fine
    const std::string hex69 = "0x" + zeros68 + "F";
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    const struct {
        const char* text;
        std::int64_t value;
    } cases[] = {
        {"1d", 1},          {"-2d", -2},       {"10h", 10},          {"+7", 7},
        {"12-3", 12},       {" 5", 0},         {"", 0},              {"--5", 0},
        {"+-5", 0},         {"0x1F", 31},      {"0X1f", 31},         {"0x1Fg", 31},
        {"0x", 0},          {"0xg", 0},        {"0xFFFFFFFF", 4294967295LL},
        {"-9223372036854775808", min},         {"9223372036854775808", min},  // wraps
        {"18446744073709551617", 1},           {"0x10000000000000001", 1},
        {decimal69.c_str(), 7},                {hex69.c_str(), 15},
        {nullptr, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << "[" << (c.text ? c.text : "null") << "]";
}

TEST(StrParseInt64, ValueAndWholeTextResult)
{
    const struct {
        const char* text;
        std::int64_t value;
        std::int32_t result;
    } cases[] = {
        {"123", 123, 1},   {"123x", 123, 0},  {"-0x10", -16, 1},   {"0x1_", 1, 0},
        {"--5", 0, 0},     {"0xFFFFFFFFFFFFFFFF", -1, 1},          {"-18446744073709551615", 1, 1},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min(), 1},
    };
    for (const auto& c : cases) {
        std::int64_t value = 99;
        EXPECT_EQ(StrParseInt64(c.text, &value), c.result) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(StrDeathTest, NumberTooLong)
{
    const std::string decimal70(70, '1');
    EXPECT_EXIT(StrToInt(decimal70.c_str()), testing::ExitedWithCode(1),
                "Input AtoI string too large \\(1111111111111111111111111111111111111111111111111111111111111111111111\\)");
    const std::string signs70 = "+-" + std::string(68, '9') + "d";
    EXPECT_EXIT(StrToInt(signs70.c_str()), testing::ExitedWithCode(1), "Input AtoI string too large \\(\\+-99");
    // The hexadecimal case names the text after its 0x.
    const std::string hex70 = "0x" + std::string(70, 'a');
    EXPECT_EXIT(StrToInt(hex70.c_str()), testing::ExitedWithCode(1), "Input AtoI string too large \\(aaaa");
}

TEST(StrDeathTest, NullPointers)
{
    EXPECT_EXIT(StrCopy(nullptr, "x"), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(StrCopyN(nullptr, "x", 8), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(StrEqualNoCase("a", nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(StrFind("a", "a", nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
}

}  // namespace
