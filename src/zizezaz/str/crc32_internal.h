// crc32_internal.h: the block CRC's two methods one by one, so that tests
// and benchmarks reach the one this processor would not choose. Not for callers.
#pragma once

#include <cstddef>
#include <cstdint>

// The table alone, as on a processor without carry-less multiplication.
std::uint32_t Crc32BlockBytewise(std::uint32_t crc, const void* data, std::size_t length);
// Carry-less multiplication where the block is long enough for it; 0 (and
// *value untouched) when this processor cannot multiply that way.
std::int32_t Crc32BlockFolded(std::uint32_t crc, const void* data, std::size_t length,
                              std::uint32_t* value);
