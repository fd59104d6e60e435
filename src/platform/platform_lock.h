// platform_lock.h: the uncontended path of the re-entrant lock, inline. The
// log takes the lock around every allocation and every release, where two
// calls into the platform layer cost more than the lock itself; its
// LogLock and LogUnlock (log.h) call PlatMutexTake and PlatMutexGive, which
// fall back on PlatMutexLock and PlatMutexUnlock (platform.h) for
// everything but the common case. PlatSingleThreaded tells the allocator
// when there is nobody to lock out.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

#if defined(_WIN32)

// The Win32 lock keeps its own record; every take goes through the layer.
// Nor is there a cheap answer to whether the process has one thread, so
// the callers that could leave the lock alone on one thread never do.
inline bool PlatSingleThreaded() {
    return false;
}
inline std::int32_t PlatMutexTake(PlatMutex* mutex) {
    return PlatMutexLock(mutex);
}
inline void PlatMutexGive(PlatMutex* mutex) {
    PlatMutexUnlock(mutex);
}

#else

// The lock word follows the futex mutex of Drepper's "Futexes Are Tricky":
// 0 free, 1 taken, 2 taken and perhaps waited for. The owner is named by
// the address of PlatThreadTag, distinct for every live thread; depth counts
// its takes and is touched by the owner only. platform_posix.cpp says how
// the out-of-line paths use them.
struct PlatMutex {
    std::atomic<std::uint32_t> word;
    std::atomic<const void*> owner;  // null when free
    std::uint32_t depth;
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "the word is a futex word");
static_assert(std::atomic<const void*>::is_always_lock_free, "read without the lock");

inline constexpr std::uint32_t PLAT_LOCK_FREE = 0;
inline constexpr std::uint32_t PLAT_LOCK_TAKEN = 1;
inline constexpr std::uint32_t PLAT_LOCK_WAITED = 2;

// Initialised statically (constinit), so reaching it costs no check for an
// initialiser in other files.
extern thread_local constinit char PlatThreadTag;

// True only while the process has one thread. The C library's own answer
// (glibc 2.32 on), declared here as its header does, so that no system
// header reaches the layers that include this one. Only the calling thread
// could make it false, by starting another.
#if __has_include(<sys/single_threaded.h>)
extern "C" char __libc_single_threaded;
inline bool PlatSingleThreaded() {
    return __libc_single_threaded != 0;
}
#else
inline bool PlatSingleThreaded() {
    return false;
}
#endif

// Takes the lock; 1 when owned. While the process has one thread nobody
// can race for the word, so a free lock is taken with plain stores, as the
// C library's own mutexes do; a thread started later while it is held finds
// it taken and waits in PlatMutexLock.
inline std::int32_t PlatMutexTake(PlatMutex* mutex) {
    if (PlatSingleThreaded() && mutex->word.load(std::memory_order_relaxed) == PLAT_LOCK_FREE)
        [[likely]] {
        mutex->word.store(PLAT_LOCK_TAKEN, std::memory_order_relaxed);
        mutex->owner.store(&PlatThreadTag, std::memory_order_relaxed);
        mutex->depth = 1;
        return 1;
    }
    return PlatMutexLock(mutex);
}

// Gives up one take. The last take of the only thread is given up with
// plain stores; every other case (a nested take, other threads, a caller
// that is not the owner) is PlatMutexUnlock's.
inline void PlatMutexGive(PlatMutex* mutex) {
    if (PlatSingleThreaded() && mutex->depth == 1 &&
        mutex->owner.load(std::memory_order_relaxed) == &PlatThreadTag) [[likely]] {
        mutex->depth = 0;
        mutex->owner.store(nullptr, std::memory_order_relaxed);
        mutex->word.store(PLAT_LOCK_FREE, std::memory_order_relaxed);
        return;
    }
    PlatMutexUnlock(mutex);
}

#endif
