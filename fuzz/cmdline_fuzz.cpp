// cmdline_fuzz.cpp: the command-line field rules on arbitrary bytes: the
// count, every field (also missing ones, and small capacities inside guard
// bytes), the switch test against a plain reading of its rule, and the
// join of an argument vector followed by the split back into its words.
//
// Input: one byte that picks a field and a capacity, then the line (up to
// the first zero byte), then the switch word. The same bytes after the
// first one, split at every zero byte, are also the argument vector.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "zizezaz/core/cmdline.h"

// The scan stops counting here (CmdLineCountFields asks for field 9,999).
static constexpr std::int32_t COUNT_LIMIT = 10001;
// Fetching every field scans the line once per field; beyond this much work
// only the first and the last fields are fetched.
static constexpr std::size_t FIELD_WORK = 4000000;
static constexpr std::size_t MAX_WORDS = 300;

static bool IsSeparator(unsigned char c) {
    return c != '\0' && c <= ' ';
}

static unsigned char Fold(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// What a word becomes on its way through a joined line: cmdline.cpp names
// the two kinds of word the field rules cannot express.
static std::string Expected(const std::string& word, bool last) {
    if (word.empty()) return last ? "" : "\"";
    std::string result = word;
    while (result.size() > 1 && IsSeparator(static_cast<unsigned char>(result.back())))
        result.pop_back();
    return result;
}

// Field n with room for any field of the line; found receives the result.
static std::string GetField(const std::string& line, std::int32_t n, std::int32_t* found) {
    std::vector<char> buffer(line.size() + 1, FUZZ_FILL_BYTE);
    *found =
        CmdLineGetField(line.c_str(), n, buffer.data(), static_cast<std::int32_t>(buffer.size()));
    return std::string(buffer.data());
}

// The switch rule read plainly: the word, letter case ignored, right after
// a '-' or '/' and followed by a blank or the end of the text.
static std::int32_t ReferenceHasSwitch(const std::string& text, const std::string& word) {
    for (std::size_t k = 1; k < text.size(); ++k) {
        if (text.size() - k < word.size()) break;
        bool match = true;
        for (std::size_t j = 0; j < word.size() && match; ++j) {
            match = Fold(static_cast<unsigned char>(text[k + j])) ==
                    Fold(static_cast<unsigned char>(word[j]));
        }
        if (!match) continue;
        const char before = text[k - 1];
        const char after = k + word.size() < text.size() ? text[k + word.size()] : '\0';
        if ((before == '-' || before == '/') && (after == ' ' || after == '\0')) return 1;
    }
    return 0;
}

static std::string Join(const std::vector<std::string>& words) {
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    const auto count = static_cast<std::int32_t>(words.size());
    std::int64_t length = 0;
    CmdLineJoin(count, argv.data(), nullptr, 0, &length);
    std::string line(static_cast<std::size_t>(length) + 1, '\0');
    const std::int32_t fit = CmdLineJoin(count, argv.data(), line.data(), length + 1, &length);
    FUZZ_CHECK(fit == 1, "a join into its own length did not fit");
    line.resize(static_cast<std::size_t>(length));
    return line;
}

// The words must come back as Expected says, field for field.
static void CheckSplitsBack(const std::vector<std::string>& words, const std::string& line) {
    std::int32_t count = 0;
    CmdLineCountFields(line.c_str(), &count);
    FUZZ_CHECK(count == static_cast<std::int32_t>(words.size()),
               "%zu words joined as [%s] count %d", words.size(), FuzzShow(line).c_str(), count);
    for (std::int32_t i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        std::int32_t found = 0;
        const std::string field = GetField(line, i, &found);
        const std::string expected = Expected(words[index], index + 1 == words.size());
        FUZZ_CHECK(found == 1 && field == expected, "word %d [%s] joined as [%s] came back as [%s]",
                   i, FuzzShow(words[index]).c_str(), FuzzShow(line).c_str(),
                   FuzzShow(field).c_str());
    }
}

// A bounded join: the length of the whole line, the result saying whether
// it fit, a prefix of the line in the buffer, and nothing past capacity.
static void CheckBoundedJoin(const std::vector<std::string>& words, const std::string& line,
                             std::int64_t capacity) {
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    FuzzBuffer buffer{};
    FuzzBufferReset(&buffer, static_cast<std::size_t>(capacity));
    char* out = FuzzBufferStart(&buffer);
    std::int64_t length = -1;
    const std::int32_t fit =
        CmdLineJoin(static_cast<std::int32_t>(words.size()), argv.data(), out, capacity, &length);
    const auto whole = static_cast<std::int64_t>(line.size());
    FUZZ_CHECK(length == whole, "join into %lld told length %lld, not %lld",
               static_cast<long long>(capacity), static_cast<long long>(length),
               static_cast<long long>(whole));
    FUZZ_CHECK(fit == (whole < capacity ? 1 : 0), "join into %lld: result %d for length %lld",
               static_cast<long long>(capacity), fit, static_cast<long long>(whole));
    FUZZ_CHECK(FuzzGuardsIntact(&buffer), "join into %lld wrote past the buffer",
               static_cast<long long>(capacity));
    if (capacity < 1) return;
    const auto kept = static_cast<std::size_t>(std::min(whole, capacity - 1));
    FUZZ_CHECK(out[kept] == '\0' && line.compare(0, kept, out, kept) == 0,
               "join into %lld is not the line cut at %zu", static_cast<long long>(capacity), kept);
}

// Every field of the line, each also at every small capacity inside guard
// bytes; missing fields give 0 and an empty buffer.
static void CheckFields(const std::string& line, std::uint8_t pick) {
    std::int32_t count = 0;
    FUZZ_CHECK(CmdLineCountFields(line.c_str(), &count) == 1, "count reported no fields");
    FUZZ_CHECK(count >= 1 && count <= COUNT_LIMIT, "count %d", count);
    if (count == COUNT_LIMIT) return;  // saturated: the count is no longer exact

    const auto fields = static_cast<std::size_t>(count);
    const bool all = fields * (line.size() + 1) <= FIELD_WORK;
    std::vector<std::string> got;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!all && i >= 16 && i < count - 16) continue;
        std::int32_t found = 0;
        const std::string field = GetField(line, i, &found);
        FUZZ_CHECK(found == 1, "field %d of %d missing in [%s]", i, count, FuzzShow(line).c_str());
        FUZZ_CHECK(field.size() <= line.size(), "field %d longer than its line", i);
        if (all) got.push_back(field);
    }

    const std::int32_t missing[] = {count, count + 1, -1, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max()};
    for (const std::int32_t n : missing) {
        char buffer[8];
        std::memset(buffer, FUZZ_FILL_BYTE, sizeof buffer);
        const std::int32_t found = CmdLineGetField(line.c_str(), n, buffer, 8);
        FUZZ_CHECK(found == 0 && buffer[0] == '\0' && buffer[1] == FUZZ_FILL_BYTE,
                   "missing field %d of %d: result %d", n, count, found);
    }

    // One field at every capacity up to a little past its length.
    const std::int32_t n = pick % count;
    std::int32_t found = 0;
    const std::string whole = GetField(line, n, &found);
    const std::size_t top = std::min<std::size_t>(whole.size() + 2, 80);
    for (std::size_t capacity = 0; capacity <= top; ++capacity) {
        FuzzBuffer buffer{};
        FuzzBufferReset(&buffer, capacity);
        char* out = FuzzBufferStart(&buffer);
        found = CmdLineGetField(line.c_str(), n, out, static_cast<std::int32_t>(capacity));
        FUZZ_CHECK(found == 1, "field %d at capacity %zu not found", n, capacity);
        FUZZ_CHECK(FuzzGuardsIntact(&buffer), "field %d at capacity %zu wrote past the buffer", n,
                   capacity);
        if (capacity == 0) continue;
        const std::size_t kept = std::strlen(out);
        FUZZ_CHECK(kept < capacity && whole.compare(0, kept, out, kept) == 0,
                   "field %d at capacity %zu is [%s], not a prefix of [%s]", n, capacity,
                   FuzzShow(out, kept).c_str(), FuzzShow(whole).c_str());
        for (std::size_t i = kept + 1; i < capacity; ++i)
            FUZZ_CHECK(out[i] == FUZZ_FILL_BYTE, "field %d at capacity %zu: byte %zu written", n,
                       capacity, i);
    }

    // The fields of any line are words the rules can express, so joining
    // them and splitting again gives them back.
    if (all) CheckSplitsBack(got, Join(got));
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size, 0};
    const std::uint8_t pick = FuzzByte(&in);
    const std::size_t wordsStart = in.at;

    const std::string line = FuzzText(&in);
    const std::string word = FuzzText(&in);
    CheckFields(line, pick);
    const std::int32_t has = CmdLineHasSwitch(line.c_str(), word.c_str());
    FUZZ_CHECK(has == ReferenceHasSwitch(line, word), "switch [%s] in [%s]: %d",
               FuzzShow(word).c_str(), FuzzShow(line).c_str(), has);

    in.at = wordsStart;
    std::vector<std::string> words;
    while (FuzzLeft(&in) > 0 && words.size() < MAX_WORDS)
        words.push_back(FuzzText(&in));
    if (words.empty()) return 0;
    const std::string joined = Join(words);
    CheckSplitsBack(words, joined);
    const auto length = static_cast<std::int64_t>(joined.size());
    const std::int64_t capacities[] = {0, 1, pick % (length + 2), length, length + 1};
    for (const std::int64_t capacity : capacities)
        CheckBoundedJoin(words, joined, capacity);
    return 0;
}
