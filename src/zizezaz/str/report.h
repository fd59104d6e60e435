// report.h: how the string layer reports what it cannot hand back to its
// caller. The layer lies below the log and may not call it, so the log
// installs its own handlers (as a host replaces Lua's panic function);
// until then a fatal error goes to the platform's error box and a note about
// a cut output goes nowhere.
#pragma once

#include <cstdarg>
#include <cstdint>

// Reports a fatal error at the given source location and ends the process.
// If it returns, the process ends with status 1 all the same.
using StrFatalHandler = void (*)(const char* file, std::int32_t line, const char* format,
                                 va_list args);
// Writes a fixed text, such as the formatter's overrun report.
using StrNoteHandler = void (*)(const char* text);

// Installs both handlers; a null handler puts back the layer's own. 1.
std::int32_t StrSetReport(StrFatalHandler fatal, StrNoteHandler note);
