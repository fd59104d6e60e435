// report.cpp: the string layer's way out for fatal errors and notes.
#include "zizezaz/str/report.h"

#include <cstdlib>

#include "platform/platform.h"
#include "zizezaz/str/format.h"
#include "zizezaz/str/str_internal.h"

// What the log does with a fatal error before it has any output of its own:
// the framed message in the error box, then the end of the process.
static void BoxFatal(const char* file, std::int32_t line, const char* format, va_list args) {  // GCOVR_EXCL_START: only programs without the log keep it, and none of them meets a fatal error
    char text[4096];
    char* at = text;
    char* const end = text + sizeof text;
    at += StrFormat(at, static_cast<std::int32_t>(end - at), "\n\nABORT: ");
    at += StrFormatV(at, static_cast<std::int32_t>(end - at), format, args);
    StrFormat(at, static_cast<std::int32_t>(end - at), "       (%s/%d)\n", file, line);
    PlatMessageBox("Internal error...", text + 2);
    std::exit(1);
}  // GCOVR_EXCL_STOP

static void SilentNote(const char*) {}

static StrFatalHandler fatalHandler = BoxFatal;
static StrNoteHandler noteHandler = SilentNote;

std::int32_t StrSetReport(StrFatalHandler fatal, StrNoteHandler note) {
    fatalHandler = fatal != nullptr ? fatal : BoxFatal;
    noteHandler = note != nullptr ? note : SilentNote;
    return 1;
}

void StrFatal(std::int32_t line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    fatalHandler(STR_SOURCE_NAME, line, format, args);
    // Every handler ends the process or jumps away; this is the net for one that returns.
    va_end(args);  // GCOVR_EXCL_LINE: no handler returns
    std::exit(1);  // GCOVR_EXCL_LINE: no handler returns
}

void StrNote(const char* text) {
    noteHandler(text);
}
