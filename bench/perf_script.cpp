// perf_script.cpp: ScriptDecode of the longest template a run decodes, an
// /EXECUTE line of about 120 characters with six fields, against the same
// line substituted with snprintf.
#include <cstdint>
#include <cstring>

#include "perf.h"
#include "zizezaz/script/script.h"
#include "zizezaz/str/str.h"

namespace {

constexpr std::int32_t CAPACITY = 1024;  // the command line's field

constexpr char TEMPLATE[] =
    "tar -czf {Config.Target}/{Config.Filename} -C {Config.Source} --remove-files "
    "{Config.Wildcard} > {Time.Year4}{Time.MonthPad}.txt";
constexpr char FORMAT[] = "tar -czf %s/%s -C %s --remove-files %s > %s%s.txt";

constexpr char TARGET[] = "/var/backups/logs";
constexpr char FILENAME[] = "archive.zip";
constexpr char SOURCE[] = "/var/log/iis";
constexpr char WILDCARD[] = "ex261206*.log";
constexpr char YEAR4[] = "2026";
constexpr char MONTH_PAD[] = "12";
constexpr char OTHER[] = "6";

// The application's variables copy a short text each; so do these.
template <const char* Text>
std::int32_t CopyText(Script*, ScriptKeyword*, const char*, void*, char* output,
                      std::int32_t room) {
    StrCopyN(output, Text, room);
    return 1;
}

// The eleven variables in the application's order, so that every lookup
// walks as far as it does there.
Script* MakeScript() {
    PerfStartLibrary();
    Script* script = nullptr;
    ScriptCreate(&script);
    ScriptSetReporting(script, 0, 1);
    ScriptSetDelimiters(script, '{', '}');
    const struct {
        const char* className;
        const char* keyword;
        ScriptCallback callback;
    } variables[] = {
        {"Time", "Day", CopyText<OTHER>},           {"Time", "DayPad", CopyText<OTHER>},
        {"Time", "Month", CopyText<OTHER>},         {"Time", "MonthPad", CopyText<MONTH_PAD>},
        {"Time", "Year2", CopyText<OTHER>},         {"Time", "Year4", CopyText<YEAR4>},
        {"Config", "Filename", CopyText<FILENAME>}, {"Config", "Target", CopyText<TARGET>},
        {"Config", "Source", CopyText<SOURCE>},     {"Config", "Wildcard", CopyText<WILDCARD>},
        {"Special", "Quote", CopyText<OTHER>},
    };
    for (const auto& v : variables)
        ScriptAddKeyword(script, v.className, v.keyword, ScriptAddTypeKeyword, v.callback);
    return script;
}

void Script_execute_ScriptDecode(benchmark::State& state) {
    Script* script = MakeScript();
    char output[CAPACITY];
    const auto length = static_cast<std::int32_t>(std::strlen(TEMPLATE));
    std::int32_t consumed = 0;
    std::int32_t produced = 0;
    for (auto _ : state) {
        const char* text = TEMPLATE;
        benchmark::DoNotOptimize(text);
        benchmark::DoNotOptimize(ScriptDecode(script, nullptr, 0, text, length, &consumed, output,
                                              CAPACITY, &produced));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["produced"] = produced;
    ScriptDestroy(&script);
}

// The obvious substitution: the template rewritten as a format by hand.
void Script_execute_snprintf(benchmark::State& state) {
    char output[CAPACITY];
    std::int32_t produced = 0;
    for (auto _ : state) {
        const char* format = FORMAT;
        benchmark::DoNotOptimize(format);
        produced = PerfSnprintf(output, CAPACITY, format, TARGET, FILENAME, SOURCE, WILDCARD,
                                YEAR4, MONTH_PAD);
        benchmark::DoNotOptimize(produced);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["produced"] = produced;
}

PERF_CASE(Script_execute_ScriptDecode, "Script/execute/ScriptDecode");
PERF_CASE(Script_execute_snprintf, "Script/execute/snprintf");

}  // namespace
