// run_vorla.h: runs the built vorla binary as a separate process and
// collects what it printed and how it ended.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"

struct VorlaRun {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or -1 when the process did not exit normally
};

struct VorlaOptions {
    std::string binary;      // default: the binary of this build
    std::string directory;   // working directory; default: inherited
    std::string frozenTime;  // "YYYY-MM-DD hh:mm:ss" (UTC): run under faketime -f
    std::string stdinText;   // fed to standard input (closed afterwards)
};

// argv[0] is the binary; args follow it unchanged. With VORLA_E2E_WRAPPER
// set (say "valgrind -q --error-exitcode=99"), the binary runs under that
// command, inside faketime when the clock is frozen.
VorlaRun RunVorla(const std::vector<std::string>& args, const VorlaOptions& options = {});

// A fresh directory under the system's temporary directory, removed with
// everything in it by RemoveTree.
std::string MakeTempDir();
void RemoveTree(const std::string& path);
// The binary copied into dir (so that its log file lands there); returns the copy's path.
std::string CopyBinaryTo(const std::string& dir);
bool FileExists(const std::string& path);
// True when faketime is installed; tests that freeze the clock skip otherwise.
bool HaveFaketime();

// The six report lines of a run, each value between its brackets.
std::string Report(const std::string& offset, const std::string& wildcard,
                   const std::string& filename, const std::string& source,
                   const std::string& target, const std::string& execute);

// What /debug adds around a run: the library's version banner first, the
// allocator's start-up and closing reports. The closing report shows the
// template engine's blocks at their peak: the script object, its pool and
// the pool's first block, and the three classes; none is left over.
// Inline, so that they are made before any test file's own constants.
inline const std::string kVersionBanner = "ZizEzaz v0.50 (rev: 9.517.1219.04)\n";
inline const std::string kMemoryInit =
    Banner("Memory Init") + "Memory Initialized (Maximum)\n" + Banner("");
inline const std::string kMemoryRemove =
    Banner("Memory Remove") + "Maximum Memory in use (6 / 24k)\n" + Banner("");
