// integrity.h: the stamp that the build appends to the program file and
// the check at start-up that the file still carries it unchanged, so that
// a damaged copy refuses to run rather than run wrongly.
#pragma once

#include <cstddef>
#include <cstdint>

// The stamp is a trailer at the very end of the file: the CRC-32
// (Crc32Block, little-endian) of every byte before it, then a fixed mark.
// The loaders of both platforms ignore bytes after the image, so the
// trailer changes nothing else.
struct AppStamp {
    std::uint8_t crc[4];
    char mark[8];
};
static_assert(sizeof(AppStamp) == 12 && alignof(AppStamp) == 1,
              "read in place at the end of the file, whatever its length");

inline constexpr char APP_STAMP_MARK[8] = {'V', 'o', 'r', 'l', 'a', 'C', 'R', 'C'};

// Fills in a trailer for contents whose CRC-32 is crc.
inline void AppStampEncode(std::uint32_t crc, AppStamp* stamp) {
    for (std::size_t i = 0; i < sizeof stamp->crc; ++i)
        stamp->crc[i] = static_cast<std::uint8_t>(crc >> (8 * i));
    for (std::size_t i = 0; i < sizeof stamp->mark; ++i)
        stamp->mark[i] = APP_STAMP_MARK[i];
}

// 1 when the last bytes of the size bytes at data are a trailer, with the
// CRC it records in *crc; 0 when there is none.
inline std::int32_t AppStampDecode(const void* data, std::size_t size, std::uint32_t* crc) {
    if (size < sizeof(AppStamp)) return 0;
    const auto* stamp =
        reinterpret_cast<const AppStamp*>(static_cast<const char*>(data) + size - sizeof(AppStamp));
    for (std::size_t i = 0; i < sizeof stamp->mark; ++i) {
        if (stamp->mark[i] != APP_STAMP_MARK[i]) return 0;
    }
    *crc = 0;
    for (std::size_t i = 0; i < sizeof stamp->crc; ++i)
        *crc |= std::uint32_t{stamp->crc[i]} << (8 * i);
    return 1;
}

// 1 when the file at path ends with a trailer and the CRC-32 of everything
// before it matches; 0 when the trailer is missing, the CRC differs or the
// file cannot be read.
std::int32_t AppCheckIntegrity(const char* path);
