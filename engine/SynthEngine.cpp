#include "engine/SynthEngine.h"

#include "engine/EnvelopeCoefficients.h"
#include "engine/Parameters.h"
#include "engine/PitchTables.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace treskpro {

namespace {

// Smoothing of parameter moves: about 75 ms for 90 % at 44.1 kHz, slow enough that no knob
// step is heard and quick enough to feel immediate.
constexpr float parameterSmoothing = 0.0007f;
constexpr float shaperSmoothing = 0.005f;
// The master volume follows its knob more slowly still, so volume automation never zips.
constexpr double masterVolumeSmoothing = 0.001;

// The smoothed blocks: cutoff, resonance, envelope modulation and MG rate; the two octave
// offsets and pulse widths; the two audio-rate modulation depths and the shaper amount.
enum SmoothedBlock {
    CutoffBlock,
    ResonanceBlock,
    EnvelopeModBlock,
    MgFrequencyBlock,
    Octave1Block,
    Octave2Block,
    PulseWidth1Block,
    PulseWidth2Block,
    FilterMod1Block,
    FreqMod2Block,
    ShaperBlock,
};

// The host's audio may hold anything. A sample that is no number or an infinity is taken as
// silence, and the rest is limited to +60 dB over full scale, far above any real signal: the
// follower, the filter and the delay keep what they are fed, so neither may reach them.
float safeInputSample(float sample) {
    constexpr float limit = 1000.0f;
    // x - x is 0 for every finite x and NaN otherwise: no branch, so the loop stays vectorised.
    const float bounded = std::min(std::max(sample, -limit), limit);
    return sample - sample == 0.0f ? bounded : 0.0f;
}

// A float is an infinity or NaN exactly when its exponent bits are all set. Tested on the bits,
// the loop has no chain of floating-point additions and runs four samples to an instruction.
bool allFinite(const float* samples, int count) {
    constexpr std::uint32_t exponent = 0x7f800000u;
    std::uint32_t found = 0;
    for (int i = 0; i < count; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, samples + i, sizeof bits);
        found |= (bits & exponent) == exponent ? 1u : 0u;
    }
    return found == 0;
}

bool tempoSynchronised(int delaySync, float bpmSyncParameter) {
    return delaySync != 0 || bpmSyncParameter > 0.5f;
}

} // namespace

SynthEngine::SynthEngine(BlockRegistry& blocks) : registry(blocks) {
    for (auto& slot : voices)
        slot = std::make_unique<Voice>();
    delayLeft = std::make_unique<DelayLine>();
    delayRight = std::make_unique<DelayLine>();

    // Output sockets own their blocks; input sockets get their pointers from the cables.
    for (int i = 0; i < Socket::count; ++i) {
        const SocketDefinition& definition = socketDefinitions[static_cast<std::size_t>(i)];
        float** variable = &socketBlocks[static_cast<std::size_t>(i)];
        socketRegistry.registerSocket(variable, definition.name, definition.direction);
        if (definition.direction == SocketDirection::Output)
            registry.registerBlock(variable);
    }
    for (float** block : {&pitchRatio, &trigger, &slideIn, &accentOn, &aux})
        registry.registerBlock(block);
    for (float*& block : smoothed)
        registry.registerBlock(&block);

    OscillatorBlocks& oscillators = scratch.oscillators;
    for (float** block : {&oscillators.frequency1, &oscillators.frequency2,
                          &oscillators.pulseWidth1, &oscillators.pulseWidth2})
        registry.registerBlock(block);
    for (float** block :
         {&oscillators.vco1, &oscillators.vco2, &oscillators.sync, &oscillators.mix})
        registry.registerBlock(block, 2);
    for (float** block : {&scratch.noteFrequency, &scratch.noise, &scratch.mgAudio,
                          &scratch.mgFrequency, &scratch.mgAmount, &scratch.sweep})
        registry.registerBlock(block);
    // The blocks a voice carries from its oscillators to its amplifier, once for each voice of a
    // group: they hold theirs at the same time.
    const auto registerLane = [&](VoiceScratch& lane) {
        for (float** block : {&lane.oscillator, &lane.cutoff, &lane.filtered, &lane.amplifier})
            registry.registerBlock(block);
        for (float*& block : lane.filterScratch)
            registry.registerBlock(&block);
    };
    registerLane(scratch);
    for (VoiceScratch& lane : groupScratch)
        registerLane(lane);
    for (auto& voice : voices)
        voice->setScratch(scratch);
    scratchBlockSize = registry.blockSize();
}

void SynthEngine::reset() noexcept {
    for (auto& voice : voices)
        voice->reset();
    delayLeft->reset();
    delayRight->reset();
    registry.clear();
    masterVolume = 0.0;
    accentSweep.reset();
    sequencerGlide.reset(1.0);
    envelopeFollower.reset();
    for (SmootherModule& smoother : smoothers)
        smoother.reset();
}

void SynthEngine::releaseAll() noexcept {
    for (auto& voice : voices)
        voice->noteOff();
}

void SynthEngine::silenceForPatchChange() noexcept {
    for (auto& voice : voices)
        voice->patchChanged();
}

void SynthEngine::render(const RenderContext& context, float* const* inputs, float* const* outputs,
                         int offset, int count, bool replacing) noexcept {
    if (scratchBlockSize != registry.blockSize()) {
        // The host changed its block size: the voices point at the reallocated scratch.
        for (auto& voice : voices)
            voice->setScratch(scratch);
        scratchBlockSize = registry.blockSize();
    }
    count = std::min(count, registry.blockSize());
    if (count <= 0 || !outputs || !outputs[0] || !outputs[1] || !context.parameters)
        return;
    float* left = outputs[0] + offset;
    float* right = outputs[1] + offset;
    const float* p = context.parameters;

    // The auxiliary source: the host's inputs that are connected, while "AuxInput" is on.
    std::fill_n(aux, count, 0.0f);
    bool auxExists = false;
    if (context.auxInput != 0 && inputs) {
        for (int channel = 0; channel < 2; ++channel) {
            const float* in = inputs[channel];
            if (!in || !context.inputConnected[channel])
                continue;
            in += offset;
            for (int i = 0; i < count; ++i)
                aux[i] += safeInputSample(in[i]);
            auxExists = true;
        }
    }

    if (replacing) {
        std::fill_n(left, count, 0.0f);
        std::fill_n(right, count, 0.0f);
    }

    const bool jump = context.patchChanged;
    const float coefficient = jump ? 1.0f : parameterSmoothing;
    if (jump) {
        delayLeft->clear();
        delayRight->clear();
    }
    if (context.patchLoading) {
        // The patch is being replaced: nothing is read from it and the echoes of the old one
        // are gone when the new one starts.
        delayLeft->clear();
        delayRight->clear();
        return;
    }

    // Patch cables: every input socket points at the output block feeding it, or is null.
    const ConnectionList& cables = *context.connections;
    const int cableCount = cables.size();
    socketRegistry.applyConnections(cables);

    runSequencer(context, count);

    // Accent and the sequencer's glide.
    const bool accented =
        makeAccentOn(socketBlocks[Socket::AccentTrigger], socketBlocks[Socket::SeqAccentCvOut],
                     p[Parameter::AccentManual], accentOn, count);
    if (accented)
        accentSeen.store(1, std::memory_order_relaxed);
    const float rate = context.sampleRate;
    const double glide = jump ? 1.0 : glideCoefficient(p[Parameter::GlideTime], rate);
    sequencerGlide.setCoefficient(glide);
    sequencerGlide.glideBlock(pitchRatio, slideIn, count);

    runControllers(context, coefficient, count);

    float* follower = socketBlocks[Socket::EnvelopeFollower];
    if (auxExists && SocketRegistry::isSocketUsed(cables, Socket::EnvelopeFollower)) {
        envelopeFollower.setTimes(p[Parameter::EnvFollowAttack], p[Parameter::EnvFollowRelease],
                                  rate);
        envelopeFollower.setInput(EnvFollowerModule::Signal, aux);
        envelopeFollower.setOutput(EnvFollowerModule::Envelope, follower);
        envelopeFollower.process(count);
    } else {
        std::fill_n(follower, count, 0.0f);
    }

    prepareSmoothers(context, coefficient, count);

    VoiceSlice slice;
    slice.count = count;
    slice.sampleRate = rate;
    slice.jumpToTargets = jump;
    slice.sequencerDrives = context.runStop != 0 && context.midiMode == 0;
    slice.patchHasCables = cableCount > 0;
    for (int k = 0; k < cableCount; ++k) {
        const Connection cable = cables.connection(k);
        for (int socket : {cable.output, cable.input})
            if (socket >= 0 && socket < Socket::count)
                slice.cabledSockets |= std::uint64_t{1} << socket;
    }
    slice.mgInCables = SocketRegistry::isSocketUsed(cables, Socket::MgCvOutput) ||
                       SocketRegistry::isSocketUsed(cables, Socket::MgFreqCv) ||
                       SocketRegistry::isSocketUsed(cables, Socket::MgAmountCv);
    slice.parameters = p;
    slice.noteTable = context.noteTable ? context.noteTable : &noteFrequencyTable();
    slice.filterModel = context.filterMode;
    slice.mgWave = static_cast<int>(4.0f * p[Parameter::MgWave]);
    slice.sockets = &socketBlocks;
    slice.sequencerRatio = pitchRatio;
    slice.sequencerGate = socketBlocks[Socket::SeqGateCvOut];
    slice.sequencerTrigger = trigger;
    slice.accentOn = accentOn;
    slice.aux = auxExists ? aux : nullptr;
    slice.cutoffSmoothed = smoothed[CutoffBlock];
    slice.resonanceSmoothed = smoothed[ResonanceBlock];
    slice.envelopeModSmoothed = smoothed[EnvelopeModBlock];
    slice.mgFrequencySmoothed = smoothed[MgFrequencyBlock];
    slice.octave1 = smoothed[Octave1Block];
    slice.octave2 = smoothed[Octave2Block];
    slice.pulseWidth1 = smoothed[PulseWidth1Block];
    slice.pulseWidth2 = smoothed[PulseWidth2Block];
    slice.filterMod1Smoothed = smoothed[FilterMod1Block];
    slice.freqMod2Smoothed = smoothed[FreqMod2Block];
    slice.freqMod2Resting = std::all_of(slice.freqMod2Smoothed, slice.freqMod2Smoothed + count,
                                        [](float depth) { return depth == 0.0f; });
    slice.shaperSmoothed = smoothed[ShaperBlock];
    slice.scratch = scratch;
    slice.accentSweep = &accentSweep;

    OscillatorSettings& osc = slice.oscillatorSettings;
    osc.masterTuning = p[Parameter::MasterTuning];
    osc.fineTune1 = p[Parameter::Vco1FineTune];
    osc.fineTune2 = p[Parameter::Vco2FineTune];
    osc.range1 = p[Parameter::Vco1Range];
    osc.range2 = p[Parameter::Vco2Range];
    osc.pitchBend = context.pitchBend;
    osc.bendRange = context.bendRange;
    osc.mgVco1Depth = p[Parameter::MgVco1Dest];
    osc.mgVco2Depth = p[Parameter::MgVco2Dest];
    osc.mgPulseWidth1 = p[Parameter::MgPw1Dest] != 0.0f;
    osc.level1 = p[Parameter::Vco1Level];
    osc.level2 = p[Parameter::Vco2Level];
    osc.filterMod1 = p[Parameter::Vco1FilterMod];
    osc.vco2Mod = p[Parameter::Vco2Mod];
    osc.freqMod2 = p[Parameter::Vco2FreqMod];
    osc.shaper = p[Parameter::VcoShaper];
    osc.boost = p[Parameter::VcoBoost];
    osc.sync = p[Parameter::Sync2To1] != 0.0f;
    osc.ring = p[Parameter::Ring1x2] != 0.0f;
    osc.waveform1 = static_cast<int>(4.0f * p[Parameter::Vco1Waveform]);
    osc.waveform2 = static_cast<int>(4.0f * p[Parameter::Vco2Waveform]);
    osc.wavetableMode = context.wavetableOscillators;

    accentSweep.setCoefficients(p[Parameter::FilterResonance], p[Parameter::AccentDecay], rate);

    // The sounding voices a group at a time, so that their filters run side by side.
    std::array<VoiceSlice, Voice::groupSize> slices;
    slices.fill(slice);
    for (std::size_t k = 1; k < slices.size(); ++k) {
        const VoiceScratch& own = groupScratch[k - 1];
        VoiceScratch& lane = slices[k].scratch;
        lane.oscillator = own.oscillator;
        lane.cutoff = own.cutoff;
        lane.filtered = own.filtered;
        lane.amplifier = own.amplifier;
        lane.filterScratch = own.filterScratch;
    }
    int starts = 0;
    std::array<Voice*, Voice::groupSize> group{};
    int waiting = 0;
    const int used = std::clamp(context.maxPolyphony, 1, voiceCount);
    for (int k = 0; k < used; ++k) {
        Voice& voice = *voices[static_cast<std::size_t>(k)];
        if (!shouldRender(voice, k, context))
            continue;
        group[static_cast<std::size_t>(waiting++)] = &voice;
        if (waiting == Voice::groupSize) {
            starts |= Voice::renderGroup(group.data(), slices.data(), waiting, left, right);
            waiting = 0;
        }
    }
    if (waiting > 0)
        starts |= Voice::renderGroup(group.data(), slices.data(), waiting, left, right);
    if (starts & 1)
        vcfEnvelopeStarted.store(1, std::memory_order_relaxed);
    if (starts & 2)
        vcaEnvelopeStarted.store(1, std::memory_order_relaxed);

    outputStage(context, left, right, count);

    // The last line of defence: every value from outside is made safe where it enters, but
    // should a sample still come out as no number or an infinity, the host hears silence for
    // this slice and the engine starts afresh, instead of every later block being lost as well.
    if (!allFinite(left, count) || !allFinite(right, count)) {
        std::fill_n(left, count, 0.0f);
        std::fill_n(right, count, 0.0f);
        reset();
    }
}

bool SynthEngine::shouldRender(const Voice& voice, int index,
                               const RenderContext& context) const noexcept {
    if (context.midiMode == 1)
        return voice.isAudible();
    if (context.midiMode != 0)
        return true;
    return index == 0 && (context.runStop != 0 || voice.isAudible());
}

void SynthEngine::runSequencer(const RenderContext& context, int count) noexcept {
    const float* p = context.parameters;
    SequencerBlocks blocks{
        pitchRatio, socketBlocks[Socket::SeqGateCvOut],   trigger,
        slideIn,    socketBlocks[Socket::SeqAccentCvOut], socketBlocks[Socket::SeqNoteCvOut]};
    if (context.runStop != 0 && context.patterns) {
        stepSequencer.run(*context.patterns, context.currentPattern, context.sampleRate,
                          context.tempo, p[Parameter::GateTime], blocks, count);
    } else {
        stepSequencer.stopped(blocks, count);
    }

    if (context.midiMode == 0) {
        voices[0]->setNote(patternBaseNote);
        // The sequencer's gate is 0 or 1: its sum is the count of open samples, which runs four
        // samples to an instruction where a sum of doubles runs one.
        const float* gate = blocks.gate;
        int open = 0;
        for (int i = 0; i < count; ++i)
            open += gate[i] != 0.0f ? 1 : 0;
        gateActive.store(static_cast<double>(open) / count > 0.1 ? 1 : 0,
                         std::memory_order_relaxed);
    } else if (context.midiMode == 1) {
        std::fill_n(pitchRatio, count, 1.0f);
    }
}

void SynthEngine::runControllers(const RenderContext& context, float coefficient,
                                 int count) noexcept {
    float* wheel = socketBlocks[Socket::ModWheel];
    float* pressure = socketBlocks[Socket::ChannelPressure];
    const double wheelTarget = context.modWheel * 2.0 / 16383.0 - 1.0;
    const double pressureTarget = context.channelPressure / 127.0;
    const double c = coefficient;
    // Controllers rest most of the time: a settled value is a fill, not a follower.
    constexpr double settled = 2e-5;
    if (std::fabs(wheelTarget - modWheelValue) <= settled &&
        std::fabs(pressureTarget - pressureValue) <= settled) {
        std::fill_n(wheel, count, static_cast<float>(modWheelValue));
        std::fill_n(pressure, count, static_cast<float>(pressureValue));
        return;
    }
    for (int i = 0; i < count; ++i) {
        follow(modWheelValue, wheelTarget, c, modWheelOffset);
        follow(pressureValue, pressureTarget, c, pressureOffset);
        wheel[i] = static_cast<float>(modWheelValue);
        pressure[i] = static_cast<float>(pressureValue);
    }
}

void SynthEngine::prepareSmoothers(const RenderContext& context, float coefficient,
                                   int count) noexcept {
    const float* p = context.parameters;
    float mgFrequency;
    const bool synchronised = tempoSynchronised(context.delaySync, p[Parameter::MgBpmSync]);
    if (synchronised)
        mgFrequency = static_cast<float>(
            tempoRatios[static_cast<std::size_t>(tempoRatioIndex(p[Parameter::MgFrequency]))] *
            context.tempo / 60.0);
    else
        mgFrequency = 0.1f * std::exp2(14.0f * p[Parameter::MgFrequency]);

    OscillatorSettings pitch;
    pitch.masterTuning = p[Parameter::MasterTuning];
    pitch.fineTune1 = p[Parameter::Vco1FineTune];
    pitch.fineTune2 = p[Parameter::Vco2FineTune];
    const PitchTerms terms = pitchTerms(pitch);

    const float targets[3][4] = {
        {p[Parameter::FilterCutoff], p[Parameter::FilterResonance], p[Parameter::EnvelopeMod],
         mgFrequency},
        {terms.octave1, terms.octave2, p[Parameter::Vco1PulseWidth], p[Parameter::Vco2PulseWidth]},
        {p[Parameter::Vco1FilterMod], p[Parameter::Vco2FreqMod], p[Parameter::VcoShaper], 0.0f},
    };
    // The shaper amount glides more slowly than the other controls.
    const float shaperCoefficient = coefficient == 1.0f ? 1.0f : shaperSmoothing;
    for (int s = 0; s < 3; ++s) {
        SmootherModule& smoother = smoothers[static_cast<std::size_t>(s)];
        for (int channel = 0; channel < 4; ++channel) {
            const int block = 4 * s + channel;
            smoother.setTarget(channel, targets[s][channel]);
            smoother.setCoefficient(channel,
                                    block == ShaperBlock ? shaperCoefficient : coefficient);
            smoother.setOutput(channel, smoothed[static_cast<std::size_t>(block)]);
        }
        smoother.process(count);
    }
}

void SynthEngine::outputStage(const RenderContext& context, float* left, float* right,
                              int count) noexcept {
    const float* p = context.parameters;
    const float feedback = p[Parameter::DelayFeedback];
    delayLeft->setFeedback(feedback);
    delayRight->setFeedback(feedback);
    const float timeLeft = p[Parameter::DelayLeft];
    const float timeRight = p[Parameter::DelayRight];
    if (tempoSynchronised(context.delaySync, p[Parameter::DelayBpmSync])) {
        const auto synced = [&](float time) {
            const float ratio = tempoRatios[static_cast<std::size_t>(tempoRatioIndex(time))];
            return 1.0 - std::clamp(ratio * context.samplesPerStep / DelayLine::length, 0.0, 1.0);
        };
        delayLeft->setTarget(synced(timeLeft));
        delayRight->setTarget(synced(timeRight));
    } else {
        const auto free = [](float time) { return 1.0 - std::clamp(0.99 * time + 0.01, 0.0, 1.0); };
        delayLeft->setTarget(free(timeLeft));
        delayRight->setTarget(free(timeRight));
    }

    const float amount = p[Parameter::DelayAmount];
    if (amount > 0.0f && !context.patchChanged) {
        delayLeft->process(left, count, amount, socketBlocks[Socket::DelayTimeLeft], timeLeft);
        delayRight->process(right, count, amount, socketBlocks[Socket::DelayTimeRight], timeRight);
    }

    const double volume = p[Parameter::MasterVolume];
    double v = masterVolume;
    for (int i = 0; i < count; ++i) {
        follow(v, volume, masterVolumeSmoothing, masterVolumeOffset);
        const float gain = static_cast<float>(v);
        left[i] *= gain;
        right[i] *= gain;
    }
    masterVolume = v;
}

} // namespace treskpro
