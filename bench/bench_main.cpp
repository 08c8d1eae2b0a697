#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

int main(int argc, char** argv) {
    benchsupport::InstallQuietMessageHandler();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DestroyAllPublisher();
    return 0;
}
