// script_internal.h: the engine's identity strings, its shared checks and
// the write-back of unknown fields, for the registry, the decoder and the
// tests. Not for callers: they use script.h.
#pragma once

#include <cstdint>

#include "zizezaz/script/script.h"

// The engine's source name: the location of its fatal reports and, by its
// address, the identity of every script object.
extern const char ScriptSourceName[];
// Identities of the two list headers, compared by address.
extern const char ScriptClassListTag[];
extern const char ScriptKeywordListTag[];

// Every caller in the system takes its blocks from the ordinary heap.
inline constexpr std::uint32_t SCRIPT_MEM_FLAGS = 1;

// The catch-all keyword, which a class falls back on for any other name.
inline constexpr char SCRIPT_CATCH_ALL[] = "*";

// Ends the process unless script is a script object (not null, its tag
// ours); line is the caller's, so the report points at the operation.
void ScriptCheck(const Script* script, std::int32_t line);

// Rebuilds the field {className.keyword parameter} (with the script's
// delimiters) at output, zero-terminated within room bytes. A field of n
// characters, delimiters included, is written whole from a room of n + 6
// bytes; with less it is cut (its closing delimiter goes first), and with a
// room of 4 or less only the terminator is stored. 1 when the field was
// written whole, 0 when it was cut or left out.
std::int32_t ScriptWriteUnknown(const Script* script, const char* className, const char* keyword,
                                const char* parameter, char* output, std::int32_t room);

// Records are allocated by the engine, so their sizes add up to the
// "Maximum Memory in use" line of the allocator's report, which users compare
// between runs; a keyword record is a pool member, so its size also sets the
// size of the pool's blocks of 100. A change of layout must be a deliberate
// one, in each word size.
static_assert(sizeof(void*) != 8 || sizeof(Script) == 64, "shows in the memory report");
static_assert(sizeof(void*) != 8 || sizeof(ScriptClass) == 144, "shows in the memory report");
static_assert(sizeof(void*) != 8 || sizeof(ScriptKeyword) == 208, "sets the pool's block size");
static_assert(sizeof(void*) != 4 || sizeof(Script) == 40, "shows in the memory report");
static_assert(sizeof(void*) != 4 || sizeof(ScriptClass) == 116, "shows in the memory report");
static_assert(sizeof(void*) != 4 || sizeof(ScriptKeyword) == 188, "sets the pool's block size");
