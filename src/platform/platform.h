// platform.h: everything the library and the application need from the
// operating system. Nothing above this layer includes a system header.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Command line -----------------------------------------------------
// The full command line, program path included, as one 8-bit text; null
// when the process has none. POSIX has no such text: the entry joins argv
// into one and hands it over here. The line is not copied and must outlive
// every later call.
const char* PlatCommandLine();
void PlatSetCommandLine(const char* line);

// ---- Process and threads ---------------------------------------------
// Full path of the program file into buf (capacity counts the terminator);
// 1 on success, 0 with an empty buffer when it cannot be had.
std::int32_t PlatModulePath(char* buf, std::int32_t capacity);
std::uint32_t PlatThreadId();
void PlatSleepMs(std::int32_t milliseconds);
void PlatDebugBreak();
// Runs a command line through the command interpreter. The result is the
// command's exit status, or -1 when the interpreter could not be started or
// the command did not end normally.
std::int32_t PlatRunCommand(const char* line);
#ifdef _WIN32
// What the Windows entry hands on besides the command line: the program's
// module handle and the window show state it was started with.
void* PlatModuleHandle();
std::int32_t PlatShowState();
#endif

// ---- Processor --------------------------------------------------------
// Instruction sets the library's faster paths may use, each bit set only
// when both the processor and the operating system support it.
inline constexpr std::uint32_t PLAT_CPU_PCLMUL = 1;  // carry-less multiplication
std::uint32_t PlatCpuFeatures();

// ---- Console ----------------------------------------------------------
// A console handle is never 0, so that 0 can mean "none".
std::uintptr_t PlatConsoleOpen();
void PlatConsoleTitle(const char* title);
// Writes all len bytes, looping over partial writes; failures are ignored.
void PlatConsoleWrite(std::uintptr_t console, const char* text, std::size_t len);
// A modal error box: on POSIX caption and text go to standard error, and
// the call waits for Enter only when a person is at the terminal.
void PlatMessageBox(const char* caption, const char* text);

// ---- The re-entrant lock ----------------------------------------------
// Re-entrant for its owner, counting each take. Create gives null when no
// lock can be had. An unlock by a thread that does not hold the lock
// changes nothing.
struct PlatMutex;
PlatMutex* PlatMutexCreate();
std::int32_t PlatMutexLock(PlatMutex* mutex);  // 1 when owned
void PlatMutexUnlock(PlatMutex* mutex);
void PlatMutexDestroy(PlatMutex* mutex);

// ---- Log file ---------------------------------------------------------
// Descriptors returned here are never 0, 1 or 2, so 0 stays free to mean
// "no file open" even when the standard streams were closed.
// Opens for writing, creating it (read and write permission), shared;
// append 1 keeps the contents and moves to the end, 0 empties the file.
// Returns the descriptor, or -1 with the error number in *error.
std::int32_t PlatLogOpen(const char* path, std::int32_t append, std::int32_t* error);
// Writes text, storing every line feed as carriage return and line feed.
// 1 when every byte was written.
std::int32_t PlatLogWrite(std::int32_t fd, const char* text, std::size_t len);
void PlatLogCommit(std::int32_t fd);
void PlatLogClose(std::int32_t fd);

// ---- Files and directories --------------------------------------------
#ifdef _WIN32
inline constexpr std::int32_t PLAT_ERROR_ALREADY_EXISTS = 183;  // ERROR_ALREADY_EXISTS
#else
inline constexpr std::int32_t PLAT_ERROR_ALREADY_EXISTS = 17;  // EEXIST
#endif
// Current directory into buf; 1 on success, 0 (buffer untouched) when it
// does not fit or cannot be had.
std::int32_t PlatCurrentDir(char* buf, std::int32_t capacity);
// Creates one directory; 1 on success, else 0 with the error code in *error.
std::int32_t PlatMakeDir(const char* path, std::int32_t* error);
// 1 when the path names an existing object of any kind.
std::int32_t PlatPathExists(const char* path);
#ifdef _WIN32
inline constexpr char PLAT_PATH_SEPARATOR = '\\';
#else
inline constexpr char PLAT_PATH_SEPARATOR = '/';
#endif
// Reading a file from its first byte to its last, in pieces of the
// caller's choosing. Open gives 1 with the handle in *file and the length
// in *size, or 0 when the file cannot be opened for reading. Read gives 1
// with the number of bytes read into buffer in *got (0 at the end of the
// file), or 0 on an error. Every opened handle is closed once.
std::int32_t PlatFileOpen(const char* path, std::uintptr_t* file, std::uint64_t* size);
std::int32_t PlatFileRead(std::uintptr_t file, void* buffer, std::size_t capacity,
                          std::size_t* got);
void PlatFileClose(std::uintptr_t file);

// ---- Memory -----------------------------------------------------------
// The "local heap": zero-filled blocks, kept apart from malloc's.
void* PlatLocalAlloc(std::size_t size);
void PlatLocalFree(void* block);

// ---- Clock ------------------------------------------------------------
struct PlatTime {
    std::int32_t second;  // 0..60
    std::int32_t minute;  // 0..59
    std::int32_t hour;    // 0..23
    std::int32_t day;     // day of the month, 1..31
    std::int32_t month;   // 0..11
    std::int32_t year;    // years since 1900
};
std::int64_t PlatTimeNow();
void PlatLocalTime(std::int64_t seconds, PlatTime* out);
// Tests only: replace the clock read by PlatTimeNow (null restores it).
// The program itself never calls this.
void PlatSetTimeSource(std::int64_t (*source)());
