// date.h: calendar arithmetic on a count of minutes since 00:00 on
// 31 December 1969, and the shift of the captured time by /OFFSET and a
// field's parameter. Years are years since 1900 in 8 bits (1900 to 2155),
// months 0 to 11, days 1 to 31; every fourth year is a leap year.
#pragma once

#include <cstdint>

struct AppConfig;

std::int32_t DateToMinutes(std::int32_t* minutes, std::uint8_t hour, std::uint8_t minute,
                           std::uint8_t month, std::uint8_t day, std::uint8_t year);
std::int32_t MinutesToDate(std::int32_t minutes, std::uint8_t* hour, std::uint8_t* minute,
                           std::uint8_t* month, std::uint8_t* day, std::uint8_t* year);
// The record's captured time shifted by its offset text and then by the
// parameter, a number of days. Changes nothing in the record.
std::int32_t DateApplyOffset(const AppConfig* config, const char* parameter, std::uint8_t* hour,
                             std::uint8_t* minute, std::uint8_t* month, std::uint8_t* day,
                             std::uint8_t* year);
