// str_internal.h: what the string modules share among themselves. Not for callers.
#pragma once

#include <cstdint>

// The string layer's source name: the location of its fatal reports.
inline constexpr char STR_SOURCE_NAME[] = "orv-str";

// Through the installed handlers of report.h.
[[noreturn]] void StrFatal(std::int32_t line, const char* format, ...);
void StrNote(const char* text);
