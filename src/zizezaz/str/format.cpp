// format.cpp: the system's own formatted output. One pass over the format
// writes through a bounded sink; each % conversion is looked up in a table
// of rows and drawn by the small renderer of its kind. Nothing allocates:
// numbers are converted in the field's own text buffer.
#include "zizezaz/str/format.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "zizezaz/str/ascii.h"
#include "zizezaz/str/str_internal.h"

// ---- Records ----------------------------------------------------------

// The bounded output cursor of one call. It accepts capacity bytes, that
// is capacity - 1 characters plus the byte the terminator needs: an output
// that fills the last byte as well has overrun, and the terminator then
// replaces its last character.
struct FormatSink {
    char* write;
    char* end;
    std::int32_t count;  // characters accepted so far
};

static constexpr std::int32_t FORMAT_TEXT_CAPACITY = 60;
// A number text of this many characters or more is a fault in the caller,
// so at most FORMAT_NUMBER_LIMIT - 1 characters are ever placed.
static constexpr std::int32_t FORMAT_NUMBER_LIMIT = 55;
static_assert(FORMAT_NUMBER_LIMIT <= FORMAT_TEXT_CAPACITY, "a number text fits the field's buffer");

static constexpr std::uint32_t FIELD_NEGATIVE = 0x01;
static constexpr std::uint32_t FIELD_RIGHT = 0x02;  // pad on the left; the default
static constexpr std::uint32_t FIELD_ZERO_PAD = 0x04;
static constexpr std::uint32_t FIELD_UPPER = 0x08;
static constexpr std::uint32_t FIELD_PLUS = 0x10;
static constexpr std::uint32_t FIELD_GROUP = 0x20;

// The state of one conversion, reset for every % of the format.
struct FormatField {
    std::int32_t width;
    std::uint32_t flags;
    std::int32_t length;              // characters of the converted text
    std::int32_t zeroCount;           // '0's between the sign and the text
    FormatSink* sink;                 // shared by all conversions of the call
    char text[FORMAT_TEXT_CAPACITY];  // numbers, written backwards from the end;
                                      // %c and %ipv4 use it from the start
    const char* textStart;
};

// ---- The sink ---------------------------------------------------------

static std::int32_t FormatPutChar(FormatSink* sink, char c) {
    if (sink->write == sink->end) return 0;
    *sink->write++ = c;
    ++sink->count;
    return 1;
}

// The bulk forms below store exactly what that many FormatPutChar calls
// would, only without a call and a test per character.
static std::int32_t PutText(FormatSink* sink, const char* text, std::int64_t length) {
    const std::int64_t room = sink->end - sink->write;
    const std::int64_t n = length < room ? length : room;
    // Most pieces are a few characters, for which a call to memcpy costs
    // more than the copy.
    if (n <= 16) {
        for (std::int64_t i = 0; i < n; ++i)
            sink->write[i] = text[i];
    } else {
        std::memcpy(sink->write, text, static_cast<std::size_t>(n));
    }
    sink->write += n;
    sink->count += static_cast<std::int32_t>(n);
    return length <= room ? 1 : 0;
}

static std::int32_t PutRepeat(FormatSink* sink, char c, std::int64_t times) {
    if (times <= 0) return 1;
    const std::int64_t room = sink->end - sink->write;
    const std::int64_t n = times < room ? times : room;
    std::memset(sink->write, c, static_cast<std::size_t>(n));
    sink->write += n;
    sink->count += static_cast<std::int32_t>(n);
    return times <= room ? 1 : 0;
}

// ---- Fields -----------------------------------------------------------

// Writes a converted field: sign, padding, the precision's zeros and the
// text. With wide 1 the text is 16-bit units of which the low byte prints.
static std::int32_t FormatEmitField(FormatField* field, const char* text, std::int32_t wide) {
    FormatSink* sink = field->sink;
    const std::uint32_t flags = field->flags;
    const char sign = (flags & FIELD_NEGATIVE) ? '-' : (flags & FIELD_PLUS) ? '+' : '\0';
    // 64 bits: a width or a precision taken from the arguments may be near
    // either end of the 32-bit range.
    std::int64_t pad = std::int64_t{field->width} - field->length - field->zeroCount;
    if (sign != '\0') --pad;

    if ((flags & FIELD_ZERO_PAD) && sign != '\0' && !FormatPutChar(sink, sign)) return 0;
    if ((flags & FIELD_RIGHT) && !PutRepeat(sink, (flags & FIELD_ZERO_PAD) ? '0' : ' ', pad))
        return 0;
    if (!(flags & FIELD_ZERO_PAD) && sign != '\0' && !FormatPutChar(sink, sign)) return 0;
    if (!PutRepeat(sink, '0', field->zeroCount)) return 0;
    if (wide || (flags & FIELD_UPPER)) {
        // As many characters as fit, each converted on the way.
        const std::int64_t room = sink->end - sink->write;
        const std::int32_t n =
            field->length < room ? field->length : static_cast<std::int32_t>(room);
        for (std::int32_t i = 0; i < n; ++i) {
            char c = text[i];
            if (wide) {
                std::uint16_t unit;
                std::memcpy(&unit, text + 2 * i, sizeof unit);
                c = static_cast<char>(unit & 0xFFu);
            }
            sink->write[i] = (flags & FIELD_UPPER)
                                 ? static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)))
                                 : c;
        }
        sink->write += n;
        sink->count += n;
        if (n < field->length) return 0;
    } else if (!PutText(sink, text, field->length)) {
        return 0;
    }
    // Padding on the right is always blanks, even with zero-pad.
    if (!(flags & FIELD_RIGHT) && !PutRepeat(sink, ' ', pad)) return 0;
    return 1;
}

// ---- Numbers ----------------------------------------------------------

static constexpr char kDigits[] = "0123456789abcdef";

// "00" to "99": decimal numbers go two digits per division.
static constexpr std::array<char, 200> MakeDigitPairs() {
    std::array<char, 200> pairs{};
    for (int n = 0; n < 100; ++n) {
        pairs[static_cast<std::size_t>(2 * n)] = static_cast<char>('0' + n / 10);
        pairs[static_cast<std::size_t>(2 * n + 1)] = static_cast<char>('0' + n % 10);
    }
    return pairs;
}
static constexpr std::array<char, 200> kDigitPairs = MakeDigitPairs();

static char* PlacePairs(char* p, std::uint64_t value) {
    while (value >= 100) {
        const auto pair = static_cast<std::size_t>(value % 100) * 2;
        value /= 100;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    }
    if (value >= 10) {
        *--p = kDigitPairs[static_cast<std::size_t>(value) * 2 + 1];
        *--p = kDigitPairs[static_cast<std::size_t>(value) * 2];
    } else {
        *--p = static_cast<char>('0' + value);
    }
    return p;
}

// Places the digits of value in base, backwards from p, with a ',' before
// every third digit when grouping. The caller has checked the room.
template <unsigned Base>
static char* PlaceDigits(char* p, std::uint64_t value, bool group) {
    if constexpr (Base == 10) {
        if (!group) return PlacePairs(p, value);
    }
    if (!group) {
        do {
            *--p = kDigits[value % Base];
            value /= Base;
        } while (value != 0);
        return p;
    }
    int inGroup = 0;
    do {
        if (inGroup == 3) {
            *--p = ',';
            inGroup = 0;
        }
        *--p = kDigits[value % Base];
        value /= Base;
        ++inGroup;
    } while (value != 0);
    return p;
}

static char* PlaceInteger(char* p, std::uint64_t value, std::int32_t base, bool group) {
    switch (base) {
        case 2:
            return PlaceDigits<2>(p, value, group);
        case 8:
            return PlaceDigits<8>(p, value, group);
        case 16:
            return PlaceDigits<16>(p, value, group);
        default:
            return PlaceDigits<10>(p, value, group);
    }
}

// Exactly p digits, leading zeros included.
static char* PlaceDecimals(char* p, std::uint64_t value, std::int32_t digits) {
    for (std::int32_t i = 0; i < digits; ++i) {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return p;
}

// Characters an integer text needs. Decimal numbers are left out: twenty
// digits, six commas, a point and nine decimals are always far below the
// limit. Only a long binary (or octal) text can reach it.
static constexpr std::int32_t kLongestDecimalText = 20 + 6 + 1 + 9;
static_assert(kLongestDecimalText < FORMAT_NUMBER_LIMIT);

static std::int32_t PowerOfTwoTextLength(std::uint64_t value, std::int32_t base, bool group) {
    const std::int32_t bits = value == 0 ? 1 : static_cast<std::int32_t>(std::bit_width(value));
    const std::int32_t digits = base == 2 ? bits : base == 8 ? (bits + 2) / 3 : (bits + 3) / 4;
    return digits + (group ? (digits - 1) / 3 : 0);
}

// Truncates toward zero into 64 bits; magnitudes from 2^64 up, which no
// integer part can hold, saturate instead of being undefined.
static std::uint64_t WholePart(double magnitude) {
    if (magnitude >= 18446744073709551616.0) return ~std::uint64_t{0};
    return static_cast<std::uint64_t>(magnitude);
}

static constexpr std::uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                                 100000, 1000000, 10000000, 100000000, 1000000000};

// The three number converters write backwards from the end of the field's
// text buffer and leave textStart and length on the text.
static void SetNumberText(FormatField* field, char* p) {
    field->textStart = p;
    field->length += static_cast<std::int32_t>(field->text + FORMAT_TEXT_CAPACITY - p);
}

// A signed 64-bit integer unless isSigned is 0 (%I64u and pointers), in
// base 2, 8, 10 or 16.
static void ConvertInteger(FormatField* field, std::uint64_t value, std::int32_t base,
                           std::int32_t isSigned) {
    std::uint64_t magnitude = value;
    if (isSigned && static_cast<std::int64_t>(value) < 0) {
        field->flags |= FIELD_NEGATIVE;
        magnitude = 0u - value;
    }
    const bool group = (field->flags & FIELD_GROUP) != 0;
    if (base != 10) {
        const std::int32_t needed = PowerOfTwoTextLength(magnitude, base, group);
        if (needed >= FORMAT_NUMBER_LIMIT) {
            StrFatal(__LINE__, "Value exceeds buffer size (%d > %d)\n", needed,
                     FORMAT_NUMBER_LIMIT);
        }
    }
    SetNumberText(field, PlaceInteger(field->text + FORMAT_TEXT_CAPACITY, magnitude, base, group));
}

// 16.16 fixed point: the high half, a point and six decimals of the low half.
static void ConvertFixed(FormatField* field, std::uint32_t bits) {
    // Cut, not rounded: 0xFFFF is 999984, never 1000000.
    const std::uint64_t fraction = (std::uint64_t{bits & 0xFFFFu} * 1000000u) >> 16;
    char* p = PlaceDecimals(field->text + FORMAT_TEXT_CAPACITY, fraction, 6);
    *--p = '.';
    SetNumberText(field, PlaceDigits<10>(p, bits >> 16, (field->flags & FIELD_GROUP) != 0));
}

// The precision is the number of decimals, at most 9, 6 when none is given.
static void ConvertFloat(FormatField* field, double magnitude, std::int32_t precision) {
    if (std::isnan(magnitude)) {
        field->flags &= ~(FIELD_NEGATIVE | FIELD_PLUS);
        field->textStart = "1.#QNAN0";
        field->length = 8;
        return;
    }
    if (magnitude < 0) {
        field->flags |= FIELD_NEGATIVE;
        magnitude = -magnitude;
    }
    if (std::isinf(magnitude)) {
        field->textStart = "1.#INF00";
        field->length = 8;
        return;
    }
    const bool group = (field->flags & FIELD_GROUP) != 0;
    char* p = field->text + FORMAT_TEXT_CAPACITY;
    const std::int32_t decimals = precision < 0 ? 6 : precision > 9 ? 9 : precision;
    if (decimals == 0) {
        p = PlaceDigits<10>(p, WholePart(std::floor(magnitude + 0.5)), group);
    } else {
        const double whole = std::floor(magnitude);
        std::uint64_t integer = WholePart(whole);
        std::uint64_t fraction = WholePart(
            std::floor((magnitude - whole) * static_cast<double>(kPowersOfTen[decimals]) + 0.5));
        if (fraction >= kPowersOfTen[decimals]) {
            ++integer;
            fraction -= kPowersOfTen[decimals];
        }
        p = PlaceDecimals(p, fraction, decimals);
        *--p = '.';
        p = PlaceDigits<10>(p, integer, group);
    }
    SetNumberText(field, p);
}

// ---- The conversion table ---------------------------------------------

enum class RowKind : std::uint8_t { Integer, Fixed, Float, Char, Text, Wide, Ipv4, Dump };
enum class RowArg : std::uint8_t {
    Int32,    // int, sign-extended
    UInt32,   // int, zero-extended
    Int64,    // long long
    UInt64,   // long long taken as unsigned
    Double,   // double
    Pointer,  // a pointer
};

struct FormatRow {
    char letter;       // the conversion character
    const char* rest;  // what must follow it for a word conversion; "" for one letter
    RowKind kind;
    RowArg arg;
    std::uint8_t base;      // integers: 2, 8, 10 or 16
    std::uint32_t set;      // flags the conversion sets
    std::uint32_t clear;    // flags the conversion clears
    const char* prefix;     // what # puts ahead of the field
    std::int8_t precision;  // forced precision, or -1 for the caller's
};

static constexpr std::uint32_t kTextClear = FIELD_PLUS | FIELD_ZERO_PAD;

// Rows of one letter are consecutive, a word before the single letter it
// starts with, so that the first match is the longest.
static constexpr FormatRow kRows[] = {
    {'H', "EX", RowKind::Dump, RowArg::Pointer, 16, 0, kTextClear, "", -1},
    {'H', "ex", RowKind::Dump, RowArg::Pointer, 16, 0, kTextClear, "", -1},
    {'I', "64d", RowKind::Integer, RowArg::Int64, 10, 0, 0, "", -1},
    {'I', "64u", RowKind::Integer, RowArg::UInt64, 10, 0, 0, "", -1},
    {'I', "64x", RowKind::Integer, RowArg::Int64, 16, 0, 0, "", -1},
    {'O', "", RowKind::Integer, RowArg::UInt32, 8, 0, FIELD_PLUS, "0", -1},
    {'S', "", RowKind::Text, RowArg::Pointer, 0, 0, kTextClear, "", -1},
    {'U', "nicode", RowKind::Wide, RowArg::Pointer, 0, 0, kTextClear, "", -1},
    {'U', "", RowKind::Integer, RowArg::UInt32, 10, 0, FIELD_PLUS, "", -1},
    {'X', "", RowKind::Integer, RowArg::UInt32, 16, 0, FIELD_PLUS, "0x", -1},
    {'a', "", RowKind::Fixed, RowArg::UInt32, 0, 0, 0, "", -1},
    {'b', "", RowKind::Integer, RowArg::UInt32, 2, 0, FIELD_PLUS, "", -1},
    {'c', "", RowKind::Char, RowArg::Int32, 0, 0, kTextClear, "", -1},
    {'d', "", RowKind::Integer, RowArg::Int32, 10, 0, 0, "", -1},
    {'f', "", RowKind::Float, RowArg::Double, 0, 0, 0, "", -1},
    {'h', "EX", RowKind::Dump, RowArg::Pointer, 16, 0, kTextClear, "", -1},
    {'h', "ex", RowKind::Dump, RowArg::Pointer, 16, 0, kTextClear, "", -1},
    {'i', "pv4", RowKind::Ipv4, RowArg::Pointer, 0, 0, kTextClear, "", -1},
    {'i', "", RowKind::Integer, RowArg::Int32, 10, 0, 0, "", -1},
    {'l', "l", RowKind::Integer, RowArg::Int64, 10, 0, 0, "", -1},
    {'l', "", RowKind::Integer, RowArg::Int32, 10, 0, 0, "", -1},
    {'o', "", RowKind::Integer, RowArg::UInt32, 8, 0, FIELD_PLUS, "0", -1},
    // Pointers are pointer-sized and never negative; the precision of 8
    // keeps 32-bit looking addresses at eight digits and lets wider ones
    // grow.
    {'p', "", RowKind::Integer, RowArg::Pointer, 16, FIELD_UPPER, FIELD_PLUS, "0x", 8},
    {'s', "", RowKind::Text, RowArg::Pointer, 0, 0, kTextClear, "", -1},
    {'u', "nicode", RowKind::Wide, RowArg::Pointer, 0, 0, kTextClear, "", -1},
    {'u', "", RowKind::Integer, RowArg::UInt32, 10, 0, FIELD_PLUS, "", -1},
    {'x', "", RowKind::Integer, RowArg::UInt32, 16, 0, FIELD_PLUS, "0x", -1},
};
static constexpr std::int32_t kRowCount = static_cast<std::int32_t>(std::size(kRows));
static constexpr std::uint8_t kNoRow = 0xFF;
static_assert(kRowCount < kNoRow, "a row index fits the first-row table");

static constexpr std::array<std::uint8_t, 128> MakeFirstRow() {
    std::array<std::uint8_t, 128> first{};
    for (auto& f : first)
        f = kNoRow;
    for (std::int32_t i = kRowCount - 1; i >= 0; --i) {
        first[static_cast<unsigned char>(kRows[i].letter)] = static_cast<std::uint8_t>(i);
    }
    return first;
}
static constexpr std::array<std::uint8_t, 128> kFirstRow = MakeFirstRow();

static constexpr bool RowsAreGrouped() {
    for (std::int32_t i = 0; i < kRowCount; ++i) {
        const auto letter = static_cast<unsigned char>(kRows[i].letter);
        if (letter >= 128) return false;
        // All rows of a letter follow its first row without a gap...
        for (std::int32_t j = kFirstRow[letter]; j < i; ++j) {
            if (kRows[j].letter != kRows[i].letter) return false;
        }
        // ...and the single-letter row, if any, comes last.
        if (kRows[i].rest[0] == '\0' && i + 1 < kRowCount &&
            kRows[i + 1].letter == kRows[i].letter) {
            return false;
        }
    }
    return true;
}
static_assert(RowsAreGrouped());

// The row for the conversion character c, whose word, if any, continues at
// *after; a matched word is consumed. Null when c is no conversion.
static const FormatRow* FindRow(char c, const char** after) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 128 || kFirstRow[u] == kNoRow) return nullptr;
    for (std::int32_t i = kFirstRow[u]; i < kRowCount && kRows[i].letter == c; ++i) {
        const char* rest = kRows[i].rest;
        const char* at = *after;
        while (*rest != '\0' && *at == *rest) {
            ++rest;
            ++at;
        }
        if (*rest == '\0') {
            *after = at;
            return &kRows[i];
        }
    }
    return nullptr;
}

// ---- Renderers, one per kind ------------------------------------------

static std::int32_t PutNull(FormatSink* sink) {
    return PutText(sink, "NULL", 4);
}

static std::uint64_t ReadInteger(RowArg arg, va_list* args) {
    switch (arg) {
        case RowArg::Int32:
            return static_cast<std::uint64_t>(std::int64_t{va_arg(*args, int)});
        case RowArg::UInt32:
            return static_cast<std::uint32_t>(va_arg(*args, int));
        case RowArg::Int64:
        case RowArg::UInt64:
            return static_cast<std::uint64_t>(va_arg(*args, long long));
        case RowArg::Pointer:
            return reinterpret_cast<std::uintptr_t>(va_arg(*args, const void*));
        case RowArg::Double:
            break;
    }
    return 0;
}

// A precision of 0 and a text that starts with '0' (the number 0, or a
// 16.16 value below 1) print nothing at all, not even padding.
static std::int32_t EmitNumber(FormatField* field, std::int32_t precision) {
    if (precision == 0 && field->textStart[0] == '0') return 1;
    if (precision > field->length) field->zeroCount = precision - field->length;
    return FormatEmitField(field, field->textStart, 0);
}

static std::int32_t RenderInteger(FormatField* field, const FormatRow& row, std::int32_t precision,
                                  va_list* args) {
    const std::uint64_t value = ReadInteger(row.arg, args);
    if (row.precision >= 0) precision = row.precision;
    const std::int32_t isSigned = (row.arg == RowArg::UInt64 || row.arg == RowArg::Pointer) ? 0 : 1;
    ConvertInteger(field, value, row.base, isSigned);
    return EmitNumber(field, precision);
}

static std::int32_t RenderFixed(FormatField* field, std::int32_t precision, va_list* args) {
    ConvertFixed(field, static_cast<std::uint32_t>(va_arg(*args, int)));
    return EmitNumber(field, precision);
}

// The precision is the number of decimals here, not a minimum length.
static std::int32_t RenderFloat(FormatField* field, std::int32_t precision, va_list* args) {
    ConvertFloat(field, va_arg(*args, double), precision);
    return FormatEmitField(field, field->textStart, 0);
}

static std::int32_t RenderChar(FormatField* field, va_list* args) {
    field->text[0] = static_cast<char>(va_arg(*args, int) & 0xFF);
    field->length = 1;
    return FormatEmitField(field, field->text, 0);
}

// Text ends at the first terminator or DEL. With # a text cut by a DEL
// prints NONASCII instead; without it the scan need not look further than
// the precision, which keeps "%.4s" within a buffer that holds no
// terminator.
static std::int32_t RenderText(FormatField* field, std::int32_t precision, std::int32_t alternate,
                               va_list* args) {
    const char* text = va_arg(*args, const char*);
    if (text == nullptr) return PutNull(field->sink);
    std::size_t length;
    if (precision >= 0 && !alternate) {
        const void* nul = std::memchr(text, 0, static_cast<std::size_t>(precision));
        length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text)
                     : static_cast<std::size_t>(precision);
    } else {
        length = std::strlen(text);
    }
    const void* del = std::memchr(text, 127, length);
    if (del != nullptr) {
        if (alternate) return PutText(field->sink, "NONASCII", 8);
        length = static_cast<std::size_t>(static_cast<const char*>(del) - text);
    }
    field->length = length > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<std::int32_t>(length);
    if (precision >= 0 && precision < field->length) field->length = precision;
    return FormatEmitField(field, text, 0);
}

// The same on 16-bit units, by their low byte: 0x0100 ends the text too.
static std::int32_t RenderWide(FormatField* field, std::int32_t precision, std::int32_t alternate,
                               va_list* args) {
    const std::uint16_t* text = va_arg(*args, const std::uint16_t*);
    if (text == nullptr) return PutNull(field->sink);
    const std::int32_t limit = (precision >= 0 && !alternate) ? precision : 0x7FFFFFFF;
    std::int32_t length = 0;
    std::uint32_t low = 0;
    while (length < limit && (low = text[length] & 0xFFu) != 0 && low != 127)
        ++length;
    if (alternate && length < limit && low == 127) return PutText(field->sink, "NONASCII", 8);
    if (precision >= 0 && precision < length) length = precision;
    field->length = length;
    return FormatEmitField(field, reinterpret_cast<const char*>(text), 1);
}

// Each byte in decimal without leading zeros, joined by '.'.
static std::int32_t RenderIpv4(FormatField* field, std::int32_t precision, va_list* args) {
    const auto* bytes = static_cast<const unsigned char*>(va_arg(*args, const void*));
    if (bytes == nullptr) return PutNull(field->sink);
    char* p = field->text;
    for (std::int32_t i = 0; i < 4; ++i) {
        const unsigned b = bytes[i];
        if (i > 0) *p++ = '.';
        if (b >= 100) *p++ = static_cast<char>('0' + b / 100);
        if (b >= 100 || (b / 10) % 10 != 0) *p++ = static_cast<char>('0' + (b / 10) % 10);
        *p++ = static_cast<char>('0' + b % 10);
    }
    field->length = static_cast<std::int32_t>(p - field->text);
    if (precision >= 0 && precision < field->length) field->length = precision;
    return FormatEmitField(field, field->text, 0);
}

// A dump of width bytes, two digits each; the width is a count here, not
// padding.
static std::int32_t RenderDump(FormatField* field, va_list* args) {
    const auto* bytes = static_cast<const unsigned char*>(va_arg(*args, const void*));
    if (bytes == nullptr) return PutNull(field->sink);
    const char* digits = (field->flags & FIELD_UPPER) ? "0123456789ABCDEF" : kDigits;
    for (std::int32_t i = 0; i < field->width; ++i) {
        if (!FormatPutChar(field->sink, digits[bytes[i] >> 4])) return 0;
        if (!FormatPutChar(field->sink, digits[bytes[i] & 0x0F])) return 0;
    }
    return 1;
}

// ---- Directives -------------------------------------------------------

// A run of decimal digits; saturates rather than overflow on absurd runs.
static const char* ReadCount(const char* f, std::int32_t* count) {
    std::int32_t n = 0;
    for (; *f >= '0' && *f <= '9'; ++f) {
        if (n < 100000000) n = n * 10 + (*f - '0');
    }
    *count = n;
    return f;
}

// Reads and performs the conversion whose directive starts at f, just
// after its '%'. Returns where the format goes on, or null when the format
// ended inside the directive; *fits is 0 when the field did not fit.
static const char* FormatConversion(FormatSink* sink, const char* f, va_list* args,
                                    std::int32_t* fits) {
    if (*f == '%') {
        *fits = FormatPutChar(sink, '%');
        return f + 1;
    }
    FormatField field;
    field.width = 0;
    field.flags = FIELD_RIGHT;
    field.length = 0;
    field.zeroCount = 0;
    field.sink = sink;
    field.textStart = field.text;

    // Flags, each at most once and only in this order.
    std::int32_t alternate = 0;
    if (*f == '#') {
        alternate = 1;
        ++f;
    }
    if (*f == '-') {
        field.flags &= ~FIELD_RIGHT;
        ++f;
    }
    if (*f == '+') {
        field.flags |= FIELD_PLUS;
        ++f;
    }
    if (*f == '\'') {
        field.flags |= FIELD_GROUP;
        ++f;
    }
    if (*f == '0') {
        field.flags |= FIELD_ZERO_PAD;
        ++f;
    }
    // A negative width from the arguments simply gives no padding.
    if (*f == '*') {
        field.width = va_arg(*args, int);
        ++f;
    } else {
        f = ReadCount(f, &field.width);
    }
    std::int32_t precision = -1;
    if (*f == '.') {
        ++f;
        if (*f == '*') {
            precision = va_arg(*args, int);
            if (precision < 0) precision = -1;
            ++f;
        } else {
            f = ReadCount(f, &precision);
        }
    }

    const char c = *f;
    if (c == '\0') return nullptr;
    ++f;
    const FormatRow* row = FindRow(c, &f);
    if (row == nullptr) {
        *fits = FormatPutChar(sink, c);
        return f;
    }
    if (c >= 'A' && c <= 'Z') field.flags |= FIELD_UPPER;
    field.flags = (field.flags | row->set) & ~row->clear;
    // The # prefix goes straight to the sink, ahead of any padding, and is
    // lower case whatever the conversion.
    if (alternate && row->prefix[0] != '\0' &&
        !PutText(sink, row->prefix, static_cast<std::int64_t>(std::strlen(row->prefix)))) {
        *fits = 0;
        return f;
    }

    // The conversions, by kind:
    //   Integer  %d %i %l (32-bit signed)  %ll %I64d %I64x (64-bit signed)
    //            %I64u (64-bit unsigned)   %u %U %x %X %o %O %b (32-bit
    //            unsigned)  %p (pointer, upper-case hex, 8 digits at least)
    //   Fixed    %a (16.16 fixed point)
    //   Float    %f (double)
    //   Char     %c
    //   Text     %s %S (upper case)
    //   Wide     %unicode %Unicode (upper case), 16-bit units
    //   Ipv4     %ipv4 (4 bytes)
    //   Dump     %hex %HEX (upper case), width bytes
    // Any other character prints itself (%e gives e); %% gives %.
    switch (row->kind) {
        case RowKind::Integer:
            *fits = RenderInteger(&field, *row, precision, args);
            break;
        case RowKind::Fixed:
            *fits = RenderFixed(&field, precision, args);
            break;
        case RowKind::Float:
            *fits = RenderFloat(&field, precision, args);
            break;
        case RowKind::Char:
            *fits = RenderChar(&field, args);
            break;
        case RowKind::Text:
            *fits = RenderText(&field, precision, alternate, args);
            break;
        case RowKind::Wide:
            *fits = RenderWide(&field, precision, alternate, args);
            break;
        case RowKind::Ipv4:
            *fits = RenderIpv4(&field, precision, args);
            break;
        case RowKind::Dump:
            *fits = RenderDump(&field, args);
            break;
    }
    return f;
}

// ---- Entry points -----------------------------------------------------

// The engine proper; both entry points hand it a list of their own.
static std::int32_t FormatRun(char* destination, std::int32_t capacity, const char* format,
                              va_list* args) {
    if (destination == nullptr || format == nullptr) StrFatal(__LINE__, "Pointer is NULL\n");
    if (capacity < 1) {
        StrNote("\n\nERROR: The next string too small to contain anything!\nLINE: ");
        StrNote(format);
        return 0;
    }
    FormatSink sink{destination, destination + capacity, 0};
    const char* f = format;
    // Once the sink is full nothing more can be stored, so the rest of the
    // format is not even read: the output and the overrun stay the same.
    std::int32_t fits = 1;
    while (fits && sink.write != sink.end) {
        const char* run = f;
        while (*f != '\0' && *f != '%' && *f != '\t')
            ++f;
        if (f != run && !PutText(&sink, run, f - run)) break;
        if (*f == '\0') break;
        if (*f == '\t') {
            // Columns count from the start of this call's output.
            fits = PutRepeat(&sink, ' ', 4 - sink.count % 4);
            ++f;
            continue;
        }
        f = FormatConversion(&sink, f + 1, args, &fits);
        if (f == nullptr) break;
    }

    // Filling the last byte means the text did not fit: the terminator
    // takes the place of the last character stored.
    const bool overrun = sink.write == sink.end;
    if (overrun) {
        --sink.write;
        --sink.count;
    }
    *sink.write = '\0';
    if (overrun) {
        StrNote("\n\nERROR: The next string overran the print buffer!\nLINE: ");
        StrNote(format);
    }
    return sink.count;
}

std::int32_t StrFormatV(char* destination, std::int32_t capacity, const char* format,
                        va_list args) {
    // A va_list parameter cannot portably be passed on by address (it may
    // be an array that decayed to a pointer), so the engine reads a copy.
    va_list copy;
    va_copy(copy, args);
    const std::int32_t count = FormatRun(destination, capacity, format, &copy);
    va_end(copy);
    return count;
}

std::int32_t StrFormat(char* destination, std::int32_t capacity, const char* format, ...) {
    // Our own list can be passed by address directly, which spares the copy
    // (and, on x86-64, a stalled reload of the list just written).
    va_list args;
    va_start(args, format);
    const std::int32_t count = FormatRun(destination, capacity, format, &args);
    va_end(args);
    return count;
}
