// platform_lock.h: the lock's old inline entry points, now plain calls of
// PlatMutexLock and PlatMutexUnlock (platform.h). Kept only until nothing
// includes it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

inline bool PlatSingleThreaded() {
    return false;
}
inline std::int32_t PlatMutexTake(PlatMutex* mutex) {
    return PlatMutexLock(mutex);
}
inline void PlatMutexGive(PlatMutex* mutex) {
    PlatMutexUnlock(mutex);
}
