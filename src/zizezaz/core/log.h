// log.h: the one channel through which every part of the system reports.
// Messages go to standard output and/or a log file as the flag word says;
// fatal errors are framed, written and end the process with status 1.
#pragma once

#include <cstdint>

#include "platform/platform.h"

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

// The flags are read on every allocation and release, so the read is
// inline; like the lock's state below, they are the log's own and reached
// through a constant pointer.
extern const std::uint32_t* const LogFlagsWord;
inline std::uint32_t LogGetFlags() {
    return *LogFlagsWord;
}

// The process-wide re-entrant lock; both are no-ops while locking is off.
// Every allocation and every release takes it, so both are inline. The
// lock's state is the log's own; these two constant pointers lead to it.
extern const std::int32_t* const LogLockOff;  // 1 while locking is off
extern PlatMutex* const* const LogLockMutex;  // null before start-up

inline std::int32_t LogLock() {
    if (*LogLockOff == 1) return 1;
    PlatMutex* mutex = *LogLockMutex;
    if (mutex == nullptr) return 0;
    return PlatMutexLock(mutex) ? 1 : 0;
}

inline std::int32_t LogUnlock() {
    if (*LogLockOff == 1) return 1;
    PlatMutex* mutex = *LogLockMutex;
    if (mutex != nullptr) PlatMutexUnlock(mutex);
    return 1;
}

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
