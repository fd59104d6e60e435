// perf_log.cpp: a report line through the log, against fprintf to an
// unbuffered standard output (where every call ends in a write of its own,
// as every console copy of the log does), and to the log file in each of
// its modes. The console cases write to standard output: run the program
// with it sent to /dev/null and the results to a file (run.sh does).
#include <cstdio>
#include <filesystem>
#include <string>

#include "perf.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem.h"

namespace {

std::string LogPathFor(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// Starts the library afresh with the given flags, as the program does, and
// puts it back as the other parts expect it afterwards.
void Start(const std::string& path, std::uint32_t flags) {
    PerfStartLibrary();
    CoreShutdown();
    CoreInit(path.c_str(), flags);
}

void Restore() {
    CoreShutdown();
    CoreInit("debug.log", LOG_CONSOLE | LOG_NO_ABORT_BOX);
}

void Log_console_fprintf(benchmark::State& state) {
    // Unbuffered for this case only; the results go to a file anyway.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (auto _ : state)
        std::fprintf(stdout, "Offset:   [%s]\n", "-1d");
    std::fflush(stdout);
    state.SetItemsProcessed(state.iterations());
}

void Log_console_LogPrint(benchmark::State& state) {
    Start(LogPathFor("vorla_perf_console.log"), LOG_CONSOLE | LOG_NO_ABORT_BOX);
    for (auto _ : state)
        LogPrint("Offset:   [%s]\n", "-1d");
    state.SetItemsProcessed(state.iterations());
    Restore();
}

void RunFile(benchmark::State& state, const char* name, std::uint32_t flags) {
    const std::string path = LogPathFor(name);
    Start(path, flags | LOG_NO_ABORT_BOX);
    for (auto _ : state)
        LogPrint("Offset:   [%s]\n", "-1d");
    state.SetItemsProcessed(state.iterations());
    Restore();
    std::filesystem::remove(path);
}

void Log_fileCached_LogPrint(benchmark::State& state) {
    RunFile(state, "vorla_perf_cached.log", LOG_FILE | LOG_CACHE_WRITES);
}
void Log_fileStamped_LogPrint(benchmark::State& state) {
    RunFile(state, "vorla_perf_stamped.log", LOG_FILE | LOG_CACHE_WRITES | LOG_TIMESTAMP);
}
// The default for /debug: every message committed to the disk.
void Log_fileCommitted_LogPrint(benchmark::State& state) {
    RunFile(state, "vorla_perf_committed.log", LOG_FILE);
}

PERF_CASE(Log_console_LogPrint, "Log/console/LogPrint");
PERF_CASE(Log_console_fprintf, "Log/console/fprintf");
PERF_CASE(Log_fileCached_LogPrint, "Log/fileCached/LogPrint");
PERF_CASE(Log_fileStamped_LogPrint, "Log/fileStamped/LogPrint");
[[maybe_unused]] benchmark::internal::Benchmark* const committedCase =
    PerfAdd("Log/fileCommitted/LogPrint", Log_fileCommitted_LogPrint)->UseRealTime();

}  // namespace
