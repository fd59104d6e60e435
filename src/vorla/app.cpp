// app.cpp: Vorla's start-up, options, run sequence and exit status.

#include "vorla/app.h"

#include <cstring>

#include "platform/platform.h"
#include "vorla/app_internal.h"
#include "vorla/dir.h"
#include "vorla/integrity.h"
#include "vorla/vars.h"
#include "vorla/version.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/script/script.h"
#include "zizezaz/str/str.h"

static constexpr char PROGRAM_NAME[] = "Vorla";
static constexpr char VERSION[] = VORLA_VERSION;
static constexpr char BUILD_KIND[] = "Release";
// Where the program is published; the usage text points users here.
static constexpr char HOME_PAGE[] = "https://quendil.example/vorla/";

// Option values and the command line keep at most 999 characters.
static constexpr std::int32_t VALUE_CAPACITY = 1000;
static constexpr std::int32_t COMMAND_CAPACITY = 1024;
// The platform fills at most this much of the current directory.
static constexpr std::int32_t CURRENT_DIR_CAPACITY = 320;
static constexpr std::int32_t MODULE_PATH_CAPACITY = 4096;
// No practical limit; a build for the tests lowers it to see a run meet it.
#ifndef VORLA_MEM_LIMIT
#define VORLA_MEM_LIMIT 0x7FFFFFFF
#endif
static constexpr std::int32_t MEM_LIMIT = VORLA_MEM_LIMIT;

using AppField = char (AppConfig::*)[APP_FIELD_CAPACITY];

struct Option {
    const char* word;
    AppField field;
    bool isPath;  // normalised with a trailing separator as it is read
};

// Compared in this order; the first character of a field is never looked at.
static constexpr Option OPTIONS[] = {
    {"Wildcard", &AppConfig::wildcard, false}, {"Offset", &AppConfig::offset, false},
    {"Execute", &AppConfig::execute, false},   {"Filename", &AppConfig::filename, false},
    {"Target", &AppConfig::target, true},      {"Source", &AppConfig::source, true},
};

// The fields that are templates, in the order they are decoded: a Config
// variable sees the decoded text of the fields before it and the template
// of those after it.
struct DecodeStep {
    AppField field;
    std::int32_t capacity;
    const char* failure;
};

static constexpr DecodeStep DECODE_ORDER[] = {
    {&AppConfig::wildcard, VALUE_CAPACITY, "Unable to decode script for wildcard (%s)\n"},
    {&AppConfig::source, VALUE_CAPACITY, "Unable to decode script for source path (%s)\n"},
    {&AppConfig::target, VALUE_CAPACITY, "Unable to decode script for target path (%s)\n"},
    {&AppConfig::filename, VALUE_CAPACITY, "Unable to decode script for filename (%s)\n"},
    {&AppConfig::execute, COMMAND_CAPACITY, "Unable to decode script for execute (%s)\n"},
};

static const Option* FindOption(const char* field) {
    if (field[0] == '\0') return nullptr;
    for (const Option& option : OPTIONS) {
        if (StrEqualNoCase(field + 1, option.word)) return &option;
    }
    return nullptr;
}

static void PrintUsage() {
    LogPrint("\nQuendil %s version %s (%s)\n", PROGRAM_NAME, VERSION, BUILD_KIND);
    LogPrint("The latest version can always be found at %s\n", HOME_PAGE);
    LogPrint("\nUsage:   Vorla [options]\n");
    LogPrint("Options:   /TARGET [path]      Destination for files\n");
    LogPrint("           /SOURCE [path]      Source for files (def: current)\n");
    LogPrint("           /FILENAME [name]    Destination filename\n");
    LogPrint("           /WILDCARD [match]   String to use to find matches (ie; ex12*.log)\n");
    LogPrint("           /OFFSET [time]      Time to offset (ie; 1d=1day, 10h=10hours)\n");
    LogPrint("           /EXECUTE [...]      Command to execute\n");
}

// The usage text's first line without the empty line before it, so that
// `vorla --version` answers with exactly one line.
static void PrintBanner() {
    LogPrint("Quendil %s version %s (%s)\n", PROGRAM_NAME, VERSION, BUILD_KIND);
}

enum class Request { RUN, SHOW_USAGE, SHOW_VERSION };

// The words Unix and Windows users try first. They count only as the one
// field after the program's own; anywhere else they are unknown words like
// any other, and the job runs as it always did.
struct RequestWord {
    const char* word;
    Request request;
};

static constexpr RequestWord REQUEST_WORDS[] = {
    {"--help", Request::SHOW_USAGE},      {"-h", Request::SHOW_USAGE},
    {"-?", Request::SHOW_USAGE},          {"/?", Request::SHOW_USAGE},
    {"--version", Request::SHOW_VERSION},
};

static Request FindRequest(const char* commandLine, std::int32_t fieldCount) {
    if (fieldCount < 2) return Request::SHOW_USAGE;
    if (fieldCount > 2) return Request::RUN;
    char field[COMMAND_CAPACITY];
    // Field 1 exists: the count was taken of this same line.
    CmdLineGetField(commandLine, 1, field, VALUE_CAPACITY);
    for (const RequestWord& word : REQUEST_WORDS) {
        if (std::strcmp(field, word.word) == 0) return word.request;
    }
    return Request::RUN;
}

static void ReadOptions(AppConfig* config, const char* commandLine, std::int32_t fieldCount) {
    char field[COMMAND_CAPACITY];
    std::int32_t i = 1;
    while (i < fieldCount) {
        // Field i exists: the count was taken of this same line.
        CmdLineGetField(commandLine, i, field, VALUE_CAPACITY);
        const Option* option = FindOption(field);
        if (option == nullptr) {
            LogPrint("Unknown command [%s]\n", field);
            i += 1;
            continue;
        }
        // The value is the next field whatever it looks like; with none the
        // record field ends up empty.
        char* value = config->*(option->field);
        CmdLineGetField(commandLine, i + 1, value, VALUE_CAPACITY);
        if (option->isPath) DirNormalize(value, 1);
        i += 2;
    }
}

std::int32_t AppReadOptions(AppConfig* config, const char* line, std::int32_t fieldCount) {
    ReadOptions(config, line, fieldCount);
    return 1;
}

// Resolves every template field in place. A field whose decoded text did
// not fit is reported and nothing after it happens: a command line cut
// short must never run.
static std::int32_t DecodeFields(Script* script, AppConfig* config) {
    char work[APP_FIELD_CAPACITY];
    for (const DecodeStep& step : DECODE_ORDER) {
        char* field = config->*(step.field);
        StrCopy(work, field);
        std::int32_t consumed = 0;
        std::int32_t produced = 0;
        if (!ScriptDecode(script, config, 0, work, StrLength(work), &consumed, field, step.capacity,
                          &produced)) {
            LogPrint(step.failure, work);
            return 0;
        }
    }
    return 1;
}

std::int32_t AppRun(AppConfig* config) {
    Script* script = nullptr;
    ScriptCreate(&script);
    AppRegisterVariables(script);
    if (!DecodeFields(script, config)) {
        ScriptDestroy(&script);
        return 0;
    }

    LogPrint("Offset:   [%s]\n", config->offset);
    LogPrint("Wildcard: [%s]\n", config->wildcard);
    LogPrint("Filename: [%s]\n", config->filename);
    LogPrint("Source:   [%s]\n", config->source);
    LogPrint("Target:   [%s]\n", config->target);
    LogPrint("Execute:  [%s]\n", config->execute);

    // A target that cannot be created has been reported; the command
    // still runs and decides the exit status.
    DirCreate(config->target, 0, 0);
    if (PlatRunCommand(config->execute) == 0) config->result = 0;
    ScriptDestroy(&script);
    return 1;
}

std::int32_t AppMain(void*, std::int32_t, const char* commandLine, std::int32_t) {
    std::uint32_t flags = 0;
    LogParseSwitches(&flags, commandLine);
    // Every message reaches the console, and nobody may be there to close
    // a message box when a scheduler runs us.
    flags |= LOG_CONSOLE | LOG_NO_ABORT_BOX;
    CoreInit("debug.log", flags);
    MemInit(MEM_LIMIT);

    AppConfig config{};
    // The field holds more than the platform may fill: the separator is
    // appended after it.
    static_assert(APP_FIELD_CAPACITY > CURRENT_DIR_CAPACITY, "room for the trailing separator");
    AppGetCurrentDir(config.source, CURRENT_DIR_CAPACITY);
    StrCopy(config.filename, "archive.zip");
    PlatLocalTime(PlatTimeNow(), &config.localTime);

    // A damaged copy must not go on to move or delete anyone's files. The
    // path buffer is wider than a Windows path needs: a program installed
    // deeper would otherwise be cut short and always read as damaged.
    char modulePath[MODULE_PATH_CAPACITY];
    if (!PlatModulePath(modulePath, sizeof modulePath) || !AppCheckIntegrity(modulePath)) {
        LogSetLocation("winmain", 340);
        LogAbort("%s has been corrupted, please re-install to correct the problem.\n",
                 PROGRAM_NAME);
    }

    // Cutting an over-long line could leave a different, valid command to
    // run, so such a line is refused whole.
    const char* fullLine = PlatCommandLine();
    char line[COMMAND_CAPACITY];
    std::int32_t length = StrLength(fullLine);
    bool fits = length < VALUE_CAPACITY;
    StrCopyN(line, fullLine, VALUE_CAPACITY);

    std::int32_t fieldCount = 0;
    CmdLineCountFields(fits ? line : fullLine, &fieldCount);
    Request request = fits ? FindRequest(line, fieldCount) : Request::RUN;
    if (fieldCount < 2 || request == Request::SHOW_USAGE) {
        PrintUsage();
    } else if (request == Request::SHOW_VERSION) {
        PrintBanner();
    } else if (!fits) {
        LogPrint("Command line too long (%d characters, limit %d): nothing was run\n", length,
                 VALUE_CAPACITY - 1);
        config.result = 1;
    } else {
        config.result = 1;
        ReadOptions(&config, line, fieldCount);
        AppRun(&config);
    }

    MemRemove();
    CoreShutdown();
    return config.result;
}
