// dir.cpp: the current directory, path normalising and creation of a
// directory with every missing level, over the platform's file calls.
#include "vorla/dir.h"

#include "platform/platform.h"
#include "vorla/dir_internal.h"
#include "zizezaz/core/log.h"
#include "zizezaz/str/ascii.h"
#include "zizezaz/str/str.h"

std::int32_t AppGetCurrentDir(char* buffer, std::int32_t capacity) {
    // Only a directory the platform stored is normalised: when it does not
    // fit, the caller's earlier content must come back untouched.
    if (!PlatCurrentDir(buffer, capacity)) return 0;
    DirNormalize(buffer, 1);
    return 1;
}

// A ".." part kept whole ends what is written so far: "..", then the
// separator.
static bool EndsWithParentPart(const char* path, std::int32_t w, char separator) {
    return w >= 3 && path[w - 1] == separator && path[w - 2] == '.' && path[w - 3] == '.' &&
           (w == 3 || path[w - 4] == separator);
}

// Where writing goes on after the two full stops of a ".." at *r (already
// stepped over; *r is on the separator after them). The fold is by
// characters: the write position goes back to the second separator found
// at or before it. Where that would climb above the start of the path, it
// stops instead: a leading ".." is kept (a relative path may well point
// upwards), the root and a drive's root are kept, and what a relative path
// had written is dropped together with the separator after the dots.
static std::int32_t FoldParent(char* path, std::int32_t w, std::int32_t* r, char separator) {
    if (w == 0 || EndsWithParentPart(path, w, separator)) {
        path[w] = '.';
        path[w + 1] = '.';
        return w + 2;
    }
    std::int32_t seen = 0;
    for (std::int32_t i = w; i >= 1; --i) {
        if (path[i] == separator && ++seen == 2) return i;
    }
    if (path[0] == separator) return 0;
    if (w >= 3 && AsciiIsLetter(path[0]) && path[1] == ':' && path[2] == separator) return 2;
    *r += 1;
    return 0;
}

std::int32_t DirNormalizeWith(char* path, std::int32_t trailing, char separator) {
    if (path[0] == '\0') return 1;
    std::int32_t length = 0;
    for (; path[length] != '\0'; ++length) {
        if (AsciiIsPathSeparator(path[length])) path[length] = separator;
    }
    if (trailing == 1) {
        if (path[length - 1] != separator) {
            path[length] = separator;
            path[length + 1] = '\0';
        }
    } else if (path[length - 1] == separator) {
        path[length - 1] = '\0';
    }
    // The write position never passes the read position, so the result is
    // written over the text it comes from. Checking path[r + 1] is safe
    // because path[r] is not the terminator, and path[r + 2] only when
    // path[r + 1] is not either.
    std::int32_t w = 0;
    std::int32_t r = 0;
    // A relative path stays relative: once a fold or a "./" has left
    // nothing written, a doubled separator after it must not become a root.
    const bool relative = path[0] != separator;
    while (path[r] != '\0') {
        if (w == 0 && relative && path[r] == separator) {
            ++r;
        } else if (path[r] == '.' && path[r + 1] == separator) {
            r += 2;
        } else if (path[r] == '.' && path[r + 1] == '.' && path[r + 2] == separator) {
            r += 2;
            w = FoldParent(path, w, &r, separator);
        } else {
            path[w++] = path[r++];
        }
    }
    path[w] = '\0';
    return 1;
}

std::int32_t DirNormalize(char* path, std::int32_t trailing) {
    return DirNormalizeWith(path, trailing, PLAT_PATH_SEPARATOR);
}

std::int32_t DirExists(const char* path) {
    // A copy cut short would name another object, often an existing parent,
    // so a longer path is asked about as it stands.
    if (StrLength(path) >= DIR_COPY_CAPACITY) return PlatPathExists(path);
    char copy[DIR_COPY_CAPACITY];
    StrCopyN(copy, path, DIR_COPY_CAPACITY);
    const std::int32_t length = StrLength(copy);
    if (length > 0 && AsciiIsPathSeparator(copy[length - 1])) copy[length - 1] = '\0';
    return PlatPathExists(copy);
}

static char* LastSeparator(char* path) {
    char* last = nullptr;
    for (char* p = path; *p != '\0'; ++p) {
        if (AsciiIsPathSeparator(*p)) last = p;
    }
    return last;
}

static std::int32_t CreateLevels(char* path, std::int32_t verbose, char separator) {
    if (verbose == 1) LogPrint("Check dir [%s]\n", path);
    if (path[0] == '\0' || (path[1] == ':' && path[2] == '\0') || DirExists(path)) return 1;
    char* cut = LastSeparator(path);
    if (cut != nullptr) {
        *cut = '\0';
        // A separator in first place stands for the root, which exists.
        const std::int32_t parent = cut == path ? 1 : CreateLevels(path, verbose, separator);
        *cut = separator;
        if (!parent) return 0;
    }
    std::int32_t error = 0;
    if (PlatMakeDir(path, &error)) {
        if (verbose == 1) LogPrint("Create Dir = %s\n", path);
        return 1;
    }
    // A path with a trailing separator is created through its parent, the
    // same directory, so its own creation ends here.
    if (error == PLAT_ERROR_ALREADY_EXISTS) return 1;
    LogPrint("Unable to create [%d:%.8X] Dir = %s\n", error, error, path);
    return 0;
}

std::int32_t DirCreateWith(char* path, std::int32_t strip, std::int32_t verbose, char separator) {
    char* cut = strip == 1 ? LastSeparator(path) : nullptr;
    if (cut != nullptr) *cut = '\0';
    const std::int32_t created = CreateLevels(path, verbose, separator);
    if (cut != nullptr) *cut = separator;
    return created;
}

std::int32_t DirCreate(char* path, std::int32_t strip, std::int32_t verbose) {
    return DirCreateWith(path, strip, verbose, PLAT_PATH_SEPARATOR);
}
