// str_test.cpp: bounds, results and case rules of the string primitives,
// and the fatal paths of the number conversion.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"
#include "zizezaz/str/str.h"

namespace {

constexpr std::int32_t GUARD = 8;
constexpr char GUARD_BYTE = '\xA5';

TEST(StrLength, EveryLengthAtEveryAlignment) {
    // Each text ends at the very end of its own heap block, so a scan that
    // reads ahead of the terminator is caught by the sanitizer build.
    for (std::int32_t offset = 0; offset < 8; ++offset) {
        for (std::int32_t length = 0; length < 40; ++length) {
            const auto size = static_cast<std::size_t>(offset + length + 1);
            auto block = std::make_unique<char[]>(size);
            std::memset(block.get(), '\x80', size);
            for (std::int32_t i = 0; i < length; i += 3)
                block[static_cast<std::size_t>(offset + i)] = '\xff';
            block[size - 1] = '\0';
            EXPECT_EQ(StrLength(block.get() + offset), length) << "offset " << offset;
        }
    }
}

TEST(StrCopyN, BoundsAndResult) {
    struct Case {
        const char* source;
        std::int32_t capacity;
        const char* stored;
        std::int32_t result;
    };
    const Case cases[] = {
        {"abc", 4, "abc", 0},  // exactly capacity - 1: stored whole, yet "cut"
        {"abc", 5, "abc", 1},
        {"abcdef", 3, "ab", 0},
        {"", 2, "", 1},
        {"xy", 2, "x", 0},
        {"abc", 1, "", 0},  // below what callers use: only the terminator
        {"\xe9t\xe9", 8, "\xe9t\xe9", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " capacity " << c.capacity);
        std::vector<char> buffer(static_cast<std::size_t>(GUARD + c.capacity + GUARD),
                                 GUARD_BYTE);
        char* out = buffer.data() + GUARD;
        EXPECT_EQ(StrCopyN(out, c.source, c.capacity), c.result);
        EXPECT_STREQ(out, c.stored);
        const auto used = std::strlen(c.stored) + 1;
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            if (i < GUARD || i >= GUARD + used) {
                ASSERT_EQ(buffer[i], GUARD_BYTE) << "byte " << i;
            }
        }
    }
}

TEST(StrCopyN, CapacityZeroStoresNothing) {
    char out[2] = {'x', 'y'};
    EXPECT_EQ(StrCopyN(out, "abc", 0), 0);
    EXPECT_EQ(StrCopyN(out, "abc", -1), 0);
    EXPECT_EQ(out[0], 'x');
    EXPECT_EQ(out[1], 'y');
}

TEST(StrCopy, CopyAndAppend) {
    char out[16];
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(StrCopy(out, "abc"), 1);
    EXPECT_EQ(StrAppend(out, "de"), 1);
    EXPECT_EQ(StrAppend(out, ""), 1);
    EXPECT_STREQ(out, "abcde");
    EXPECT_EQ(out[6], 'z');
}

TEST(StrNoCase, EqualAndStartsWithFoldAsciiLettersOnly) {
    using Compare = std::int32_t (*)(const char*, const char*);
    const Compare equal = StrEqualNoCase;
    const Compare starts = StrStartsWithNoCase;  // the text, then the prefix
    const struct {
        Compare compare;
        const char* first;
        const char* second;
        std::int32_t result;
    } cases[] = {
        {equal, "Target", "TARGET", 1},
        {equal, "", "", 1},
        {equal, "a", "ab", 0},
        {equal, "ab", "a", 0},
        {equal, "", "a", 0},
        {equal, "abc", "abd", 0},
        {equal, "z", "Z", 1},
        {equal, "[", "{", 0},
        {equal, "@", "`", 0},
        {equal, "^", "~", 0},
        {equal, "\xe9", "\xc9", 0},  // differ by 32, not letters
        {equal, "\xe9", "\xe9", 1},
        {starts, "anything", "", 1},
        {starts, "", "", 1},
        {starts, "ab", "abc", 0},
        {starts, "ABCdef", "abc", 1},
        {starts, "[x", "{", 0},
        {starts, "", "a", 0},
        {starts, "//?/C:", "//?/", 1},
        {starts, "\xe9x", "\xc9", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.compare == equal ? "StrEqualNoCase" : "StrStartsWithNoCase") << " ["
                     << c.first << "] [" << c.second << "]");
        EXPECT_EQ(c.compare(c.first, c.second), c.result);
    }
}

TEST(StrFind, FirstMatchIgnoringCase) {
    struct Case {
        const char* text;
        const char* pattern;
        std::int32_t offset;  // -1: not found
    };
    const Case cases[] = {
        {"abc", "", 0},   {"", "x", -1},       {"", "", -1},        {"x/DEBUG", "debug", 2},
        {"aab", "ab", 1}, {"abcabc", "CA", 2}, {"abc", "abcd", -1}, {"a/debugx", "/DEBUG", 1},
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

TEST(StrToInt, LeadingNumber) {
    const std::string zeros68(68, '0');
    const std::string decimal69 = zeros68 + "7";  // 69 usable characters: fine
    const std::string hex69 = "0x" + zeros68 + "F";
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    const struct {
        const char* text;
        std::int64_t value;
    } cases[] = {
        {"1d", 1},
        {"-2d", -2},
        {"10h", 10},
        {"+7", 7},
        {"12-3", 12},
        {" 5", 0},
        {"", 0},
        {"--5", 0},
        {"+-5", 0},
        {"0x1F", 31},
        {"0X1f", 31},
        {"0x1Fg", 31},
        {"0x", 0},
        {"0xg", 0},
        {"0xFFFFFFFF", 4294967295LL},
        {"-9223372036854775808", min},
        {"9223372036854775808", min},  // wraps
        {"18446744073709551617", 1},
        {"0x10000000000000001", 1},
        {decimal69.c_str(), 7},
        {hex69.c_str(), 15},
        {nullptr, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrToInt(c.text), c.value) << "[" << (c.text ? c.text : "null") << "]";
}

TEST(StrParseInt64, ValueAndWholeTextResult) {
    const struct {
        const char* text;
        std::int64_t value;
        std::int32_t result;
    } cases[] = {
        {"123", 123, 1},
        {"123x", 123, 0},
        {"-0x10", -16, 1},
        {"0x1_", 1, 0},
        {"--5", 0, 0},
        {"0xFFFFFFFFFFFFFFFF", -1, 1},
        {"-18446744073709551615", 1, 1},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min(), 1},
    };
    for (const auto& c : cases) {
        std::int64_t value = 99;
        EXPECT_EQ(StrParseInt64(c.text, &value), c.result) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(StrDeathTest, NumberTooLong) {
    const std::string decimal70(70, '1');
    const std::string signs70 = "+-" + std::string(68, '9') + "d";
    const std::string hex70 = "0x" + std::string(70, 'a');
    // Each text and the start of how the report shows it: the hexadecimal
    // case names the text after its 0x.
    const std::pair<std::string, std::string> cases[] = {
        {decimal70, "(" + decimal70 + ")"}, {signs70, "(+-99"}, {hex70, "(aaaa"}};
    for (const auto& [text, shown] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EXIT(StrToInt(text.c_str()), testing::ExitedWithCode(1),
                    Literal("Input AtoI string too large " + shown));
    }
}

TEST(StrDeathTest, NullPointers) {
    EXPECT_EXIT(StrCopy(nullptr, "x"), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(StrCopyN(nullptr, "x", 8), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(StrEqualNoCase("a", nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(StrFind("a", "a", nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
}

}  // namespace
