// str.cpp: bounded string primitives and number parsing over 8-bit,
// zero-terminated text. Nothing here allocates or keeps state.
#include "zizezaz/str/str.h"

#include <cstring>

#include "zizezaz/str/ascii.h"
#include "zizezaz/str/str_internal.h"

// StrToInt converts a private copy of the usable characters; a run that
// reaches INT_RUN_LIMIT characters is a caller's fault, never a number.
static constexpr std::int32_t INT_COPY_CAPACITY = 80;
static constexpr std::int32_t INT_RUN_LIMIT = 70;
static_assert(2 + INT_RUN_LIMIT - 1 + 1 <= INT_COPY_CAPACITY,
              "0x, 69 digits and the terminator fit the copy");

std::int32_t StrLength(const char* text) {
    // The C library's strlen does this job.
    return static_cast<std::int32_t>(std::strlen(text));
}

std::int32_t StrCopy(char* destination, const char* source) {
    if (destination == nullptr || source == nullptr) StrFatal(__LINE__, "Pointer is NULL\n");
    while ((*destination++ = *source++) != '\0') {
    }
    return 1;
}

std::int32_t StrCopyN(char* destination, const char* source, std::int32_t capacity) {
    if (destination == nullptr || source == nullptr) StrFatal(__LINE__, "Pointer is NULL\n");
    // No caller passes less than 2; a smaller capacity must still never
    // write outside the buffer, so 1 stores only the terminator and 0 or
    // less stores nothing.
    if (capacity < 1) return 0;
    char* const last = destination + capacity - 1;
    while (destination < last) {
        if ((*destination++ = *source++) == '\0') return 1;
    }
    // A source of exactly capacity - 1 characters lands here too: stored
    // whole, but its terminator is ours, so the result says "cut".
    *last = '\0';
    return 0;
}

std::int32_t StrAppend(char* destination, const char* source) {
    return StrCopy(destination + StrLength(destination), source);
}

std::int32_t StrEqualNoCase(const char* first, const char* second) {
    if (first == nullptr || second == nullptr) StrFatal(__LINE__, "Pointer is NULL\n");
    const auto* a = reinterpret_cast<const unsigned char*>(first);
    const auto* b = reinterpret_cast<const unsigned char*>(second);
    for (;; ++a, ++b) {
        if (*a == *b) {
            if (*a == '\0') return 1;
        } else if (AsciiUpper(*a) != AsciiUpper(*b)) {
            return 0;
        }
    }
}

std::int32_t StrStartsWithNoCase(const char* text, const char* prefix) {
    if (text == nullptr || prefix == nullptr) StrFatal(__LINE__, "Pointer is NULL\n");
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const auto* p = reinterpret_cast<const unsigned char*>(prefix);
    // A text shorter than the prefix fails at its terminator, which folds
    // to nothing but itself.
    for (; *p != '\0'; ++t, ++p) {
        if (*t != *p && AsciiUpper(*t) != AsciiUpper(*p)) return 0;
    }
    return 1;
}

std::int32_t StrFind(const char* text, const char* pattern, const char** position) {
    if (text == nullptr || pattern == nullptr || position == nullptr)
        StrFatal(__LINE__, "Pointer is NULL\n");
    // The terminator is not a position: an empty text matches nothing, not
    // even an empty pattern.
    for (const char* at = text; *at != '\0'; ++at) {
        if (StrStartsWithNoCase(at, pattern)) {
            *position = at;
            return 1;
        }
    }
    *position = nullptr;
    return 0;
}

// Length of the usable run that StrToInt will copy, stopping early once it
// reaches the limit so that a huge text costs no more than the limit.
template <typename Accept>
static std::int32_t RunLength(const char* text, Accept accept) {
    std::int32_t n = 0;
    while (n < INT_RUN_LIMIT && accept(text[n]))
        ++n;
    return n;
}

std::int64_t StrToInt(const char* text) {
    if (text == nullptr) return 0;
    char copy[INT_COPY_CAPACITY];
    std::int32_t used;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const char* digits = text + 2;
        const std::int32_t n = RunLength(digits, [](char c) { return AsciiHexValue(c) >= 0; });
        if (n == 0) return 0;
        if (n >= INT_RUN_LIMIT) {
            StrFatal(__LINE__, "Input AtoI string too large (%s)\n", digits);
        }
        std::memcpy(copy, text, 2 + static_cast<std::size_t>(n));
        used = 2 + n;
    } else {
        // Signs are taken anywhere in the run; StrParseInt64 decides what a
        // second sign means (it stops the number there).
        const std::int32_t n =
            RunLength(text, [](char c) { return AsciiIsDigit(c) || c == '-' || c == '+'; });
        if (n == 0) return 0;
        if (n >= INT_RUN_LIMIT) {
            StrFatal(__LINE__, "Input AtoI string too large (%s)\n", text);
        }
        std::memcpy(copy, text, static_cast<std::size_t>(n));
        used = n;
    }
    copy[used] = '\0';
    std::int64_t value = 0;
    StrParseInt64(copy, &value);
    return value;
}

std::int32_t StrParseInt64(const char* text, std::int64_t* value) {
    if (text == nullptr || value == nullptr) StrFatal(__LINE__, "Pointer is NULL\n");
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    } else if (*text == '+') {
        ++text;
    }
    // Accumulated unsigned so that overflow wraps modulo 2^64 as intended,
    // instead of being undefined.
    std::uint64_t magnitude = 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text += 2;
        for (std::int32_t d; (d = AsciiHexValue(*text)) >= 0; ++text) {
            magnitude = magnitude * 16u + static_cast<std::uint64_t>(d);
        }
    } else {
        for (; AsciiIsDigit(*text); ++text) {
            magnitude = magnitude * 10u + static_cast<std::uint64_t>(*text - '0');
        }
    }
    *value = static_cast<std::int64_t>(negative ? 0u - magnitude : magnitude);
    return *text == '\0' ? 1 : 0;
}
