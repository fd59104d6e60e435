// crc32.cpp: the CRC-32 of a zero-terminated text, which the template
// engine uses together with the length as a quick identity for names, and
// of a block of any length, which the start-up integrity check takes over
// the whole program file.
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
//
// Folding. Where the processor multiplies polynomials over GF(2)
// (carry-less multiplication), a long block goes faster still. Starting
// from a zero register, the CRC of a message depends only on the message
// polynomial modulo P, so a 128-bit chunk A that stands D bits ahead of a
// chunk B may be replaced by anything congruent to A * x^D, added into B.
// With A split into halves, A = H * x^64 + L,
//     A * x^D  ==  H * (x^(D+64) mod P)  +  L * (x^D mod P)    (mod P),
// two products of a 64-bit half by a 32-bit constant, each under 96 bits,
// so their sum fits in B's 128. A non-zero starting register is the same
// as a zero one with the register XORed into the first four bytes. The
// block is read as four chunks side by side, each folded over the 64 bytes
// to the next, which keeps four independent chains of multiplications
// busy; then the four are folded into one, the remaining 16-byte chunks
// into that, and the last 128 bits and the tail of under 16 bytes go
// through the table from a zero register. The bit order costs one detail:
// the chunks are reflected, and the product of two reflected 64-bit values
// is the reflected 128-bit product times x, so the constants used are
// x^(D+63) and x^(D-1) modulo P. The table and the constants are computed
// here at compile time.
//
// Folding is the one place where the system asks which instructions the
// processor has: the integrity check reads the whole program file at every
// start, and with the table alone it would be a sixth of the run
// (Crc/check/AppCheckIntegrity); names and the fallback keep the table.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "zizezaz/str/ascii.h"
#include "zizezaz/str/crc32_internal.h"
#include "zizezaz/str/str.h"

static constexpr std::uint32_t REFLECTED_POLYNOMIAL = 0xEDB88320u;

static constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? REFLECTED_POLYNOMIAL ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

static constexpr std::array<std::uint32_t, 256> CRC_TABLE = MakeCrcTable();
// Spot checks against the published table.
static_assert(CRC_TABLE[0x01] == 0x77073096u);
static_assert(CRC_TABLE[0x80] == 0xEDB88320u);
static_assert(CRC_TABLE[0xFF] == 0x2D02EF8Du);

// Runs the register crc (neither complemented on entry nor on exit) over
// the n bytes at p, each mapped through fold first.
static std::uint32_t Bytewise(std::uint32_t crc, const std::uint8_t* p, std::size_t n,
                              const std::array<std::uint8_t, 256>& fold) {
    for (std::size_t i = 0; i < n; ++i)
        crc = (crc >> 8) ^ CRC_TABLE[(crc ^ fold[p[i]]) & 0xFFu];
    return crc;
}

// ---- Folding with carry-less multiplication ---------------------------

// The four chains start from four whole chunks.
static constexpr std::size_t FOLD_MINIMUM = 64;

// x^n modulo P, reflected as the register is.
static constexpr std::uint32_t XPowerModP(std::uint32_t n) {
    std::uint32_t r = 0x80000000u;  // x^0
    for (; n > 0; --n)
        r = (r & 1u) ? (r >> 1) ^ REFLECTED_POLYNOMIAL : r >> 1;
    return r;
}
static_assert(XPowerModP(32) == REFLECTED_POLYNOMIAL, "x^32 is P less its top term");
static_assert(XPowerModP(31) == 1u);

// A 32-bit constant as the reflected 64-bit multiplicand it becomes.
static constexpr long long FoldFactor(std::uint32_t power) {
    return std::bit_cast<long long>(std::uint64_t{XPowerModP(power)} << 32);
}

#if defined(__x86_64__) || defined(__i386__)

// x86 is little-endian: a chunk holds the block's first byte in its low bits.
using Chunk = long long __attribute__((vector_size(16)));

[[gnu::target("pclmul")]] static Chunk LoadChunk(const std::uint8_t* p) {
    Chunk chunk;
    std::memcpy(&chunk, p, sizeof chunk);
    return chunk;
}

// chunk * x^D, reduced to under 128 bits, for the D whose factors are given.
[[gnu::target("pclmul")]] static Chunk Fold(Chunk chunk, Chunk factors) {
    return __builtin_ia32_pclmulqdq128(chunk, factors, 0x00) ^
           __builtin_ia32_pclmulqdq128(chunk, factors, 0x11);
}

// The register crc over n >= FOLD_MINIMUM bytes, like Bytewise.
[[gnu::target("pclmul")]] static std::uint32_t Folded(std::uint32_t crc, const std::uint8_t* p,
                                                      std::size_t n) {
    constexpr Chunk OVER64_BYTES = {FoldFactor(512 + 63), FoldFactor(512 - 1)};
    constexpr Chunk OVER16_BYTES = {FoldFactor(128 + 63), FoldFactor(128 - 1)};
    const Chunk start = {static_cast<long long>(crc), 0};
    Chunk a = LoadChunk(p) ^ start;
    Chunk b = LoadChunk(p + 16);
    Chunk c = LoadChunk(p + 32);
    Chunk d = LoadChunk(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        a = Fold(a, OVER64_BYTES) ^ LoadChunk(p);
        b = Fold(b, OVER64_BYTES) ^ LoadChunk(p + 16);
        c = Fold(c, OVER64_BYTES) ^ LoadChunk(p + 32);
        d = Fold(d, OVER64_BYTES) ^ LoadChunk(p + 48);
        p += 64;
        n -= 64;
    }
    Chunk r = Fold(a, OVER16_BYTES) ^ b;
    r = Fold(r, OVER16_BYTES) ^ c;
    r = Fold(r, OVER16_BYTES) ^ d;
    while (n >= 16) {
        r = Fold(r, OVER16_BYTES) ^ LoadChunk(p);
        p += 16;
        n -= 16;
    }
    std::uint8_t last[16];
    std::memcpy(last, &r, sizeof last);
    return Bytewise(Bytewise(0, last, sizeof last, ASCII_SAME), p, n, ASCII_SAME);
}

static bool CanFold() {
    return (PlatCpuFeatures() & PLAT_CPU_PCLMUL) != 0;
}

#else

static std::uint32_t Folded(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    return Bytewise(crc, p, n, ASCII_SAME);
}

static bool CanFold() {
    return false;
}

#endif

// ---- Entry points -----------------------------------------------------

std::int32_t Crc32Update(const char* text, std::int32_t caseMode, std::uint32_t* value) {
    // The CRC of an empty text is 0 by the same arithmetic, no special case.
    // Any mode but 1 hashes the text folded to upper case.
    const std::uint32_t crc = Bytewise(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(text),
                                       static_cast<std::size_t>(StrLength(text)),
                                       caseMode == 1 ? ASCII_SAME : ASCII_UPPER);
    *value = crc ^ 0xFFFFFFFFu;
    return 1;
}

std::uint32_t Crc32BlockBytewise(std::uint32_t crc, const void* data, std::size_t length) {
    return ~Bytewise(~crc, static_cast<const std::uint8_t*>(data), length, ASCII_SAME);
}

std::int32_t Crc32BlockFolded(std::uint32_t crc, const void* data, std::size_t length,
                              std::uint32_t* value) {
    // Where the build has no folding code, CanFold is false by definition.
    // cppcheck-suppress knownConditionTrueFalse
    if (!CanFold()) return 0;
    *value = Crc32Block(crc, data, length);
    return 1;
}

std::uint32_t Crc32Block(std::uint32_t crc, const void* data, std::size_t length) {
    if (length >= FOLD_MINIMUM && CanFold())
        return ~Folded(~crc, static_cast<const std::uint8_t*>(data), length);
    return Crc32BlockBytewise(crc, data, length);
}
