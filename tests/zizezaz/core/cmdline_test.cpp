// Tests of the command-line field rules: splitting, copying with cuts, the
// field-count limit and the raw switch test.

#include "zizezaz/core/cmdline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t GUARD = 8;
constexpr char GUARD_BYTE = 0x5A;

// A destination of `capacity` bytes with guard bytes on both sides, so that
// a write outside the capacity shows up.
struct Guarded {
    std::string bytes;
    explicit Guarded(std::int32_t capacity)
        : bytes(static_cast<std::size_t>(capacity + 2 * GUARD), GUARD_BYTE) {}
    char* data() { return bytes.data() + GUARD; }
    bool GuardsIntact() const {
        const std::string guard(GUARD, GUARD_BYTE);
        return bytes.starts_with(guard) && bytes.ends_with(guard);
    }
};

std::vector<std::string> AllFields(const char* text) {
    std::int32_t count = -1;
    EXPECT_EQ(CmdLineCountFields(text, &count), 1);
    std::vector<std::string> fields;
    for (std::int32_t i = 0; i < count; ++i) {
        char buffer[256];
        EXPECT_EQ(CmdLineGetField(text, i, buffer, sizeof buffer), 1) << "field " << i;
        fields.emplace_back(buffer);
    }
    return fields;
}

struct FieldCase {
    const char* text;
    std::vector<std::string> fields;
};

// Q stands for the double quote in the comments beside the cases.
const FieldCase FIELD_CASES[] = {
    {"prog /TARGET c:\\x", {"prog", "/TARGET", "c:\\x"}},
    {"\"D:\\Program Files\\t\\prog.exe\" /EXECUTE \"zip -m a.zip *.log\"",
     {"D:\\Program Files\\t\\prog.exe", "/EXECUTE", "zip -m a.zip *.log"}},
    // The closing quote ends the field although c follows without a blank.
    {"prog \"a b\"c d", {"prog", "a b", "c", "d"}},
    // A quote that opens inside a field stays in the copy.
    {"prog ab\"cd ef\"gh", {"prog", "ab\"cd ef", "gh"}},
    {"prog say\"\"hi", {"prog", "say\"hi"}},
    {"prog \"say \"\"hi\"\"\"", {"prog", "say \"hi\""}},
    // QQ alone is a field holding one quote, not an empty field.
    {"prog \"\" x", {"prog", "\"", "x"}},
    // A lone quote at the end is an empty field.
    {"prog x \"", {"prog", "x", ""}},
    // An unclosed quote runs to the end of the line.
    {"prog \" x y", {"prog", " x y"}},
    {"prog \"a\"", {"prog", "a"}},
    {"  prog   x  ", {"prog", "x"}},
    {"", {""}},
    {"   ", {""}},
    {"\t\x01", {""}},
    {"prog\tx\x01y\x1Fz", {"prog", "x", "y", "z"}},
    // Bytes from 0x7F up are ordinary characters, accented letters included.
    {"prog caf\xE9x", {"prog", "caf\xE9x"}},
    {"prog \x80 \xFF\x7F", {"prog", "\x80", "\xFF\x7F"}},
    {"\"caf\xE9 au lait\" \xE9", {"caf\xE9 au lait", "\xE9"}},
};

TEST(CmdLineFields, SplitsByTheFieldRules) {
    for (const FieldCase& c : FIELD_CASES) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(AllFields(c.text), c.fields);
        // One past the last field: 0 and an empty buffer.
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(CmdLineGetField(c.text, static_cast<std::int32_t>(c.fields.size()), buffer,
                                  sizeof buffer),
                  0);
        EXPECT_STREQ(buffer, "");
    }
}

TEST(CmdLineFields, MissingFieldsGiveZeroAndAnEmptyBuffer) {
    for (std::int32_t n : {2, 5, 10000, 2147483647, -1, -2147483647 - 1}) {
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(CmdLineGetField("prog x", n, buffer, sizeof buffer), 0) << n;
        EXPECT_STREQ(buffer, "") << n;
    }
    // Field -1 is not field 0 even when the line has a single field.
    char buffer[8];
    EXPECT_EQ(CmdLineGetField("prog", -1, buffer, sizeof buffer), 0);
}

struct CutCase {
    const char* text;
    std::int32_t capacity;
    const char* expected;
};

// The cut counts source characters: a doubled quote uses two of them.
const CutCase CUT_CASES[] = {
    {"abcdef", 7, "abcdef"}, {"abcdef", 6, "abcde"}, {"abcdef", 4, "abc"},
    {"abcdef", 1, ""},       {"a\"\"b", 5, "a\"b"},  {"a\"\"b", 4, "a\""},
    {"a\"\"b", 3, "a\""},    {"a\"\"b", 2, "a"},     {"\"x y\"", 3, "x "},
};

TEST(CmdLineFields, CutsAtCapacityWithoutStrayWrites) {
    for (const CutCase& c : CUT_CASES) {
        SCOPED_TRACE(std::string(c.text) + " capacity " + std::to_string(c.capacity));
        Guarded buffer(c.capacity);
        EXPECT_EQ(CmdLineGetField(c.text, 0, buffer.data(), c.capacity), 1);
        EXPECT_STREQ(buffer.data(), c.expected);
        EXPECT_TRUE(buffer.GuardsIntact());
    }
    // No room at all: nothing is written, not even a terminator.
    Guarded empty(0);
    EXPECT_EQ(CmdLineGetField("abc", 0, empty.data(), 0), 1);
    EXPECT_EQ(CmdLineGetField("abc", 3, empty.data(), 0), 0);
    EXPECT_TRUE(empty.GuardsIntact());
}

TEST(CmdLineFields, ScanReportsOffsetsOfTheField) {
    std::int32_t count = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
    EXPECT_EQ(CmdLineScan("ab \"cd\" e", 1, &count, &start, &end), 1);
    EXPECT_EQ(start, 4);
    EXPECT_EQ(end, 5);
    // The scan stops as field 2 begins, so it has seen three fields.
    EXPECT_EQ(count, 3);
    // An empty field ends before it starts.
    EXPECT_EQ(CmdLineScan("x \"", 1, nullptr, &start, &end), 1);
    EXPECT_EQ(end, start - 1);
    EXPECT_EQ(CmdLineScan("", 0, nullptr, &start, &end), 1);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, -1);
    char buffer[4] = "zzz";
    EXPECT_EQ(CmdLineCopyField("", start, end, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "");
}

std::string ManyFields(std::int32_t n) {
    std::string text;
    for (std::int32_t i = 0; i < n; ++i)
        text += i == 0 ? "a" : " a";
    return text;
}

TEST(CmdLineFields, CountStopsAfterTenThousandFields) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {9999, 9999}, {10000, 10000}, {10001, 10001}, {10500, 10001}};
    for (const auto& [fields, expected] : cases) {
        std::int32_t count = 0;
        EXPECT_EQ(CmdLineCountFields(ManyFields(fields).c_str(), &count), 1);
        EXPECT_EQ(count, expected) << fields;
    }
}

struct SwitchCase {
    const char* text;
    const char* word;
    std::int32_t expected;
};

const SwitchCase SWITCH_CASES[] = {
    {"prog /debug", "debug", 1},
    {"prog -DEBUG x", "debug", 1},
    {"prog /dEbUg ", "DEBUG", 1},
    {"x/DEBUG", "debug", 1},
    {"/debug", "debug", 1},
    // The raw text is searched: a switch inside another option's value counts.
    {"prog /EXECUTE \"zip /debug x\"", "debug", 1},
    // Only a blank or the end may follow.
    {"prog /debugger", "debug", 0},
    {"prog /debug\tx", "debug", 0},
    {"prog /debug\"", "debug", 0},
    // A - or / must stand right before the word.
    {"prog debug", "debug", 0},
    {"debug", "debug", 0},
    {"debug /x", "debug", 0},
    {"prog /deb", "debug", 0},
    {"", "debug", 0},
    // A failing occurrence does not hide a later one.
    {"prog /debugger /debug", "debug", 1},
    {"debug/debug", "debug", 1},
    {"prog //debug x", "debug", 1},
    {"prog /unique -append", "append", 1},
};

TEST(CmdLineSwitch, FindsTheWordAfterDashOrSlash) {
    for (const SwitchCase& c : SWITCH_CASES) {
        EXPECT_EQ(CmdLineHasSwitch(c.text, c.word), c.expected) << c.text << " / " << c.word;
    }
}

TEST(CmdLineDeathTest, NullPointersAreFatal) {
    char buffer[8];
    std::int32_t value = 0;
    // Without a console the framed message reaches standard error.
    const char* pattern = "Pointer is NULL.*orv-core/";
    EXPECT_EXIT(CmdLineScan(nullptr, 0, nullptr, &value, &value), testing::ExitedWithCode(1),
                pattern);
    EXPECT_EXIT(CmdLineScan("x", 0, nullptr, nullptr, &value), testing::ExitedWithCode(1), pattern);
    EXPECT_EXIT(CmdLineCopyField("x", 0, 0, nullptr, 8), testing::ExitedWithCode(1), pattern);
    EXPECT_EXIT(CmdLineCountFields("x", nullptr), testing::ExitedWithCode(1), pattern);
    EXPECT_EXIT(CmdLineGetField(nullptr, 0, buffer, 8), testing::ExitedWithCode(1), pattern);
    EXPECT_EXIT(CmdLineHasSwitch("x", nullptr), testing::ExitedWithCode(1), pattern);
}

}  // namespace
