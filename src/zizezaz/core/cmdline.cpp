// cmdline.cpp: the library's own command-line field rules, one scanner and
// the operations built on it (count, copy field N, switch test).
//
// A line is split the same way on every platform, independent of how the
// operating system hands over arguments: blanks and control characters
// separate fields; a single double quote opens or closes a stretch in which
// separators are content; two quotes in a row stand for one quote wherever
// they are. A closing quote ends its field even when ordinary characters
// follow it directly. Bytes 0x80..0xFF are ordinary characters, so an
// accented letter in an unquoted path stays inside its field. Positions are
// offsets into the text rather than pointers, because an empty field ends
// one place before it starts and that place may lie before the text.
//
// No state is kept between calls; every operation scans from the start.
//
// Where the system hands over argv already split (POSIX), CmdLineJoin puts
// the words back into one line that these rules split into the same words:
//   - a word without separators and without quotes is written as it is;
//   - a word with quotes but no separators is written with each quote
//     doubled (a doubled quote is one quote wherever it stands);
//   - a word with separators is enclosed in quotes, inner quotes doubled;
//   - the words are joined by one blank.
// A word that begins with a quote needs nothing extra: the rules skip a
// quote at the very start of a field, and the doubled quotes that follow
// still pair up to the same bytes when the copy collapses them.
//
// Two kinds of word cannot be said in these rules at all:
//   - An empty word that is not the last. A field is empty only when it is a
//     lone quote at the very end of the line, so an empty last word is
//     written as a lone quote and comes back empty. Anywhere else the empty
//     word is written as "" (a doubled quote), which comes back as a field
//     holding one quote - what a Windows user gets by typing "" - so that
//     the words after it keep their field numbers.
//   - A word of two or more bytes that ends with a separator. A field never
//     ends with a separator except when that separator is its first byte, so
//     the trailing separators are lost: "a b " comes back as "a b", and a
//     word of blanks only comes back as one blank.
// Every other word of bytes 1..255 comes back exactly; the round-trip test
// checks that, and what the two exceptions become.
#include "zizezaz/core/cmdline.h"

#include "platform/platform.h"
#include "zizezaz/core/core_internal.h"
#include "zizezaz/core/log.h"
#include "zizezaz/str/str.h"

// CmdLineCountFields asks for this field number; the scan then stops as the
// field after it begins, so counts saturate at this number + 2.
static constexpr std::int32_t COUNT_LIMIT_FIELD = 9999;

static constexpr unsigned char QUOTE = '"';

// Bytes are compared as unsigned char throughout: a plain char holding
// 0xE9 is negative and would otherwise pass for a control character.
static unsigned char ByteAt(const char* text, std::int32_t at) {
    return static_cast<unsigned char>(text[at]);
}

static bool IsSeparator(unsigned char c) {
    return c != '\0' && c <= ' ';
}

static bool IsDoubledQuote(const char* text, std::int32_t at) {
    return ByteAt(text, at) == QUOTE && ByteAt(text, at + 1) == QUOTE;
}

static std::int32_t SkipSeparators(const char* text, std::int32_t at) {
    while (IsSeparator(ByteAt(text, at)))
        ++at;
    return at;
}

// A field's content starts after its opening quote.
static std::int32_t ContentStart(const char* text, std::int32_t at) {
    return ByteAt(text, at) == QUOTE ? at + 1 : at;
}

std::int32_t CmdLineScan(const char* text, std::int32_t wanted, std::int32_t* count,
                         std::int32_t* start, std::int32_t* end) {
    if (text == nullptr || start == nullptr || end == nullptr) {  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
        LogAbortNull(CORE_SOURCE_NAME, __LINE__);
    }
    // 64 bits so that wanted + 1 cannot overflow for any wanted.
    const std::int64_t target = wanted;
    std::int64_t field = 0;  // number of the field the scan stands in
    bool inside = false;
    bool atTerminator = false;
    std::int32_t fieldStart = 0;
    std::int32_t p = SkipSeparators(text, 0);
    fieldStart = ContentStart(text, p);
    atTerminator = ByteAt(text, p) == '\0';

    // Walk field after field until the terminator or until field
    // wanted + 1 begins; p is then the stopping position.
    while (!atTerminator) {
        // One field, from p to the first character after it.
        for (;;) {
            const unsigned char c = ByteAt(text, p);
            if (c == '\0') {
                atTerminator = true;
                break;
            }
            if (IsDoubledQuote(text, p)) {
                p += 2;
                continue;
            }
            if (c == QUOTE) {
                inside = !inside;
                if (inside) {
                    ++p;
                    continue;
                }
                // A closing quote ends the field. In the wanted field the
                // scan stays on it, so that it is not taken as content.
                if (field != target) ++p;
                break;
            }
            if (inside || !IsSeparator(c)) {
                ++p;
                continue;
            }
            break;
        }
        if (atTerminator) break;
        p = SkipSeparators(text, p);
        if (ByteAt(text, p) == '\0') {
            atTerminator = true;
            break;
        }
        ++field;
        if (field == target) fieldStart = ContentStart(text, p);
        if (field == target + 1) break;
    }

    // The field ends at the last character before p that is neither a
    // separator nor a lone (closing) quote; a quote preceded by a quote is
    // the second half of a doubled quote and is content. The walk never
    // goes below the start, so end is at least start - 1 (an empty field).
    std::int32_t e = p - 1;
    while (e > fieldStart) {
        const unsigned char c = ByteAt(text, e);
        if (IsSeparator(c) || (c == QUOTE && ByteAt(text, e - 1) != QUOTE)) {
            --e;
            continue;
        }
        break;
    }
    *start = fieldStart;
    *end = e;
    if (count != nullptr) *count = static_cast<std::int32_t>(field + 1);
    // A negative field number never names a field (without this test,
    // field -1 would be "found" in any line of one field).
    if (target < 0) return 0;
    return (field == target + 1 || (field == target && atTerminator)) ? 1 : 0;
}

std::int32_t CmdLineCopyField(const char* text, std::int32_t start, std::int32_t end,
                              char* destination, std::int32_t capacity) {
    if (text == nullptr || destination == nullptr) LogAbortNull(CORE_SOURCE_NAME, __LINE__);
    if (capacity < 1) return 1;  // no room even for the terminator
    std::int64_t remaining = static_cast<std::int64_t>(end) - start + 1;
    if (remaining > capacity - 1) remaining = capacity - 1;
    std::int32_t from = start;
    std::int32_t to = 0;
    destination[0] = '\0';
    // Each pass writes one byte and uses at least one source byte, so the
    // output stays within capacity - 1. The terminator test only guards
    // against positions that do not come from CmdLineScan.
    while (remaining > 0 && ByteAt(text, from) != '\0') {
        if (IsDoubledQuote(text, from)) {
            destination[to++] = '"';
            from += 2;
            remaining -= 2;
        } else {
            destination[to++] = text[from++];
            remaining -= 1;
        }
    }
    destination[to] = '\0';
    return 1;
}

std::int32_t CmdLineCountFields(const char* text, std::int32_t* count) {
    if (text == nullptr || count == nullptr) LogAbortNull(CORE_SOURCE_NAME, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    std::int32_t start = 0;
    std::int32_t end = 0;
    *count = 0;
    CmdLineScan(text, COUNT_LIMIT_FIELD, count, &start, &end);
    return *count != 0 ? 1 : 0;
}

std::int32_t CmdLineGetField(const char* text, std::int32_t n, char* destination,
                             std::int32_t capacity) {
    if (text == nullptr || destination == nullptr) LogAbortNull(CORE_SOURCE_NAME, __LINE__);
    if (capacity > 0) destination[0] = '\0';
    std::int32_t start = 0;
    std::int32_t end = 0;
    if (!CmdLineScan(text, n, nullptr, &start, &end)) return 0;
    CmdLineCopyField(text, start, end, destination, capacity);
    return 1;
}

// The switch test looks at the raw text, ignoring fields and quotes, so a
// switch word is also found inside a quoted value of another option.
std::int32_t CmdLineHasSwitch(const char* text, const char* word) {
    if (text == nullptr || word == nullptr) LogAbortNull(CORE_SOURCE_NAME, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    const std::int32_t length = StrLength(word);
    const char* found = nullptr;
    const char* from = text;
    while (StrFind(from, word, &found)) {
        if (found > text) {
            const char before = found[-1];
            const char after = found[length];
            if ((before == '-' || before == '/') && (after == ' ' || after == '\0')) return 1;
        }
        // found stands on a character of the text, so found + 1 is at
        // most the terminator.
        from = found + 1;
    }
    return 0;
}

// The bounded output of CmdLineJoin: bytes past the capacity are counted,
// not stored, so that one pass tells the caller the size it needs.
struct JoinOutput {
    char* line;
    std::int64_t capacity;
    std::int64_t length;
};

static void Put(JoinOutput* out, char c) {
    if (out->length < out->capacity - 1) out->line[out->length] = c;
    ++out->length;
}

static void PutWord(JoinOutput* out, const char* word, bool last) {
    if (word == nullptr || word[0] == '\0') {
        Put(out, '"');
        if (!last) Put(out, '"');
        return;
    }
    bool hasSeparator = false;
    bool hasQuote = false;
    for (const char* p = word; *p != '\0'; ++p) {
        if (IsSeparator(static_cast<unsigned char>(*p))) hasSeparator = true;
        if (*p == '"') hasQuote = true;
    }
    if (hasSeparator) Put(out, '"');
    for (const char* p = word; *p != '\0'; ++p) {
        if (hasQuote && *p == '"') Put(out, '"');
        Put(out, *p);
    }
    if (hasSeparator) Put(out, '"');
}

std::int32_t CmdLineJoin(std::int32_t count, const char* const* words, char* line,
                         std::int64_t capacity, std::int64_t* length) {
    if (length == nullptr || (capacity > 0 && line == nullptr)) {  // GCOVR_EXCL_START: only a faulty caller passes a null
        LogAbortNull(CORE_SOURCE_NAME, __LINE__);
    }  // GCOVR_EXCL_STOP
    JoinOutput out{line, capacity, 0};
    for (std::int32_t i = 0; words != nullptr && i < count; ++i) {
        if (i > 0) Put(&out, ' ');
        PutWord(&out, words[i], i == count - 1);
    }
    if (capacity > 0) line[out.length < capacity ? out.length : capacity - 1] = '\0';
    *length = out.length;
    return out.length < capacity ? 1 : 0;
}

std::int32_t CmdLineSetFromArgs(std::int32_t count, const char* const* words) {
    // The platform keeps only a pointer, so the line lives as long as the
    // process; a later call replaces it. It comes from the platform's heap
    // rather than a container, which would bring the C++ runtime's
    // exception machinery into every program for this one allocation.
    static char* line = nullptr;
    std::int64_t length = 0;
    CmdLineJoin(count, words, nullptr, 0, &length);
    char* joined = static_cast<char*>(PlatLocalAlloc(static_cast<std::size_t>(length) + 1));
    if (joined == nullptr) return 0;
    CmdLineJoin(count, words, joined, length + 1, &length);
    PlatSetCommandLine(joined);
    if (line != nullptr) PlatLocalFree(line);
    line = joined;
    return 1;
}
