// crc32_test.cpp: the CRC-32 against published check values and against a
// bit-at-a-time reference, in both case modes, for names and for blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "zizezaz/str/crc32_internal.h"
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

// Bytes 1 to 255 in a scrambled order, so that every table entry and every
// case (letters, their neighbours, bytes above 127) turns up at every place.
std::string Pattern(std::size_t length, std::size_t seed) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(1 + (i * 97 + seed * 31 + (i >> 3)) % 255);
    return bytes;
}

TEST(Crc32Update, EveryLengthInAnExactBuffer) {
    // The text fills its allocation to the terminator, so that a word read
    // past it is caught by the address sanitizer.
    for (std::size_t length = 0; length <= 80; ++length) {
        const std::string text = Pattern(length, length);
        auto exact = std::make_unique<char[]>(length + 1);
        std::memcpy(exact.get(), text.c_str(), length + 1);
        std::string upper = text;
        for (char& c : upper)
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        std::uint32_t exactMode = 0, foldedMode = 0;
        Crc32Update(exact.get(), 1, &exactMode);
        Crc32Update(exact.get(), 0, &foldedMode);
        EXPECT_EQ(exactMode, ReferenceCrc(text)) << "length " << length;
        EXPECT_EQ(foldedMode, ReferenceCrc(upper)) << "length " << length;
    }
}

using BlockCrc = std::uint32_t (*)(std::uint32_t, const void*, std::size_t);

std::uint32_t FoldedOrBytewise(std::uint32_t crc, const void* data, std::size_t length) {
    std::uint32_t value = 0;
    if (!Crc32BlockFolded(crc, data, length, &value)) return Crc32BlockBytewise(crc, data, length);
    return value;
}

TEST(Crc32Block, EveryMethodAtEveryAlignmentAndLength) {
    const std::string zeros(4096, '\0');
    const std::size_t lengths[] = {0,  1,  3,   4,   7,   8,   15,  16,  17,  31,  63,  64,
                                   65, 79, 127, 128, 129, 143, 191, 192, 255, 256, 319, 4109};
    for (BlockCrc crc : {&Crc32Block, &Crc32BlockBytewise, &FoldedOrBytewise}) {
        EXPECT_EQ(crc(0, "123456789", 9), 0xCBF43926u);
        EXPECT_EQ(crc(0, zeros.data(), zeros.size()), 0xC71C0011u);
        for (std::size_t length : lengths) {
            for (std::size_t offset = 0; offset < 16; ++offset) {
                const std::string text = Pattern(length, offset);
                std::uint32_t expected = 0;
                Crc32Update(text.c_str(), 1, &expected);
                // At every distance from an aligned start, and ending where
                // its allocation ends, so that any read past it is caught.
                std::vector<unsigned char> buffer(offset + length);
                std::copy(text.begin(), text.end(), buffer.begin() + static_cast<long>(offset));
                const unsigned char* data = buffer.data() + offset;
                const std::size_t cut = length / 3;  // the first result carried on
                EXPECT_EQ(crc(0, data, length), expected) << length << " at +" << offset;
                EXPECT_EQ(crc(crc(0, data, cut), data + cut, length - cut), expected) << length;
            }
        }
    }
}

#if defined(__x86_64__) || defined(__i386__)
// The folded CRC runs exactly where the processor has carry-less
// multiplication: a wrong answer would run instructions the processor
// lacks, or never take the fast path.
TEST(Crc32Block, FoldsExactlyWhereTheProcessorCan) {
    __builtin_cpu_init();
    const std::uint32_t features = PlatCpuFeatures();
    EXPECT_EQ((features & PLAT_CPU_PCLMUL) != 0, __builtin_cpu_supports("pclmul") != 0);
    std::uint32_t value = 0;
    EXPECT_EQ(Crc32BlockFolded(0, "123456789", 9, &value), (features & PLAT_CPU_PCLMUL) ? 1 : 0);
}
#endif

}  // namespace
