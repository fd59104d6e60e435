// perf_script.cpp: ScriptDecode of the longest template a run decodes, an
// /EXECUTE line of about 120 characters with six fields, against the same
// line substituted with snprintf. Goal: at least 2 million decodes a second.
#include <cstdint>
#include <cstring>

#include "perf.h"
#include "zizezaz/script/script.h"
#include "zizezaz/str/str.h"

namespace {

constexpr std::int32_t kCapacity = 1024;  // the command line's field

constexpr char kTemplate[] =
    "tar -czf {Config.Target}/{Config.Filename} -C {Config.Source} --remove-files "
    "{Config.Wildcard} > {Time.Year4}{Time.MonthPad}.txt";
constexpr char kFormat[] = "tar -czf %s/%s -C %s --remove-files %s > %s%s.txt";

constexpr char kTarget[] = "/var/backups/logs";
constexpr char kFilename[] = "archive.zip";
constexpr char kSource[] = "/var/log/iis";
constexpr char kWildcard[] = "ex261206*.log";
constexpr char kYear4[] = "2026";
constexpr char kMonthPad[] = "12";
constexpr char kOther[] = "6";

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
        {"Time", "Day", CopyText<kOther>},           {"Time", "DayPad", CopyText<kOther>},
        {"Time", "Month", CopyText<kOther>},         {"Time", "MonthPad", CopyText<kMonthPad>},
        {"Time", "Year2", CopyText<kOther>},         {"Time", "Year4", CopyText<kYear4>},
        {"Config", "Filename", CopyText<kFilename>}, {"Config", "Target", CopyText<kTarget>},
        {"Config", "Source", CopyText<kSource>},     {"Config", "Wildcard", CopyText<kWildcard>},
        {"Special", "Quote", CopyText<kOther>},
    };
    for (const auto& v : variables)
        ScriptAddKeyword(script, v.className, v.keyword, ScriptAddTypeKeyword, v.callback);
    return script;
}

void Script_execute_ScriptDecode(benchmark::State& state) {
    Script* script = MakeScript();
    char output[kCapacity];
    const auto length = static_cast<std::int32_t>(std::strlen(kTemplate));
    std::int32_t consumed = 0;
    std::int32_t produced = 0;
    for (auto _ : state) {
        const char* text = kTemplate;
        benchmark::DoNotOptimize(text);
        benchmark::DoNotOptimize(ScriptDecode(script, nullptr, 0, text, length, &consumed, output,
                                              kCapacity, &produced));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["produced"] = produced;
    ScriptDestroy(&script);
}

// The obvious substitution: the template rewritten as a format by hand.
void Script_execute_snprintf(benchmark::State& state) {
    char output[kCapacity];
    std::int32_t produced = 0;
    for (auto _ : state) {
        const char* format = kFormat;
        benchmark::DoNotOptimize(format);
        produced = PerfSnprintf(output, kCapacity, format, kTarget, kFilename, kSource, kWildcard,
                                kYear4, kMonthPad);
        benchmark::DoNotOptimize(produced);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["produced"] = produced;
}

PERF_CASE(Script_execute_ScriptDecode, "Script/execute/ScriptDecode");
PERF_CASE(Script_execute_snprintf, "Script/execute/snprintf");

}  // namespace
