// format.cpp: the system's own formatted output. One pass over the format
// writes through a bounded sink; each directive is first decoded (flags,
// width, precision and its row in a table of conversions) and then drawn by
// the small renderer of its row's kind. Nothing allocates: numbers are
// converted in the field's own text buffer.
#include "zizezaz/str/format.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "zizezaz/str/ascii.h"
#include "zizezaz/str/str_internal.h"

// ---- Records ----------------------------------------------------------

// The bounded output cursor of one call. It accepts capacity bytes, that
// is capacity - 1 characters plus the byte the terminator needs: an output
// that fills the last byte as well has overrun, and the terminator then
// replaces its last character. The count of characters accepted so far is
// write - start; a failed put fills the sink to its end, so a field that
// did not fit always leaves write == end behind.
struct FormatSink {
    char* write;
    char* end;
    char* start;
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
static constexpr std::uint32_t FIELD_ALTERNATE = 0x40;  // '#'; read by the renderers only

// The state of one conversion, set up afresh for every directive.
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
    return 1;
}

// The bulk forms below store exactly what that many FormatPutChar calls
// would: as much as fits, and 0 when not all of it did.
static std::int32_t PutText(FormatSink* sink, const char* text, std::size_t length) {
    const auto room = static_cast<std::size_t>(sink->end - sink->write);
    const std::size_t n = length < room ? length : room;
    std::memcpy(sink->write, text, n);
    sink->write += n;
    // cppcheck 2.10 takes n for the room alone, missing that n is the
    // length whenever the text fits.
    // cppcheck-suppress knownConditionTrueFalse
    return n == length;
}

// times is 64 bits: a width or a precision taken from the arguments may be
// near either end of the 32-bit range.
static std::int32_t PutRepeat(FormatSink* sink, char c, std::int64_t times) {
    if (times <= 0) return 1;
    const auto room = static_cast<std::size_t>(sink->end - sink->write);
    const std::size_t n =
        static_cast<std::uint64_t>(times) < room ? static_cast<std::size_t>(times) : room;
    std::memset(sink->write, c, n);
    sink->write += n;
    return n == static_cast<std::uint64_t>(times);
}

// ---- Fields -----------------------------------------------------------

// Writes a converted field: sign, padding, the precision's zeros and the
// text. With wide 1 the text is 16-bit units of which the low byte prints.
static std::int32_t FormatEmitField(FormatField* field, const char* text, std::int32_t wide) {
    FormatSink* sink = field->sink;
    const std::uint32_t flags = field->flags;
    const char sign = (flags & FIELD_NEGATIVE) ? '-' : (flags & FIELD_PLUS) ? '+' : '\0';
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
                std::memcpy(&unit, text + 2 * static_cast<std::size_t>(i), sizeof unit);
                c = static_cast<char>(unit & 0xFFu);
            }
            sink->write[i] = (flags & FIELD_UPPER)
                                 ? static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)))
                                 : c;
        }
        sink->write += n;
        if (n < field->length) return 0;
    } else if (!PutText(sink, text, static_cast<std::size_t>(field->length))) {
        return 0;
    }
    // Padding on the right is always blanks, even with zero-pad.
    if (!(flags & FIELD_RIGHT) && !PutRepeat(sink, ' ', pad)) return 0;
    return 1;
}

// ---- Numbers ----------------------------------------------------------

static constexpr char LOWER_DIGITS[] = "0123456789abcdef";
static constexpr char UPPER_DIGITS[] = "0123456789ABCDEF";

// The decimal digits of value, at least atLeast of them, backwards from p.
static char* PlaceDecimal(char* p, std::uint64_t value, std::int32_t atLeast) {
    std::int32_t placed = 0;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
        ++placed;
    } while (value != 0 || placed < atLeast);
    return p;
}

// Places the digits of value in base, backwards from p, with a ',' before
// every third digit. The caller has checked the room.
static char* PlaceGrouped(char* p, std::uint64_t value, std::uint32_t base, const char* digits) {
    int inGroup = 0;
    do {
        if (inGroup == 3) {
            *--p = ',';
            inGroup = 0;
        }
        *--p = digits[value % base];
        value /= base;
        ++inGroup;
    } while (value != 0);
    return p;
}

// Bases 2, 8 and 16 without grouping: shifts instead of divisions.
static char* PlaceBits(char* p, std::uint64_t value, std::uint32_t shift, const char* digits) {
    const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
    do {
        *--p = digits[value & mask];
        value >>= shift;
    } while (value != 0);
    return p;
}

// Characters an integer text needs. Decimal and hexadecimal texts are left
// out: twenty digits, six commas, a point and nine decimals, or sixteen
// digits and five commas, are always far below the limit. Only a long
// binary (or octal) text can reach it.
static constexpr std::int32_t LONGEST_DECIMAL_TEXT = 20 + 6 + 1 + 9;
static constexpr std::int32_t LONGEST_HEX_TEXT = 16 + 5;
static_assert(LONGEST_DECIMAL_TEXT < FORMAT_NUMBER_LIMIT && LONGEST_HEX_TEXT < FORMAT_NUMBER_LIMIT);

static std::int32_t PowerOfTwoTextLength(std::uint64_t value, std::uint32_t base, bool group) {
    const std::int32_t bits = value == 0 ? 1 : static_cast<std::int32_t>(std::bit_width(value));
    const std::int32_t digits = base == 2 ? bits : (bits + 2) / 3;
    return digits + (group ? (digits - 1) / 3 : 0);
}

// Truncates toward zero into 64 bits; magnitudes from 2^64 up, which no
// integer part can hold, saturate instead of being undefined.
static std::uint64_t WholePart(double magnitude) {
    if (magnitude >= 18446744073709551616.0) return ~std::uint64_t{0};
    return static_cast<std::uint64_t>(magnitude);
}

static constexpr std::uint64_t POWERS_OF_TEN[] = {1,      10,      100,      1000,      10000,
                                                  100000, 1000000, 10000000, 100000000, 1000000000};

// The three number converters write backwards from the end of the field's
// text buffer and leave textStart and length on the text.
static void SetNumberText(FormatField* field, char* p) {
    field->textStart = p;
    field->length += static_cast<std::int32_t>(field->text + FORMAT_TEXT_CAPACITY - p);
}

// A magnitude in base 2, 8, 10 or 16, its letters in the case they print in.
static void ConvertInteger(FormatField* field, std::uint64_t magnitude, std::uint32_t base) {
    const bool group = (field->flags & FIELD_GROUP) != 0;
    const char* digits = (field->flags & FIELD_UPPER) ? UPPER_DIGITS : LOWER_DIGITS;
    field->flags &= ~FIELD_UPPER;
    char* p = field->text + FORMAT_TEXT_CAPACITY;
    if (base == 10 && !group) {
        p = PlaceDecimal(p, magnitude, 1);
    } else if (base == 16 && !group) {
        p = PlaceBits(p, magnitude, 4, digits);
    } else {
        if (base == 2 || base == 8) {
            const std::int32_t needed = PowerOfTwoTextLength(magnitude, base, group);
            if (needed >= FORMAT_NUMBER_LIMIT) {
                StrFatal(__LINE__, "Value exceeds buffer size (%d > %d)\n", needed,
                         FORMAT_NUMBER_LIMIT);
            }
            if (!group) p = PlaceBits(p, magnitude, base == 2 ? 1 : 3, digits);
        }
        if (group) p = PlaceGrouped(p, magnitude, base, digits);
    }
    SetNumberText(field, p);
}

// 16.16 fixed point: the high half, a point and six decimals of the low half.
static void ConvertFixed(FormatField* field, std::uint32_t bits) {
    // Cut, not rounded: 0xFFFF is 999984, never 1000000.
    const std::uint64_t fraction = (std::uint64_t{bits & 0xFFFFu} * 1000000u) >> 16;
    char* p = PlaceDecimal(field->text + FORMAT_TEXT_CAPACITY, fraction, 6);
    *--p = '.';
    p = (field->flags & FIELD_GROUP) ? PlaceGrouped(p, bits >> 16, 10, LOWER_DIGITS)
                                     : PlaceDecimal(p, bits >> 16, 1);
    SetNumberText(field, p);
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
    std::uint64_t integer;
    if (decimals == 0) {
        integer = WholePart(std::floor(magnitude + 0.5));
    } else {
        const double whole = std::floor(magnitude);
        integer = WholePart(whole);
        std::uint64_t fraction = WholePart(
            std::floor((magnitude - whole) * static_cast<double>(POWERS_OF_TEN[decimals]) + 0.5));
        if (fraction >= POWERS_OF_TEN[decimals]) {
            ++integer;
            fraction -= POWERS_OF_TEN[decimals];
        }
        p = PlaceDecimal(p, fraction, decimals);
        *--p = '.';
    }
    p = group ? PlaceGrouped(p, integer, 10, LOWER_DIGITS) : PlaceDecimal(p, integer, 1);
    SetNumberText(field, p);
}

// ---- The conversion table ---------------------------------------------

enum class RowKind : std::uint8_t { INTEGER, FIXED, FLOAT, CHAR, TEXT, WIDE, IPV4, DUMP };
enum class RowArg : std::uint8_t {
    INT32,    // int, sign-extended
    UINT32,   // int, zero-extended
    INT64,    // long long
    UINT64,   // long long taken as unsigned
    DOUBLE,   // double
    POINTER,  // a pointer
};

// The fields go in the order a row reads, letter first; the padding this
// costs in a table of a few dozen rows is not worth a harder table to read.
struct FormatRow {  // NOLINT(clang-analyzer-optin.performance.Padding)
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

static constexpr std::uint32_t TEXT_CLEAR = FIELD_PLUS | FIELD_ZERO_PAD;

static constexpr FormatRow ROWS[] = {
    {'H', "EX", RowKind::DUMP, RowArg::POINTER, 16, 0, TEXT_CLEAR, "", -1},
    {'H', "ex", RowKind::DUMP, RowArg::POINTER, 16, 0, TEXT_CLEAR, "", -1},
    {'I', "64d", RowKind::INTEGER, RowArg::INT64, 10, 0, 0, "", -1},
    {'I', "64u", RowKind::INTEGER, RowArg::UINT64, 10, 0, 0, "", -1},
    {'I', "64x", RowKind::INTEGER, RowArg::INT64, 16, 0, 0, "", -1},
    {'O', "", RowKind::INTEGER, RowArg::UINT32, 8, 0, FIELD_PLUS, "0", -1},
    {'S', "", RowKind::TEXT, RowArg::POINTER, 0, 0, TEXT_CLEAR, "", -1},
    {'U', "nicode", RowKind::WIDE, RowArg::POINTER, 0, 0, TEXT_CLEAR, "", -1},
    {'U', "", RowKind::INTEGER, RowArg::UINT32, 10, 0, FIELD_PLUS, "", -1},
    {'X', "", RowKind::INTEGER, RowArg::UINT32, 16, 0, FIELD_PLUS, "0x", -1},
    {'a', "", RowKind::FIXED, RowArg::UINT32, 0, 0, 0, "", -1},
    {'b', "", RowKind::INTEGER, RowArg::UINT32, 2, 0, FIELD_PLUS, "", -1},
    {'c', "", RowKind::CHAR, RowArg::INT32, 0, 0, TEXT_CLEAR, "", -1},
    {'d', "", RowKind::INTEGER, RowArg::INT32, 10, 0, 0, "", -1},
    {'f', "", RowKind::FLOAT, RowArg::DOUBLE, 0, 0, 0, "", -1},
    {'h', "EX", RowKind::DUMP, RowArg::POINTER, 16, 0, TEXT_CLEAR, "", -1},
    {'h', "ex", RowKind::DUMP, RowArg::POINTER, 16, 0, TEXT_CLEAR, "", -1},
    {'i', "pv4", RowKind::IPV4, RowArg::POINTER, 0, 0, TEXT_CLEAR, "", -1},
    {'i', "", RowKind::INTEGER, RowArg::INT32, 10, 0, 0, "", -1},
    {'l', "l", RowKind::INTEGER, RowArg::INT64, 10, 0, 0, "", -1},
    {'l', "", RowKind::INTEGER, RowArg::INT32, 10, 0, 0, "", -1},
    {'o', "", RowKind::INTEGER, RowArg::UINT32, 8, 0, FIELD_PLUS, "0", -1},
    // Pointers are pointer-sized and never negative; the precision of 8
    // keeps 32-bit looking addresses at eight digits and lets wider ones
    // grow.
    {'p', "", RowKind::INTEGER, RowArg::POINTER, 16, FIELD_UPPER, FIELD_PLUS, "0x", 8},
    {'s', "", RowKind::TEXT, RowArg::POINTER, 0, 0, TEXT_CLEAR, "", -1},
    {'u', "nicode", RowKind::WIDE, RowArg::POINTER, 0, 0, TEXT_CLEAR, "", -1},
    {'u', "", RowKind::INTEGER, RowArg::UINT32, 10, 0, FIELD_PLUS, "", -1},
    {'x', "", RowKind::INTEGER, RowArg::UINT32, 16, 0, FIELD_PLUS, "0x", -1},
};
// A word row of a letter must come before the letter's single-letter row,
// so that the first match is the longest.
static constexpr bool WordsComeFirst() {
    for (std::size_t i = 0; i < std::size(ROWS); ++i) {
        for (std::size_t j = i + 1; j < std::size(ROWS); ++j) {
            if (ROWS[i].rest[0] == '\0' && ROWS[j].letter == ROWS[i].letter) return false;
        }
    }
    return true;
}
static_assert(WordsComeFirst());

// The row for the conversion character c, whose word, if any, continues at
// *after; a matched word is consumed. Null when c is no conversion.
static const FormatRow* FindRow(char c, const char** after) {
    for (const FormatRow& row : ROWS) {
        if (row.letter != c) continue;
        const char* rest = row.rest;
        const char* at = *after;
        while (*rest != '\0' && *at == *rest) {
            ++rest;
            ++at;
        }
        if (*rest == '\0') {
            *after = at;
            return &row;
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
        case RowArg::INT32:
            return static_cast<std::uint64_t>(std::int64_t{va_arg(*args, int)});
        case RowArg::UINT32:
            return static_cast<std::uint32_t>(va_arg(*args, int));
        case RowArg::INT64:
        case RowArg::UINT64:
            return static_cast<std::uint64_t>(va_arg(*args, long long));
        case RowArg::POINTER:
            return reinterpret_cast<std::uintptr_t>(va_arg(*args, const void*));
        case RowArg::DOUBLE:
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

// Every conversion but %I64u and %p takes its value as signed; the 32-bit
// unsigned ones arrive zero-extended and so never show a sign.
static std::int32_t RenderInteger(FormatField* field, const FormatRow& row, std::int32_t precision,
                                  va_list* args) {
    std::uint64_t value = ReadInteger(row.arg, args);
    if (row.precision >= 0) precision = row.precision;
    if (row.arg != RowArg::UINT64 && row.arg != RowArg::POINTER &&
        static_cast<std::int64_t>(value) < 0) {
        field->flags |= FIELD_NEGATIVE;
        value = 0u - value;
    }
    ConvertInteger(field, value, row.base);
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

// Bytes before the first terminator or DEL, looking at no more than limit
// bytes (SIZE_MAX for the whole text).
static std::size_t TextLength(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0' && text[length] != '\x7f')
        ++length;
    return length;
}

// Text ends at the first terminator or DEL. With # a text cut by a DEL
// prints NONASCII instead; without it the scan need not look further than
// the precision, which keeps "%.4s" within a buffer that holds no
// terminator.
static std::int32_t RenderText(FormatField* field, std::int32_t precision, va_list* args) {
    const char* text = va_arg(*args, const char*);
    if (text == nullptr) return PutNull(field->sink);
    const bool alternate = (field->flags & FIELD_ALTERNATE) != 0;
    const std::size_t limit =
        (precision >= 0 && !alternate) ? static_cast<std::size_t>(precision) : SIZE_MAX;
    std::size_t length = TextLength(text, limit);
    if (alternate && text[length] == '\x7f') return PutText(field->sink, "NONASCII", 8);
    if (length > 0x7FFFFFFFu) length = 0x7FFFFFFF;
    field->length = static_cast<std::int32_t>(length);
    if (precision >= 0 && precision < field->length) field->length = precision;
    return FormatEmitField(field, text, 0);
}

// The same on 16-bit units, by their low byte: 0x0100 ends the text too.
static std::int32_t RenderWide(FormatField* field, std::int32_t precision, va_list* args) {
    const std::uint16_t* text = va_arg(*args, const std::uint16_t*);
    if (text == nullptr) return PutNull(field->sink);
    const bool alternate = (field->flags & FIELD_ALTERNATE) != 0;
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
    const char* digits = (field->flags & FIELD_UPPER) ? UPPER_DIGITS : LOWER_DIGITS;
    for (std::int32_t i = 0; i < field->width; ++i) {
        if (!FormatPutChar(field->sink, digits[bytes[i] >> 4])) return 0;
        if (!FormatPutChar(field->sink, digits[bytes[i] & 0x0F])) return 0;
    }
    return 1;
}

// ---- Directives -------------------------------------------------------

// The flags may only come in this order, each at most once: the rank of
// each flag character, 0 for any other byte, and what each rank toggles
// ('-' turns off right-justify, which every field starts with).
static constexpr std::array<std::uint8_t, 256> FLAG_RANK = [] {
    std::array<std::uint8_t, 256> rank{};
    rank['#'] = 1;
    rank['-'] = 2;
    rank['+'] = 3;
    rank['\''] = 4;
    rank['0'] = 5;
    return rank;
}();
static constexpr std::uint32_t FLAG_OF_RANK[] = {0,          FIELD_ALTERNATE, FIELD_RIGHT,
                                                 FIELD_PLUS, FIELD_GROUP,     FIELD_ZERO_PAD};

// A run of decimal digits. Any count of 32 bits is read whole; a longer run
// saturates at the largest.
static const char* ReadCount(const char* f, std::int32_t* count) {
    std::int64_t n = 0;
    for (; AsciiIsDigit(*f); ++f) {
        n = n * 10 + (*f - '0');
        if (n > std::numeric_limits<std::int32_t>::max())
            n = std::numeric_limits<std::int32_t>::max();
    }
    *count = static_cast<std::int32_t>(n);
    return f;
}

// Decodes the directive that starts at f, just after its '%', into field
// and *precision. Returns its row, or null for a character that is no
// conversion (then in *other) or when the format ends inside the directive
// (then *other is the terminator). *f moves past the directive.
static const FormatRow* DecodeDirective(const char** at, va_list* args, FormatField* field,
                                        std::int32_t* precision, char* other) {
    const char* f = *at;
    std::uint32_t flags = FIELD_RIGHT;
    for (std::uint32_t rank = 0, next; (next = FLAG_RANK[static_cast<unsigned char>(*f)]) > rank;
         ++f) {
        flags ^= FLAG_OF_RANK[next];
        rank = next;
    }
    // A negative width from the arguments simply gives no padding.
    field->width = 0;
    if (*f == '*') {
        field->width = va_arg(*args, int);
        ++f;
    } else if (AsciiIsDigit(*f)) {
        f = ReadCount(f, &field->width);
    }
    *precision = -1;
    if (*f == '.') {
        ++f;
        if (*f == '*') {
            *precision = va_arg(*args, int);
            if (*precision < 0) *precision = -1;
            ++f;
        } else {
            f = ReadCount(f, precision);
        }
    }

    const char c = *f;
    *other = c;
    if (c == '\0') {
        *at = f;
        return nullptr;
    }
    ++f;
    const FormatRow* row = FindRow(c, &f);
    *at = f;
    if (row != nullptr) {
        if (c >= 'A' && c <= 'Z') flags |= FIELD_UPPER;
        field->flags = (flags | row->set) & ~row->clear;
    }
    return row;
}

// Performs the directive that starts at f, just after its '%'. Returns
// where the format goes on, or null when the output is to stop: the format
// ended inside the directive, or the field did not fit.
static const char* FormatConversion(FormatSink* sink, const char* f, va_list* args) {
    if (*f == '%') return FormatPutChar(sink, '%') ? f + 1 : nullptr;

    FormatField field;
    field.length = 0;
    field.zeroCount = 0;
    field.sink = sink;
    std::int32_t precision;
    char other;
    const FormatRow* row = DecodeDirective(&f, args, &field, &precision, &other);
    if (row == nullptr) {
        if (other == '\0') return nullptr;
        return FormatPutChar(sink, other) ? f : nullptr;
    }
    // The # prefix goes straight to the sink, ahead of any padding, and is
    // lower case whatever the conversion.
    if ((field.flags & FIELD_ALTERNATE) && row->prefix[0] != '\0' &&
        !PutText(sink, row->prefix, std::strlen(row->prefix))) {
        return nullptr;
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
    std::int32_t fits = 1;
    switch (row->kind) {
        case RowKind::INTEGER:
            fits = RenderInteger(&field, *row, precision, args);
            break;
        case RowKind::FIXED:
            fits = RenderFixed(&field, precision, args);
            break;
        case RowKind::FLOAT:
            fits = RenderFloat(&field, precision, args);
            break;
        case RowKind::CHAR:
            fits = RenderChar(&field, args);
            break;
        case RowKind::TEXT:
            fits = RenderText(&field, precision, args);
            break;
        case RowKind::WIDE:
            fits = RenderWide(&field, precision, args);
            break;
        case RowKind::IPV4:
            fits = RenderIpv4(&field, precision, args);
            break;
        case RowKind::DUMP:
            fits = RenderDump(&field, args);
            break;
    }
    return fits ? f : nullptr;
}

// ---- Entry points -----------------------------------------------------

std::int32_t StrFormatV(char* destination, std::int32_t capacity, const char* format,
                        va_list list) {
    if (destination == nullptr || format == nullptr) StrFatal(__LINE__, "Pointer is NULL\n");
    if (capacity < 1) {
        StrNote("\n\nERROR: The next string too small to contain anything!\nLINE: ");
        StrNote(format);
        return 0;
    }
    // A va_list parameter cannot portably be passed on by address (it may
    // be an array that decayed to a pointer), so the engine reads a copy.
    va_list args;
    va_copy(args, list);
    FormatSink sink{destination, destination + capacity, destination};
    const char* f = format;
    // The output stops at the format's end or at the first piece that does
    // not fit; conversions after that one are not performed.
    for (;;) {
        const char* run = f;
        while (*f != '\0' && *f != '%' && *f != '\t')
            ++f;
        if (f != run && !PutText(&sink, run, static_cast<std::size_t>(f - run))) break;
        if (*f == '%') {
            f = FormatConversion(&sink, f + 1, &args);
            if (f == nullptr) break;
        } else if (*f == '\t') {
            // Columns count from the start of this call's output.
            if (!PutRepeat(&sink, ' ', 4 - (sink.write - sink.start) % 4)) break;
            ++f;
        } else {
            break;
        }
    }
    va_end(args);

    // Filling the last byte means the text did not fit: the terminator
    // takes the place of the last character stored.
    const bool overrun = sink.write == sink.end;
    if (overrun) --sink.write;
    *sink.write = '\0';
    if (overrun) {
        StrNote("\n\nERROR: The next string overran the print buffer!\nLINE: ");
        StrNote(format);
    }
    return static_cast<std::int32_t>(sink.write - sink.start);
}

std::int32_t StrFormat(char* destination, std::int32_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::int32_t count = StrFormatV(destination, capacity, format, args);
    va_end(args);
    return count;
}
