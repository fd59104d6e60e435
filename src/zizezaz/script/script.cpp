// script.cpp: the template engine's registry. A script object holds the
// delimiters, the reporting switches and the classes, each with its keywords
// in the order they were registered. Names are found by their CRC-32 and
// length alone: two names that agree in both are one name.
#include "zizezaz/script/script.h"

#include <cstdint>
#include <iterator>

#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/pool.h"
#include "zizezaz/script/script_internal.h"
#include "zizezaz/str/format.h"
#include "zizezaz/str/str.h"

const char ScriptSourceName[] = "script";
const char ScriptClassListTag[] = "ScriptClassStructLinked";
const char ScriptKeywordListTag[] = "ScriptStructLinked";

static constexpr std::int32_t KEYWORD_SIZE = sizeof(ScriptKeyword);
static constexpr std::int32_t CLASS_SIZE = sizeof(ScriptClass);
// Keyword records come from the pool in blocks of this many, not one by one.
static constexpr std::int32_t KEYWORDS_PER_BLOCK = 100;

// The names of add type 2, the prefix standing for "%s", in the order they
// are registered: one callback serves them all and tells them apart by name.
static constexpr const char* TIME_SET[] = {
    "%sTime",          "%sTimeRFC822",    "%sTimeDate",
    "%sTimeSecond",    "%sTimeSecondPad", "%sTimeMinute",
    "%sTimeMinutePad", "%sTimeHour24",    "%sTimeHour24Pad",
    "%sTimeHour",      "%sTimeHourPad",   "%sTimeAMPM",
    "%sTimeDay",       "%sTimeDayPad",    "%sTimeMonth",
    "%sTimeMonthPad",  "%sTimeMonthName", "%sTimeMonthNameAbbreviation",
    "%sTimeYear2",     "%sTimeYear4",
};
static_assert(std::size(TIME_SET) == 20, "the time set has 20 names");

[[noreturn]] static void AbortMismatch(const void* record, const char* tag, const char* expected,
                                       std::int32_t line) {
    LogSetLocation(ScriptSourceName, line);
    LogAbort("Struct mismatch pointer (0x%p:%s != %s)\n", record, tag, expected);
}

void ScriptCheck(const Script* script, std::int32_t line) {
    if (script == nullptr) LogAbortNull(ScriptSourceName, line);
    if (script->tag != ScriptSourceName) AbortMismatch(script, script->tag, ScriptSourceName, line);
}

static void CheckClasses(const ScriptClassStructLinked* list, std::int32_t line) {
    if (list->tag != ScriptClassListTag) AbortMismatch(list, list->tag, ScriptClassListTag, line);
}

static void CheckKeywords(const ScriptStructLinked* list, std::int32_t line) {
    if (list->tag != ScriptKeywordListTag)  // GCOVR_EXCL_LINE: the tag changes only when a faulty caller overwrites the script object
        AbortMismatch(list, list->tag, ScriptKeywordListTag, line);  // GCOVR_EXCL_LINE: the tag changes only when a faulty caller overwrites the script object
}

// Names live in fixed 80-byte fields, so a longer one is a caller's fault,
// never something to cut silently into another name.
static std::int32_t MeasureName(const char* name, const char* tooLong, std::int32_t line) {
    const std::int32_t length = StrLength(name);
    if (length >= SCRIPT_NAME_CAPACITY) {
        LogSetLocation(ScriptSourceName, line);
        LogAbort(tooLong, name, length, SCRIPT_NAME_CAPACITY);
    }
    return length;
}

static bool IsCatchAll(const ScriptKeyword* keyword) {
    return keyword->name[0] == SCRIPT_CATCH_ALL[0] && keyword->length == 1;
}

template <typename List, typename Record>
static void AppendRecord(List* list, Record* record) {
    record->prev = list->tail;
    record->next = nullptr;
    if (list->tail)
        list->tail->next = record;
    else
        list->head = record;
    list->tail = record;
    list->count += 1;
}

template <typename List>
static auto TakeHead(List* list) {
    auto* record = list->head;
    list->head = record->next;
    if (list->head)
        list->head->prev = nullptr;
    else
        list->tail = nullptr;
    record->next = nullptr;
    record->prev = nullptr;
    list->count -= 1;
    return record;
}

std::int32_t ScriptCreate(Script** out) {
    if (out == nullptr) LogAbortNull(ScriptSourceName, __LINE__);  // GCOVR_EXCL_BR_LINE: only a faulty caller passes a null
    auto* script = static_cast<Script*>(
        MemAlloc(sizeof(Script), SCRIPT_MEM_FLAGS, ScriptSourceName, __LINE__));
    script->tag = ScriptSourceName;
    script->openDelimiter = '&';
    script->closeDelimiter = ';';
    script->caseSensitive = 0;
    script->reportUnknownClass = 1;
    script->reportUnknownKeyword = 1;
    script->classes.tag = ScriptClassListTag;
    PoolCreate(&script->keywordPool, ScriptSourceName, __LINE__);
    PoolSetMemberSize(script->keywordPool, KEYWORD_SIZE);
    PoolSetBlockCount(script->keywordPool, KEYWORDS_PER_BLOCK);
    *out = script;
    return 1;
}

std::int32_t ScriptDestroy(Script** script) {
    if (script == nullptr) LogAbortNull(ScriptSourceName, __LINE__);
    ScriptCheck(*script, __LINE__);
    Script* record = *script;
    // Every keyword goes back to the pool first, so that destroying the pool
    // finds no member still out.
    ScriptClear(record);
    PoolDestroy(&record->keywordPool);
    MemFree(record, sizeof(Script), SCRIPT_MEM_FLAGS, ScriptSourceName, __LINE__);
    *script = nullptr;
    return 1;
}

std::int32_t ScriptSetDelimiters(Script* script, std::int32_t open, std::int32_t close) {
    ScriptCheck(script, __LINE__);
    script->openDelimiter = static_cast<char>(static_cast<std::uint8_t>(open));
    script->closeDelimiter = static_cast<char>(static_cast<std::uint8_t>(close));
    return 1;
}

std::int32_t ScriptSetReporting(Script* script, std::int32_t unknownClass,
                                std::int32_t unknownKeyword) {
    ScriptCheck(script, __LINE__);
    script->reportUnknownClass = unknownClass;
    script->reportUnknownKeyword = unknownKeyword;
    return 1;
}

// The first record of a list that matches, and in last the record before
// it (null when it is the head); with none, found is null and last is null
// too when the list is empty, else the tail.
template <typename Record, typename Match>
static std::int32_t FindRecord(Record* head, Match matches, Record** found, Record** last) {
    *last = nullptr;
    for (Record* record = head; record; record = record->next) {
        if (matches(*record)) {
            *found = record;
            return 1;
        }
        *last = record;
    }
    *found = nullptr;
    return 0;
}

// A name's quick identity: its CRC-32 (folded to upper case unless the
// script is case-sensitive) and its length.
static auto NamedBy(std::uint32_t crc, std::int32_t length) {
    return
        [crc, length](const auto& record) { return record.crc == crc && record.length == length; };
}

std::int32_t ScriptFindClass(Script* script, const char* name, ScriptClass** found,
                             ScriptClass** last) {
    ScriptCheck(script, __LINE__);
    if (name == nullptr || found == nullptr || last == nullptr)  // GCOVR_EXCL_LINE: only a faulty caller passes a null
        LogAbortNull(ScriptSourceName, __LINE__);  // GCOVR_EXCL_LINE: only a faulty caller passes a null
    const std::int32_t length =
        MeasureName(name, "Class keyword too long (%s) (%d > %d)\n", __LINE__);
    std::uint32_t crc = 0;
    Crc32Update(name, script->caseSensitive, &crc);
    CheckClasses(&script->classes, __LINE__);
    return FindRecord(script->classes.head, NamedBy(crc, length), found, last);
}

std::int32_t ScriptFindKeyword(Script* script, ScriptClass* owner, const char* name,
                               ScriptKeyword** found, ScriptKeyword** last) {
    ScriptCheck(script, __LINE__);
    if (owner == nullptr || name == nullptr || found == nullptr || last == nullptr)  // GCOVR_EXCL_LINE: only a faulty caller passes a null
        LogAbortNull(ScriptSourceName, __LINE__);  // GCOVR_EXCL_LINE: only a faulty caller passes a null
    const std::int32_t length =
        MeasureName(name, "Script keyword too long (%s) (%d > %d)\n", __LINE__);
    std::uint32_t crc = 0;
    Crc32Update(name, script->caseSensitive, &crc);
    CheckKeywords(&owner->keywords, __LINE__);
    if (FindRecord(owner->keywords.head, NamedBy(crc, length), found, last)) return 1;
    return FindRecord(
        owner->keywords.head, [](const ScriptKeyword& record) { return IsCatchAll(&record); },
        found, last);
}

std::int32_t ScriptAddEntry(Script* script, const char* className, const char* keyword,
                            ScriptCallback callback) {
    ScriptCheck(script, __LINE__);
    if (className == nullptr || keyword == nullptr || callback == nullptr)  // GCOVR_EXCL_LINE: only a faulty caller passes a null
        LogAbortNull(ScriptSourceName, __LINE__);  // GCOVR_EXCL_LINE: only a faulty caller passes a null
    ScriptClass* owner = nullptr;
    ScriptClass* lastClass = nullptr;
    if (!ScriptFindClass(script, className, &owner, &lastClass)) {
        // MemAlloc hands the record out zero-filled.
        owner = static_cast<ScriptClass*>(
            MemAlloc(CLASS_SIZE, SCRIPT_MEM_FLAGS, ScriptSourceName, __LINE__));
        owner->keywords.tag = ScriptKeywordListTag;
        StrCopyN(owner->name, className, SCRIPT_NAME_CAPACITY);
        Crc32Update(owner->name, script->caseSensitive, &owner->crc);
        owner->length = StrLength(owner->name);
        AppendRecord(&script->classes, owner);
    }

    // A class that holds the catch-all answers every name, so nothing
    // registered after it could ever be found: it is refused like a twin.
    ScriptKeyword* match = nullptr;
    ScriptKeyword* lastKeyword = nullptr;
    if (ScriptFindKeyword(script, owner, keyword, &match, &lastKeyword)) {
        LogPrint("Matching quick CRC's and lengths (%s) and (%s)\n", keyword, match->name);
        return 0;
    }

    // Pool members come back as they were given back, not zero-filled.
    auto* record = static_cast<ScriptKeyword*>(
        PoolAlloc(script->keywordPool, KEYWORD_SIZE, ScriptSourceName, __LINE__));
    *record = ScriptKeyword{};
    StrCopyN(record->name, keyword, SCRIPT_NAME_CAPACITY);
    Crc32Update(record->name, script->caseSensitive, &record->crc);
    record->length = StrLength(record->name);
    record->callback = callback;
    record->owner = owner;
    CheckKeywords(&owner->keywords, __LINE__);
    AppendRecord(&owner->keywords, record);
    return 1;
}

std::int32_t ScriptAddKeyword(Script* script, const char* className, const char* keyword,
                              std::int32_t addType, ScriptCallback callback) {
    ScriptCheck(script, __LINE__);
    if (className == nullptr || keyword == nullptr || callback == nullptr)  // GCOVR_EXCL_LINE: only a faulty caller passes a null
        LogAbortNull(ScriptSourceName, __LINE__);  // GCOVR_EXCL_LINE: only a faulty caller passes a null
    switch (addType) {
        case ScriptAddTypeKeyword:
            ScriptAddEntry(script, className, keyword, callback);
            return 1;
        case ScriptAddTypeTimeSet:
            for (const char* format : TIME_SET) {
                // A prefix too long for the name field is cut by the bounded
                // formatting, which reports the overrun itself.
                char name[SCRIPT_NAME_CAPACITY];
                StrFormat(name, SCRIPT_NAME_CAPACITY, format, keyword);
                ScriptAddEntry(script, className, name, callback);
            }
            return 1;
        default:
            LogPrint("Unknown ScriptList Add type (%d)\n", addType);
            return 0;
    }
}

std::int32_t ScriptClear(Script* script) {
    ScriptCheck(script, __LINE__);
    ScriptClassStructLinked* classes = &script->classes;
    CheckClasses(classes, __LINE__);
    while (classes->head) {
        ScriptClass* owner = classes->head;
        ScriptStructLinked* keywords = &owner->keywords;
        CheckKeywords(keywords, __LINE__);
        while (keywords->head) {
            void* member = TakeHead(keywords);
            PoolFree(script->keywordPool, &member, KEYWORD_SIZE, ScriptSourceName, __LINE__);
            CheckKeywords(keywords, __LINE__);
        }
        TakeHead(classes);
        MemFree(owner, CLASS_SIZE, SCRIPT_MEM_FLAGS, ScriptSourceName, __LINE__);
        CheckClasses(classes, __LINE__);
    }
    classes->tag = ScriptClassListTag;
    classes->head = nullptr;
    classes->tail = nullptr;
    classes->count = 0;
    return 1;
}
