// app.cpp: Vorla's start-up, options, run sequence and exit status.

#include "vorla/app.h"

#include "platform/platform.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/str/str.h"

static constexpr char kProgramName[] = "Vorla";
static constexpr char kVersion[] = "1.04";
static constexpr char kBuildKind[] = "Release";
// Where the program is published; the usage text points users here.
static constexpr char kHomePage[] = "https://quendil.example/vorla/";

// Option values and the command line keep at most 999 characters.
static constexpr std::int32_t kValueCapacity = 1000;
static constexpr std::int32_t kCommandCapacity = 1024;

struct Option {
    const char* word;
    char (AppConfig::*field)[APP_FIELD_CAPACITY];
};

// Compared in this order; the first character of a field is never looked at.
static constexpr Option kOptions[] = {
    {"Wildcard", &AppConfig::wildcard}, {"Offset", &AppConfig::offset},
    {"Execute", &AppConfig::execute},   {"Filename", &AppConfig::filename},
    {"Target", &AppConfig::target},     {"Source", &AppConfig::source},
};

static const Option* FindOption(const char* field) {
    if (field[0] == '\0') return nullptr;
    for (const Option& option : kOptions) {
        if (StrEqualNoCase(field + 1, option.word)) return &option;
    }
    return nullptr;
}

static void PrintUsage() {
    LogPrint("\nQuendil %s version %s (%s)\n", kProgramName, kVersion, kBuildKind);
    LogPrint("The latest version can always be found at %s\n", kHomePage);
    LogPrint("\nUsage:   Vorla [options]\n");
    LogPrint("Options:   /TARGET [path]      Destination for files\n");
    LogPrint("           /SOURCE [path]      Source for files (def: current)\n");
    LogPrint("           /FILENAME [name]    Destination filename\n");
    LogPrint("           /WILDCARD [match]   String to use to find matches (ie; ex12*.log)\n");
    LogPrint("           /OFFSET [time]      Time to offset (ie; 1d=1day, 10h=10hours)\n");
    LogPrint("           /EXECUTE [...]      Command to execute\n");
}

static void ReadOptions(AppConfig* config, const char* commandLine, std::int32_t fieldCount) {
    char field[kCommandCapacity];
    std::int32_t i = 1;
    while (i < fieldCount) {
        if (!CmdLineGetField(commandLine, i, field, kValueCapacity)) {
            LogPrint("Couldn't get field (%d)\n", i);
            return;
        }
        const Option* option = FindOption(field);
        if (option == nullptr) {
            LogPrint("Unknown command [%s]\n", field);
            i += 1;
            continue;
        }
        // The value is the next field whatever it looks like; with none the
        // record field ends up empty.
        CmdLineGetField(commandLine, i + 1, config->*(option->field), kValueCapacity);
        i += 2;
    }
}

std::int32_t AppRun(AppConfig* config) {
    LogPrint("Offset:   [%s]\n", config->offset);
    LogPrint("Wildcard: [%s]\n", config->wildcard);
    LogPrint("Filename: [%s]\n", config->filename);
    LogPrint("Source:   [%s]\n", config->source);
    LogPrint("Target:   [%s]\n", config->target);
    LogPrint("Execute:  [%s]\n", config->execute);

    if (PlatRunCommand(config->execute) == 0) config->result = 0;
    return 1;
}

std::int32_t AppMain(void*, std::int32_t, const char* commandLine, std::int32_t) {
    std::uint32_t flags = 0;
    LogParseSwitches(&flags, commandLine);
    // Every message reaches the console, and nobody may be there to close
    // a message box when a scheduler runs us.
    flags |= LOG_CONSOLE | LOG_NO_ABORT_BOX;
    CoreInit("debug.log", flags);
    MemInit(0x7FFFFFFF);

    AppConfig config{};
    StrCopy(config.filename, "archive.zip");
    PlatLocalTime(PlatTimeNow(), &config.localTime);

    // Cutting an over-long line could leave a different, valid command to
    // run, so such a line is refused whole.
    const char* fullLine = PlatCommandLine();
    char line[kCommandCapacity];
    std::int32_t length = StrLength(fullLine);
    bool fits = length < kValueCapacity;
    StrCopyN(line, fullLine, kValueCapacity);

    std::int32_t fieldCount = 0;
    CmdLineCountFields(fits ? line : fullLine, &fieldCount);
    if (fieldCount < 2) {
        PrintUsage();
    } else if (!fits) {
        LogPrint("Command line too long (%d characters, limit %d): nothing was run\n", length,
                 kValueCapacity - 1);
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
