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
// Slicing. One look-up per byte still makes every step wait for the one
// before it, since the next index needs the register the last look-up
// gave. The CRC is linear, so the effect of a group of bytes on the
// register is the XOR of the effects of each byte alone, each followed by
// the zero bytes that stand for its successors. The effect of a byte b
// followed by k zero bytes is again a fixed function of b, tabled as T[k]:
// T[0] is the table above and T[k][b] = (T[k-1][b] >> 8) ^ T[0][T[k-1][b]
// & 0xff]. So the register is XORed into the first four bytes of a group of
// sixteen, the sixteen bytes are looked up in T[15] down to T[0], and the
// XOR of the sixteen values is the new register: still one look-up per
// byte, but sixteen independent ones at a time. Groups of eight and four
// finish the rest the same way. Names that hash case-insensitively are
// folded to upper case eight bytes at a time with word arithmetic
// (FoldWord), so the fold adds no second look-up.
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
// through the tables from a zero register. The bit order costs one detail:
// the chunks are reflected, and the product of two reflected 64-bit values
// is the reflected 128-bit product times x, so the constants used are
// x^(D+63) and x^(D-1) modulo P. All tables and constants are computed
// here at compile time.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "zizezaz/str/crc32_internal.h"
#include "zizezaz/str/str.h"

static_assert(std::endian::native == std::endian::little,
              "words are read with the first byte of the text in their low bits");

static constexpr std::uint32_t REFLECTED_POLYNOMIAL = 0xEDB88320u;
static constexpr int SLICES = 16;

using CrcTables = std::array<std::array<std::uint32_t, 256>, SLICES>;

static constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? REFLECTED_POLYNOMIAL ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    for (int k = 1; k < SLICES; ++k) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = tables[k - 1][n];
            tables[k][n] = (c >> 8) ^ tables[0][c & 0xFFu];
        }
    }
    return tables;
}

// 16 KiB, aligned so that no table straddles more cache lines than it must.
alignas(64) static constexpr CrcTables CRC_TABLES = MakeCrcTables();
// The first table, for the byte step of str.h.
constinit const std::array<std::uint32_t, 256>& Crc32Table = CRC_TABLES[0];
// Spot checks against the published table.
static_assert(CRC_TABLES[0][0x01] == 0x77073096u);
static_assert(CRC_TABLES[0][0x80] == 0xEDB88320u);
static_assert(CRC_TABLES[0][0xFF] == 0x2D02EF8Du);
// A byte followed by a zero byte, the long way round.
static_assert(CRC_TABLES[1][0x01] ==
              ((CRC_TABLES[0][0x01] >> 8) ^ CRC_TABLES[0][CRC_TABLES[0][0x01] & 0xFFu]));

// ---- Upper-case fold, eight bytes at a time ---------------------------

static constexpr std::uint64_t EVERY_BYTE = 0x0101010101010101u;

// Subtracts 32 from every byte that is an ASCII lower-case letter and
// leaves every other byte alone, bytes 128 to 255 included. Each byte's
// low seven bits plus 0x80 - 'a' reach the byte's top bit exactly when they
// are 'a' or more, and plus 0x80 - '{' when they are above 'z'; neither sum
// can carry into the next byte.
static constexpr std::uint64_t FoldWord(std::uint64_t word) {
    const std::uint64_t low7 = word & (EVERY_BYTE * 0x7Fu);
    const std::uint64_t fromA = low7 + EVERY_BYTE * (0x80u - 'a');
    const std::uint64_t pastZ = low7 + EVERY_BYTE * (0x80u - 'z' - 1u);
    const std::uint64_t lower = fromA & ~pastZ & ~word & (EVERY_BYTE * 0x80u);
    return word ^ (lower >> 2);
}

static constexpr std::uint32_t FoldByte(std::uint32_t byte) {
    return byte ^ (static_cast<std::uint32_t>(byte - 'a' < 26u) << 5);
}

static constexpr std::uint64_t LittleWord(const char (&text)[9]) {
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i)
        word = (word << 8) | static_cast<unsigned char>(text[i]);
    return word;
}
static_assert(FoldWord(LittleWord("azAZ09_.")) == LittleWord("AZAZ09_."));
static_assert(FoldWord(LittleWord("`{@[~\x7F\xE1\xFA")) == LittleWord("`{@[~\x7F\xE1\xFA"),
              "neighbours of the letters and bytes 128 to 255 stay as they are");
static_assert(FoldWord(LittleWord("mYnAmE\x80z")) == LittleWord("MYNAME\x80Z"));
static_assert(FoldByte('a') == 'A' && FoldByte('z') == 'Z' && FoldByte('{') == '{' &&
              FoldByte('`') == '`' && FoldByte('A') == 'A' && FoldByte(0xE1) == 0xE1);

// ---- Slicing ----------------------------------------------------------

static std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

static std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The effect of the eight bytes of word, the first of them followed by
// `after` + 7 others.
template <int after>
static std::uint32_t Slice8(std::uint64_t word) {
    return CRC_TABLES[after + 7][word & 0xFFu] ^ CRC_TABLES[after + 6][(word >> 8) & 0xFFu] ^
           CRC_TABLES[after + 5][(word >> 16) & 0xFFu] ^
           CRC_TABLES[after + 4][(word >> 24) & 0xFFu] ^
           CRC_TABLES[after + 3][(word >> 32) & 0xFFu] ^
           CRC_TABLES[after + 2][(word >> 40) & 0xFFu] ^
           CRC_TABLES[after + 1][(word >> 48) & 0xFFu] ^
           CRC_TABLES[after][static_cast<std::uint32_t>(word >> 56)];
}

// Runs the register crc (neither complemented on entry nor on exit) over
// n bytes, folded to upper case when fold is set. Reads nothing outside
// the n bytes.
template <bool fold>
static std::uint32_t Sliced(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    while (n >= 16) {
        std::uint64_t first = Load64(p);
        std::uint64_t second = Load64(p + 8);
        if constexpr (fold) {
            first = FoldWord(first);
            second = FoldWord(second);
        }
        crc = Slice8<8>(first ^ crc) ^ Slice8<0>(second);
        p += 16;
        n -= 16;
    }
    if (n >= 8) {
        std::uint64_t word = Load64(p);
        if constexpr (fold) word = FoldWord(word);
        crc = Slice8<0>(word ^ crc);
        p += 8;
        n -= 8;
    }
    if (n >= 4) {
        std::uint32_t word = Load32(p);
        if constexpr (fold) word = static_cast<std::uint32_t>(FoldWord(word));
        word ^= crc;
        crc = CRC_TABLES[3][word & 0xFFu] ^ CRC_TABLES[2][(word >> 8) & 0xFFu] ^
              CRC_TABLES[1][(word >> 16) & 0xFFu] ^ CRC_TABLES[0][word >> 24];
        p += 4;
        n -= 4;
    }
    for (; n > 0; --n, ++p) {
        std::uint32_t byte = *p;
        if constexpr (fold) byte = FoldByte(byte);
        crc = Crc32Step(crc, static_cast<unsigned char>(byte));
    }
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
    return static_cast<long long>(std::uint64_t{XPowerModP(power)} << 32);
}

#if defined(__x86_64__)

using Chunk = long long __attribute__((vector_size(16)));

[[gnu::target("pclmul"), gnu::always_inline]] static inline Chunk LoadChunk(const std::uint8_t* p) {
    Chunk chunk;
    std::memcpy(&chunk, p, sizeof chunk);
    return chunk;
}

// chunk * x^D, reduced to under 128 bits, for the D whose factors are given.
[[gnu::target("pclmul"), gnu::always_inline]] static inline Chunk Fold(Chunk chunk, Chunk factors) {
    return __builtin_ia32_pclmulqdq128(chunk, factors, 0x00) ^
           __builtin_ia32_pclmulqdq128(chunk, factors, 0x11);
}

// The register crc over n >= FOLD_MINIMUM bytes, like Sliced.
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
    return Sliced<false>(Sliced<false>(0, last, sizeof last), p, n);
}

static bool CanFold() {
    return (PlatCpuFeatures() & PLAT_CPU_PCLMUL) != 0;
}

#else

static std::uint32_t Folded(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    return Sliced<false>(crc, p, n);
}

static bool CanFold() {
    return false;
}

#endif

// ---- Entry points -----------------------------------------------------

std::int32_t Crc32Update(const char* text, std::int32_t caseMode, std::uint32_t* value) {
    // The CRC of an empty text is 0 by the same arithmetic, no special case.
    const auto* p = reinterpret_cast<const std::uint8_t*>(text);
    const auto n = static_cast<std::size_t>(StrLength(text));
    // Any mode but 1 hashes the text folded to upper case.
    const std::uint32_t crc =
        caseMode == 1 ? Sliced<false>(0xFFFFFFFFu, p, n) : Sliced<true>(0xFFFFFFFFu, p, n);
    *value = crc ^ 0xFFFFFFFFu;
    return 1;
}

std::uint32_t Crc32BlockSliced(std::uint32_t crc, const void* data, std::size_t length) {
    if (length == 0) return crc;
    return ~Sliced<false>(~crc, static_cast<const std::uint8_t*>(data), length);
}

std::int32_t Crc32BlockFolded(std::uint32_t crc, const void* data, std::size_t length,
                              std::uint32_t* value) {
    if (!CanFold()) return 0;
    if (length < FOLD_MINIMUM) {
        *value = Crc32BlockSliced(crc, data, length);
    } else {
        *value = ~Folded(~crc, static_cast<const std::uint8_t*>(data), length);
    }
    return 1;
}

std::uint32_t Crc32Block(std::uint32_t crc, const void* data, std::size_t length) {
    if (length >= FOLD_MINIMUM && CanFold())
        return ~Folded(~crc, static_cast<const std::uint8_t*>(data), length);
    return Crc32BlockSliced(crc, data, length);
}
