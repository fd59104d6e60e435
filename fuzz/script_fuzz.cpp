// script_fuzz.cpp: template decoding with the application's variables
// registered, on arbitrary templates, configurations, delimiters, lengths
// and output capacities.
//
// Besides the application's classes, a class "Fuzz" holds a keyword "Stop"
// whose callback stops the decode, and the catch-all "*", which writes the
// keyword it matched and the parameter.
//
// Checked for every decode, against a reference decode of the same input
// into a roomy buffer:
//   - nothing written outside the capacity (guard bytes), the output
//     terminated where produced says, consumed within the template's text;
//   - a decode that reports success (1) produced the reference's text and
//     read what the reference read; one with room for the reference's text
//     and the write-back allowance reports success;
//   - a stopped decode stopped at a field's opening delimiter;
//   - with the output in the configuration itself (as the application
//     decodes), no other field of the configuration changes.
//
// Input: a mode byte, two bytes of capacity, two of start offset and
// length, five of the captured moment, two delimiters; then the template
// and the fields offset, wildcard, filename, source and target, each up to
// a zero byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "vorla/app.h"
#include "vorla/vars.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/script/script.h"
#include "zizezaz/str/format.h"
#include "zizezaz/str/report.h"

static constexpr std::int32_t ROOMY = 8192;
// A field is at most 80 characters and its two delimiters.
static constexpr std::int32_t LONGEST_FIELD = 82;
// An unknown field is written back whole only from a room of its length
// plus this allowance.
static constexpr std::int32_t WRITE_BACK_ALLOWANCE = 6;

static Script* script = nullptr;
static std::int32_t stops = 0;

static std::int32_t FuzzStop(Script*, ScriptKeyword*, const char*, void*, char* output,
                             std::int32_t room) {
    // Written and then dropped by the engine.
    StrFormat(output, room, "dropped");
    ++stops;
    return 0;
}

static std::int32_t FuzzAny(Script*, ScriptKeyword* keyword, const char* parameter, void*,
                            char* output, std::int32_t room) {
    StrFormat(output, room, "<%s%s>", keyword->matchedName, parameter);
    return 1;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* const argv[] = {"script_fuzz"};
    CmdLineSetFromArgs(1, argv);
    CoreInit("debug.log", 0);
    MemInit(0x7FFFFFFF);
    ScriptCreate(&script);
    AppRegisterVariables(script);
    ScriptAddKeyword(script, "Fuzz", "Stop", ScriptAddTypeKeyword, FuzzStop);
    ScriptAddKeyword(script, "Fuzz", "*", ScriptAddTypeKeyword, FuzzAny);
    StrSetReport(FuzzTrapFatal, nullptr);
    return 0;
}

struct Decode {
    std::int32_t result;
    std::int32_t consumed;
    std::int32_t produced;
    std::int32_t stops;
    std::string output;
};

// One decode; 0 when a time field's parameter was a number too long to
// read, which ends the program on purpose.
static std::int32_t TrappedDecode(AppConfig* config, std::int32_t startOffset, const char* text,
                                  std::int32_t length, char* output, std::int32_t capacity,
                                  Decode* decode) {
    stops = 0;
    if (setjmp(FuzzTrap) != 0) return 0;
    decode->result = ScriptDecode(script, config, startOffset, text, length, &decode->consumed,
                                  output, capacity, &decode->produced);
    decode->stops = stops;
    return 1;
}

struct Case {
    AppConfig config;
    std::string text;
    std::int32_t startOffset;
    std::int32_t length;
    std::int32_t capacity;
    // The output is the configuration's own wildcard field, as when the
    // application decodes it; else a buffer of its own.
    bool inPlace;
};

// Decodes the case at capacity; 0 when the decode was trapped.
static std::int32_t Run(const Case& c, std::int32_t capacity, Decode* decode) {
    // The template in a block of its exact size, so that a read past its
    // terminator is seen.
    std::vector<char> text(c.text.begin(), c.text.end());
    text.push_back('\0');
    auto config = std::make_unique<AppConfig>(c.config);
    const std::string shown = "[" + FuzzShow(c.text) + "] into " + std::to_string(capacity);

    if (c.inPlace) {
        // As the application does it: the field holds the template, and
        // the bytes past the capacity are guards.
        char* field = config->wildcard;
        std::memcpy(field, c.text.c_str(), c.text.size() + 1);
        std::memset(field + capacity, FUZZ_GUARD_BYTE,
                    static_cast<std::size_t>(APP_FIELD_CAPACITY - capacity));
        const AppConfig before = *config;
        if (!TrappedDecode(config.get(), c.startOffset, text.data(), c.length, field, capacity,
                           decode))
            return 0;
        for (std::int32_t i = capacity; i < APP_FIELD_CAPACITY; ++i)
            FUZZ_CHECK(field[i] == FUZZ_GUARD_BYTE, "%s in place wrote byte %d", shown.c_str(), i);
        FUZZ_CHECK(std::memcmp(config->offset, before.offset, APP_FIELD_CAPACITY) == 0 &&
                       std::memcmp(config->filename, before.filename, 4 * APP_FIELD_CAPACITY) == 0,
                   "%s in place changed another field", shown.c_str());
        FUZZ_CHECK(
            decode->produced >= 0 && decode->produced < capacity && field[decode->produced] == '\0',
            "%s in place: produced %d, not where the terminator is", shown.c_str(),
            decode->produced);
        decode->output.assign(field, static_cast<std::size_t>(decode->produced));
        return 1;
    }

    FuzzBuffer buffer{};
    FuzzBufferReset(&buffer, static_cast<std::size_t>(capacity));
    char* out = FuzzBufferStart(&buffer);
    if (!TrappedDecode(config.get(), c.startOffset, text.data(), c.length, out, capacity, decode))
        return 0;
    FUZZ_CHECK(FuzzGuardsIntact(&buffer), "%s wrote past the buffer", shown.c_str());
    FUZZ_CHECK(decode->produced >= 0 && decode->produced < capacity &&
                   std::strlen(out) == static_cast<std::size_t>(decode->produced),
               "%s: produced %d, not where the terminator is", shown.c_str(), decode->produced);
    decode->output.assign(out, static_cast<std::size_t>(decode->produced));
    return 1;
}

static void CheckDecode(const Case& c, const Decode& reference, std::int32_t capacity) {
    Decode decode{};
    if (!Run(c, capacity, &decode)) {
        FuzzFail(__FILE__, __LINE__, "a capacity of %d made a decode fatal", capacity);
    }
    const std::string shown = "[" + FuzzShow(c.text) + "] into " + std::to_string(capacity);
    const auto textLength = static_cast<std::int32_t>(c.text.size());
    const std::int64_t end = std::int64_t{c.length} - c.startOffset;
    const std::int32_t wanted = static_cast<std::int32_t>(end < 0            ? 0
                                                          : end < textLength ? end
                                                                             : textLength);

    FUZZ_CHECK(decode.result == 0 || decode.result == 1, "%s: result %d", shown.c_str(),
               decode.result);
    FUZZ_CHECK(decode.consumed >= 0 && decode.consumed <= textLength, "%s: consumed %d of %d",
               shown.c_str(), decode.consumed, textLength);
    if (decode.stops > 0) {
        FUZZ_CHECK(decode.consumed < textLength &&
                       c.text[static_cast<std::size_t>(decode.consumed)] == script->openDelimiter,
                   "%s: stopped at %d, not at a field", shown.c_str(), decode.consumed);
    }
    if (decode.result == 1) {
        FUZZ_CHECK(decode.output == reference.output && decode.consumed == reference.consumed,
                   "%s: [%s] read %d, where the roomy decode gave [%s] read %d", shown.c_str(),
                   FuzzShow(decode.output).c_str(), decode.consumed,
                   FuzzShow(reference.output).c_str(), reference.consumed);
        if (decode.stops == 0) {
            FUZZ_CHECK(decode.consumed >= wanted && decode.consumed <= wanted + LONGEST_FIELD,
                       "%s: success after reading %d of %d", shown.c_str(), decode.consumed,
                       wanted);
        }
    }
    if (reference.result == 1 && capacity >= reference.produced + WRITE_BACK_ALLOWANCE) {
        FUZZ_CHECK(decode.result == 1, "%s: [%s] reported cut, though [%s] fits", shown.c_str(),
                   FuzzShow(decode.output).c_str(), FuzzShow(reference.output).c_str());
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size, 0};
    auto c = std::make_unique<Case>();
    const std::uint8_t mode = FuzzByte(&in);
    const std::uint8_t capacityLow = FuzzByte(&in);
    const auto capacityBits = static_cast<std::uint16_t>(capacityLow | (FuzzByte(&in) << 8));
    const std::uint8_t startBits = FuzzByte(&in);
    const std::uint8_t lengthBits = FuzzByte(&in);
    PlatTime& now = c->config.localTime;
    now.year = 70 + FuzzByte(&in) % 186;
    now.month = FuzzByte(&in) % 12;
    now.day = 1 + FuzzByte(&in) % 31;
    now.hour = FuzzByte(&in) % 24;
    now.minute = FuzzByte(&in) % 60;
    const std::uint8_t open = FuzzByte(&in);
    const std::uint8_t close = FuzzByte(&in);

    c->inPlace = (mode & 1) != 0;
    c->text = FuzzText(&in);
    char* fields[] = {c->config.offset, c->config.wildcard, c->config.filename, c->config.source,
                      c->config.target};
    for (char* field : fields) {
        const std::string text = FuzzText(&in).substr(0, APP_FIELD_CAPACITY - 1);
        std::memcpy(field, text.c_str(), text.size() + 1);
    }
    if (c->inPlace) c->text.resize(std::min<std::size_t>(c->text.size(), APP_FIELD_CAPACITY - 1));
    const auto textLength = static_cast<std::int32_t>(c->text.size());

    // Mostly the application's delimiters, now and then the engine's own
    // defaults or any two bytes.
    switch ((mode >> 1) & 3) {
        case 0:
        case 1:
            ScriptSetDelimiters(script, '{', '}');
            break;
        case 2:
            ScriptSetDelimiters(script, '&', ';');
            break;
        default:
            ScriptSetDelimiters(script, open, close);
            break;
    }
    // Mostly the whole template from its start, as the application passes
    // it; now and then a start offset and a length of any kind.
    c->startOffset = 0;
    c->length = textLength;
    if (mode & 8) c->startOffset = static_cast<std::int8_t>(startBits);
    if (mode & 16) c->length = textLength + static_cast<std::int8_t>(lengthBits);
    if ((mode & 0xE0) == 0xE0)
        c->length = static_cast<std::int32_t>(static_cast<std::uint32_t>(lengthBits) << 24);

    const std::int32_t top = c->inPlace ? APP_FIELD_CAPACITY : ROOMY;
    Decode reference{};
    if (!Run(*c, top, &reference)) return 0;

    // The capacity of the input, then every small one and those around the
    // reference's text.
    CheckDecode(*c, reference, 1 + capacityBits % top);
    for (std::int32_t capacity = 1; capacity <= 8; ++capacity)
        CheckDecode(*c, reference, capacity);
    for (std::int32_t delta = -2; delta <= WRITE_BACK_ALLOWANCE + 1; ++delta) {
        const std::int32_t capacity = reference.produced + delta;
        if (capacity >= 1 && capacity <= top) CheckDecode(*c, reference, capacity);
    }
    return 0;
}
