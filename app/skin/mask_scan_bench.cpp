// Time of the mask scan for window-sized masks: a solid keyboard-like outline
// and a worst case with a run on every other pixel.
#include <benchmark/benchmark.h>

#include <vector>

#include "mask_scan.h"

namespace {

std::vector<std::uint32_t> makeMask(int w, int h, bool checker) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, 0x203040);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool corner = (x < 12 || x >= w - 12) && (y < 12 || y >= h - 12);
            if (corner || (checker && (x + y) % 2)) px[static_cast<std::size_t>(y) * w + x] = 0xFFFFFF;
        }
    return px;
}

void scan(benchmark::State& state, bool checker) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const auto px = makeMask(w, h, checker);
    const kbskin::PixelView view{reinterpret_cast<const std::uint8_t*>(px.data()), w, h,
                                 static_cast<std::size_t>(w) * 4, true};
    std::size_t runs = 0;
    for (auto _ : state) {
        runs = 0;
        const bool ok = kbskin::ScanMask(view, 0xFFFFFF, 0, [&](std::span<const kbskin::RunRect> r) {
            runs += r.size();
            return true;
        });
        benchmark::DoNotOptimize(ok);
    }
    state.counters["runs"] = static_cast<double>(runs);
}

void BM_ScanOutline(benchmark::State& state) { scan(state, false); }
void BM_ScanChecker(benchmark::State& state) { scan(state, true); }

}  // namespace

BENCHMARK(BM_ScanOutline)->Args({917, 456})->Args({450, 300});
BENCHMARK(BM_ScanChecker)->Args({917, 456});
