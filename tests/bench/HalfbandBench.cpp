// Cost of the half-band FIR that the decimator and the oversampled filter model run.
#include "engine/HalfbandFir.h"

#include <benchmark/benchmark.h>

namespace {

void halfbandPush(benchmark::State& state) {
    treskpro::HalfbandFir fir;
    double x = 0.25;
    for (auto _ : state) {
        x = -x;
        benchmark::DoNotOptimize(fir.push(x));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(halfbandPush);

} // namespace
