// init.cpp: start-up and shut-down of the support library: the log
// switches, the log lock, the log file's place beside the program file and
// the console.
#include "zizezaz/core/init.h"

#include <cstdint>
#include <iterator>

#include "platform/platform.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/core_internal.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"
#include "zizezaz/str/ascii.h"
#include "zizezaz/str/str.h"

static constexpr const char* VERSION = "0.50";
static constexpr const char* REVISION = "9.517.1219.04";
static constexpr const char* DEFAULT_LOG_NAME = "debug.log";
static constexpr const char* LONG_PATH_PREFIX = "\\\\?\\";
static constexpr const char* LONG_UNC_PREFIX = "\\\\?\\UNC\\";

struct SwitchWord {
    const char* word;
    std::uint32_t bits;
};

// Tested in this order; every word present adds its bits.
static constexpr SwitchWord SWITCHES[] = {
    {"debug", LOG_FILE | LOG_VERBOSE},
    {"perthread", LOG_PER_THREAD | LOG_APPEND},
    {"unique", LOG_DATED_NAME | LOG_APPEND | LOG_VERBOSE | LOG_FILE},
    {"window", LOG_CONSOLE},
    {"cachewrites", LOG_CACHE_WRITES},
    {"timestamp", LOG_TIMESTAMP},
    {"append", LOG_APPEND},
    {"externalprint", LOG_EXTERNAL_PRINT},
};
static_assert(std::size(SWITCHES) == 8, "the eight log switches of the command line");

static bool IsAbsolute(const char* name) {
    return AsciiIsPathSeparator(name[0]) || (name[0] != '\0' && name[1] == ':');
}

std::int32_t LogParseSwitches(std::uint32_t* flags, const char* commandLine) {
    if (flags == nullptr || commandLine == nullptr) LogAbortNull(CORE_SOURCE_NAME, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    std::uint32_t found = 0;
    for (const SwitchWord& entry : SWITCHES) {
        if (CmdLineHasSwitch(commandLine, entry.word)) found |= entry.bits;
    }
    *flags = found;
    return 1;
}

std::int32_t CoreLogPath(const char* modulePath, const char* logName, char* path) {
    if (modulePath == nullptr || logName == nullptr || path == nullptr) {  // GCOVR_EXCL_START: only a faulty caller passes a null
        LogAbortNull(CORE_SOURCE_NAME, __LINE__);
    }  // GCOVR_EXCL_STOP
    if (IsAbsolute(logName)) {
        StrCopyN(path, logName, LOG_PATH_CAPACITY);
        return 1;
    }
    // A module path in the long form names the same file without its
    // prefix; the network form keeps the share's two leading backslashes.
    const char* module = modulePath;
    if (StrStartsWithNoCase(module, LONG_UNC_PREFIX)) {
        StrCopy(path, "\\\\");
        StrCopyN(path + 2, module + StrLength(LONG_UNC_PREFIX), LOG_PATH_CAPACITY - 2);
    } else if (StrStartsWithNoCase(module, LONG_PATH_PREFIX)) {
        StrCopyN(path, module + StrLength(LONG_PATH_PREFIX), LOG_PATH_CAPACITY);
    } else {
        StrCopyN(path, module, LOG_PATH_CAPACITY);
    }
    // Keep the program's directory with its trailing separator; a module
    // path without one (or none at all) leaves the name relative to the
    // current directory.
    std::int32_t keep = StrLength(path);
    while (keep > 0 && !AsciiIsPathSeparator(path[keep - 1]))
        --keep;
    path[keep] = '\0';
    const char* name = StrLength(logName) < 2 ? DEFAULT_LOG_NAME : logName;
    StrCopyN(path + keep, name, LOG_PATH_CAPACITY - keep);
    return 1;
}

std::int32_t CoreInit(const char* logName, std::uint32_t flags) {
    LogState.mainThreadId = PlatThreadId();
    if (logName == nullptr) LogAbortNull(CORE_SOURCE_NAME, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    if (LogState.mutex != nullptr) {
        LogSetLocation(CORE_SOURCE_NAME, __LINE__);
        LogAbort("Zizezaz already initialized\n");
    }
    LogMutexCreate();
    if (PlatCommandLine() == nullptr) {
        LogSetLocation(CORE_SOURCE_NAME, __LINE__);
        LogAbort("Unable to retrieve commandline!\n");
    }
    char module[LOG_PATH_CAPACITY];
    PlatModulePath(module, LOG_PATH_CAPACITY);  // empty when it cannot be had
    char path[LOG_PATH_CAPACITY];
    CoreLogPath(module, logName, path);
    LogConfigure(path, flags);
    return 1;
}

std::int32_t LogConfigure(const char* path, std::uint32_t flags) {
    LogLock();
    LogState.flags = flags;
    if (path != nullptr) StrCopyN(LogState.basePath, path, LOG_PATH_CAPACITY);
    // The console is obtained before the flags are judged, so that a fatal
    // report about them reaches the user on it.
    if ((flags & LOG_CONSOLE) && LogState.consoleHandle == 0) {
        LogState.consoleHandle = PlatConsoleOpen();
        PlatConsoleTitle(LogState.basePath);
    }
    if ((flags & LOG_PER_THREAD) && !(flags & LOG_APPEND)) {
        // Threads take turns on their files, each turn reopening one; an
        // emptied file would lose the thread's earlier messages.
        LogSetLocation(CORE_SOURCE_NAME, __LINE__);
        LogAbort("Threaded logging requires append to be on\n");
    }
    if (LogState.fileDescriptor != 0) PlatLogClose(LogState.fileDescriptor);
    LogState.fileDescriptor = 0;  // the first message that needs the file opens it
    LogUnlock();
    if (flags & LOG_VERBOSE) {
        if (REVISION[0] == '?') {
            LogPrint("ZizEzaz v%s\n", VERSION);
        } else {
            LogPrint("ZizEzaz v%s (rev: %s)\n", VERSION, REVISION);
        }
    }
    return 1;
}

std::int32_t CoreShutdown() {
    // No lock here: no other thread may still be logging.
    if (LogState.fileDescriptor != 0) PlatLogClose(LogState.fileDescriptor);
    LogState.flags |= LOG_APPEND;  // a later message must not empty the file
    LogState.fileDescriptor = 0;
    LogMutexDestroy();
    return 1;
}

std::int32_t LogSetLockBypass(std::int32_t bypass) {
    if (bypass == LogState.lockBypass) return 1;
    // Switched only while holding the mutex, so that no other thread is in
    // a locked section when locking goes off.
    if (LogState.mutex == nullptr || !PlatMutexLock(LogState.mutex)) return 0;
    LogState.lockBypass = bypass == 1 ? 1 : 0;
    PlatMutexUnlock(LogState.mutex);
    return 1;
}

std::int32_t LogMutexCreate() {
    LogState.mutex = PlatMutexCreate();
    LogSetLockBypass(0);  // stays off when the mutex could not be made
    return 1;
}

std::int32_t LogMutexDestroy() {
    LogSetLockBypass(1);
    if (LogState.mutex != nullptr) PlatMutexDestroy(LogState.mutex);
    LogState.mutex = nullptr;
    LogState.lockBypass = 1;  // nothing left to lock, even if the switch failed
    return 1;
}
