// fuzz_support.h: what the fuzz targets share: reading choices out of the
// fuzz bytes, failing loudly with a reason, buffers framed by guard bytes,
// and a trap for the one fatal error that an input may rightly provoke.
// The same sources build into libFuzzer programs and into the replay
// programs of the test suite, so nothing here depends on the compiler.
#pragma once

#include <csetjmp>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The entry points that libFuzzer (or the replay program) calls.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// ---- Reading the input --------------------------------------------------

// The fuzz bytes, consumed from the front; an exhausted input reads as
// zeros, so that every prefix of an input is itself a valid input.
struct FuzzInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

inline std::uint8_t FuzzByte(FuzzInput* in) {
    return in->at < in->size ? in->data[in->at++] : std::uint8_t{0};
}

inline std::uint32_t FuzzU32(FuzzInput* in) {
    std::uint32_t value = 0;
    for (std::int32_t i = 0; i < 4; ++i)
        value |= std::uint32_t{FuzzByte(in)} << (8 * i);
    return value;
}

inline std::uint64_t FuzzU64(FuzzInput* in) {
    const std::uint64_t low = FuzzU32(in);
    return low | (std::uint64_t{FuzzU32(in)} << 32);
}

inline std::size_t FuzzLeft(const FuzzInput* in) {
    return in->at < in->size ? in->size - in->at : 0;
}

// The bytes up to the next zero byte (which is consumed) or the end.
inline std::string FuzzText(FuzzInput* in) {
    std::string text;
    while (in->at < in->size) {
        const auto c = static_cast<char>(in->data[in->at++]);
        if (c == '\0') break;
        text.push_back(c);
    }
    return text;
}

// ---- Failing -------------------------------------------------------------

// A broken property: the reason goes to standard error and the process
// aborts, which libFuzzer records as a crash with the input that did it.
[[noreturn]] inline void FuzzFail(const char* file, int line, const char* format, ...) {
    std::fprintf(stderr, "\n%s:%d: property broken: ", file, line);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, ...)                                   \
    do {                                                             \
        if (!(condition)) FuzzFail(__FILE__, __LINE__, __VA_ARGS__); \
    } while (0)

// A text for a failure message: printable bytes as they are, others as
// \xNN, cut at 300 characters.
inline std::string FuzzShow(const char* text, std::size_t length) {
    std::string shown;
    for (std::size_t i = 0; i < length && shown.size() < 300; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            shown.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            shown += hex;
        }
    }
    return shown;
}

inline std::string FuzzShow(const std::string& text) {
    return FuzzShow(text.data(), text.size());
}

// Where two texts first differ, with a little of each from just before it:
// long outputs differ far beyond what FuzzShow shows.
inline std::string FuzzDifference(const std::string& a, const std::string& b) {
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    const std::size_t from = at < 16 ? 0 : at - 16;
    return "first difference at " + std::to_string(at) + " of " + std::to_string(a.size()) + "/" +
           std::to_string(b.size()) + ": [" + FuzzShow(a.substr(from, 48)) + "] vs [" +
           FuzzShow(b.substr(from, 48)) + "]";
}

// ---- Guarded buffers -----------------------------------------------------

// A buffer of `capacity` bytes with guard bytes on both sides and a fill
// pattern inside, in a heap block of its own so that AddressSanitizer also
// sees a reach beyond the guards.
inline constexpr std::size_t FUZZ_GUARD = 32;
inline constexpr char FUZZ_GUARD_BYTE = '\xA5';
inline constexpr char FUZZ_FILL_BYTE = '\xCC';

struct FuzzBuffer {
    std::vector<char> bytes;
    std::size_t capacity;
};

inline char* FuzzBufferStart(FuzzBuffer* buffer) {
    return buffer->bytes.data() + FUZZ_GUARD;
}

inline void FuzzBufferReset(FuzzBuffer* buffer, std::size_t capacity) {
    buffer->capacity = capacity;
    buffer->bytes.assign(FUZZ_GUARD + capacity + FUZZ_GUARD, FUZZ_GUARD_BYTE);
    std::memset(FuzzBufferStart(buffer), FUZZ_FILL_BYTE, capacity);
}

// 1 when neither guard was touched.
inline bool FuzzGuardsIntact(const FuzzBuffer* buffer) {
    const char* bytes = buffer->bytes.data();
    for (std::size_t i = 0; i < FUZZ_GUARD; ++i) {
        if (bytes[i] != FUZZ_GUARD_BYTE) return false;
        if (bytes[FUZZ_GUARD + buffer->capacity + i] != FUZZ_GUARD_BYTE) return false;
    }
    return true;
}

// ---- The trapped fatal error ---------------------------------------------

// A number text of 70 usable characters or more is a fatal error on
// purpose (the process ends with status 1). A target that can feed such a
// text installs FuzzTrapFatal as the string layer's fatal handler: that
// one report jumps back to the harness, any other is a fault. Only code
// without destructors lies between the trap and the report.
inline std::jmp_buf FuzzTrap;
inline constexpr char FUZZ_NUMBER_TOO_LONG[] = "Input AtoI string too large (%s)\n";

inline void FuzzTrapFatal(const char* file, std::int32_t line, const char* format, va_list args) {
    if (std::strcmp(format, FUZZ_NUMBER_TOO_LONG) == 0) std::longjmp(FuzzTrap, 1);
    std::fprintf(stderr, "\nunexpected fatal error at %s/%d: ", file, static_cast<int>(line));
    std::vfprintf(stderr, format, args);
    std::abort();
}
