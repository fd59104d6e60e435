// log.cpp: message output to the console and the log file, fatal errors,
// and the process-wide re-entrant log lock.
//
// Every message is composed into LogState.debugBuffer under the lock and
// handed to LogWrite, which copies it unchanged to the console first and
// then, with LOG_FILE, to a file whose name is recomputed for each message
// (date, thread, error file). Nothing here allocates: the buffers are fixed
// and live either in LogState or on the stack.
#include "zizezaz/core/log.h"

#include <cstdarg>
#include <cstdlib>

#include "platform/platform.h"
#include "zizezaz/core/core_internal.h"
#include "zizezaz/core/log_internal.h"
#include "zizezaz/str/format.h"
#include "zizezaz/str/report.h"
#include "zizezaz/str/str.h"

LogStateRecord LogState = {
    .flags = 0,
    .fileDescriptor = 0,
    .basePath = {},
    .currentPath = {},
    .mainThreadId = 0,
    .debugBuffer = {},
    .locationFile = nullptr,
    .locationLine = 0,
    .consoleHandle = 0,
    .mutex = nullptr,
    .lockBypass = 1,  // no locking until start-up creates the mutex
};

static constexpr const char* BOX_CAPTION = "Internal error...";
static constexpr std::int32_t OPEN_ATTEMPTS = 10;
static constexpr std::int32_t OPEN_RETRY_MS = 100;
// Room in the failure box for its fixed words and the error number (58 + 11
// characters) and the terminator.
static constexpr std::int32_t BOX_WORDS_ROOM = 70;
// A message that got this close to the end of debugBuffer was most likely
// cut by the formatter; a note says so right after it.
static constexpr std::int32_t OVERRUN_MARK = LOG_BUFFER_CAPACITY - 10;
static constexpr std::int32_t STAMP_CAPACITY = 80;
static constexpr std::int32_t EXTENSION_CAPACITY = 18;
static constexpr char BELL = 7;

static_assert(LOG_BUFFER_CAPACITY == 4096 && LOG_PATH_CAPACITY == 260,
              "messages and log names are cut at these bounds, which users see");

// Takes the extension off name: the text after the last '.' found searching
// back from the end down to the second character ("log" when there is none).
static void SplitExtension(char* name, char* extension) {
    StrCopy(extension, "log");
    for (std::int32_t i = StrLength(name) - 1; i >= 1; --i) {
        if (name[i] == '.') {
            StrCopyN(extension, name + i + 1, EXTENSION_CAPACITY);
            name[i] = '\0';
            return;
        }
    }
}

// Formats a suffix onto name, cut silently at the path buffer's end. The
// suffix is composed apart first: a cut inside the formatter would be
// reported through the log, which would compute this same name again.
static void AppendToName(char* name, const char* format, ...) {
    char suffix[64];  // at most "-" + 10 digits + "." + 17 characters
    va_list args;
    va_start(args, format);
    StrFormatV(suffix, sizeof suffix, format, args);
    va_end(args);
    const std::int32_t used = StrLength(name);
    StrCopyN(name + used, suffix, LOG_PATH_CAPACITY - used);
}

static void ComposeStamp(char* stamp, const PlatTime& now) {
    StrFormat(stamp, STAMP_CAPACITY, "%.2d/%.2d/%.4d %.2d:%.2d:%.2d ", now.month + 1, now.day,
              now.year + 1900, now.hour, now.minute, now.second);
}

// The error file sits beside the base path: the extension becomes "err",
// or a name without one is replaced by error.log in the same directory.
static void ErrorFileName(char* name) {
    std::int32_t i = StrLength(name);
    while (i > 0 && name[i - 1] != '.' && name[i - 1] != '/' && name[i - 1] != '\\') {
        name[--i] = '\0';
    }
    const char* tail = (i > 0 && name[i - 1] == '.') ? "err" : "error.log";
    StrCopyN(name + i, tail, LOG_PATH_CAPACITY - i);
}

// Opens currentPath with the retries; on failure tells the user in a box
// (whatever the flags say) and leaves fileDescriptor 0 so that the next
// message tries again.
static bool OpenLogFile(bool openAtEnd, const char* text) {
    std::int32_t error = 0;
    for (std::int32_t attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
        const std::int32_t fd = PlatLogOpen(LogState.currentPath, openAtEnd ? 1 : 0, &error);
        if (fd > 0) {
            LogState.fileDescriptor = fd;
            return true;
        }
        PlatSleepMs(OPEN_RETRY_MS);
    }
    // The text is cut to what the box holds beside the path and the words
    // around it: an overrun here would be reported through this very log,
    // costing another round of retries and a second box.
    char shown[LOG_BUFFER_CAPACITY];
    StrCopyN(shown, text, LOG_BUFFER_CAPACITY - BOX_WORDS_ROOM - StrLength(LogState.currentPath));
    char box[LOG_BUFFER_CAPACITY];
    StrFormat(box, LOG_BUFFER_CAPACITY,
              "Unable to create log file [%s] due to error [%d]\n -- String [%s]",
              LogState.currentPath, error, shown);
    PlatMessageBox(BOX_CAPTION, box);
    return false;
}

std::int32_t LogFileName(const char* basePath, std::uint32_t flags, std::int32_t fatal,
                         const PlatTime* now, std::uint32_t threadId, std::int32_t otherThread,
                         char* name) {
    if (fatal == 1 && (flags & LOG_ERROR_FILE)) {
        StrCopyN(name, basePath, LOG_PATH_CAPACITY);
        ErrorFileName(name);
        return 1;
    }
    if (!(flags & LOG_FILE)) return 0;
    StrCopyN(name, basePath, LOG_PATH_CAPACITY);
    char extension[EXTENSION_CAPACITY];
    if (flags & LOG_DATED_NAME) {
        SplitExtension(name, extension);
        // Two digits from 2000 to 2099.
        const std::int32_t year = now->year >= 100 ? now->year - 100 : now->year;
        AppendToName(name, "-%.2d%.2d%.2d.%s", now->month + 1, now->day, year, extension);
    }
    if ((flags & LOG_PER_THREAD) && otherThread == 1) {
        SplitExtension(name, extension);
        AppendToName(name, "-%d.%s", static_cast<std::int32_t>(threadId), extension);
    }
    return 1;
}

std::uint32_t LogGetFlags() {
    return LogState.flags;
}

std::int32_t LogLock() {
    if (LogState.lockBypass == 1) return 1;
    if (LogState.mutex == nullptr) return 0;
    return PlatMutexLock(LogState.mutex) ? 1 : 0;
}

std::int32_t LogUnlock() {
    if (LogState.lockBypass == 1) return 1;
    if (LogState.mutex != nullptr) PlatMutexUnlock(LogState.mutex);
    return 1;
}

void LogSetLocation(const char* file, std::int32_t line) {
    LogLock();  // released by the LogAbort that follows
    LogState.locationFile = file;
    LogState.locationLine = line;
}

std::int32_t LogSetLocationNoLock(const char* file, std::int32_t line) {
    LogState.locationFile = file;
    LogState.locationLine = line;
    return 1;
}

std::int32_t LogWrite(char* text, std::int32_t fatal) {
    const std::uint32_t flags = LogState.flags;
    bool openAtEnd = (flags & LOG_APPEND) != 0;

    if (flags & LOG_NO_BELL) {
        for (char* p = text; *p != '\0'; ++p) {
            if (*p == BELL) *p = ' ';
        }
    }
    const auto length = static_cast<std::size_t>(StrLength(text));
    char stamp[STAMP_CAPACITY] = {};
    // Asking for the thread costs a system call; only LOG_PER_THREAD needs it.
    const std::uint32_t threadId = (flags & LOG_PER_THREAD) ? PlatThreadId() : 0;
    const bool otherThread = (flags & LOG_PER_THREAD) && threadId != LogState.mainThreadId;

    // The console copy goes first, so that nothing the file side does (a
    // failed open, a full disk) can cost the user a message. The console
    // belongs to the main thread when threads have files of their own.
    if ((flags & LOG_CONSOLE) && LogState.consoleHandle != 0 && !otherThread) {
        PlatConsoleWrite(LogState.consoleHandle, text, length);
    }

    const bool errorFile = fatal == 1 && (flags & LOG_ERROR_FILE);
    if (!errorFile && !(flags & LOG_FILE)) return 1;
    // The clock is read only when a stamp or a dated name needs it.
    PlatTime now{};
    if (errorFile || ((flags & LOG_FILE) && (flags & (LOG_TIMESTAMP | LOG_DATED_NAME)))) {
        PlatLocalTime(PlatTimeNow(), &now);
    }
    if (errorFile || ((flags & LOG_FILE) && (flags & LOG_TIMESTAMP))) ComposeStamp(stamp, now);
    if (errorFile) openAtEnd = true;  // fatal reports pile up; never empty that file

    char targetName[LOG_PATH_CAPACITY];
    if (!LogFileName(LogState.basePath, flags, fatal, &now, threadId, otherThread ? 1 : 0,
                     targetName)) {
        return 1;
    }

    if (!StrEqualNoCase(targetName, LogState.currentPath)) {
        StrCopyN(LogState.currentPath, targetName, LOG_PATH_CAPACITY);
        if (LogState.fileDescriptor != 0) PlatLogClose(LogState.fileDescriptor);
        LogState.fileDescriptor = 0;
    }
    if (LogState.fileDescriptor == 0 && !OpenLogFile(openAtEnd, text)) return 1;

    const std::int32_t fd = LogState.fileDescriptor;
    if (stamp[0] != '\0') PlatLogWrite(fd, stamp, static_cast<std::size_t>(StrLength(stamp)));
    PlatLogWrite(fd, text, length);
    if (!(flags & LOG_CACHE_WRITES) || fatal == 1) PlatLogCommit(fd);
    return 1;
}

std::int32_t LogCompose(std::int32_t fatal, const char* prefix, const char* file, std::int32_t line,
                        const char* format, va_list args) {
    char* const start = LogState.debugBuffer;
    char* const end = start + LOG_BUFFER_CAPACITY;
    char* at = start;
    if (fatal == 1) {
        at += StrFormat(at, static_cast<std::int32_t>(end - at), "\n\n%s", prefix);
        at += StrFormatV(at, static_cast<std::int32_t>(end - at), format, args);
        at += StrFormat(at, static_cast<std::int32_t>(end - at), "       (%s/%d)\n",
                        file != nullptr ? file : "Unknown", line);
    } else {
        at += StrFormatV(at, static_cast<std::int32_t>(end - at), format, args);
    }
    LogWrite(start, fatal);
    if (fatal == 1 && !(LogState.flags & LOG_NO_ABORT_BOX)) PlatMessageBox(BOX_CAPTION, start + 2);
    if (at - start > OVERRUN_MARK) {
        StrFormat(start, LOG_BUFFER_CAPACITY,
                  "\n\n***** Last string too large for debug buffer\n\n");
        LogWrite(start, 0);
    }
    return 1;
}

std::int32_t LogPrint(const char* format, ...) {
    const std::uint32_t flags = LogState.flags;
    if (flags == 0 || !(flags & (LOG_CONSOLE | LOG_FILE | LOG_EXTERNAL_PRINT))) return 1;
    LogLock();
    va_list args;
    va_start(args, format);
    LogCompose(0, "", LogState.locationFile, LogState.locationLine, format, args);
    va_end(args);
    LogUnlock();
    return 1;
}

std::int32_t LogPrintNoLock(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogCompose(0, "", LogState.locationFile, LogState.locationLine, format, args);
    va_end(args);
    return 1;
}

std::int32_t LogWriteRaw(const char* text) {
    if (LogState.flags == 0) return 1;
    if (text == nullptr) LogAbortNull(CORE_SOURCE_NAME, __LINE__);
    LogLock();
    if (!(LogState.flags & LOG_NO_BELL)) {
        // Without LOG_NO_BELL, LogWrite leaves the text alone.
        LogWrite(const_cast<char*>(text), 0);
        LogUnlock();
        return 1;
    }
    // LogWrite blanks bells in place, which a caller's constant text must
    // not suffer; it is written from a copy, a buffer at a time. debugBuffer
    // is no use here: the formatter calls this in the middle of composing a
    // message there.
    const char* p = text;
    do {
        char piece[LOG_BUFFER_CAPACITY];
        StrCopyN(piece, p, LOG_BUFFER_CAPACITY);
        const std::int32_t taken = StrLength(piece);
        LogWrite(piece, 0);
        p += taken;
    } while (*p != '\0');
    LogUnlock();
    return 1;
}

std::int32_t LogBanner(const char* title) {
    if (LogState.flags == 0) return 1;
    LogLock();
    char* const buffer = LogState.debugBuffer;
    if (title != nullptr) {
        StrFormat(buffer, LOG_BUFFER_CAPACITY, "====[%s]", title);
    } else {
        StrCopy(buffer, "====");
    }
    constexpr std::int32_t WIDTH = 79;
    for (std::int32_t i = StrLength(buffer); i < WIDTH; ++i)
        buffer[i] = '=';
    buffer[WIDTH] = '\n';
    buffer[WIDTH + 1] = '\0';
    LogWrite(buffer, 0);
    LogUnlock();
    return 1;
}

void LogAbortV(const char* format, va_list args) {
    LogCompose(1, "ABORT: ", LogState.locationFile, LogState.locationLine, format, args);
    LogUnlock();
    if (LogState.flags & LOG_DEBUG_BREAK) PlatDebugBreak();
    std::exit(1);
}

void LogAbort(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogAbortV(format, args);
    // LogAbortV ends the process: no way leads here to close the list.
    // cppcheck-suppress va_end_missing
}

void LogAbortNull(const char* file, std::int32_t line) {
    LogSetLocation(file, line);
    LogAbort("Pointer is NULL\n");
}

// The string layer lies below the log and reports through handlers that it
// lets a higher layer install. The log installs its own as the program is
// loaded, so that those reports take the same way as the log's own at every
// moment: before CoreInit, while running, and after CoreShutdown.
static void StrFatalToLog(const char* file, std::int32_t line, const char* format, va_list args) {
    LogSetLocation(file, line);
    LogAbortV(format, args);
}

static void StrNoteToLog(const char* text) {
    LogWriteRaw(text);
}

static const std::int32_t STR_REPORT_INSTALLED = StrSetReport(StrFatalToLog, StrNoteToLog);
