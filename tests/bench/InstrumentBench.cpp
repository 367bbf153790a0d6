// The whole instrument as a host runs it, in real-time factors (seconds of audio rendered per
// second of computer time, the "realtime" counter): one voice playing a busy pattern for each
// filter model, 32 voices holding a chord with every module running, and the effect build
// putting stereo input through the delay. 44.1 kHz, blocks of 512 frames, one thread.
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "engine/WavetableSet.h"
#include "platform/Platform.h"
#include "plugin/HostChunk.h"
#include "plugin/TreskproPlugin.h"
#include "tests/support/TestHost.h"
#include "tools/render/MidiEventList.h"
#include "tools/render/PluginHost.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace treskpro {
namespace {

constexpr int blockSize = 512;
constexpr double sampleRate = 44100.0;

using testhost::hostTime;
using testhost::testHost;

std::string bundlePath(const std::string& name) {
    return platform::executableDirectory() + platform::pathSeparator + ".." +
           platform::pathSeparator + "bundle" + platform::pathSeparator + name;
}

// A plug-in folder of its own, with the wavetables and a Config.ini that uses all 32 voices.
std::string benchFolder() {
    namespace fs = std::filesystem;
    static const std::string folder = [] {
        const fs::path path = fs::temp_directory_path() / "treskpro-bench";
        fs::create_directories(path);
        std::ofstream(path / "Config.ini") << "MaxPolyphony = 32\r\n";
        WavetableLibrary::shared().loadMissing(bundlePath(WavetableLibrary::folderName));
        return path.string();
    }();
    return folder;
}

void sendNotes(TreskproSynth& synth, const std::vector<int>& notes) {
    MidiEventList list;
    for (int note : notes)
        list.add(0, 0x90, note, 100);
    synth.processEvents(list.record());
}

// A sixteen-step line with accents, slides, octave jumps and rests.
void programAcidLine(PatternRecord& pattern) {
    const int notes[16] = {0, 0, 12, 0, 3, 0, 15, 7, 0, 10, 0, 12, 5, 0, 3, 7};
    for (int i = 0; i < 16; ++i) {
        std::uint8_t flags = StepFlags::gate;
        if (i % 4 == 2)
            flags |= StepFlags::accent;
        if (i % 5 == 3)
            flags |= StepFlags::slide;
        if (i == 7 || i == 13)
            flags = 0;
        pattern.steps[i] = {static_cast<std::uint8_t>(notes[i]), flags};
    }
    pattern.length = 16;
}

void reportRealTime(benchmark::State& state) {
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * blockSize / sampleRate,
                           benchmark::Counter::kIsRate);
}

class Instrument {
public:
    Instrument() {
        hostTime().tempo = 130.0;
        synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
        synth.dispatch(vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
        synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    }

    void render(benchmark::State& state) {
        std::vector<float> left(blockSize), right(blockSize), in(blockSize);
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {left.data(), right.data()};
        for (auto _ : state) {
            synth.processReplacing(inputs, outputs, blockSize);
            benchmark::DoNotOptimize(left.data());
        }
        reportRealTime(state);
    }

    TreskproPlugin synth{testHost, benchFolder()};
};

void patternVoice(benchmark::State& state) {
    Instrument instrument;
    TreskproSynth& synth = instrument.synth;
    programAcidLine(synth.patch().patterns[0]);
    synth.setParameter(Parameter::FilterResonance, 0.8f);
    synth.setParameter(Parameter::EnvelopeMod, 0.6f);
    synth.setParameter(Parameter::AccentAmount, 0.7f);
    synth.setParameter(Parameter::VcfDecay, 0.4f);
    synth.setParameter(Parameter::VcaDecay, 0.5f);
    synth.setState(State::FilterMode, static_cast<int>(state.range(0)));
    sendNotes(synth, {0});
    instrument.render(state);
}
BENCHMARK(patternVoice)->DenseRange(0, 5)->ArgName("model");

// Polyphonic keyboard mode with 32 notes held, two semitones apart from the lowest C.
void holdChord(TreskproSynth& synth) {
    synth.setState(State::MidiMode, 1);
    synth.setState(State::NoteMode, 1);
    std::vector<int> chord;
    for (int k = 0; k < SynthEngine::voiceCount; ++k)
        chord.push_back(36 + k * 2);
    sendNotes(synth, chord);
}

void polyphonicChord(benchmark::State& state) {
    Instrument instrument;
    TreskproSynth& synth = instrument.synth;
    synth.setState(State::FilterMode, 3);
    // Every module has work, each one heard: VCO-1 a pulse whose width the MG moves and which
    // modulates the cutoff at audio rate, VCO-2 a saw; the shaper, its amount the knob's 0.3
    // times 1 - the filter envelope (above 0 once the envelope leaves its peak); noise; the MG
    // on both pitches, the cutoff, the amplifier and VCO-1's width; key tracking; the delay;
    // and two cable modules, the MG through an attenuator into the oscillators' balance and the
    // filter envelope through an inverter (its 1 - x mode) into the shaper's CV.
    const std::pair<int, float> settings[] = {
        {Parameter::Vco1Waveform, 0.5f},    {Parameter::Vco2Level, 0.7f},
        {Parameter::VcoShaper, 0.3f},       {Parameter::NoiseLevel, 0.2f},
        {Parameter::MgAmount, 0.5f},        {Parameter::MgVco1Dest, 0.1f},
        {Parameter::MgVco2Dest, 0.1f},      {Parameter::MgVcfDest, 0.5f},
        {Parameter::MgVcaDest, 0.2f},       {Parameter::MgPw1Dest, 1.0f},
        {Parameter::DelayAmount, 0.4f},     {Parameter::DelayFeedback, 0.5f},
        {Parameter::DelayLeft, 0.3f},       {Parameter::DelayRight, 0.45f},
        {Parameter::VcfTracking, 0.5f},     {Parameter::Vco1FilterMod, 0.2f},
        {Parameter::VcaSustain, 1.0f},      {Parameter::VcfSustain, 0.5f},
        {Parameter::FilterResonance, 0.6f}, {Parameter::Inverter2Mode, 1.0f},
    };
    for (const auto& [index, value] : settings)
        synth.setParameter(index, value);
    ConnectionList& cables = synth.patch().connections;
    synth.sockets().connect(cables, Socket::MgCvOutput, Socket::Attenuator1Input);
    synth.sockets().connect(cables, Socket::Attenuator1HalfOut, Socket::VcoBalanceCv);
    synth.sockets().connect(cables, Socket::VcfEnvCvOut, Socket::Inverter2Input);
    synth.sockets().connect(cables, Socket::Inverter2Output, Socket::ShaperCvInput);
    holdChord(synth);
    instrument.render(state);
}
BENCHMARK(polyphonicChord);

// The same chord on the plain voice: one oscillator, filter and the two envelopes.
void polyphonicChordPlainVoice(benchmark::State& state) {
    Instrument instrument;
    TreskproSynth& synth = instrument.synth;
    synth.setParameter(Parameter::VcaSustain, 1.0f);
    synth.setParameter(Parameter::FilterResonance, 0.6f);
    holdChord(synth);
    instrument.render(state);
}
BENCHMARK(polyphonicChordPlainVoice);

// The effect build's binary through its entry point, as a host runs it on a stereo track.
void effectThroughDelay(benchmark::State& state) {
    PluginHost host;
    std::string error;
    if (!host.load(bundlePath("TreskproFX.so"), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    host.timeInfo.tempo = 130.0;
    host.dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    host.dispatch(vst::effSetBlockSize, 0, blockSize);
    TreskproPatch patch;
    programAcidLine(patch.patterns[0]);
    patch.setState(State::AuxInput, 1);
    patch.setState(State::RunStop, 1);
    patch.setState(State::DelaySync, 1);
    patch.setParameter(Parameter::AuxLevel, 0.5f);
    patch.setParameter(Parameter::DelayAmount, 0.5f);
    patch.setParameter(Parameter::DelayFeedback, 0.6f);
    patch.setParameter(Parameter::DelayLeft, 0.4f);
    patch.setParameter(Parameter::DelayRight, 0.5f);
    auto chunk = std::make_unique<ChunkBuffer>();
    writeChunk(patch, "", *chunk);
    host.dispatch(vst::effSetChunk, 0, static_cast<vst::intptr>(chunk->size()), chunk->data());
    host.dispatch(vst::effMainsChanged, 0, 1);

    std::vector<float> left(blockSize), right(blockSize), inLeft(blockSize), inRight(blockSize);
    for (int i = 0; i < blockSize; ++i) {
        inLeft[static_cast<std::size_t>(i)] = 0.3f * std::sin(0.05f * static_cast<float>(i));
        inRight[static_cast<std::size_t>(i)] = 0.3f * std::sin(0.07f * static_cast<float>(i));
    }
    float* inputs[2] = {inLeft.data(), inRight.data()};
    float* outputs[2] = {left.data(), right.data()};
    vst::AEffect* effect = host.effect();
    for (auto _ : state) {
        effect->processReplacing(effect, inputs, outputs, blockSize);
        benchmark::DoNotOptimize(left.data());
    }
    reportRealTime(state);
}
BENCHMARK(effectThroughDelay);

} // namespace
} // namespace treskpro
