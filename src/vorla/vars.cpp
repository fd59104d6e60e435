// vars.cpp: the application's template variables. Time variables print the
// captured moment shifted by /OFFSET and their parameter; Config variables
// copy the current text of another option; Special.Quote gives a quote.

#include "vorla/vars.h"

#include <cstdint>
#include <cstring>

#include "vorla/app.h"
#include "vorla/date.h"
#include "vorla/vars_internal.h"
#include "zizezaz/core/log.h"
#include "zizezaz/script/script.h"
#include "zizezaz/str/format.h"
#include "zizezaz/str/str.h"

static constexpr char kSourceName[] = "winmain";

enum TimeValue : std::int32_t { kTimeDay, kTimeMonth, kTimeYear2, kTimeYear4 };

// The moment is shifted afresh for every field, so a parameter moves only
// the variable that carries it.
static std::int32_t WriteTime(const char* parameter, void* user, char* output, std::int32_t room,
                              TimeValue which, const char* format) {
    if (user == nullptr || output == nullptr) LogAbortNull(kSourceName, __LINE__);
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t year = 0;
    DateApplyOffset(static_cast<const AppConfig*>(user), parameter, &hour, &minute, &month, &day,
                    &year);
    std::int32_t value = 0;
    switch (which) {
        case kTimeDay:
            value = day;
            break;
        case kTimeMonth:
            value = month + 1;
            break;
        case kTimeYear2:
            // From 2100 on this has three digits; the two-digit year only
            // ever covered 1900 to 2099.
            value = year >= 100 ? year - 100 : year;
            break;
        case kTimeYear4:
            value = year + 1900;
            break;
    }
    StrFormat(output, room, format, value);
    return 1;
}

static std::int32_t WriteConfig(void* user, char* output, std::int32_t room,
                                const char (AppConfig::*field)[APP_FIELD_CAPACITY]) {
    if (user == nullptr || output == nullptr) LogAbortNull(kSourceName, __LINE__);
    // While a field is decoded, its record field is the output buffer, so a
    // field that names itself reads the text produced so far. That text is
    // measured before anything is written and copied as it was, never
    // re-read while the copy lengthens it.
    const char* text = static_cast<const AppConfig*>(user)->*field;
    std::int32_t length = StrLength(text);
    if (length > room - 1) length = room - 1;
    if (length < 0) return 1;
    std::memmove(output, text, static_cast<std::size_t>(length));
    output[length] = '\0';
    return 1;
}

std::int32_t AppVarTimeDay(Script*, ScriptKeyword*, const char* parameter, void* user, char* output,
                           std::int32_t room) {
    return WriteTime(parameter, user, output, room, kTimeDay, "%d");
}

std::int32_t AppVarTimeDayPad(Script*, ScriptKeyword*, const char* parameter, void* user,
                              char* output, std::int32_t room) {
    return WriteTime(parameter, user, output, room, kTimeDay, "%.2d");
}

std::int32_t AppVarTimeMonth(Script*, ScriptKeyword*, const char* parameter, void* user,
                             char* output, std::int32_t room) {
    return WriteTime(parameter, user, output, room, kTimeMonth, "%d");
}

std::int32_t AppVarTimeMonthPad(Script*, ScriptKeyword*, const char* parameter, void* user,
                                char* output, std::int32_t room) {
    return WriteTime(parameter, user, output, room, kTimeMonth, "%.2d");
}

std::int32_t AppVarTimeYear2(Script*, ScriptKeyword*, const char* parameter, void* user,
                             char* output, std::int32_t room) {
    return WriteTime(parameter, user, output, room, kTimeYear2, "%.2d");
}

std::int32_t AppVarTimeYear4(Script*, ScriptKeyword*, const char* parameter, void* user,
                             char* output, std::int32_t room) {
    return WriteTime(parameter, user, output, room, kTimeYear4, "%.4d");
}

std::int32_t AppVarConfigFilename(Script*, ScriptKeyword*, const char*, void* user, char* output,
                                  std::int32_t room) {
    return WriteConfig(user, output, room, &AppConfig::filename);
}

std::int32_t AppVarConfigTarget(Script*, ScriptKeyword*, const char*, void* user, char* output,
                                std::int32_t room) {
    return WriteConfig(user, output, room, &AppConfig::target);
}

std::int32_t AppVarConfigSource(Script*, ScriptKeyword*, const char*, void* user, char* output,
                                std::int32_t room) {
    return WriteConfig(user, output, room, &AppConfig::source);
}

std::int32_t AppVarConfigWildcard(Script*, ScriptKeyword*, const char*, void* user, char* output,
                                  std::int32_t room) {
    return WriteConfig(user, output, room, &AppConfig::wildcard);
}

std::int32_t AppVarSpecialQuote(Script*, ScriptKeyword*, const char*, void*, char* output,
                                std::int32_t room) {
    if (output == nullptr) LogAbortNull(kSourceName, __LINE__);
    // The engine always offers room for the quote and its terminator; the
    // bound only guards against a caller that does not.
    StrCopyN(output, "\"", room);
    return 1;
}

std::int32_t AppRegisterVariables(Script* script) {
    if (script == nullptr) LogAbortNull(kSourceName, __LINE__);
    // Unknown classes stay silent (a brace in a command is common); a
    // misspelt keyword of a known class is worth a message.
    ScriptSetReporting(script, 0, 1);
    ScriptSetDelimiters(script, '{', '}');
    for (const AppVariable& variable : kAppVariables) {
        ScriptAddKeyword(script, variable.className, variable.keyword, ScriptAddTypeKeyword,
                         variable.callback);
    }
    return 1;
}
