// cmdline_posix.cpp: the command line on POSIX, rebuilt from argv.
//
// The shell has already split the words, but the library reads options by
// its own field rules from one line of text (cmdline.h). So the entry joins
// argv into a line that those rules split back into the same words:
//   - a word without separators (bytes 1..32) and without quotes is written
//     as it is;
//   - a word with quotes but no separators is written with each quote
//     doubled (a doubled quote is one quote wherever it stands);
//   - a word with separators is enclosed in quotes, inner quotes doubled;
//   - the words are joined by one blank.
// A word that begins with a quote needs nothing extra: the field rules
// skip a quote at the very start of a field, and the doubled quotes that
// follow still pair up to the same bytes when the copy collapses them.
//
// Two kinds of word cannot be said in those rules at all:
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
// Every other word of bytes 1..255 comes back exactly; the round-trip
// test checks that, and what the two exceptions become.
#include "platform/platform.h"

#include <string>

// The library's separator rule: control characters and the blank. Bytes
// 0x80..0xFF are ordinary characters.
static bool IsSeparator(unsigned char c) {
    return c != '\0' && c <= ' ';
}

static void AppendWord(const char* word, bool last, std::string* line) {
    if (word == nullptr || word[0] == '\0') {
        line->append(last ? "\"" : "\"\"");
        return;
    }
    bool hasSeparator = false;
    bool hasQuote = false;
    for (const char* p = word; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (IsSeparator(c)) hasSeparator = true;
        if (c == '"') hasQuote = true;
    }
    if (!hasSeparator && !hasQuote) {
        line->append(word);
        return;
    }
    if (hasSeparator) line->push_back('"');
    for (const char* p = word; *p != '\0'; ++p) {
        if (*p == '"') line->push_back('"');
        line->push_back(*p);
    }
    if (hasSeparator) line->push_back('"');
}

void PlatJoinArgs(int argc, const char* const* argv, std::string* line) {
    if (line == nullptr) return;
    line->clear();
    if (argv == nullptr) return;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) line->push_back(' ');
        AppendWord(argv[i], i == argc - 1, line);
    }
}

// Kept inside a function so that it is built on first use, whatever the
// order in which the program's static objects come to life.
static std::string* StoredLine(bool create) {
    static std::string line;
    static bool isSet = false;
    if (create) isSet = true;
    return isSet ? &line : nullptr;
}

void PlatSetCommandLine(int argc, const char* const* argv) {
    PlatJoinArgs(argc, argv, StoredLine(true));
}

const char* PlatCommandLine() {
    const std::string* line = StoredLine(false);
    return line != nullptr ? line->c_str() : nullptr;
}
