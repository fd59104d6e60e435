// init.h: start-up and shut-down of the support library, and the log
// switches of the command line.
#pragma once

#include <cstdint>

// Stores the LogFlags bits of every log switch found in commandLine.
std::int32_t LogParseSwitches(std::uint32_t* flags, const char* commandLine);
// Starts the library: lock, console, log path beside the program file
// (logName used as given when absolute), version banner when verbose.
std::int32_t CoreInit(const char* logName, std::uint32_t flags);
std::int32_t LogConfigure(const char* path, std::uint32_t flags);
// Closes the log file and switches locking off; logging still works after.
std::int32_t CoreShutdown();
