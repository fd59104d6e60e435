// dir.h: paths of the run: the current directory as the default source,
// normalising /TARGET and /SOURCE, and creating the target directory with
// every missing level. Paths are changed in place in the caller's buffers.
#pragma once

#include <cstdint>

// The current directory with a trailing separator. The buffer must hold
// capacity + 1 bytes; a directory that does not fit leaves it as it was.
std::int32_t AppGetCurrentDir(char* buffer, std::int32_t capacity);
// Native separators, "." and ".." folded; trailing 1 ends the path with a
// separator, anything else without one. 1.
std::int32_t DirNormalize(char* path, std::int32_t trailing);
// 1 when the path names an existing object of any kind.
std::int32_t DirExists(const char* path);
// Creates the directory and its missing parents (strip 1: the parent of the
// path only; verbose 1: each step reported). 1 when it exists at the end.
std::int32_t DirCreate(char* path, std::int32_t strip, std::int32_t verbose);
