// Costs of the HUD's system queries: the memory line reads /proc/self/status
// every frame of the performance page; entering the system page runs
// glxinfo and uname once and blocks that frame.
#include <benchmark/benchmark.h>

#include "utils.h"

static void BM_ProcessMemoryPerFrame(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(get_process_memory_mb());
}
BENCHMARK(BM_ProcessMemoryPerFrame);

static void BM_SystemPageEntry(benchmark::State& state) {
    char cpu[128], gpu[128], kernel[128];
    for (auto _ : state) {
        get_cpu_model(cpu, sizeof cpu);
        get_gpu_model(gpu, sizeof gpu);
        get_kernel_info(kernel, sizeof kernel);
        benchmark::DoNotOptimize(cpu[0] + gpu[0] + kernel[0]);
    }
}
BENCHMARK(BM_SystemPageEntry)->Unit(benchmark::kMillisecond)->Iterations(20);
