// Cost per base-rate sample of the oscillator path: VCO-1 and VCO-2 at the 2x rate and the
// decimator, in wavetable and in parabolic mode; and the whole oscillator section of a voice.
#include "engine/DecimatorModule.h"
#include "engine/OscillatorSection.h"
#include "engine/VcoModule.h"
#include "engine/WavetableSet.h"
#include "tools/wavetables/WavetableGenerator.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace treskpro;

constexpr int block = 64; // base-rate samples per call, as a voice's sub-block

struct Sets {
    WavetableSet saw;
    WavetableSet square;
    WavetableSet triangle;

    Sets() {
        load(saw, wavetables::Waveform::Saw);
        load(square, wavetables::Waveform::Square);
        load(triangle, wavetables::Waveform::Triangle);
    }

    static void load(WavetableSet& set, wavetables::Waveform waveform) {
        const wavetables::GeneratedSet generated = wavetables::generate(waveform);
        const std::vector<std::uint8_t> bytes =
            WavetableSet::encode(generated.periodMap, generated.tables);
        set.loadFromMemory(bytes.data(), bytes.size());
    }
};

const Sets& sets() {
    static const Sets shared;
    return shared;
}

void oscillatorsAndDecimator(benchmark::State& state) {
    const bool wavetable = state.range(0) != 0;
    std::vector<float> frequency1(block, 110.0f), frequency2(block, 165.3f);
    std::vector<float> width(block, 0.3f);
    std::vector<float> out1(2 * block), out2(2 * block), mix(2 * block), out(block);
    VcoModule vco1, vco2;
    VcoModule* both[] = {&vco1, &vco2};
    for (VcoModule* vco : both) {
        vco->setWavetables(&sets().saw, &sets().square, &sets().triangle);
        vco->setWavetableFlag(wavetable);
        vco->setInput(VcoModule::PulseWidth, width.data());
    }
    vco1.setWaveform(VcoModule::Saw);
    vco2.setWaveform(VcoModule::Pulse);
    vco1.setInput(VcoModule::Frequency, frequency1.data());
    vco2.setInput(VcoModule::Frequency, frequency2.data());
    vco1.setOutput(VcoModule::Audio, out1.data());
    vco2.setOutput(VcoModule::Audio, out2.data());
    DecimatorModule decimator;
    decimator.setInput(DecimatorModule::Signal, mix.data());
    decimator.setOutput(DecimatorModule::Decimated, out.data());
    for (auto _ : state) {
        vco1.process(2 * block);
        vco2.process(2 * block);
        for (int i = 0; i < 2 * block; ++i)
            mix[static_cast<std::size_t>(i)] =
                0.5f * (out1[static_cast<std::size_t>(i)] + out2[static_cast<std::size_t>(i)]);
        decimator.process(block);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * block);
}
BENCHMARK(oscillatorsAndDecimator)->Arg(1)->Arg(0)->ArgName("wavetable");

void oscillatorSection(benchmark::State& state) {
    const bool wavetable = state.range(0) != 0;
    std::vector<float> note(block, 110.0f), zero(block, 0.0f), width(block, 0.4f);
    std::vector<float> scratch(8 * 2 * block), out(block);
    OscillatorBlocks blocks;
    float** pointers[] = {&blocks.frequency1,  &blocks.frequency2, &blocks.pulseWidth1,
                          &blocks.pulseWidth2, &blocks.vco1,       &blocks.vco2,
                          &blocks.sync,        &blocks.mix};
    for (std::size_t k = 0; k < 8; ++k)
        *pointers[k] = scratch.data() + k * 2 * block;
    OscillatorSection section;
    section.setBlocks(blocks);
    section.setWavetables(&sets().saw, &sets().square, &sets().triangle);
    OscillatorInputs in;
    in.noteFrequency = note.data();
    in.mg = zero.data();
    in.octave1 = in.octave2 = zero.data();
    in.pulseWidth1 = in.pulseWidth2 = width.data();
    OscillatorSettings settings;
    settings.wavetableMode = wavetable;
    settings.level2 = 1.0f;
    settings.waveform2 = VcoModule::Pulse;
    settings.fineTune2 = 0.52f;
    for (auto _ : state) {
        section.process(block, settings, in, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * block);
}
BENCHMARK(oscillatorSection)->Arg(1)->Arg(0)->ArgName("wavetable");

} // namespace
