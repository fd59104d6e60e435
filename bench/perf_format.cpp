// perf_format.cpp: StrFormat against fmt's run-time format_to_n and the C
// library's snprintf, directive by directive and on a six-directive log
// line (the time stamp the log puts before every line).
#include <fmt/format.h>

#include <cstdint>
#include <string_view>

#include "perf.h"
#include "zizezaz/str/format.h"

namespace {

constexpr std::int32_t CAPACITY = 256;

// Every engine gets its format through DoNotOptimize, so that no compiler
// can specialise a call for a format it sees (GCC turns some snprintf calls
// into copies). fmt is handed the length it needs, as a caller holding a
// string_view would; the others find the end themselves.
template <typename... Args>
void RunStrFormat(benchmark::State& state, const char* format, Args... args) {
    char out[CAPACITY];
    for (auto _ : state) {
        const char* f = format;
        benchmark::DoNotOptimize(f);
        benchmark::DoNotOptimize(StrFormat(out, CAPACITY, f, args...));
        benchmark::ClobberMemory();
    }
}

template <typename... Args>
void RunFmt(benchmark::State& state, std::string_view format, Args... args) {
    char out[CAPACITY];
    for (auto _ : state) {
        std::string_view f = format;
        benchmark::DoNotOptimize(f);
        // Terminated like the others' output.
        *fmt::format_to_n(out, CAPACITY - 1, fmt::runtime(f), args...).out = '\0';
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
}

template <typename... Args>
void RunSnprintf(benchmark::State& state, const char* format, Args... args) {
    char out[CAPACITY];
    for (auto _ : state) {
        const char* f = format;
        benchmark::DoNotOptimize(f);
        benchmark::DoNotOptimize(PerfSnprintf(out, CAPACITY, f, args...));
        benchmark::ClobberMemory();
    }
}

int pointee = 0;
const std::uintptr_t ADDRESS = reinterpret_cast<std::uintptr_t>(&pointee);

// One case: our format with its values, and fmt's for the same output.
// The value lists are parenthesised: %p takes a pointer, fmt an integer.
#define PERF_UNPAREN(...) __VA_ARGS__
#define FORMAT_CASE(name, ours, ourValues, theirs, theirValues)         \
    void Format_##name##_StrFormat(benchmark::State& state) {           \
        RunStrFormat(state, ours, PERF_UNPAREN ourValues);              \
    }                                                                   \
    void Format_##name##_fmt(benchmark::State& state) {                 \
        RunFmt(state, theirs, PERF_UNPAREN theirValues);                \
    }                                                                   \
    void Format_##name##_snprintf(benchmark::State& state) {            \
        RunSnprintf(state, ours, PERF_UNPAREN ourValues);               \
    }                                                                   \
    PERF_CASE(Format_##name##_StrFormat, "Format/" #name "/StrFormat"); \
    PERF_CASE(Format_##name##_fmt, "Format/" #name "/fmt");             \
    PERF_CASE(Format_##name##_snprintf, "Format/" #name "/snprintf")

FORMAT_CASE(d, "%d", (1234567), "{}", (1234567));
FORMAT_CASE(s, "%s", ("archive.zip"), "{}", ("archive.zip"));
FORMAT_CASE(08X, "%08X", (0xBEEFu), "{:08X}", (0xBEEFu));
FORMAT_CASE(padded, "%-20s|%5d", ("archive.zip", 42), "{:<20}|{:>5}", ("archive.zip", 42));
FORMAT_CASE(dot3s, "%.3s", ("archive.zip"), "{:.3}", ("archive.zip"));
// %p prints upper-case hexadecimal, eight digits at least.
FORMAT_CASE(p, "%p", (reinterpret_cast<void*>(ADDRESS)), "{:08X}", (ADDRESS));
FORMAT_CASE(stamp, "%.2d/%.2d/%.4d %.2d:%.2d:%.2d ", (12, 6, 2026, 23, 59, 7),
            "{:02}/{:02}/{:04} {:02}:{:02}:{:02} ", (12, 6, 2026, 23, 59, 7));

}  // namespace
