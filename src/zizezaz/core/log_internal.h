// log_internal.h: the log's process-wide state, shared by the log output,
// start-up and shut-down, and reachable from the tests. Not for callers.
#pragma once

#include <cstdarg>
#include <cstdint>

struct PlatMutex;
struct PlatTime;

inline constexpr std::int32_t LOG_PATH_CAPACITY = 260;
inline constexpr std::int32_t LOG_BUFFER_CAPACITY = 4096;

struct LogStateRecord {
    std::uint32_t flags;
    std::int32_t fileDescriptor;  // 0: no file open
    char basePath[LOG_PATH_CAPACITY];
    char currentPath[LOG_PATH_CAPACITY];
    std::uint32_t mainThreadId;
    char debugBuffer[LOG_BUFFER_CAPACITY];
    const char* locationFile;
    std::int32_t locationLine;
    std::uintptr_t consoleHandle;  // 0: none
    PlatMutex* mutex;
    std::int32_t lockBypass;  // 1 while locking is off
};

extern LogStateRecord LogState;

std::int32_t LogCompose(std::int32_t fatal, const char* prefix, const char* file, std::int32_t line,
                        const char* format, va_list args);
std::int32_t LogWrite(char* text, std::int32_t fatal);
[[noreturn]] void LogAbortV(const char* format, va_list args);

// The lock's plumbing, used by start-up and shut-down. The bypass is
// switched only while holding the mutex.
std::int32_t LogSetLockBypass(std::int32_t bypass);
std::int32_t LogMutexCreate();
std::int32_t LogMutexDestroy();

// The log file's path for a program file at modulePath and the name given
// to CoreInit, into path (LOG_PATH_CAPACITY bytes). Pure: no state, no system.
std::int32_t CoreLogPath(const char* modulePath, const char* logName, char* path);

// The file that a message goes to, into name (LOG_PATH_CAPACITY bytes): the
// base path with the date and, for a thread other than the main one, the
// thread's number, or the error file for a fatal message with
// LOG_ERROR_FILE. 0 when the message goes to no file. Pure: the caller
// supplies the moment and the thread.
std::int32_t LogFileName(const char* basePath, std::uint32_t flags, std::int32_t fatal,
                         const PlatTime* now, std::uint32_t threadId, std::int32_t otherThread,
                         char* name);
