// format_fuzz.cpp: the formatter over directive sequences built from the
// fuzz bytes, each directive with an argument of the type it reads.
//
// A variadic call needs its argument types at compile time, so every call
// has the same shape: GROUPS groups of five places, one per argument type
// (int, long long, double, text, 16-bit text), each place holding a width
// int, a precision int and the value. The sequence gives each place one
// directive of that type, or silent fillers ("%.0d" of 0 prints nothing)
// that use up what the directive does not read; the ints of a place that
// no star reads are used up the same way, ahead of the directive. Only the
// double place has no silent filler: when it is not used it prints "0".
//
// Checked for every sequence:
//   - every capacity from 0 up to one past the text (within a bound):
//     the result, the bytes as a prefix of the whole text, the terminator,
//     nothing written after the terminator, guard bytes intact;
//   - the same sequence with every literal width and precision that fits
//     an int given through '*' instead prints the same;
//   - in the sequences restricted to what snprintf also means (about half
//     of them), the text equals snprintf's byte for byte.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "zizezaz/str/format.h"

enum ValueType : std::int32_t { INT, LONG, DOUBLE, TEXT, WIDE, TYPE_COUNT };

static constexpr std::int32_t GROUPS = 4;
static constexpr std::size_t ARG_COUNT = GROUPS * TYPE_COUNT * 3;
// The roomy capacity of the reference text; every capacity up to one past
// the text is tried, up to EVERY_CAPACITY, and a spread of them beyond.
static constexpr std::int32_t ROOMY = 2048;
static constexpr std::int32_t EVERY_CAPACITY = 256;
// snprintf pads in time proportional to the width, so the comparable
// sequences keep widths and precisions below this.
static constexpr std::int32_t COMPARABLE_LIMIT = 10000;

static constexpr std::uint16_t WIDE_EMPTY[] = {0};

// The values of one call, by place.
struct Values {
    std::int32_t stars[GROUPS][TYPE_COUNT][2];
    std::int32_t ints[GROUPS];
    long long longs[GROUPS];
    double doubles[GROUPS];
    const char* texts[GROUPS];
    const std::uint16_t* wides[GROUPS];
};

// Argument I of the call. snprintf has no 16-bit text: its call passes an
// empty text there, which the comparable sequences leave unprinted.
template <std::size_t I, bool ForC>
static auto Arg(const Values& v) {
    constexpr std::size_t group = I / (TYPE_COUNT * 3);
    constexpr std::size_t type = (I / 3) % TYPE_COUNT;
    constexpr std::size_t slot = I % 3;
    if constexpr (slot < 2) {
        return v.stars[group][type][slot];
    } else if constexpr (type == INT) {
        return v.ints[group];
    } else if constexpr (type == LONG) {
        return v.longs[group];
    } else if constexpr (type == DOUBLE) {
        return v.doubles[group];
    } else if constexpr (type == TEXT) {
        return v.texts[group];
    } else if constexpr (ForC) {
        return static_cast<const char*>("");
    } else {
        return v.wides[group];
    }
}

template <std::size_t... I>
static std::int32_t CallOurs(char* out, std::int32_t capacity, const char* format, const Values& v,
                             std::index_sequence<I...>) {
    return StrFormat(out, capacity, format, Arg<I, false>(v)...);
}

template <std::size_t... I>
static int CallC(char* out, std::size_t capacity, const char* format, const Values& v,
                 std::index_sequence<I...>) {
    return std::snprintf(out, capacity, format, Arg<I, true>(v)...);
}

// ---- The sequence ---------------------------------------------------------

enum Amount : std::int32_t { ABSENT, DOT_ONLY, LITERAL, STAR };

struct Directive {
    std::string flags;  // a subset of "#-+'0", in this order
    Amount width;       // ABSENT, LITERAL or STAR
    std::string widthDigits;
    std::int32_t widthStar;
    Amount precision;
    std::string precisionDigits;
    std::int32_t precisionStar;
    std::string word;   // the conversion as we write it
    std::string cWord;  // as snprintf writes it
    bool takesValue;
};

struct Place {
    std::string text;  // literal text ahead of the place
    bool silent;
    Directive directive;
};

struct Sequence {
    Place places[GROUPS][TYPE_COUNT];
    std::string tail;  // a directive cut off by the end of the format
    bool comparable;
    Values values;
};

struct Conversion {
    const char* word;
    const char* cWord;  // null: snprintf means something else
    bool takesValue;
    bool integer;  // a precision of 0 and a value of 0 print nothing
};

static constexpr Conversion INT_CONVERSIONS[] = {
    {"d", "d", true, true},       {"i", "i", true, true},       {"l", "d", true, true},
    {"u", "u", true, true},       {"U", "u", true, true},       {"x", "x", true, true},
    {"X", "X", true, true},       {"o", "o", true, true},       {"O", "o", true, true},
    {"c", "c", true, false},      {"b", nullptr, true, true},   {"a", nullptr, true, true},
    {"%", "%", false, false},     {"e", nullptr, false, false}, {"C", nullptr, false, false},
    {"h", nullptr, false, false}, {"I", nullptr, false, false}, {"H", nullptr, false, false},
};
static constexpr Conversion LONG_CONVERSIONS[] = {
    {"ll", "lld", true, true},
    {"I64d", "lld", true, true},
    {"I64u", "llu", true, true},
    {"I64x", "llX", true, true},
};
static constexpr Conversion DOUBLE_CONVERSIONS[] = {{"f", "f", true, false}};
static constexpr Conversion TEXT_CONVERSIONS[] = {
    {"s", "s", true, false},        {"S", nullptr, true, false},   {"p", nullptr, true, false},
    {"ipv4", nullptr, true, false}, {"HEX", nullptr, true, false}, {"hex", nullptr, true, false},
    {"Hex", nullptr, true, false},  {"hEX", nullptr, true, false},
};
static constexpr Conversion WIDE_CONVERSIONS[] = {{"unicode", nullptr, true, false},
                                                  {"Unicode", nullptr, true, false}};

struct ConversionList {
    const Conversion* rows;
    std::size_t count;
};

static constexpr std::array<ConversionList, TYPE_COUNT> CONVERSIONS = {{
    {INT_CONVERSIONS, std::size(INT_CONVERSIONS)},
    {LONG_CONVERSIONS, std::size(LONG_CONVERSIONS)},
    {DOUBLE_CONVERSIONS, std::size(DOUBLE_CONVERSIONS)},
    {TEXT_CONVERSIONS, std::size(TEXT_CONVERSIONS)},
    {WIDE_CONVERSIONS, std::size(WIDE_CONVERSIONS)},
}};

// The texts the text places point at, each in a block of its own size so
// that AddressSanitizer sees a read past it. An unterminated text is read
// only up to a precision that stays inside it.
struct Texts {
    std::vector<std::vector<char>> narrow;
    std::vector<bool> narrowEnded;
    std::vector<std::vector<std::uint16_t>> wide;
    std::vector<bool> wideEnded;
    std::array<unsigned char, 4> address;
};

// A literal width or precision. A width never starts with '0', which would
// be the zero-pad flag.
static std::string Digits(FuzzInput* in, bool width) {
    const std::uint8_t shape = FuzzByte(in);
    // Mostly one to three digits; now and then up to eleven, leading zeros
    // and values beyond an int included.
    const std::int32_t count = (shape & 0xF0) == 0xF0 ? 1 + shape % 11 : 1 + shape % 3;
    std::string digits;
    for (std::int32_t i = 0; i < count; ++i)
        digits.push_back(static_cast<char>('0' + FuzzByte(in) % 10));
    if (width && digits[0] == '0') digits[0] = '1';
    return digits;
}

// The value of a run of digits, saturated past the int range.
static std::int64_t DigitsValue(const std::string& digits) {
    std::int64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    }
    return value;
}

static std::int32_t StarValue(FuzzInput* in) {
    const std::uint8_t shape = FuzzByte(in);
    if ((shape & 0xC0) == 0xC0) return static_cast<std::int32_t>(FuzzU32(in));
    return static_cast<std::int32_t>(shape % 48) - 4;
}

// The precision a directive ends up with, -1 when absent.
static std::int64_t PrecisionOf(const Directive& d) {
    switch (d.precision) {
        case ABSENT:
            return -1;
        case DOT_ONLY:
            return 0;
        case LITERAL:
            return DigitsValue(d.precisionDigits);
        case STAR:
            return d.precisionStar < 0 ? -1 : d.precisionStar;
    }
    return -1;
}

static std::int64_t WidthOf(const Directive& d) {
    if (d.width == LITERAL) return DigitsValue(d.widthDigits);
    if (d.width == STAR) return d.widthStar;
    return 0;
}

static void SetPrecision(Directive* d, std::int64_t value) {
    d->precision = LITERAL;
    d->precisionDigits = std::to_string(value);
}

static void SetWidth(Directive* d, std::int64_t value) {
    d->width = value > 0 ? LITERAL : ABSENT;  // "0" would be the flag
    d->widthDigits = std::to_string(value);
}

static void RemoveFlag(Directive* d, char flag) {
    const std::size_t at = d->flags.find(flag);
    if (at != std::string::npos) d->flags.erase(at, 1);
}

static Directive MakeDirective(FuzzInput* in, ValueType type, bool comparable) {
    Directive d{};
    const std::uint8_t flagBits = FuzzByte(in);
    const char* order = "#-+'0";
    for (std::int32_t i = 0; i < 5; ++i) {
        // Each flag about one time in four.
        if (((flagBits >> i) & 1) && ((flagBits >> 5) & 1)) d.flags.push_back(order[i]);
    }
    const std::uint8_t amounts = FuzzByte(in);
    const Amount widths[] = {ABSENT, LITERAL, STAR, LITERAL};
    d.width = widths[amounts & 3];
    if (d.width == LITERAL) d.widthDigits = Digits(in, true);
    if (d.width == STAR) d.widthStar = StarValue(in);
    const Amount precisions[] = {ABSENT, ABSENT,  DOT_ONLY, LITERAL,
                                 STAR,   LITERAL, ABSENT,  STAR};
    d.precision = precisions[(amounts >> 2) & 7];
    if (d.precision == LITERAL) d.precisionDigits = Digits(in, false);
    if (d.precision == STAR) d.precisionStar = StarValue(in);

    const ConversionList& list = CONVERSIONS[static_cast<std::size_t>(type)];
    const Conversion* row = &list.rows[FuzzByte(in) % list.count];
    if (comparable) {
        // Only the conversions whose meaning snprintf shares.
        std::size_t tries = 0;
        while (row->cWord == nullptr && tries++ < list.count)
            row = &list.rows[(static_cast<std::size_t>(row - list.rows) + 1) % list.count];
    }
    d.word = row->word;
    d.cWord = row->cWord != nullptr ? row->cWord : "";
    d.takesValue = row->takesValue;

    if (!comparable) return d;
    // Where the two differ on purpose: '#' puts the prefix
    // ahead of the padding (and on a zero), '\'' groups, '0' with a
    // precision still pads with zeros, '+' shows on %I64u and %I64x, a
    // star's negative width means no padding, %f rounds half up and stops
    // at nine decimals, and a precision of 0 prints nothing for a zero,
    // not even the padding.
    RemoveFlag(&d, '#');
    RemoveFlag(&d, '\'');
    if ((row->integer && d.precision != ABSENT) || d.word == "c" || d.word == "s")
        RemoveFlag(&d, '0');
    // Our 64-bit unsigned conversions keep '+', snprintf's ignore it.
    if (d.word == "I64u" || d.word == "I64x") RemoveFlag(&d, '+');
    if (d.width == LITERAL && d.widthDigits.size() > 4) d.widthDigits.resize(4);
    if (d.width == STAR && (d.widthStar < 0 || d.widthStar >= COMPARABLE_LIMIT))
        d.widthStar = static_cast<std::int32_t>(static_cast<std::uint32_t>(d.widthStar) % 1000u);
    if (d.precision == LITERAL && d.precisionDigits.size() > 4) d.precisionDigits.resize(4);
    if (d.precision == STAR && d.precisionStar >= COMPARABLE_LIMIT) d.precisionStar %= 1000;
    if (d.word == "f" && PrecisionOf(d) > 9) SetPrecision(&d, 9);
    if (d.word == "%") {
        d.flags.clear();
        d.width = ABSENT;
        d.precision = ABSENT;
    }
    return d;
}

static void MakeTexts(FuzzInput* in, bool comparable, Texts* texts) {
    for (std::int32_t i = 0; i < 3; ++i) {
        const std::uint8_t shape = FuzzByte(in);
        const std::size_t length = shape % 24;
        const bool ended = length == 0 || (shape & 0x80) == 0;
        std::vector<char> text;
        for (std::size_t k = 0; k < length; ++k) {
            auto c = static_cast<char>(FuzzByte(in));
            if (c == '\0' || (comparable && c == '\x7F')) c = 'z';
            text.push_back(c);
        }
        if (ended) text.push_back('\0');
        texts->narrow.push_back(std::move(text));
        texts->narrowEnded.push_back(ended);
    }
    for (std::int32_t i = 0; i < 2; ++i) {
        const std::uint8_t shape = FuzzByte(in);
        const std::size_t length = shape % 16;
        const bool ended = length == 0 || (shape & 0x80) == 0;
        std::vector<std::uint16_t> text;
        for (std::size_t k = 0; k < length; ++k) {
            const std::uint8_t low = FuzzByte(in);
            auto unit = static_cast<std::uint16_t>(low | (FuzzByte(in) << 8));
            if (unit == 0) unit = 'w';
            text.push_back(unit);
        }
        if (ended) text.push_back(0);
        texts->wide.push_back(std::move(text));
        texts->wideEnded.push_back(ended);
    }
    for (auto& byte : texts->address)
        byte = FuzzByte(in);
}

// An integer that is now small, now anything.
static std::int64_t Integer(FuzzInput* in, bool wide) {
    const std::uint8_t shape = FuzzByte(in);
    if ((shape & 3) == 0) return static_cast<std::int64_t>(shape >> 2) - 20;
    if (wide) return static_cast<std::int64_t>(FuzzU64(in));
    return static_cast<std::int32_t>(FuzzU32(in));
}

// Fills the value of a place whose directive is d, and bends d where the
// value could make it read outside its argument.
static void MakeValue(FuzzInput* in, Sequence* s, std::int32_t g, ValueType type, Directive* d,
                      Texts* texts) {
    Values& v = s->values;
    const auto group = static_cast<std::size_t>(g);
    const bool zeroPrecision = PrecisionOf(*d) == 0;
    switch (type) {
        case INT:
            v.ints[group] = d->takesValue ? static_cast<std::int32_t>(Integer(in, false)) : 0;
            if (s->comparable && zeroPrecision && v.ints[group] == 0) v.ints[group] = 1;
            break;
        case LONG:
            v.longs[group] = Integer(in, true);
            if (s->comparable && d->word == "I64x" && v.longs[group] < 0)
                v.longs[group] &= std::numeric_limits<long long>::max();
            if (s->comparable && zeroPrecision && v.longs[group] == 0) v.longs[group] = 1;
            break;
        case DOUBLE: {
            const std::uint8_t shape = FuzzByte(in);
            if (!s->comparable && (shape & 3) == 0) {
                const std::uint64_t bits = FuzzU64(in);
                std::memcpy(&v.doubles[group], &bits, sizeof bits);
                break;
            }
            // Eighths: every printed decimal is exact, so rounding (half up
            // here, half to even in snprintf) never comes into it, unless
            // fewer than three decimals are asked for.
            std::int64_t eighths = Integer(in, true) % (std::int64_t{1} << 50);
            const std::int64_t decimals = PrecisionOf(*d) < 0 ? 6 : PrecisionOf(*d);
            if (s->comparable && decimals < 3) eighths -= eighths % 8;
            v.doubles[group] = static_cast<double>(eighths) / 8.0;
            break;
        }
        case TEXT: {
            const std::size_t pick = FuzzByte(in) % (texts->narrow.size() + 1);
            if (pick == texts->narrow.size() && !s->comparable) {
                v.texts[group] = nullptr;
                break;
            }
            const std::size_t index = pick % texts->narrow.size();
            const std::vector<char>& text = texts->narrow[index];
            v.texts[group] = text.data();
            const auto size = static_cast<std::int64_t>(text.size());
            if (d->word == "ipv4" && size < 4) {
                v.texts[group] = reinterpret_cast<const char*>(texts->address.data());
            } else if (d->word == "s" || d->word == "S") {
                if (!texts->narrowEnded[index]) {
                    RemoveFlag(d, '#');
                    const std::int64_t precision = PrecisionOf(*d);
                    if (precision < 0 || precision > size) {
                        SetPrecision(d, size);
                    } else if (s->comparable && precision == 0) {
                        // AddressSanitizer's check of snprintf's arguments
                        // takes a precision of 0 for none and measures the
                        // whole text.
                        SetPrecision(d, 1);
                    }
                }
            } else if (d->word != "p" && d->word != "ipv4") {
                // A dump reads as many bytes as the width says.
                if (WidthOf(*d) > size) SetWidth(d, size);
            }
            break;
        }
        case WIDE: {
            const std::size_t pick = FuzzByte(in) % (texts->wide.size() + 1);
            if (pick == texts->wide.size()) {
                v.wides[group] = nullptr;
                break;
            }
            const std::vector<std::uint16_t>& text = texts->wide[pick];
            v.wides[group] = text.data();
            if (!texts->wideEnded[pick]) {
                RemoveFlag(d, '#');
                const std::int64_t precision = PrecisionOf(*d);
                const auto size = static_cast<std::int64_t>(text.size());
                if (precision < 0 || precision > size) SetPrecision(d, size);
            }
            break;
        }
        case TYPE_COUNT:
            break;
    }
}

static void MakeSilentValue(Sequence* s, std::int32_t g, ValueType type) {
    Values& v = s->values;
    const auto group = static_cast<std::size_t>(g);
    switch (type) {
        case INT:
            v.ints[group] = 0;
            break;
        case LONG:
            v.longs[group] = 0;
            break;
        case DOUBLE:
            v.doubles[group] = 0.0;
            break;
        case TEXT:
            v.texts[group] = "";
            break;
        case WIDE:
            v.wides[group] = WIDE_EMPTY;
            break;
        case TYPE_COUNT:
            break;
    }
}

static std::string LiteralText(FuzzInput* in, bool comparable) {
    const std::size_t length = FuzzByte(in) % 8;
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        auto c = static_cast<char>(FuzzByte(in));
        if (c == '\0' || c == '%' || (comparable && c == '\t')) c = '_';
        text.push_back(c);
    }
    // A letter or digit right after a directive could lengthen its word
    // (%l then l is %ll), which changes the sequence itself.
    const auto first = static_cast<unsigned char>(text.empty() ? ' ' : text[0]);
    if ((first >= '0' && first <= '9') || ((first | 0x20) >= 'a' && (first | 0x20) <= 'z'))
        text.insert(text.begin(), '|');
    return text;
}

static void MakeSequence(FuzzInput* in, Sequence* s, Texts* texts) {
    s->comparable = (FuzzByte(in) & 1) != 0;
    MakeTexts(in, s->comparable, texts);
    for (std::int32_t g = 0; g < GROUPS; ++g) {
        for (std::int32_t t = 0; t < TYPE_COUNT; ++t) {
            const auto type = static_cast<ValueType>(t);
            Place& place = s->places[g][t];
            place.text = LiteralText(in, s->comparable);
            place.silent = (FuzzByte(in) & 3) == 0 || (s->comparable && type == WIDE);
            if (place.silent) {
                MakeSilentValue(s, g, type);
                continue;
            }
            place.directive = MakeDirective(in, type, s->comparable);
            MakeValue(in, s, g, type, &place.directive, texts);
        }
    }
    // Now and then a directive that the end of the format cuts off; only
    // literal amounts, since every argument has been used by then.
    if (!s->comparable && (FuzzByte(in) & 7) == 0) {
        s->tail = "%";
        const std::uint8_t shape = FuzzByte(in);
        if (shape & 1) s->tail += "-";
        if (shape & 2) s->tail += std::to_string(shape >> 2);
        if (shape & 4) s->tail += ".";
    }
}

// ---- Writing the format ---------------------------------------------------

static const char* SilentWord(ValueType type, bool forC) {
    switch (type) {
        case INT:
            return "d";
        case LONG:
            return forC ? "lld" : "ll";
        case DOUBLE:
            return "f";
        case TEXT:
            return "s";
        case WIDE:
            return forC ? "s" : "unicode";
        case TYPE_COUNT:
            break;
    }
    return "d";
}

// The format of the sequence, for us or for snprintf; with allStars every
// literal amount that fits an int is given through '*' instead. Sets the
// width and precision ints of every place.
static std::string WriteFormat(Sequence* s, bool forC, bool allStars) {
    std::string format;
    for (std::int32_t g = 0; g < GROUPS; ++g) {
        for (std::int32_t t = 0; t < TYPE_COUNT; ++t) {
            const auto type = static_cast<ValueType>(t);
            const Place& place = s->places[g][t];
            std::int32_t* stars = s->values.stars[g][t];
            format += place.text;
            if (place.silent) {
                stars[0] = 0;
                stars[1] = 0;
                format += "%.0d%.0d%.0";
                format += SilentWord(type, forC);
                continue;
            }
            const Directive& d = place.directive;
            std::vector<std::int32_t> used;
            std::string amounts;
            if (d.width == STAR ||
                (allStars && d.width == LITERAL &&
                 DigitsValue(d.widthDigits) <= std::numeric_limits<std::int32_t>::max())) {
                used.push_back(d.width == STAR
                                   ? d.widthStar
                                   : static_cast<std::int32_t>(DigitsValue(d.widthDigits)));
                amounts += "*";
            } else if (d.width == LITERAL) {
                amounts += d.widthDigits;
            }
            const std::int64_t precision =
                d.precision == LITERAL ? DigitsValue(d.precisionDigits) : 0;
            if (d.precision == STAR ||
                (allStars && (d.precision == DOT_ONLY ||
                              (d.precision == LITERAL &&
                               precision <= std::numeric_limits<std::int32_t>::max())))) {
                used.push_back(d.precision == STAR ? d.precisionStar
                                                    : static_cast<std::int32_t>(precision));
                amounts += ".*";
            } else if (d.precision == DOT_ONLY) {
                // The same to snprintf, but AddressSanitizer's check of its
                // arguments takes a bare "." for no precision and measures
                // the whole text.
                amounts += forC ? ".0" : ".";
            } else if (d.precision == LITERAL) {
                amounts += "." + d.precisionDigits;
            }
            // The ints no star reads are used up ahead of the directive.
            const std::size_t unused = 2 - used.size();
            for (std::size_t k = 0; k < 2; ++k)
                stars[k] = k < unused ? 0 : used[k - unused];
            for (std::size_t k = 0; k < unused; ++k)
                format += "%.0d";
            format += "%" + d.flags + amounts + (forC ? d.cWord : d.word);
            if (!d.takesValue) format += "%.0d";
        }
    }
    if (!forC) format += s->tail;
    return format;
}

// ---- The checks -----------------------------------------------------------

static constexpr auto ARGS = std::make_index_sequence<ARG_COUNT>{};

static std::string Format(const Sequence& s, const std::string& format, std::int32_t capacity,
                          std::int32_t* result) {
    FuzzBuffer buffer{};
    FuzzBufferReset(&buffer, static_cast<std::size_t>(capacity));
    char* out = FuzzBufferStart(&buffer);
    *result = CallOurs(out, capacity, format.c_str(), s.values, ARGS);
    FUZZ_CHECK(FuzzGuardsIntact(&buffer), "[%s] into %d wrote past the buffer",
               FuzzShow(format).c_str(), capacity);
    return std::string(out, static_cast<std::size_t>(*result < 0 ? 0 : *result));
}

static void CheckCapacity(const Sequence& s, const std::string& format, const std::string& whole,
                          std::int32_t capacity) {
    FuzzBuffer buffer{};
    FuzzBufferReset(&buffer, static_cast<std::size_t>(capacity < 0 ? 0 : capacity));
    char* out = FuzzBufferStart(&buffer);
    const std::int32_t result = CallOurs(out, capacity, format.c_str(), s.values, ARGS);
    const auto length = static_cast<std::int32_t>(whole.size());
    const std::int32_t stored = capacity < 1 ? 0 : std::min(length, capacity - 1);
    FUZZ_CHECK(FuzzGuardsIntact(&buffer), "[%s] into %d wrote past the buffer",
               FuzzShow(format).c_str(), capacity);
    FUZZ_CHECK(result == stored, "[%s] into %d gave %d, not %d", FuzzShow(format).c_str(), capacity,
               result, stored);
    if (capacity < 1) return;
    FUZZ_CHECK(whole.compare(0, static_cast<std::size_t>(stored), out,
                             static_cast<std::size_t>(stored)) == 0 &&
                   out[stored] == '\0',
               "[%s] into %d: [%s] is not the text cut at %d", FuzzShow(format).c_str(), capacity,
               FuzzShow(out, static_cast<std::size_t>(stored)).c_str(), stored);
    for (std::int32_t i = stored + 1; i < capacity; ++i) {
        FUZZ_CHECK(out[i] == FUZZ_FILL_BYTE, "[%s] into %d: byte %d after the terminator written",
                   FuzzShow(format).c_str(), capacity, i);
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size, 0};
    // On the heap: clang 14 crashes trying to evaluate a braced local of
    // this size as a constant.
    const auto held = std::make_unique<Sequence>();
    Sequence& sequence = *held;
    Texts texts{};
    MakeSequence(&in, &sequence, &texts);

    const std::string format = WriteFormat(&sequence, false, false);
    std::int32_t result = 0;
    const std::string whole = Format(sequence, format, ROOMY, &result);
    FUZZ_CHECK(result >= 0 && result < ROOMY, "[%s] gave %d", FuzzShow(format).c_str(), result);

    // Every capacity from 0 up to one past the text; past EVERY_CAPACITY
    // (long paddings) a spread of them and those around the text's end.
    const std::int32_t top = std::min(result + 1, ROOMY);
    const std::int32_t stride = top <= EVERY_CAPACITY ? 1 : (top - EVERY_CAPACITY) / 64 + 1;
    for (std::int32_t capacity = 0; capacity <= top;
         capacity += capacity < EVERY_CAPACITY ? 1 : stride) {
        CheckCapacity(sequence, format, whole, capacity);
    }
    for (std::int32_t capacity = std::max(0, result - 2); capacity <= top; ++capacity)
        CheckCapacity(sequence, format, whole, capacity);
    CheckCapacity(sequence, format, whole, -1);

    const auto starredHeld = std::make_unique<Sequence>(sequence);
    Sequence& starred = *starredHeld;
    const std::string starFormat = WriteFormat(&starred, false, true);
    if (starFormat != format) {
        std::int32_t starResult = 0;
        const std::string starWhole = Format(starred, starFormat, ROOMY, &starResult);
        FUZZ_CHECK(starWhole == whole, "[%s] and [%s] differ, %s", FuzzShow(format).c_str(),
                   FuzzShow(starFormat).c_str(), FuzzDifference(whole, starWhole).c_str());
    }

    if (sequence.comparable) {
        const std::string cFormat = WriteFormat(&sequence, true, false);
        std::vector<char> cOut(ROOMY, FUZZ_FILL_BYTE);
        const int cResult =
            CallC(cOut.data(), cOut.size(), cFormat.c_str(), sequence.values, ARGS);
        FUZZ_CHECK(cResult >= 0, "snprintf failed on [%s]", FuzzShow(cFormat).c_str());
        const std::int32_t expected = std::min(cResult, ROOMY - 1);
        const std::string cWhole(cOut.data(), static_cast<std::size_t>(expected));
        FUZZ_CHECK(result == expected && whole == cWhole, "[%s] and snprintf's [%s] differ, %s",
                   FuzzShow(format).c_str(), FuzzShow(cFormat).c_str(),
                   FuzzDifference(whole, cWhole).c_str());
    }
    return 0;
}
