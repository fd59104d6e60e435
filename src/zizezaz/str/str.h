// str.h: bounded string primitives, number parsing and CRC-32 over 8-bit,
// zero-terminated text in buffers owned by the caller. Nothing allocates.
// Capacities count the terminator; case-insensitive operations fold the
// ASCII letters only. Results are 1 for success or true, 0 otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

std::int32_t StrLength(const char* text);
std::int32_t StrCopy(char* destination, const char* source);
// 1 when the source's terminator was copied, 0 when the copy was cut at
// capacity - 1 characters; the destination is terminated either way.
std::int32_t StrCopyN(char* destination, const char* source, std::int32_t capacity);
std::int32_t StrAppend(char* destination, const char* source);
std::int32_t StrEqualNoCase(const char* first, const char* second);
std::int32_t StrStartsWithNoCase(const char* text, const char* prefix);
// Stores the first case-insensitive match of pattern in text, or null.
std::int32_t StrFind(const char* text, const char* pattern, const char** position);
// Leading integer of text (decimal with signs, or 0x hexadecimal); 0 when
// there is none. 70 or more usable characters end the process.
std::int64_t StrToInt(const char* text);
// 1 when the whole text was a number; the (wrapping) value is stored always.
std::int32_t StrParseInt64(const char* text, std::int64_t* value);

// CRC-32 (IEEE 802.3, reflected) of a whole text. caseMode 1 hashes the
// bytes as they are; any other mode hashes the text folded to upper case.
std::int32_t Crc32Update(const char* text, std::int32_t caseMode, std::uint32_t* value);
// CRC-32 of a block of any bytes, continued from crc: start from 0 and pass
// each result back in to go on with the next block. Over the same bytes it
// equals Crc32Update's mode 1; the block may hold zero bytes.
std::uint32_t Crc32Block(std::uint32_t crc, const void* data, std::size_t length);
