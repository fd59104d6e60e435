// crc32.cpp: the CRC-32 of a zero-terminated text, which the template
// engine uses together with the length as a quick identity for names.
//
// This is the CRC of IEEE 802.3, zlib and PNG. A CRC treats the message as
// a polynomial over GF(2) and keeps the remainder of its division by the
// generator x^32 + x^26 + x^23 + x^22 + x^16 + x^12 + x^11 + x^10 + x^8 +
// x^7 + x^5 + x^4 + x^2 + x + 1 (0x04C11DB7). Bytes enter least significant
// bit first, so the register is kept bit-reversed and the generator with it
// (0xEDB88320): shifting right moves towards higher powers, and when the bit
// that falls out is 1 the generator is subtracted, which in GF(2) is XOR.
//
// Doing that eight times for each byte is slow, but the effect of eight
// shifts on the register depends only on its low byte XORed with the
// incoming byte, so it is computed once for all 256 values into a table
// and each byte then costs one look-up:
//     crc = (crc >> 8) ^ table[(crc ^ byte) & 0xff]
// The register starts as all ones and is complemented at the end, so that
// leading zero bytes and the length of the text change the result.
#include <array>
#include <cstdint>

#include "zizezaz/str/ascii.h"
#include "zizezaz/str/str.h"

static constexpr std::uint32_t kReflectedPolynomial = 0xEDB88320u;

static constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? kReflectedPolynomial ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

static constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();
// Spot checks against the published table.
static_assert(kCrcTable[0x01] == 0x77073096u);
static_assert(kCrcTable[0x80] == 0xEDB88320u);
static_assert(kCrcTable[0xFF] == 0x2D02EF8Du);

std::int32_t Crc32Update(const char* text, std::int32_t caseMode, std::uint32_t* value) {
    // The CRC of an empty text is 0 by the same arithmetic, no special case.
    const auto* p = reinterpret_cast<const std::uint8_t*>(text);
    std::uint32_t crc = 0xFFFFFFFFu;
    if (caseMode == 1) {
        for (; *p != 0; ++p)
            crc = (crc >> 8) ^ kCrcTable[(crc ^ *p) & 0xFFu];
    } else {
        // The case-insensitive CRC hashes the text folded to upper case; a
        // table keeps the fold out of the loop's branches.
        for (; *p != 0; ++p)
            crc = (crc >> 8) ^ kCrcTable[(crc ^ kAsciiUpper[*p]) & 0xFFu];
    }
    *value = crc ^ 0xFFFFFFFFu;
    return 1;
}
