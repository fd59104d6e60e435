// run_vorla.h: runs the built vorla binary as a separate process and
// collects what it printed and how it ended.
#pragma once

#include <string>
#include <vector>

#include "vorla/expected.h"

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
