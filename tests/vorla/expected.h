// expected.h: what Vorla prints, as the end-to-end tests of every platform
// expect it.
#pragma once

#include <string>

#include "support/test_support.h"

inline const std::string USAGE =
    "\nQuendil Vorla version 1.04 (Release)\n"
    "The latest version can always be found at https://quendil.example/vorla/\n"
    "\nUsage:   Vorla [options]\n"
    "Options:   /TARGET [path]      Destination for files\n"
    "           /SOURCE [path]      Source for files (def: current)\n"
    "           /FILENAME [name]    Destination filename\n"
    "           /WILDCARD [match]   String to use to find matches (ie; ex12*.log)\n"
    "           /OFFSET [time]      Time to offset (ie; 1d=1day, 10h=10hours)\n"
    "           /EXECUTE [...]      Command to execute\n";

// The six report lines of a run, each value between its brackets.
inline std::string Report(const std::string& offset, const std::string& wildcard,
                          const std::string& filename, const std::string& source,
                          const std::string& target, const std::string& execute) {
    return "Offset:   [" + offset + "]\nWildcard: [" + wildcard + "]\nFilename: [" + filename +
           "]\nSource:   [" + source + "]\nTarget:   [" + target + "]\nExecute:  [" + execute +
           "]\n";
}

// What /debug adds around a run: the library's version banner first, the
// allocator's start-up and closing reports. The closing report shows the
// template engine's blocks at their peak: the script object, its pool and
// the pool's first block, and the three classes; none is left over.
// Inline, so that they are made before any test file's own constants.
inline const std::string VERSION_BANNER = "ZizEzaz v0.50 (rev: 9.517.1219.04)\n";
inline const std::string MEMORY_INIT =
    Banner("Memory Init") + "Memory Initialized (Maximum)\n" + Banner("");
inline const std::string MEMORY_REMOVE =
    Banner("Memory Remove") +
    // The records are smaller with 32-bit pointers.
    (sizeof(void*) == 4 ? "Maximum Memory in use (6 / 21k)\n"
                        : "Maximum Memory in use (6 / 24k)\n") +
    Banner("");
