// Tests of the joined command line: argv joined into one line must split back
// into the same words under the library's field rules.
//
// Two kinds of word cannot be expressed in those rules, and the round trip
// excludes exactly these:
//   - an empty word that is not the last: it comes back as a field holding
//     one quote (an empty last word comes back empty);
//   - a word of two or more bytes ending with a separator (bytes 1..32): it
//     comes back without its trailing separators, down to its first byte.
// Every other word of bytes 1..255, in any position, field 0 included,
// must come back exactly.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "zizezaz/core/cmdline.h"

namespace {

using testing::PrintToString;

bool IsSeparator(unsigned char c) {
    return c != '\0' && c <= ' ';
}

bool Expressible(const std::string& word, bool last) {
    if (word.empty()) return last;
    return word.size() < 2 || !IsSeparator(static_cast<unsigned char>(word.back()));
}

// What a word becomes on its way through the line.
std::string Expected(const std::string& word, bool last) {
    if (word.empty()) return last ? "" : "\"";
    std::string result = word;
    while (result.size() > 1 && IsSeparator(static_cast<unsigned char>(result.back()))) {
        result.pop_back();
    }
    return result;
}

std::string Join(const std::vector<std::string>& words) {
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);
    const auto count = static_cast<std::int32_t>(words.size());
    std::int64_t length = 0;
    CmdLineJoin(count, argv.data(), nullptr, 0, &length);
    std::string line(static_cast<std::size_t>(length), '\0');
    CmdLineJoin(count, argv.data(), line.data(), length + 1, &length);
    return line;
}

std::vector<std::string> Split(const std::string& line) {
    std::int32_t count = 0;
    CmdLineCountFields(line.c_str(), &count);
    std::vector<std::string> fields;
    std::vector<char> buffer(line.size() + 1);
    for (std::int32_t i = 0; i < count; ++i) {
        if (!CmdLineGetField(line.c_str(), i, buffer.data(),
                             static_cast<std::int32_t>(buffer.size()))) {
            fields.emplace_back("<missing>");
            continue;
        }
        fields.emplace_back(buffer.data());
    }
    return fields;
}

// Checks one argv; returns false (after reporting) on the first mismatch so
// that a broken rule does not flood the output.
bool RoundTrip(const std::vector<std::string>& words) {
    const std::string line = Join(words);
    const std::vector<std::string> fields = Split(line);
    std::vector<std::string> expected;
    bool excludesOnlyWhatItMust = true;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const bool last = i + 1 == words.size();
        expected.push_back(Expected(words[i], last));
        // An excluded word must really come back changed.
        if ((expected.back() == words[i]) != Expressible(words[i], last)) {
            excludesOnlyWhatItMust = false;
        }
    }
    if (fields == expected && excludesOnlyWhatItMust) return true;
    ADD_FAILURE() << PrintToString(words) << " -> " << PrintToString(line) << " -> "
                  << PrintToString(fields);
    return false;
}

TEST(CmdLineJoin, WritesWordsByTheQuotingRules) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"prog", "/TARGET", "c:\\x"}, "prog /TARGET c:\\x"},
        {{"prog", "a b"}, "prog \"a b\""},
        {{"say\"hi", "\"", "x\"\""}, "say\"\"hi \"\" x\"\"\"\""},
        {{"a \"b\""}, "\"a \"\"b\"\"\""},
        {{"\"a\tb"}, "\"\"\"a\tb\""},
        {{"caf\xE9", "\x7F"}, "caf\xE9 \x7F"},
        // Empty words: a lone quote at the end, a doubled quote elsewhere.
        {{"prog", ""}, "prog \""},
        {{"", "x"}, "\"\" x"},
        {{}, ""},
    };
    for (const auto& [words, line] : cases)
        EXPECT_EQ(Join(words), line) << PrintToString(words);
}

TEST(CmdLineJoin, InexpressibleWordsBecomeTheNearestField) {
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"prog", "", "x"}, {"prog", "\"", "x"}},
        {{"", "x"}, {"\"", "x"}},
        {{"prog", "a b ", "x"}, {"prog", "a b", "x"}},
        {{"prog", "a\t\x01"}, {"prog", "a"}},
        {{"prog", "   "}, {"prog", " "}},
        {{"prog", "\" "}, {"prog", "\""}},
        // An empty last word and a lone separator come back as they were.
        {{"prog", ""}, {"prog", ""}},
        {{"prog", " ", "\t"}, {"prog", " ", "\t"}},
    };
    for (const auto& [words, fields] : cases) {
        EXPECT_EQ(Split(Join(words)), fields) << PrintToString(words);
    }
}

// Every word of up to six bytes over the bytes that matter to the rules, as
// the program path, as a middle word and as the last word.
TEST(CmdLineJoin, RoundTripsEveryShortWord) {
    static constexpr char ALPHABET[] = {'a', ' ', '"', '\t', '\xE9'};
    constexpr std::size_t SIZE = sizeof ALPHABET;
    std::vector<std::string> words = {""};
    for (std::size_t begin = 0, length = 1; length <= 6; ++length) {
        const std::size_t end = words.size();
        for (std::size_t i = begin; i < end; ++i) {
            for (char c : ALPHABET)
                words.push_back(words[i] + c);
        }
        begin = end;
    }
    ASSERT_EQ(words.size(), 1 + SIZE + SIZE * SIZE + 125 + 625 + 3125 + 15625);
    for (const std::string& w : words) {
        if (!RoundTrip({w, "x"}) || !RoundTrip({"prog", w, "x"}) || !RoundTrip({"prog", w})) {
            return;
        }
    }
}

// Seeded, so every run checks the same argv lists: words of any bytes
// 1..255, biased towards those that the rules single out.
TEST(CmdLineJoin, RoundTripsRandomWords) {
    static constexpr char TRICKY[] = {'"',    '"', ' ',    '\t',   '\x01',
                                       '\x1F', 'a', '\xE9', '\xFF', '/'};
    std::mt19937 random(20240611u);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> words(1 + random() % 6);
        for (std::string& w : words) {
            const std::size_t length = random() % 17;
            for (std::size_t i = 0; i < length; ++i) {
                const auto r = static_cast<std::uint32_t>(random());
                w += (r & 1) ? TRICKY[(r >> 1) % sizeof TRICKY]
                             : static_cast<char>(1 + (r >> 1) % 255);
            }
        }
        if (!RoundTrip(words)) return;
    }
}

TEST(PlatCommandLine, IsNullUntilSetThenTheJoinedLine) {
    EXPECT_EQ(PlatCommandLine(), nullptr);
    const char* argv[] = {"/usr/bin/vorla", "/EXECUTE", "zip -m a.zip", nullptr};
    CmdLineSetFromArgs(3, argv);
    ASSERT_NE(PlatCommandLine(), nullptr);
    EXPECT_STREQ(PlatCommandLine(), "/usr/bin/vorla /EXECUTE \"zip -m a.zip\"");
    CmdLineSetFromArgs(0, argv);
    EXPECT_STREQ(PlatCommandLine(), "");
}

}  // namespace
