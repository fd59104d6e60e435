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

static constexpr char SOURCE_NAME[] = "winmain";

enum TimeValue : std::int32_t { TIME_DAY, TIME_MONTH, TIME_YEAR2, TIME_YEAR4 };

// The moment is shifted afresh for every field, so a parameter moves only
// the variable that carries it.
static std::int32_t WriteTime(const char* parameter, void* user, char* output, std::int32_t room,
                              TimeValue which, const char* format) {
    if (user == nullptr || output == nullptr) LogAbortNull(SOURCE_NAME, __LINE__);
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t year = 0;
    DateApplyOffset(static_cast<const AppConfig*>(user), parameter, &hour, &minute, &month, &day,
                    &year);
    std::int32_t value = 0;
    switch (which) {
        case TIME_DAY:
            value = day;
            break;
        case TIME_MONTH:
            value = month + 1;
            break;
        case TIME_YEAR2:
            // From 2100 on this has three digits; the two-digit year only
            // ever covered 1900 to 2099.
            value = year >= 100 ? year - 100 : year;
            break;
        case TIME_YEAR4:
            value = year + 1900;
            break;
    }
    StrFormat(output, room, format, value);
    return 1;
}

static std::int32_t WriteConfig(void* user, char* output, std::int32_t room,
                                const char (AppConfig::*field)[APP_FIELD_CAPACITY]) {
    if (user == nullptr || output == nullptr) LogAbortNull(SOURCE_NAME, __LINE__);
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

// One callback per variable, made from the two writers above by its value
// and format, or by its record field.
template <TimeValue which, const char* format>
static std::int32_t TimeVariable(Script*, ScriptKeyword*, const char* parameter, void* user,
                                 char* output, std::int32_t room) {
    return WriteTime(parameter, user, output, room, which, format);
}

template <const char (AppConfig::*field)[APP_FIELD_CAPACITY]>
static std::int32_t ConfigVariable(Script*, ScriptKeyword*, const char*, void* user, char* output,
                                   std::int32_t room) {
    return WriteConfig(user, output, room, field);
}

static std::int32_t QuoteVariable(Script*, ScriptKeyword*, const char*, void*, char* output,
                                  std::int32_t room) {
    if (output == nullptr) LogAbortNull(SOURCE_NAME, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    // The engine always offers room for the quote and its terminator; the
    // bound only guards against a caller that does not.
    StrCopyN(output, "\"", room);
    return 1;
}

static constexpr char PLAIN[] = "%d";
static constexpr char TWO_DIGITS[] = "%.2d";
static constexpr char FOUR_DIGITS[] = "%.4d";

const AppVariable APP_VARIABLES[APP_VARIABLE_COUNT] = {
    {"Time", "Day", TimeVariable<TIME_DAY, PLAIN>},
    {"Time", "DayPad", TimeVariable<TIME_DAY, TWO_DIGITS>},
    {"Time", "Month", TimeVariable<TIME_MONTH, PLAIN>},
    {"Time", "MonthPad", TimeVariable<TIME_MONTH, TWO_DIGITS>},
    {"Time", "Year2", TimeVariable<TIME_YEAR2, TWO_DIGITS>},
    {"Time", "Year4", TimeVariable<TIME_YEAR4, FOUR_DIGITS>},
    {"Config", "Filename", ConfigVariable<&AppConfig::filename>},
    {"Config", "Target", ConfigVariable<&AppConfig::target>},
    {"Config", "Source", ConfigVariable<&AppConfig::source>},
    {"Config", "Wildcard", ConfigVariable<&AppConfig::wildcard>},
    {"Special", "Quote", QuoteVariable},
};

std::int32_t AppRegisterVariables(Script* script) {
    if (script == nullptr) LogAbortNull(SOURCE_NAME, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    // Unknown classes stay silent (a brace in a command is common); a
    // misspelt keyword of a known class is worth a message.
    ScriptSetReporting(script, 0, 1);
    ScriptSetDelimiters(script, '{', '}');
    for (const AppVariable& variable : APP_VARIABLES) {
        ScriptAddKeyword(script, variable.className, variable.keyword, ScriptAddTypeKeyword,
                         variable.callback);
    }
    return 1;
}
