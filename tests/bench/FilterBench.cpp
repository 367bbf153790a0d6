// Cost of the filter per output sample for each model, at a moderate resonance with the cutoff
// moving, in the voice's block of 256 samples.
#include "engine/VcfModule.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

void filterModel(benchmark::State& state) {
    constexpr int block = 256;
    std::vector<float> audio(block);
    std::vector<float> cutoff(block);
    std::vector<float> resonance(block, 0.5f);
    std::vector<float> out(block);
    std::vector<float> scratch(4 * block);
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (int i = 0; i < block; ++i) {
        audio[static_cast<std::size_t>(i)] = uniform(generator);
        cutoff[static_cast<std::size_t>(i)] =
            static_cast<float>(0.5 + 0.3 * std::sin(6.283185307 * i / block));
    }

    treskpro::VcfModule filter;
    filter.setModel(static_cast<int>(state.range(0)));
    filter.setResonanceAmount(0.5f);
    filter.setInput(treskpro::VcfModule::Audio, audio.data());
    filter.setInput(treskpro::VcfModule::Cutoff, cutoff.data());
    filter.setInput(treskpro::VcfModule::Resonance, resonance.data());
    filter.setScratch(&scratch[0], &scratch[block], &scratch[2 * block], &scratch[3 * block]);
    filter.setOutput(treskpro::VcfModule::Filtered, out.data());
    for (auto _ : state) {
        filter.process(block);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * block);
}
BENCHMARK(filterModel)->DenseRange(0, 5);

} // namespace
