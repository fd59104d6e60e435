// platform_win32.cpp: the platform layer on Windows.

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform_shared.h"

static_assert(PLAT_ERROR_ALREADY_EXISTS == ERROR_ALREADY_EXISTS,
              "callers compare errors with the constant");
static_assert(sizeof(std::uintptr_t) == sizeof(HANDLE), "handles travel as std::uintptr_t");

// The largest piece handed to a single ReadFile or WriteFile, whose counts
// are 32-bit.
static constexpr std::size_t MAX_PIECE = 1u << 30;

static DWORD Piece(std::size_t len) {
    return static_cast<DWORD>(len < MAX_PIECE ? len : MAX_PIECE);
}

// ---- Command line -----------------------------------------------------

// The system keeps the command line; a line set here (the tests do, to
// stand in for one) takes its place.
static const char* commandLine = nullptr;

const char* PlatCommandLine() {
    return commandLine != nullptr ? commandLine : GetCommandLineA();
}

void PlatSetCommandLine(const char* line) {
    commandLine = line;
}

// ---- Process and threads ---------------------------------------------

std::int32_t PlatModulePath(char* buf, std::int32_t capacity) {
    if (capacity < 1) return 0;
    buf[0] = '\0';
    // A result that fills the whole buffer was cut, and a cut path names
    // some other file, so it is refused.
    DWORD n = GetModuleFileNameA(nullptr, buf, static_cast<DWORD>(capacity));
    if (n == 0 || n >= static_cast<DWORD>(capacity)) {
        buf[0] = '\0';
        return 0;
    }
    return 1;
}

std::uint32_t PlatThreadId() {
    return static_cast<std::uint32_t>(GetCurrentThreadId());
}

std::uint32_t PlatCpuFeatures() {
    return PlatCompilerCpuFeatures();
}

void PlatSleepMs(std::int32_t milliseconds) {
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

void PlatDebugBreak() {
    DebugBreak();
}

std::int32_t PlatRunCommand(const char* line) {
    // Anything still buffered in the C streams must reach the console
    // before the command writes to it.
    std::fflush(nullptr);
    // The runtime hands the line to the command interpreter (cmd.exe /c)
    // and returns its exit code, or -1 when it could not be started.
    return static_cast<std::int32_t>(std::system(line));
}

void* PlatModuleHandle() {
    return GetModuleHandleA(nullptr);
}

std::int32_t PlatShowState() {
    STARTUPINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cb = sizeof info;
    GetStartupInfoA(&info);
    // As the runtime's own WinMain start-up passes it on.
    return (info.dwFlags & STARTF_USESHOWWINDOW) ? info.wShowWindow : SW_SHOWDEFAULT;
}

// ---- Console ----------------------------------------------------------

// A console handle here is a descriptor of the C runtime, as on POSIX,
// not the system's handle itself: any descriptor (standard error, a file
// opened by PlatLogOpen) can then stand in for the console, and 0 stays
// free for "none". Writes go to the system handle behind the descriptor,
// untranslated.
std::uintptr_t PlatConsoleOpen() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    // Only a process with no standard output at all gets a console of its
    // own: one whose output was redirected (a scheduler writing to a file,
    // a pipe) keeps it, since a new console would take its place.
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        AllocConsole();
        out = GetStdHandle(STD_OUTPUT_HANDLE);
    }
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return 1;  // writes then fail quietly
    if (reinterpret_cast<HANDLE>(_get_osfhandle(1)) == out) return 1;
    // The runtime's descriptor 1 was bound before a console was allocated.
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(out), _O_BINARY);
    return fd > 0 ? static_cast<std::uintptr_t>(fd) : 1;
}

void PlatConsoleTitle(const char* title) {
    SetConsoleTitleA(title);
}

static void WriteAll(HANDLE handle, const char* text, std::size_t len) {
    while (len > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, text, Piece(len), &written, nullptr) || written == 0) return;
        text += written;
        len -= written;
    }
}

// The system handle behind a descriptor; INVALID_HANDLE_VALUE for one that
// is not open, or a standard one that has no stream behind it (-2).
static HANDLE HandleOf(std::uintptr_t descriptor) {
    if (descriptor > 0x7FFFFFFF) return INVALID_HANDLE_VALUE;
    const std::intptr_t handle = _get_osfhandle(static_cast<int>(descriptor));
    return handle < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(handle);
}

void PlatConsoleWrite(std::uintptr_t console, const char* text, std::size_t len) {
    if (console == 0) return;
    HANDLE handle = HandleOf(console);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return;
    WriteAll(handle, text, len);
}

static void WriteLine(HANDLE to, const char* text) {
    WriteAll(to, text, std::strlen(text));
    WriteAll(to, "\n", 1);
}

void PlatMessageBox(const char* caption, const char* text) {
    if (MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR) > 0) return;
    // No desktop to show it on (a service, a scheduled task without a
    // session): the text must not be lost, so it goes to standard error,
    // as on POSIX.
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    WriteLine(err, caption);
    WriteLine(err, text);
}

// ---- The re-entrant lock ----------------------------------------------

// An unnamed system mutex, re-entrant for its owner and counting each
// take. Its handle is the PlatMutex pointer itself; nothing is allocated.
static HANDLE MutexHandle(PlatMutex* mutex) {
    return reinterpret_cast<HANDLE>(mutex);
}

PlatMutex* PlatMutexCreate() {
    return reinterpret_cast<PlatMutex*>(CreateMutexA(nullptr, FALSE, nullptr));
}

std::int32_t PlatMutexLock(PlatMutex* mutex) {
    if (mutex == nullptr) return 0;
    // An abandoned mutex (its owner thread ended while holding it) is
    // handed over all the same.
    const DWORD result = WaitForSingleObject(MutexHandle(mutex), INFINITE);
    return (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ? 1 : 0;
}

void PlatMutexUnlock(PlatMutex* mutex) {
    // Refused by the system, changing nothing, when the caller is not the owner.
    if (mutex != nullptr) ReleaseMutex(MutexHandle(mutex));
}

void PlatMutexDestroy(PlatMutex* mutex) {
    if (mutex != nullptr) CloseHandle(MutexHandle(mutex));
}

// ---- Log file ---------------------------------------------------------

std::int32_t PlatLogOpen(const char* path, std::int32_t append, std::int32_t* error) {
    // Text mode: the runtime stores each line feed as carriage return and
    // line feed. Shared, so that others may read and write the log while
    // it is open; not inherited by the commands that the program runs.
    const int flags = _O_WRONLY | _O_CREAT | _O_TEXT | _O_NOINHERIT | (append ? 0 : _O_TRUNC);
    int fd = _sopen(path, flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    // The log keeps 0 for "no file"; with the standard streams closed the
    // runtime may hand out 0 to 2, so move the file out of their way,
    // holding each low descriptor until a higher one comes up.
    int held[3];
    int heldCount = 0;
    while (fd >= 0 && fd <= 2 && heldCount < 3) {
        held[heldCount++] = fd;
        fd = _dup(fd);
    }
    const int saved = errno;
    for (int i = 0; i < heldCount; i++)
        _close(held[i]);
    if (fd < 0) {
        *error = saved;
        return -1;
    }
    // A duplicate is inheritable whatever the original was.
    if (heldCount > 0) {
        SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), HANDLE_FLAG_INHERIT, 0);
    }
    if (append) _lseeki64(fd, 0, SEEK_END);
    return fd;
}

std::int32_t PlatLogWrite(std::int32_t fd, const char* text, std::size_t len) {
    // _write counts the caller's bytes, not the carriage returns it adds.
    while (len > 0) {
        const unsigned piece = static_cast<unsigned>(len < MAX_PIECE ? len : MAX_PIECE);
        const int n = _write(fd, text, piece);
        if (n <= 0) return 0;
        text += n;
        len -= static_cast<std::size_t>(n);
    }
    return 1;
}

void PlatLogCommit(std::int32_t fd) {
    _commit(fd);
}

void PlatLogClose(std::int32_t fd) {
    _close(fd);
}

// ---- Files and directories --------------------------------------------

std::int32_t PlatCurrentDir(char* buf, std::int32_t capacity) {
    char local[MAX_PATH * 4];
    const DWORD n = GetCurrentDirectoryA(sizeof local, local);
    if (n == 0 || n >= sizeof local) return 0;
    if (capacity < 1 || n + 1 > static_cast<DWORD>(capacity)) return 0;
    for (DWORD i = 0; i <= n; i++)
        buf[i] = local[i];
    return 1;
}

std::int32_t PlatMakeDir(const char* path, std::int32_t* error) {
    if (CreateDirectoryA(path, nullptr)) return 1;
    *error = static_cast<std::int32_t>(GetLastError());
    return 0;
}

std::int32_t PlatPathExists(const char* path) {
    struct _stat64 st;
    if (_stat64(path, &st) == 0) return 1;
    // The runtime refuses a drive alone ("D:", the drive's current
    // directory), which the caller gets by cutting the separator off a root
    // (D:\); it exists when the drive's root does.
    if (path[0] != '\0' && path[1] == ':' && path[2] == '\0') {
        const char root[] = {path[0], ':', '\\', '\0'};
        return _stat64(root, &st) == 0 ? 1 : 0;
    }
    return 0;
}

std::int32_t PlatFileOpen(const char* path, std::uintptr_t* file, std::uint64_t* size) {
    // Others may go on reading, writing or renaming it meanwhile, as they
    // could with the running program's own file.
    HANDLE handle =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER length;
    // Only files on a disk: a directory does not open, and a pipe or a
    // device has no length to read to.
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &length) ||
        length.QuadPart < 0) {
        CloseHandle(handle);
        return 0;
    }
    *file = reinterpret_cast<std::uintptr_t>(handle);
    *size = static_cast<std::uint64_t>(length.QuadPart);
    return 1;
}

std::int32_t PlatFileRead(std::uintptr_t file, void* buffer, std::size_t capacity,
                          std::size_t* got) {
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, Piece(capacity), &n, nullptr)) return 0;
    *got = n;
    return 1;
}

void PlatFileClose(std::uintptr_t file) {
    CloseHandle(reinterpret_cast<HANDLE>(file));
}

// ---- Memory -----------------------------------------------------------

void* PlatLocalAlloc(std::size_t size) {
    return LocalAlloc(LPTR, size);  // fixed and zero-filled
}

void PlatLocalFree(void* block) {
    LocalFree(block);
}

// ---- Clock ------------------------------------------------------------

static std::int64_t (*timeSource)() = nullptr;

std::int64_t PlatTimeNow() {
    if (timeSource != nullptr) return timeSource();
    return static_cast<std::int64_t>(_time64(nullptr));
}

void PlatLocalTime(std::int64_t seconds, PlatTime* out) {
    const __time64_t t = seconds;
    struct tm tm {};
    _localtime64_s(&tm, &t);
    PlatTimeFromTm(tm, out);
}

void PlatSetTimeSource(std::int64_t (*source)()) {
    timeSource = source;
}
