// Cost of the step clock per sample, playing a busy pattern (notes, slides, accents and ties)
// in the render loop's slice of 256 samples.
#include "sequencer/StepSequencer.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

void stepSequencerRun(benchmark::State& state) {
    constexpr int block = 256;
    auto bank = std::make_unique<treskpro::PatternBank>();
    bank->fill(treskpro::PatternRecord::fresh());
    treskpro::PatternRecord& record = (*bank)[0];
    const std::uint8_t flags[] = {
        treskpro::StepFlags::gate, treskpro::StepFlags::gate | treskpro::StepFlags::accent,
        treskpro::StepFlags::gate | treskpro::StepFlags::slide, treskpro::StepFlags::tie, 0};
    for (int i = 0; i < 16; ++i)
        record.steps[i] = {static_cast<std::uint8_t>(i % 12), flags[i % 5]};
    // A fast clock, so that note starts weigh in: 500 BPM, prescale 2x.
    record.prescale = 1;

    std::vector<float> out(6 * block);
    const treskpro::SequencerBlocks blocks{&out[0],         &out[block],     &out[2 * block],
                                           &out[3 * block], &out[4 * block], &out[5 * block]};
    treskpro::StepSequencer sequencer;
    for (auto _ : state) {
        sequencer.run(*bank, 0, 44100.0, 500.0, 0.5f, blocks, block);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * block);
}
BENCHMARK(stepSequencerRun);

} // namespace
