// platform_posix.cpp: the platform layer on Linux and other POSIX systems.

#include "platform/platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
// The header is C, and clang's C++ has no _Bool: a clang build (the fuzz
// targets, the analyser) asks the compiler run-time instead.
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#include <sys/platform/x86.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform_shared.h"

// ---- Command line -----------------------------------------------------

static const char* commandLine = nullptr;

const char* PlatCommandLine() {
    return commandLine;
}

void PlatSetCommandLine(const char* line) {
    commandLine = line;
}

// ---- Process and threads ---------------------------------------------

std::int32_t PlatModulePath(char* buf, std::int32_t capacity) {
    if (capacity < 1) return 0;  // GCOVR_EXCL_BR_LINE: callers pass buffers of their own
    buf[0] = '\0';
    // readlink cuts silently; a result that fills the whole buffer may have
    // been cut, and a cut path names some other file, so it is refused.
    ssize_t n = readlink("/proc/self/exe", buf, static_cast<std::size_t>(capacity));
    if (n <= 0 || n >= capacity) {  // GCOVR_EXCL_START: /proc/self/exe reads in any running Linux program
        buf[0] = '\0';
        return 0;
    }  // GCOVR_EXCL_STOP
    buf[n] = '\0';
    return 1;
}

std::uint32_t PlatThreadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

// The C library asked the processor when it loaded the program, and lets
// us read its answer: asking again (CPUID) leaves a virtual machine, which
// cost 2 % of a whole run (bench/run_compare.sh).
std::uint32_t PlatCpuFeatures() {
#if defined(CPU_FEATURE_ACTIVE)
    return CPU_FEATURE_ACTIVE(PCLMULQDQ) ? PLAT_CPU_PCLMUL : 0u;
#else
    return PlatCompilerCpuFeatures();
#endif
}

void PlatSleepMs(std::int32_t milliseconds) {
    timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {  // GCOVR_EXCL_BR_LINE: no signal handler, so no EINTR
    }
}

void PlatDebugBreak() {  // GCOVR_EXCL_START: the trap ends the process before its counters are written
    (void)raise(SIGTRAP);  // as a breakpoint does, it stops the process where no debugger waits
}  // GCOVR_EXCL_STOP

std::int32_t PlatRunCommand(const char* line) {
    // Anything still buffered in the C streams must reach the terminal
    // before the command writes to it.
    (void)std::fflush(nullptr);
    // Handing the line to the command interpreter is the program's purpose.
    int status = std::system(line);  // NOLINT(cert-env33-c)
    if (status == -1) return -1;  // GCOVR_EXCL_BR_LINE: fails only when no process can be started
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

// ---- Console ----------------------------------------------------------

std::uintptr_t PlatConsoleOpen() {
    // Standard output is descriptor 1; the handle is that number, never 0.
    return STDOUT_FILENO;
}

void PlatConsoleTitle(const char*) {
    // A terminal has no window title of ours to set.
}

static void WriteAll(int fd, const char* text, std::size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, text, len);
        if (n < 0) {  // GCOVR_EXCL_START: fails only with standard output gone, and nothing is left to tell
            if (errno == EINTR) continue;
            return;
        }  // GCOVR_EXCL_STOP
        text += n;
        len -= static_cast<std::size_t>(n);
    }
}

void PlatConsoleWrite(std::uintptr_t console, const char* text, std::size_t len) {
    if (console == 0) return;  // GCOVR_EXCL_BR_LINE: the log writes only to an open console
    WriteAll(static_cast<int>(console), text, len);
}

static void WriteLine(int to, const char* text) {
    WriteAll(to, text, std::strlen(text));
    WriteAll(to, "\n", 1);
}

void PlatMessageBox(const char* caption, const char* text) {
    WriteLine(STDERR_FILENO, caption);
    WriteLine(STDERR_FILENO, text);
    // Unattended runs (cron, pipes, CI) must never hang on the box.
    if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {  // GCOVR_EXCL_START: waits for a person at a terminal
        static constexpr char PROMPT[] = "Press Enter to continue...";
        WriteAll(STDERR_FILENO, PROMPT, sizeof PROMPT - 1);
        char c = 0;
        while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') {
        }  // GCOVR_EXCL_STOP
    }
}

// ---- The re-entrant lock ----------------------------------------------

// The log needs one lock at a time, created at start-up and destroyed at
// shut-down, perhaps more than once in a process; one static record serves
// every creation without allocating. The C library's recursive mutex gives
// re-entry with a count of takes and refuses (EPERM) an unlock by a thread
// that does not hold it. The owner is recorded beside it all the same, so
// that such an unlock never reaches the mutex: thread checkers report every
// unlock by a non-owner as a fault, even one the mutex refuses.
struct PlatMutex {
    pthread_mutex_t mutex;
    std::atomic<pthread_t> owner;  // 0 while nobody holds the lock
    std::uint32_t depth;       // takes of the owner; touched by the owner only
};
static_assert(std::atomic<pthread_t>::is_always_lock_free, "read by threads that do not hold it");

static PlatMutex theMutex;

PlatMutex* PlatMutexCreate() {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) return nullptr;  // GCOVR_EXCL_BR_LINE: fails only without memory
    const bool made = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
                      pthread_mutex_init(&theMutex.mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    if (!made) return nullptr;  // GCOVR_EXCL_BR_LINE: fails only without memory
    theMutex.owner.store(0, std::memory_order_relaxed);
    theMutex.depth = 0;
    return &theMutex;
}

std::int32_t PlatMutexLock(PlatMutex* mutex) {
    if (mutex == nullptr || pthread_mutex_lock(&mutex->mutex) != 0) return 0;  // GCOVR_EXCL_BR_LINE: fails only on a destroyed lock
    // pthread_self, not the kernel's thread id: every allocation and release
    // takes the lock, and a system call each time cost 80 times malloc's pair
    // (bench/perf_mem.cpp). glibc's pthread_t is never 0.
    mutex->owner.store(pthread_self(), std::memory_order_relaxed);
    ++mutex->depth;
    return 1;
}

void PlatMutexUnlock(PlatMutex* mutex) {
    // Only the owner can find its own identifier here: every other thread
    // reads another or 0, however the owner's stores interleave.
    if (mutex == nullptr || pthread_equal(mutex->owner.load(std::memory_order_relaxed), pthread_self()) == 0)
        return;
    if (--mutex->depth == 0) mutex->owner.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex->mutex);
}

void PlatMutexDestroy(PlatMutex* mutex) {
    if (mutex != nullptr) pthread_mutex_destroy(&mutex->mutex);  // GCOVR_EXCL_BR_LINE: the log destroys only a lock it made
}

// ---- Log file ---------------------------------------------------------

std::int32_t PlatLogOpen(const char* path, std::int32_t append, std::int32_t* error) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? 0 : O_TRUNC);
    int fd = open(path, flags, 0666);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    // The log keeps 0 for "no file"; with the standard streams closed the
    // kernel may hand out 0 to 2, so move the file out of their way.
    if (fd <= STDERR_FILENO) {
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        int saved = errno;
        close(fd);
        if (moved < 0) {  // GCOVR_EXCL_START: fails only with every descriptor in use
            *error = saved;
            return -1;
        }  // GCOVR_EXCL_STOP
        fd = moved;
    }
    if (append) lseek(fd, 0, SEEK_END);
    return fd;
}

std::int32_t PlatLogWrite(std::int32_t fd, const char* text, std::size_t len) {
    // The file stores line feeds as CR LF on every platform. Translate in
    // chunks so a long text costs a handful of writes, not one per line.
    char chunk[1024];
    std::size_t used = 0;
    std::int32_t ok = 1;
    auto flush = [&]() {
        const char* p = chunk;
        while (used > 0) {
            ssize_t n = write(fd, p, used);
            if (n < 0) {
                if (errno == EINTR) continue;  // GCOVR_EXCL_BR_LINE: no signal handler, so no EINTR
                ok = 0;
                used = 0;
                return;
            }
            p += n;
            used -= static_cast<std::size_t>(n);
        }
    };
    for (std::size_t i = 0; i < len; i++) {
        if (used + 2 > sizeof chunk) flush();
        if (text[i] == '\n') chunk[used++] = '\r';
        chunk[used++] = text[i];
    }
    flush();
    return ok;
}

void PlatLogCommit(std::int32_t fd) {
    fsync(fd);
}

void PlatLogClose(std::int32_t fd) {
    close(fd);
}

// ---- Files and directories --------------------------------------------

static_assert(PLAT_ERROR_ALREADY_EXISTS == EEXIST, "callers compare errors with the constant");

std::int32_t PlatCurrentDir(char* buf, std::int32_t capacity) {
    char local[4096];
    if (getcwd(local, sizeof local) == nullptr) return 0;  // GCOVR_EXCL_BR_LINE: fails only when the directory is removed under the run
    std::size_t n = 0;
    while (local[n] != '\0')
        n++;
    if (capacity < 1 || n + 1 > static_cast<std::size_t>(capacity)) return 0;
    for (std::size_t i = 0; i <= n; i++)
        buf[i] = local[i];
    return 1;
}

std::int32_t PlatMakeDir(const char* path, std::int32_t* error) {
    if (mkdir(path, 0777) == 0) return 1;
    *error = errno;
    return 0;
}

std::int32_t PlatPathExists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? 1 : 0;
}

// Read in pieces rather than mapped: the caller reads the file once from
// end to end, and a read reports an error where a mapping would fault.
std::int32_t PlatFileOpen(const char* path, std::uintptr_t* file, std::uint64_t* size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;  // GCOVR_EXCL_BR_LINE: the program's own file, found a moment before
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // GCOVR_EXCL_START: the program's own file is a regular one
        close(fd);
        return 0;
    }  // GCOVR_EXCL_STOP
    *file = static_cast<std::uintptr_t>(fd);
    *size = static_cast<std::uint64_t>(st.st_size);
    return 1;
}

std::int32_t PlatFileRead(std::uintptr_t file, void* buffer, std::size_t capacity,
                          std::size_t* got) {
    for (;;) {
        ssize_t n = read(static_cast<int>(file), buffer, capacity);
        if (n >= 0) {  // GCOVR_EXCL_BR_LINE: a regular file's read fails only on a device error
            *got = static_cast<std::size_t>(n);
            return 1;
        }
        if (errno != EINTR) return 0;  // GCOVR_EXCL_LINE: a regular file's read fails only on a device error
    }
}

void PlatFileClose(std::uintptr_t file) {
    close(static_cast<int>(file));
}

// ---- Memory -----------------------------------------------------------

void* PlatLocalAlloc(std::size_t size) {
    return std::calloc(1, size);
}

void PlatLocalFree(void* block) {
    std::free(block);
}

// ---- Clock ------------------------------------------------------------

static std::int64_t (*timeSource)() = nullptr;

std::int64_t PlatTimeNow() {
    if (timeSource != nullptr) return timeSource();
    return static_cast<std::int64_t>(std::time(nullptr));
}

void PlatLocalTime(std::int64_t seconds, PlatTime* out) {
    time_t t = static_cast<time_t>(seconds);
    struct tm tm {};
    localtime_r(&t, &tm);
    PlatTimeFromTm(tm, out);
}

void PlatSetTimeSource(std::int64_t (*source)()) {
    timeSource = source;
}
