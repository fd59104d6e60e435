// perf.cpp: the one benchmark program. Its cases live in the perf_*.cpp
// parts, each beside the peer it is measured against; run.sh runs them all
// with repetitions and prints the ratios.
#include "perf.h"

#include <cstdlib>
#include <cstring>

#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem.h"

benchmark::internal::Benchmark* PerfAdd(const char* name, void (*run)(benchmark::State&)) {
    benchmark::internal::Benchmark* added = benchmark::RegisterBenchmark(name, run);
    if (const char* fixed = std::getenv("VORLA_PERF_ITERATIONS")) {
        const long long n = std::atoll(fixed);
        if (n > 0) added->Iterations(n);
    }
    return added;
}

void PerfStartLibrary() {
    static const int started = [] {
        const char* const argv[] = {"vorla_perf"};
        CmdLineSetFromArgs(1, argv);
        CoreInit("debug.log", LOG_CONSOLE | LOG_NO_ABORT_BOX);
        return MemInit(0x7FFFFFFF);
    }();
    (void)started;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--check-once") == 0) return PerfCheckOnce(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
