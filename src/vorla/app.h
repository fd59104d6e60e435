// app.h: Vorla, the application: options, the run sequence and its exit status.
#pragma once

#include <cstdint>

#include "platform/platform.h"

inline constexpr std::int32_t APP_FIELD_CAPACITY = 1024;

// The configuration of one run: defaults, then the options, then the
// decoded templates. The six text fields are in report order.
struct AppConfig {
    PlatTime localTime;  // captured once at start-up
    char offset[APP_FIELD_CAPACITY];
    char wildcard[APP_FIELD_CAPACITY];
    char filename[APP_FIELD_CAPACITY];
    char source[APP_FIELD_CAPACITY];
    char target[APP_FIELD_CAPACITY];
    char execute[APP_FIELD_CAPACITY];
    std::int32_t result;
};

// Process entry called by the library; returns the exit status.
std::int32_t AppMain(void* module, std::int32_t reserved, const char* commandLine,
                     std::int32_t showState);
// Resolves, reports and runs; the outcome lands in config->result.
std::int32_t AppRun(AppConfig* config);
