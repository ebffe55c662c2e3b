// Baselines every other figure is compared with, and the file-name helpers.
#include "AllTools.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// A plain memcpy of a 32-bit frame: the yardstick the pixel operations are measured against.
void BM_MemcpyFrame32(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0)) * state.range(1) * 4;
    std::unique_ptr<uint8_t, decltype(&std::free)> src(static_cast<uint8_t*>(std::aligned_alloc(64, bytes)),
                                                       std::free);
    std::unique_ptr<uint8_t, decltype(&std::free)> dst(static_cast<uint8_t*>(std::aligned_alloc(64, bytes)),
                                                       std::free);
    std::memset(src.get(), 0x5A, bytes);
    std::memset(dst.get(), 0, bytes);
    for (auto _ : state) {
        std::memcpy(dst.get(), src.get(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}
BENCHMARK(BM_MemcpyFrame32)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

void BM_CleanFileName(benchmark::State& state) {
    const QString title =
        QString::fromUtf8("截图: C:\\Users\\测试\\Documents\\report*final?.docx - 文档编辑器 <draft>");
    for (auto _ : state)
        benchmark::DoNotOptimize(CleanFileName(title));
}
BENCHMARK(BM_CleanFileName);

} // namespace
