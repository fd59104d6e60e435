// vars_internal.h: the variables' callbacks and their registration table,
// for the tests that call a callback directly without a template engine.
#pragma once

#include <cstdint>

#include "zizezaz/script/script.h"

struct AppVariable {
    const char* className;
    const char* keyword;
    ScriptCallback callback;
};

// In the order of registration. Each callback writes its text at output
// within room bytes and returns 1; user is the run's AppConfig.
inline constexpr std::int32_t APP_VARIABLE_COUNT = 11;
extern const AppVariable APP_VARIABLES[APP_VARIABLE_COUNT];
