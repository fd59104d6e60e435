// log.h: the one channel through which every part of the system reports.
// Messages go to standard output and/or a log file as the flag word says;
// fatal errors are framed, written and end the process with status 1.
#pragma once

#include <cstdint>

// The LogFlags word.
inline constexpr std::uint32_t LOG_CONSOLE = 0x0001;
inline constexpr std::uint32_t LOG_FILE = 0x0002;
inline constexpr std::uint32_t LOG_VERBOSE = 0x0004;
inline constexpr std::uint32_t LOG_APPEND = 0x0008;
inline constexpr std::uint32_t LOG_NO_ABORT_BOX = 0x0010;
inline constexpr std::uint32_t LOG_TIMESTAMP = 0x0020;
inline constexpr std::uint32_t LOG_DATED_NAME = 0x0040;
inline constexpr std::uint32_t LOG_ERROR_FILE = 0x0080;
inline constexpr std::uint32_t LOG_PER_THREAD = 0x0100;
inline constexpr std::uint32_t LOG_MEM_TRACE = 0x0200;
inline constexpr std::uint32_t LOG_EXTERNAL_PRINT = 0x0400;
inline constexpr std::uint32_t LOG_NO_BELL = 0x0800;
inline constexpr std::uint32_t LOG_DEBUG_BREAK = 0x1000;
inline constexpr std::uint32_t LOG_MEM_CHECK = 0x2000;
inline constexpr std::uint32_t LOG_CACHE_WRITES = 0x8000;

// The log flag word.
std::uint32_t LogGetFlags();

// The process-wide re-entrant lock; both are no-ops while locking is off.
std::int32_t LogLock();
std::int32_t LogUnlock();

// Fatal-error protocol: LogSetLocation (takes the lock) then LogAbort.
// Code that already holds the lock records with LogSetLocationNoLock.
void LogSetLocation(const char* file, std::int32_t line);
std::int32_t LogSetLocationNoLock(const char* file, std::int32_t line);
[[noreturn]] void LogAbort(const char* format, ...);
// Both steps for the commonest fatal error, "Pointer is NULL\n".
[[noreturn]] void LogAbortNull(const char* file, std::int32_t line);

std::int32_t LogPrint(const char* format, ...);
// For callers that hold the lock: no lock, no flag test.
std::int32_t LogPrintNoLock(const char* format, ...);
std::int32_t LogWriteRaw(const char* text);
// A section line of exactly 79 characters and a line feed; title may be null.
std::int32_t LogBanner(const char* title);
