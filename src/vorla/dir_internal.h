// dir_internal.h: the path routines with the separator as a parameter, so
// that both conventions can be exercised on any machine. Not for callers:
// dir.h's operations pass the platform's own separator.
#pragma once

#include <cstdint>

// DirNormalize with `separator` as the native one: the other separator
// character is turned into it, and it is the one appended or removed.
std::int32_t DirNormalizeWith(char* path, std::int32_t trailing, char separator);
// DirCreate putting `separator` back wherever it cut the path.
std::int32_t DirCreateWith(char* path, std::int32_t strip, std::int32_t verbose, char separator);

// DirExists asks about a private copy of the path of at most this many
// characters, without one trailing separator.
inline constexpr std::int32_t DIR_COPY_CAPACITY = 320;
