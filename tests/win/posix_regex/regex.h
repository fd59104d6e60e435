// regex.h: the POSIX regular expression calls that GoogleTest's death
// tests and regex matchers use, on top of std::regex. MinGW has no
// <regex.h>, and without one GoogleTest falls back to its own minimal
// syntax, in which the tests' expressions (bracket expressions, a '.' that
// also matches a line feed) mean something else or nothing at all. With
// this header they mean what they mean on POSIX: Extended syntax, '.'
// matching every character but NUL, '^' and '$' at the ends of the text.
#pragma once

#include <cstddef>
#include <memory>
#include <regex>
#include <string>

struct regex_t {
    std::unique_ptr<std::regex> compiled;
};

struct regmatch_t {
    std::ptrdiff_t rm_so;
    std::ptrdiff_t rm_eo;
};

inline constexpr int REG_EXTENDED = 1;
inline constexpr int REG_NOMATCH = 1;
inline constexpr int REG_BADPAT = 2;

// std::regex refuses \] and \} outside a bracket expression, which
// glibc reads as the plain characters, as the tests expect.
inline std::string PosixPatternForStd(const char* pattern) {
    std::string out;
    bool inBracket = false;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (inBracket) {
            out += *p;
            if (*p == ']') inBracket = false;
        } else if (*p == '\\' && (p[1] == ']' || p[1] == '}')) {
            out += *++p;
        } else if (*p == '\\' && p[1] != '\0') {
            out += *p;
            out += *++p;
        } else {
            out += *p;
            if (*p == '[') {
                // A ']' first in the list (after an optional '^') is one of its members.
                inBracket = true;
                if (p[1] == '^') out += *++p;
                if (p[1] == ']') out += *++p;
            }
        }
    }
    return out;
}

inline int regcomp(regex_t* re, const char* pattern, int) {
    try {
        re->compiled =
            std::make_unique<std::regex>(PosixPatternForStd(pattern), std::regex::extended);
        return 0;
    } catch (const std::regex_error&) {
        return REG_BADPAT;
    }
}

inline int regexec(const regex_t* re, const char* text, std::size_t count, regmatch_t* matches,
                   int) {
    std::cmatch found;
    if (!re->compiled || !std::regex_search(text, found, *re->compiled)) return REG_NOMATCH;
    for (std::size_t i = 0; i < count; ++i) {
        const bool had = i < found.size() && found[i].matched;
        matches[i].rm_so = had ? found.position(i) : -1;
        matches[i].rm_eo = had ? found.position(i) + found.length(i) : -1;
    }
    return 0;
}

inline void regfree(regex_t* re) {
    re->compiled.reset();
}
