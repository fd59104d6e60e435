// platform_posix.cpp: the platform layer on Linux and other POSIX systems.

#include "platform/platform.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>
#endif
#include <sys/syscall.h>
#if __has_include(<sys/platform/x86.h>)
// The header is written for C; clang's C++ has no _Bool, g++ takes it.
#if defined(__clang__)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <type_traits>

#include "platform/platform_lock.h"
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
    if (capacity < 1) return 0;
    buf[0] = '\0';
    // readlink cuts silently; a result that fills the whole buffer may have
    // been cut, and a cut path names some other file, so it is refused.
    ssize_t n = readlink("/proc/self/exe", buf, static_cast<std::size_t>(capacity));
    if (n <= 0 || n >= capacity) {
        buf[0] = '\0';
        return 0;
    }
    buf[n] = '\0';
    return 1;
}

std::uint32_t PlatThreadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

// The C library asked the processor when it loaded the program; where it
// lets us read its answers, no question is asked again.
std::uint32_t PlatCpuFeatures() {
#if defined(CPU_FEATURE_ACTIVE)
    return (CPU_FEATURE_ACTIVE(PCLMULQDQ) ? PLAT_CPU_PCLMUL : 0u) |
           (CPU_FEATURE_ACTIVE(AVX512F) ? PLAT_CPU_AVX512F : 0u);
#else
    return PlatCompilerCpuFeatures();
#endif
}

void PlatSleepMs(std::int32_t milliseconds) {
    timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void PlatDebugBreak() {
    raise(SIGTRAP);
}

std::int32_t PlatRunCommand(const char* line) {
    // Anything still buffered in the C streams must reach the terminal
    // before the command writes to it.
    std::fflush(nullptr);
    int status = std::system(line);
    if (status == -1) return -1;
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
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text += n;
        len -= static_cast<std::size_t>(n);
    }
}

void PlatConsoleWrite(std::uintptr_t console, const char* text, std::size_t len) {
    if (console == 0) return;
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
    if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {
        static constexpr char PROMPT[] = "Press Enter to continue...";
        WriteAll(STDERR_FILENO, PROMPT, sizeof PROMPT - 1);
        char c = 0;
        while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') {
        }
    }
}

// ---- The re-entrant lock ----------------------------------------------

// The log needs exactly one lock, created at start-up and destroyed at
// shut-down, possibly more than once per process; a single static lock
// serves every creation without allocating, and all zero is its free state.
//
// Every allocation takes it, so it is built for the uncontended case: one
// compare-and-swap to take and one exchange to give up, no call into the
// thread library. The lock word (platform_lock.h) follows the futex mutex
// of Drepper's "Futexes Are Tricky": a taker swaps 0 for 1; failing that it
// marks the word 2 and sleeps in the kernel while it reads 2, marking it 2
// again each time it wakes, since it cannot know whether others still wait;
// whoever gets 0 back from that exchange holds the lock. Giving up
// exchanges the word for 0 and wakes one sleeper only when the old value
// was 2, so a lock nobody waits for never enters the kernel.
//
// While the process has a single thread (the C library says so, and only
// that thread could change it, by starting another), nobody can race for
// the word: it is set and cleared with plain stores, as the C library's own
// mutexes do. That case is inline in platform_lock.h; the functions here
// take every other. A thread started while the lock is held finds the word
// taken and waits as above; the owner then sees more than one thread and
// gives the lock up by the exchange that wakes it.
//
// Re-entry is tracked beside the word: the owner is named by the address
// of a thread-local byte (distinct for every live thread and free to
// read), and depth counts its takes. A thread that finds its own name there
// already holds the lock and only counts, touching no atomic. Only the
// owner writes its own name there, so a thread that reads its name back
// is right; any other thread reads another name or none. An unlock by a
// thread that is not the owner is refused and changes nothing.
static PlatMutex theMutex;
thread_local constinit char PlatThreadTag = 0;

#if __has_include(<sys/single_threaded.h>)
static_assert(std::is_same_v<decltype(__libc_single_threaded), char>,
              "platform_lock.h declares the C library's flag as its header does");
#endif

static void FutexWait(std::atomic<std::uint32_t>* word, std::uint32_t expected) {
    // Returns at once when the word no longer holds expected; waking early
    // (a signal, a stray wake) is harmless, the caller looks again.
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected,
            nullptr, nullptr, 0);
}

static void FutexWakeOne(std::atomic<std::uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr,
            nullptr, 0);
}

PlatMutex* PlatMutexCreate() {
    return &theMutex;
}

std::int32_t PlatMutexLock(PlatMutex* mutex) {
    if (mutex == nullptr) return 0;
    const void* self = &PlatThreadTag;
    if (mutex->owner.load(std::memory_order_relaxed) == self) {
        if (mutex->depth == UINT32_MAX) return 0;
        ++mutex->depth;
        return 1;
    }
    std::uint32_t seen = PLAT_LOCK_FREE;
    if (!mutex->word.compare_exchange_strong(seen, PLAT_LOCK_TAKEN, std::memory_order_acquire,
                                             std::memory_order_relaxed)) {
        if (seen != PLAT_LOCK_WAITED)
            seen = mutex->word.exchange(PLAT_LOCK_WAITED, std::memory_order_acquire);
        while (seen != PLAT_LOCK_FREE) {
            FutexWait(&mutex->word, PLAT_LOCK_WAITED);
            seen = mutex->word.exchange(PLAT_LOCK_WAITED, std::memory_order_acquire);
        }
    }
    mutex->owner.store(self, std::memory_order_relaxed);
    mutex->depth = 1;
    return 1;
}

void PlatMutexUnlock(PlatMutex* mutex) {
    if (mutex == nullptr || mutex->owner.load(std::memory_order_relaxed) != &PlatThreadTag)
        [[unlikely]] {
        return;
    }
    if (--mutex->depth != 0) return;
    mutex->owner.store(nullptr, std::memory_order_relaxed);
    if (PlatSingleThreaded()) {
        mutex->word.store(PLAT_LOCK_FREE, std::memory_order_relaxed);
    } else if (mutex->word.exchange(PLAT_LOCK_FREE, std::memory_order_release) ==
               PLAT_LOCK_WAITED) {
        FutexWakeOne(&mutex->word);
    }
}

void PlatMutexDestroy(PlatMutex*) {}

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
        if (moved < 0) {
            *error = saved;
            return -1;
        }
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
                if (errno == EINTR) continue;
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
    if (getcwd(local, sizeof local) == nullptr) return 0;
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

// Read rather than mapped: for a file read once from end to end, a few
// reads into a small buffer cost less than setting up and tearing down a
// mapping of every page, markedly so in virtual machines.
std::int32_t PlatFileOpen(const char* path, std::uintptr_t* file, std::uint64_t* size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return 0;
    }
    *file = static_cast<std::uintptr_t>(fd);
    *size = static_cast<std::uint64_t>(st.st_size);
    return 1;
}

std::int32_t PlatFileRead(std::uintptr_t file, void* buffer, std::size_t capacity,
                          std::size_t* got) {
    for (;;) {
        ssize_t n = read(static_cast<int>(file), buffer, capacity);
        if (n >= 0) {
            *got = static_cast<std::size_t>(n);
            return 1;
        }
        if (errno != EINTR) return 0;
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

// A short run touches its heap only a few pages deep, but those pages lie
// in a fresh 2 MiB stretch of the address space past the program image,
// and the first of them needs a page table of its own. On some virtual
// machines a new page table costs five to ten times a data page, more than
// the rest of the heap's use in such a run. A page placed where brk would
// start makes every brk fail; the C library's allocator then takes its
// heap from mmap, which lays it beside the shared libraries, whose page
// tables exist already. A page that cannot be placed there (the kernel
// ignores the flag, or something lies there already) is given back.
void PlatHeapBesideLibraries() {
#if defined(MAP_FIXED_NOREPLACE)
    void* end = sbrk(0);
    if (end == reinterpret_cast<void*>(-1)) return;
    const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* page =
        mmap(end, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (page != MAP_FAILED && page != end) munmap(page, size);
#endif
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
