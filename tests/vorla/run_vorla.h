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
    std::string frozenTime;  // "YYYY-MM-DD hh:mm:ss" (UTC): the clock stands there
    std::string stdinText;   // fed to standard input (closed afterwards)
    // Run as root, the program runs as the user nobody (through setpriv),
    // who needs the test's files handed over first (HandToUnprivileged).
    // Anyone else runs it as themselves.
    bool unprivileged = false;
    // Started as cron starts a job: an environment of PATH=/usr/bin:/bin,
    // SHELL, HOME and LOGNAME only (no TZ, no TERM), a session of its own
    // without a terminal, and standard input closed.
    bool cron = false;
    std::string outputFile;  // standard output to this file, read back into out
};

// argv[0] is the binary; args follow it unchanged. With VORLA_E2E_WRAPPER
// set (say "valgrind -q --error-exitcode=99"), the binary runs under that
// command, which sees the frozen clock too.
VorlaRun RunVorla(const std::vector<std::string>& args, const VorlaOptions& options = {});

// A fresh directory under the system's temporary directory, removed with
// everything in it by RemoveTree.
std::string MakeTempDir();
void RemoveTree(const std::string& path);
// The binary copied into dir (so that its log file lands there); returns the copy's path.
std::string CopyBinaryTo(const std::string& dir);
bool FileExists(const std::string& path);
// Run as root, everything under path passes to the user that unprivileged
// runs drop to; false when that user is missing or a file could not pass.
// Anyone else keeps their files and gets true.
bool HandToUnprivileged(const std::string& path);
// True when faketime is installed; tests that freeze the clock skip otherwise.
bool HaveFaketime();
