// cmdline.h: the library's own command-line field rules. Fields are
// separated by blanks and control characters; double quotes group, and a
// doubled quote stands for one quote. Fields are numbered from 0.
#pragma once

#include <cstdint>

// Scans text for field `wanted`. start and end are offsets into text of the
// field's first and last character (end < start: empty field); the count
// of fields seen is stored when count is not null. 1 when the field exists.
std::int32_t CmdLineScan(const char* text, std::int32_t wanted, std::int32_t* count,
                         std::int32_t* start, std::int32_t* end);
// Copies text[start..end], collapsing doubled quotes, cut at capacity - 1.
std::int32_t CmdLineCopyField(const char* text, std::int32_t start, std::int32_t end,
                              char* destination, std::int32_t capacity);
std::int32_t CmdLineCountFields(const char* text, std::int32_t* count);
// 1 and field n in destination, or 0 and an empty destination.
std::int32_t CmdLineGetField(const char* text, std::int32_t n, char* destination,
                             std::int32_t capacity);
// 1 when word stands anywhere in the raw text right after '-' or '/' and
// is followed by a blank or the end; letter case is ignored.
std::int32_t CmdLineHasSwitch(const char* text, const char* word);

// Joins count words into one line that the field rules split back into the
// same words (cmdline.cpp tells the two kinds of word they cannot express).
// At most capacity - 1 characters are stored, always terminated when
// capacity > 0; *length receives the length of the whole line. 1 when the
// whole line fit.
std::int32_t CmdLineJoin(std::int32_t count, const char* const* words, char* line,
                         std::int64_t capacity, std::int64_t* length);
// Joins an argument vector and makes it the process's command line; 0 when
// there is no memory for it.
std::int32_t CmdLineSetFromArgs(std::int32_t count, const char* const* words);
