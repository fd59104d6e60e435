// time64_preload.cpp: the fixed clock for a 32-bit program under test, as
// a library the dynamic loader preloads. faketime's i386 library replaces
// only the C library's 32-bit clock calls; a program built with a 64-bit
// time_t, and 32-bit Wine, reach the clock through the 64-bit entry points
// (__time64, __clock_gettime64, __gettimeofday64), which it leaves alone.
// Built with _TIME_BITS=64, the three definitions below are those entry
// points. They read FAKETIME in the two forms the tests use:
// "YYYY-MM-DD hh:mm:ss" stands still, "@YYYY-MM-DD hh:mm:ss" starts there
// and runs on. The moment is UTC, as the tests run with TZ=UTC.
#include <dlfcn.h>
#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

static_assert(sizeof(time_t) == 8, "the entry points replaced are the 64-bit ones");

namespace {

using ClockGetTime = int (*)(clockid_t, timespec*);

ClockGetTime realClockGetTime = nullptr;
bool faking = false;
bool running = false;
std::int64_t fakeStart = 0;  // the fixed moment, in seconds since 1970
timespec realStart{};

// Days from 1 January 1970 to the given day of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

__attribute__((constructor)) void ReadFakeTime() {
    realClockGetTime = reinterpret_cast<ClockGetTime>(dlsym(RTLD_NEXT, "__clock_gettime64"));
    const char* text = std::getenv("FAKETIME");
    if (realClockGetTime == nullptr || text == nullptr) return;
    running = *text == '@';
    int year, month, day, hour, minute, second;
    if (std::sscanf(text + (running ? 1 : 0), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour,
                    &minute, &second) != 6)
        return;
    fakeStart = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    realClockGetTime(CLOCK_REALTIME, &realStart);
    faking = true;
}

// The fixed moment, moved on by the real time since start-up when it runs.
timespec FakeNow() {
    timespec now{fakeStart, 0};
    if (!running) return now;
    timespec real{};
    realClockGetTime(CLOCK_REALTIME, &real);
    std::int64_t nanoseconds = (real.tv_sec - realStart.tv_sec) * 1000000000LL +
                               (real.tv_nsec - realStart.tv_nsec);
    now.tv_sec += nanoseconds / 1000000000LL;
    now.tv_nsec = static_cast<long>(nanoseconds % 1000000000LL);
    return now;
}

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* out) noexcept {
    if (faking && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
        *out = FakeNow();
        return 0;
    }
    return realClockGetTime != nullptr ? realClockGetTime(clock, out) : -1;
}

extern "C" time_t time(time_t* out) noexcept {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (out != nullptr) *out = now.tv_sec;
    return now.tv_sec;
}

extern "C" int gettimeofday(timeval* out, void*) noexcept {
    timespec now{};
    const int result = clock_gettime(CLOCK_REALTIME, &now);
    *out = timeval{now.tv_sec, now.tv_nsec / 1000};
    return result;
}
