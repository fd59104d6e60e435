// log_bench.cpp: cost of a report line through the log, against fprintf.
//
// Run with standard output sent to /dev/null and the results written to a
// file, so that the console copies cost what a redirected run costs:
//   ./log_bench --benchmark_out=log.txt --benchmark_out_format=console >/dev/null
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"

namespace {

// The comparison is with an unbuffered stdout, where every fprintf ends in
// a write of its own as every console copy of the log does. setvbuf has to
// come before anything is written, hence before main.
const int kUnbuffered = std::setvbuf(stdout, nullptr, _IONBF, 0);

std::string LogPathFor(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// Starts the library afresh with the given flags, as the program does.
void Start(const std::string& path, std::uint32_t flags) {
    static const char* const argv[] = {"log_bench"};
    CmdLineSetFromArgs(1, argv);
    CoreShutdown();
    CoreInit(path.c_str(), flags);
}

void BM_FprintfUnbufferedStdout(benchmark::State& state) {
    benchmark::DoNotOptimize(kUnbuffered);
    for (auto _ : state)
        std::fprintf(stdout, "Offset:   [%s]\n", "-1d");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FprintfUnbufferedStdout);

void BM_LogPrintConsole(benchmark::State& state) {
    Start(LogPathFor("log_bench_console.log"), LOG_CONSOLE | LOG_NO_ABORT_BOX);
    for (auto _ : state)
        LogPrint("Offset:   [%s]\n", "-1d");
    state.SetItemsProcessed(state.iterations());
    CoreShutdown();
}
BENCHMARK(BM_LogPrintConsole);

void BM_LogPrintFileCached(benchmark::State& state) {
    const std::string path = LogPathFor("log_bench_cached.log");
    Start(path, LOG_FILE | LOG_CACHE_WRITES | LOG_NO_ABORT_BOX);
    for (auto _ : state)
        LogPrint("Offset:   [%s]\n", "-1d");
    state.SetItemsProcessed(state.iterations());
    CoreShutdown();
    std::filesystem::remove(path);
}
BENCHMARK(BM_LogPrintFileCached);

void BM_LogPrintFileCachedWithStamp(benchmark::State& state) {
    const std::string path = LogPathFor("log_bench_stamped.log");
    Start(path, LOG_FILE | LOG_CACHE_WRITES | LOG_TIMESTAMP | LOG_NO_ABORT_BOX);
    for (auto _ : state)
        LogPrint("Offset:   [%s]\n", "-1d");
    state.SetItemsProcessed(state.iterations());
    CoreShutdown();
    std::filesystem::remove(path);
}
BENCHMARK(BM_LogPrintFileCachedWithStamp);

// The default for /debug: every message committed to the disk.
void BM_LogPrintFileCommitted(benchmark::State& state) {
    const std::string path = LogPathFor("log_bench_committed.log");
    Start(path, LOG_FILE | LOG_NO_ABORT_BOX);
    for (auto _ : state)
        LogPrint("Offset:   [%s]\n", "-1d");
    state.SetItemsProcessed(state.iterations());
    CoreShutdown();
    std::filesystem::remove(path);
}
BENCHMARK(BM_LogPrintFileCommitted)->Iterations(2000)->UseRealTime();

}  // namespace
