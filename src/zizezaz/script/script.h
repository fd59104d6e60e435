// script.h: the template engine. A script object holds two delimiters, two
// reporting switches and the registered classes, each with its keywords;
// ScriptDecode copies a template and replaces every field, written as
// {Class.Keyword} plus an optional parameter (with "{" "}" as delimiters),
// by the text its keyword's callback writes. Names are found by their
// CRC-32 and length alone, never by comparing text.
#pragma once

#include <cstdint>

struct Pool;
struct Script;
struct ScriptClass;
struct ScriptKeyword;

inline constexpr std::int32_t SCRIPT_NAME_CAPACITY = 80;  // 79 characters and the terminator

// Writes the field's text at output, zero-terminated within room bytes
// (room counts the terminator and is at least 2; output already holds an
// empty string), and returns nonzero to go on or 0 to stop the decode at
// this field. parameter is what followed the keyword in the field, never
// null, often empty; user is what the caller of ScriptDecode passed.
using ScriptCallback = std::int32_t (*)(Script* script, ScriptKeyword* keyword,
                                        const char* parameter, void* user, char* output,
                                        std::int32_t room);

// The list headers begin with a tag, the address of their type's identity
// string, which every operation compares before it touches the list.
struct ScriptClassStructLinked {
    const char* tag;
    ScriptClass* head;
    ScriptClass* tail;
    std::int32_t count;
};

struct ScriptStructLinked {
    const char* tag;
    ScriptKeyword* head;
    ScriptKeyword* tail;
    std::int32_t count;
};

struct ScriptClass {
    char name[SCRIPT_NAME_CAPACITY];
    std::uint32_t crc;
    std::int32_t length;
    std::int32_t resolutions;  // fields resolved through this class
    ScriptStructLinked keywords;
    ScriptClass* next;
    ScriptClass* prev;
};

struct ScriptKeyword {
    char name[SCRIPT_NAME_CAPACITY];
    // For the catch-all keyword "*": the keyword written in the field that
    // it resolved last, set before its callback is called.
    char matchedName[SCRIPT_NAME_CAPACITY];
    std::uint32_t crc;
    std::int32_t length;
    std::int32_t resolutions;
    ScriptCallback callback;
    ScriptClass* owner;
    ScriptKeyword* next;
    ScriptKeyword* prev;
};

struct Script {
    const char* tag;
    char openDelimiter;                 // "&" when created
    char closeDelimiter;                // ";" when created
    std::int32_t caseSensitive;         // 1: names hashed as written; else folded to upper case
    std::int32_t reportUnknownClass;    // exactly 1: a field of an unknown class is reported
    std::int32_t reportUnknownKeyword;  // exactly 1: an unknown keyword is reported
    ScriptClassStructLinked classes;
    Pool* keywordPool;
};

// Add types of ScriptAddKeyword.
inline constexpr std::int32_t ScriptAddTypeKeyword = 1;  // the keyword itself
inline constexpr std::int32_t ScriptAddTypeTimeSet = 2;  // the 20 time names after a prefix

std::int32_t ScriptCreate(Script** out);
// Clears the object, destroys its pool, releases it and nulls *script.
std::int32_t ScriptDestroy(Script** script);
std::int32_t ScriptSetDelimiters(Script* script, std::int32_t open, std::int32_t close);
std::int32_t ScriptSetReporting(Script* script, std::int32_t unknownClass,
                                std::int32_t unknownKeyword);
// 1 for add types 1 and 2, even when a duplicate was refused; 0 for others.
std::int32_t ScriptAddKeyword(Script* script, const char* className, const char* keyword,
                              std::int32_t addType, ScriptCallback callback);
// 1 when registered, 0 when refused as a duplicate.
std::int32_t ScriptAddEntry(Script* script, const char* className, const char* keyword,
                            ScriptCallback callback);
// 1 and the record in found, or 0 and null; last is the record visited just
// before the walk stopped (the tail when nothing matched).
std::int32_t ScriptFindClass(Script* script, const char* name, ScriptClass** found,
                             ScriptClass** last);
// The same within a class, falling back on the catch-all keyword "*".
std::int32_t ScriptFindKeyword(Script* script, ScriptClass* owner, const char* name,
                               ScriptKeyword** found, ScriptKeyword** last);
std::int32_t ScriptClear(Script* script);

// Decodes text (the whole template is length characters, startOffset of
// them before text) into output of capacity bytes, terminator included.
// consumed and produced receive the characters read and written. 0 when
// something had to be cut or left out for lack of room: the output filled
// up (produced reached capacity - 1, exactly filled included) or an unknown
// field could not be written back whole; else 1. A callback that returns 0
// stops the decode at its field (consumed points at its opening delimiter)
// without making it a failure. A capacity below 1 stores nothing.
std::int32_t ScriptDecode(Script* script, void* user, std::int32_t startOffset, const char* text,
                          std::int32_t length, std::int32_t* consumed, char* output,
                          std::int32_t capacity, std::int32_t* produced);
