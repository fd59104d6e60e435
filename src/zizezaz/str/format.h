// format.h: the system's own formatted output into a bounded buffer.
// Always leaves a terminated string; returns the number of characters
// stored before the terminator. An overrun is cut and reported to the log.
//
// Conversions: %d %i %l %ll %I64d %I64u %I64x %u %x %X %p %o %b %a %f %c
// %s %S %Unicode %unicode %ipv4 %HEX %hex; flags # - + ' 0; width and
// precision, both may be *. A tab in the format pads to the next multiple
// of four columns. Arguments: int for the 32-bit conversions, long long
// for %ll and %I64*, double for %f, pointers for %p and the text kinds.
// %p prints upper-case hexadecimal, at least eight digits (more when the
// pointer needs them).
#pragma once

#include <cstdarg>
#include <cstdint>

std::int32_t StrFormat(char* destination, std::int32_t capacity, const char* format, ...);
std::int32_t StrFormatV(char* destination, std::int32_t capacity, const char* format, va_list list);
