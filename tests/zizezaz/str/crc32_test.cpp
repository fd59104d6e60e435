// crc32_test.cpp: the CRC-32 against published check values and against a
// bit-at-a-time reference, in both case modes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "zizezaz/str/str.h"

namespace {

// The definition itself, one bit at a time, sharing nothing with the
// table-driven code under test.
std::uint32_t ReferenceCrc(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

std::uint32_t Crc(const std::string& text, std::int32_t caseMode) {
    std::uint32_t value = 0x12345678u;
    EXPECT_EQ(Crc32Update(text.c_str(), caseMode, &value), 1);
    return value;
}

TEST(Crc32Update, CheckValues) {
    struct Case {
        const char* text;
        std::uint32_t crc;
    };
    const Case cases[] = {
        {"", 0x00000000u},          {"a", 0xE8B7BE43u},
        {"abc", 0x352441C2u},       {"ABC", 0xA3830348u},
        {"123456789", 0xCBF43926u}, {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Crc(c.text, 1), c.crc) << c.text;
}

TEST(Crc32Update, CaseModes) {
    // Any mode but 1 hashes the text folded to upper case.
    for (std::int32_t mode : {0, 2, -1}) {
        EXPECT_EQ(Crc("abc", mode), 0xA3830348u) << "mode " << mode;
        EXPECT_EQ(Crc("ABC", mode), 0xA3830348u) << "mode " << mode;
        EXPECT_EQ(Crc("", mode), 0u);
    }
    EXPECT_NE(Crc("abc", 1), Crc("ABC", 1));
}

TEST(Crc32Update, EveryByteAgainstReference) {
    // Every byte value alone and inside a longer name, so that each table
    // entry is exercised; the fold touches a..z and nothing else (not the
    // bytes that differ from a letter by 32, not bytes 128 to 255).
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string name = "Time." + one + "Year4";
        std::string upper = name;
        for (char& c : upper) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        }
        EXPECT_EQ(Crc(one, 1), ReferenceCrc(one)) << "byte " << b;
        EXPECT_EQ(Crc(name, 1), ReferenceCrc(name)) << "byte " << b;
        EXPECT_EQ(Crc(name, 0), ReferenceCrc(upper)) << "byte " << b;
    }
}

}  // namespace
