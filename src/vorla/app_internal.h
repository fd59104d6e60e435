// app_internal.h: the option loop of AppMain on its own, for the programs
// that drive it many times in one process (AppMain starts and stops the
// library, which a process does once). Not for callers: they use app.h.
#pragma once

#include <cstdint>

struct AppConfig;

// Reads the options of line, a command line of fieldCount fields whose
// field 0 is the program, into config, exactly as AppMain does: values
// cut at 999 characters, /TARGET and /SOURCE normalised, unknown words
// reported. 1.
std::int32_t AppReadOptions(AppConfig* config, const char* line, std::int32_t fieldCount);
