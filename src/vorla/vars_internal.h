// vars_internal.h: the variables' callbacks and their registration table,
// for the tests that call a callback directly without a template engine.
#pragma once

#include <cstdint>

#include "zizezaz/script/script.h"

// Each writes its text at output within room bytes and returns 1; user is
// the run's AppConfig.
std::int32_t AppVarTimeDay(Script* script, ScriptKeyword* keyword, const char* parameter,
                           void* user, char* output, std::int32_t room);
std::int32_t AppVarTimeDayPad(Script* script, ScriptKeyword* keyword, const char* parameter,
                              void* user, char* output, std::int32_t room);
std::int32_t AppVarTimeMonth(Script* script, ScriptKeyword* keyword, const char* parameter,
                             void* user, char* output, std::int32_t room);
std::int32_t AppVarTimeMonthPad(Script* script, ScriptKeyword* keyword, const char* parameter,
                                void* user, char* output, std::int32_t room);
std::int32_t AppVarTimeYear2(Script* script, ScriptKeyword* keyword, const char* parameter,
                             void* user, char* output, std::int32_t room);
std::int32_t AppVarTimeYear4(Script* script, ScriptKeyword* keyword, const char* parameter,
                             void* user, char* output, std::int32_t room);
std::int32_t AppVarConfigFilename(Script* script, ScriptKeyword* keyword, const char* parameter,
                                  void* user, char* output, std::int32_t room);
std::int32_t AppVarConfigTarget(Script* script, ScriptKeyword* keyword, const char* parameter,
                                void* user, char* output, std::int32_t room);
std::int32_t AppVarConfigSource(Script* script, ScriptKeyword* keyword, const char* parameter,
                                void* user, char* output, std::int32_t room);
std::int32_t AppVarConfigWildcard(Script* script, ScriptKeyword* keyword, const char* parameter,
                                  void* user, char* output, std::int32_t room);
std::int32_t AppVarSpecialQuote(Script* script, ScriptKeyword* keyword, const char* parameter,
                                void* user, char* output, std::int32_t room);

struct AppVariable {
    const char* className;
    const char* keyword;
    ScriptCallback callback;
};

// In the order of registration.
inline constexpr AppVariable kAppVariables[] = {
    {"Time", "Day", AppVarTimeDay},
    {"Time", "DayPad", AppVarTimeDayPad},
    {"Time", "Month", AppVarTimeMonth},
    {"Time", "MonthPad", AppVarTimeMonthPad},
    {"Time", "Year2", AppVarTimeYear2},
    {"Time", "Year4", AppVarTimeYear4},
    {"Config", "Filename", AppVarConfigFilename},
    {"Config", "Target", AppVarConfigTarget},
    {"Config", "Source", AppVarConfigSource},
    {"Config", "Wildcard", AppVarConfigWildcard},
    {"Special", "Quote", AppVarSpecialQuote},
};
