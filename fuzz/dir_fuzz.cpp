// dir_fuzz.cpp: path normalising with either separator as the native one,
// on paths of any bytes that mix both. The result never grows by more than
// one character (the appended separator), holds only the native separator,
// and never climbs above its start: a path from the root stays at the
// root, one from a drive's root keeps its drive, a relative path never
// turns into one from the root, and no more ".." parts lead it than the
// path had.
//
// Input: one byte (bit 0: the native separator; bits 1-2: the trailing
// switch, 1, 0 or another value), then the path up to the first zero byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "vorla/dir_internal.h"

static bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

static bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A drive and its separator, "D:\".
static bool HasDriveRoot(const std::string& path) {
    return path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]);
}

// ".." parts (followed by a separator or the end) anywhere in the path.
static std::size_t ParentParts(const std::string& path) {
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        if (path.compare(start, end - start, "..") == 0 && end - start == 2) ++count;
        start = end + 1;
    }
    return count;
}

// ".." parts at the very start of the path.
static std::size_t LeadingParentParts(const std::string& path) {
    std::size_t count = 0;
    std::size_t at = 0;
    while (path.compare(at, 2, "..") == 0 && (at + 2 == path.size() || IsSeparator(path[at + 2]))) {
        ++count;
        at += 3;
        if (at >= path.size()) break;
    }
    return count;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size, 0};
    const std::uint8_t mode = FuzzByte(&in);
    const char separator = (mode & 1) ? '\\' : '/';
    const std::int32_t trailings[] = {1, 0, 2, -1};
    const std::int32_t trailing = trailings[(mode >> 1) & 3];
    const std::string path = FuzzText(&in);

    // The path, room for the separator that may be appended and its
    // terminator, nothing more.
    FuzzBuffer buffer{};
    FuzzBufferReset(&buffer, path.size() + 2);
    char* out = FuzzBufferStart(&buffer);
    std::memcpy(out, path.c_str(), path.size() + 1);
    DirNormalizeWith(out, trailing, separator);

    FUZZ_CHECK(FuzzGuardsIntact(&buffer), "[%s] written past its buffer", FuzzShow(path).c_str());
    const void* end = std::memchr(out, '\0', path.size() + 2);
    FUZZ_CHECK(end != nullptr, "[%s] left unterminated", FuzzShow(path).c_str());
    const std::string result(out);
    const std::string shown = FuzzShow(path) + "] (" + std::to_string(trailing) + ", " + separator +
                              ") gave [" + FuzzShow(result);

    FUZZ_CHECK(result.size() <= path.size() + (trailing == 1 ? 1 : 0), "[%s] grew", shown.c_str());
    const char foreign = separator == '/' ? '\\' : '/';
    FUZZ_CHECK(result.find(foreign) == std::string::npos, "[%s] keeps a foreign separator",
               shown.c_str());

    if (result.empty()) return 0;
    if (IsSeparator(path[0])) {
        FUZZ_CHECK(result[0] == separator, "[%s] left the root", shown.c_str());
    } else if (HasDriveRoot(path)) {
        FUZZ_CHECK(result.compare(0, 2, path, 0, 2) == 0, "[%s] lost its drive", shown.c_str());
        FUZZ_CHECK(result.size() == 2 || result[2] == separator, "[%s] left its drive's root",
                   shown.c_str());
    } else {
        FUZZ_CHECK(result[0] != separator, "[%s] turned a relative path into one from the root",
                   shown.c_str());
        FUZZ_CHECK(LeadingParentParts(result) <= ParentParts(path), "[%s] climbs higher than asked",
                   shown.c_str());
    }
    return 0;
}
