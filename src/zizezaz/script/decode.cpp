// decode.cpp: template decoding. One pass over the template copies plain
// text to the output and replaces each field by the text its keyword's
// callback writes straight into the output; a field that names nothing
// registered is written back as it stood. Nothing is allocated, and nothing
// is formatted unless an unknown field is reported.
#include "zizezaz/script/script.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "zizezaz/core/log.h"
#include "zizezaz/script/script_internal.h"
#include "zizezaz/str/ascii.h"
#include "zizezaz/str/str.h"

// A field body longer than this is not a field but text; the class, the
// keyword and the parameter cut from a body therefore fit the name fields.
static constexpr std::int32_t BODY_LIMIT = 80;

// The parts of the field being read, in fixed buffers.
struct DecodeField {
    char className[BODY_LIMIT + 1];
    char keyword[SCRIPT_NAME_CAPACITY];
    char parameter[SCRIPT_NAME_CAPACITY];
    std::int32_t length;  // characters from the opening to the closing delimiter, both included
};

static void CopyPart(char* destination, const char* source, std::int32_t count) {
    std::memcpy(destination, source, static_cast<std::size_t>(count));
    destination[count] = '\0';
}

// A field body is made of the bytes 0x21 to 0x7F other than the script's
// two delimiters.
static bool IsBodyByte(const Script* script, char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x21 && byte <= 0x7F && c != script->openDelimiter &&
           c != script->closeDelimiter;
}

// Letters, digits and full stops may make up a keyword.
static bool IsKeywordByte(const Script* script, char c) {
    return IsBodyByte(script, c) && (AsciiIsLetter(c) || AsciiIsDigit(c) || c == '.');
}

// Reads the field whose body starts at body (just after an opening
// delimiter) into field; 0 when the text there is not a field. The body is
// read to its closing delimiter even past the end the caller gave: only the
// field's start has to lie within the template. The class runs up to the
// first full stop, the keyword is the letters, digits and full stops after
// it, and the parameter is the rest of the body.
static std::int32_t ReadField(const Script* script, const char* body, DecodeField* field) {
    std::int32_t size = 0;
    for (;; ++size) {
        if (size == BODY_LIMIT) return 0;               // no full stop in the longest body
        if (!IsBodyByte(script, body[size])) return 0;  // the body ended without a full stop
        if (body[size] == '.') break;
    }
    const std::int32_t dot = size;
    if (dot == 0) return 0;
    for (++size; size < BODY_LIMIT && IsKeywordByte(script, body[size]); ++size) {
    }
    const std::int32_t keywordEnd = size;
    if (keywordEnd == dot + 1) return 0;  // no keyword
    while (size < BODY_LIMIT && IsBodyByte(script, body[size]))
        ++size;
    // The terminator never closes a field, even with a zero closing
    // delimiter: reading goes on after the closing delimiter.
    if (body[size] != script->closeDelimiter || body[size] == '\0') return 0;
    CopyPart(field->className, body, dot);
    CopyPart(field->keyword, body + dot + 1, keywordEnd - dot - 1);
    CopyPart(field->parameter, body + keywordEnd, size - keywordEnd);
    field->length = size + 2;
    return 1;
}

// The length of the text a callback left at output. A callback that broke
// its contract and filled the whole room without a terminator is cut to the
// room, so that nothing is read or written past the caller's buffer.
static std::int32_t WrittenLength(char* output, std::int32_t room) {
    const void* end = std::memchr(output, '\0', static_cast<std::size_t>(room));
    if (end != nullptr) return static_cast<std::int32_t>(static_cast<const char*>(end) - output);
    output[room - 1] = '\0';
    return room - 1;
}

std::int32_t ScriptWriteUnknown(const Script* script, const char* className, const char* keyword,
                                const char* parameter, char* output, std::int32_t room) {
    ScriptCheck(script, __LINE__);
    if (className == nullptr || keyword == nullptr || parameter == nullptr || output == nullptr)  // GCOVR_EXCL_LINE: only a faulty caller passes a null
        LogAbortNull(ScriptSourceName, __LINE__);  // GCOVR_EXCL_LINE: only a faulty caller passes a null
    if (room < 1) return 0;  // not even a terminator fits
    if (room <= 4) {
        *output = '\0';
        return 0;
    }
    // The allowance keeps 5 bytes of the room back: the opening delimiter,
    // the full stop, the closing delimiter, the terminator and one to spare.
    char* out = output;
    *out++ = script->openDelimiter;
    std::int32_t allowance = room - 5;
    for (; *className != '\0' && allowance > 0; --allowance)
        *out++ = *className++;
    if (allowance == 0) {
        *out = '\0';
        return 0;
    }
    *out++ = '.';
    --allowance;
    for (const char* part : {keyword, parameter}) {
        for (; *part != '\0' && allowance > 0; --allowance)
            *out++ = *part++;
    }
    // The characters all fit whenever the closing delimiter still does.
    std::int32_t whole = 0;
    if (allowance >= 3) {
        *out++ = script->closeDelimiter;
        whole = 1;
    }
    *out = '\0';
    return whole;
}

std::int32_t ScriptDecode(Script* script, void* user, std::int32_t startOffset, const char* text,
                          std::int32_t length, std::int32_t* consumed, char* output,
                          std::int32_t capacity, std::int32_t* produced) {
    ScriptCheck(script, __LINE__);
    if (text == nullptr || consumed == nullptr || output == nullptr || produced == nullptr)  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
        LogAbortNull(ScriptSourceName, __LINE__);
    *consumed = 0;
    *produced = 0;
    // A buffer without room for the terminator takes nothing at all.
    if (capacity < 1) return 0;

    const char open = script->openDelimiter;
    const std::int64_t end = static_cast<std::int64_t>(length) - startOffset;
    const std::int32_t full = capacity - 1;
    std::int64_t read = 0;
    std::int32_t written = 0;
    std::int32_t whole = 1;  // 0 once an unknown field had to be cut
    while (read < end && written < full && text[read] != '\0') {
        // Plain text up to the next opening delimiter, bounded by the end
        // and by the room, is copied in one run.
        const std::int64_t stop = std::min(end, read + (full - written));
        while (read < stop && text[read] != open && text[read] != '\0')
            output[written++] = text[read++];
        // The terminator ends the text even when it is the opening delimiter.
        if (read == stop || text[read] == '\0' || text[read] != open) continue;
        DecodeField field;
        if (!ReadField(script, text + read + 1, &field)) {
            // Not a field: its opening delimiter is plain text, and whatever
            // follows is read afresh, a later delimiter included.
            output[written++] = text[read++];
            continue;
        }
        char* at = output + written;
        const std::int32_t room = capacity - written;
        ScriptClass* owner = nullptr;
        ScriptClass* lastClass = nullptr;
        ScriptKeyword* keyword = nullptr;
        ScriptKeyword* lastKeyword = nullptr;
        if (!ScriptFindClass(script, field.className, &owner, &lastClass)) {
            if (script->reportUnknownClass == 1) {
                LogPrint("Unknown class = '%s':'%s':'%s'\n", field.className, field.keyword,
                         field.parameter);
            }
            whole &= ScriptWriteUnknown(script, field.className, field.keyword, field.parameter, at,
                                        room);
        } else if (!ScriptFindKeyword(script, owner, field.keyword, &keyword, &lastKeyword)) {
            if (script->reportUnknownKeyword == 1) {
                LogPrint("Unknown keyword = '%s':'%s':'%s'\n", field.className, field.keyword,
                         field.parameter);
            }
            whole &= ScriptWriteUnknown(script, field.className, field.keyword, field.parameter, at,
                                        room);
        } else {
            owner->resolutions += 1;
            keyword->resolutions += 1;
            *at = '\0';
            if (keyword->name[0] == SCRIPT_CATCH_ALL[0] && keyword->length == 1)
                StrCopyN(keyword->matchedName, field.keyword, SCRIPT_NAME_CAPACITY);
            if (keyword->callback(script, keyword, field.parameter, user, at, room) == 0) {
                // The caller asked to stop here: what it wrote is dropped,
                // and consumed points at this field.
                *at = '\0';
                *consumed = static_cast<std::int32_t>(read);
                *produced = written;
                return whole;
            }
        }
        written += WrittenLength(at, room);
        read += field.length;
    }
    output[written] = '\0';
    *consumed = static_cast<std::int32_t>(read);
    *produced = written;
    // A full output may have left template unread or a callback's text cut
    // to the room; a caller must not use such a text as if it were whole.
    return (whole == 1 && written < full) ? 1 : 0;
}
