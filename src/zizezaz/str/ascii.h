// ascii.h: the character classes and the upper-case fold shared by the whole
// system. ASCII only: bytes 128 to 255 belong to no class and fold to
// themselves, and so do the punctuation pairs that differ by 32 ('[' '{').
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::array<std::uint8_t, 256> ASCII_UPPER = [] {
    std::array<std::uint8_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n)
        table[n] = static_cast<std::uint8_t>((n >= 'a' && n <= 'z') ? n - ('a' - 'A') : n);
    return table;
}();

// Every byte as it is, for the places that fold or not by a switch.
inline constexpr std::array<std::uint8_t, 256> ASCII_SAME = [] {
    std::array<std::uint8_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n)
        table[n] = static_cast<std::uint8_t>(n);
    return table;
}();

constexpr unsigned char AsciiUpper(unsigned char c) {
    return ASCII_UPPER[c];
}

constexpr bool AsciiIsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool AsciiIsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The value of a hexadecimal digit of either case, or -1.
constexpr std::int32_t AsciiHexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Both separators count when a path is taken apart, whatever the platform.
constexpr bool AsciiIsPathSeparator(char c) {
    return c == '/' || c == '\\';
}
