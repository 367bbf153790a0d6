// Cost per sample of the envelope and the modulation generator, the modules every voice runs on
// every slice. Items processed are samples, so the rate Google Benchmark prints is samples per
// second.
#include "engine/EnvelopeModule.h"
#include "engine/MgModule.h"
#include "engine/NoiseModule.h"
#include "engine/WavetableSet.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int blockSize = 256;

// Tables of the size and number the MG sets have: one per octave of period, 2048 samples each.
const treskpro::WavetableSet& benchTables() {
    static treskpro::WavetableSet set;
    if (!set.isLoaded()) {
        std::vector<std::vector<float>> tables(11, std::vector<float>(2048));
        for (std::vector<float>& table : tables) {
            for (int k = 0; k < 2048; ++k)
                table[static_cast<size_t>(k)] =
                    static_cast<float>(std::sin(6.283185307179586 * k / 2048.0));
        }
        std::vector<std::uint8_t> map(4096);
        for (int p = 0; p < 4096; ++p)
            map[static_cast<size_t>(p)] =
                static_cast<std::uint8_t>(std::min(10, static_cast<int>(std::log2(p + 1.0))));
        const std::vector<std::uint8_t> bytes = treskpro::WavetableSet::encode(map, tables);
        set.loadFromMemory(bytes.data(), bytes.size());
    }
    return set;
}

void envelope(benchmark::State& state) {
    treskpro::EnvelopeModule module;
    module.setSegments(0.1f, 0.6f, 0.3f, 0.4f, 44100.0f);
    std::vector<float> gate(blockSize, 1.0f), trigger(blockSize, 0.0f), out(blockSize);
    module.setInput(treskpro::EnvelopeModule::Gate, gate.data());
    module.setInput(treskpro::EnvelopeModule::Trigger, trigger.data());
    module.setOutput(treskpro::EnvelopeModule::Envelope, out.data());
    module.start();
    for (auto _ : state) {
        module.process(blockSize);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * blockSize);
}
BENCHMARK(envelope);

// The MG as a voice runs it: a per-sample frequency block, both outputs connected.
void mg(benchmark::State& state, treskpro::MgModule::Wave wave, bool audio, bool tables) {
    treskpro::WavetableSet missing;
    const treskpro::WavetableSet* set = tables ? &benchTables() : &missing;
    treskpro::MgModule module;
    module.setWavetables(set, set, set);
    module.setWave(wave);
    module.setAudioOutput(audio);
    std::vector<float> frequency(blockSize, 220.0f), control(blockSize), sound(blockSize);
    module.setFrequencyInput(frequency.data());
    module.setOutput(treskpro::MgModule::Control, control.data());
    module.setOutput(treskpro::MgModule::Audio, sound.data());
    for (auto _ : state) {
        module.process(blockSize);
        benchmark::DoNotOptimize(control.data());
        benchmark::DoNotOptimize(sound.data());
    }
    state.SetItemsProcessed(state.iterations() * blockSize);
}
BENCHMARK_CAPTURE(mg, sawControlOnly, treskpro::MgModule::Saw, false, true);
BENCHMARK_CAPTURE(mg, sawWithAudioFromTables, treskpro::MgModule::Saw, true, true);
BENCHMARK_CAPTURE(mg, sawWithAudioWithoutTables, treskpro::MgModule::Saw, true, false);
BENCHMARK_CAPTURE(mg, triangleFromTables, treskpro::MgModule::Triangle, false, true);
BENCHMARK_CAPTURE(mg, sampleAndHold, treskpro::MgModule::SampleAndHold, false, true);
BENCHMARK_CAPTURE(mg, decay, treskpro::MgModule::Decay, false, true);

void noise(benchmark::State& state) {
    treskpro::NoiseModule module;
    module.setColour(0.5f);
    std::vector<float> out(blockSize);
    module.setOutput(treskpro::NoiseModule::Noise, out.data());
    for (auto _ : state) {
        module.process(blockSize);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * blockSize);
}
BENCHMARK(noise);

} // namespace
