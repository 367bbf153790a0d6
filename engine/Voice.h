// One synth voice: two oscillators with their mix, the filter, the VCF and VCA envelopes, the MG,
// noise and the cable modules, with its note state. The note side drives a voice only through
// noteOn, legato and noteOff; the render loop (SynthEngine) runs it slice by slice.
//
// Everything a voice reads beyond its own state (parameters, socket blocks, the sequencer's
// signals, scratch blocks) arrives in one VoiceSlice that the render loop prepares once per
// slice and shares among all voices: the voices render one after another into the same blocks,
// but for the few that each voice of a group needs for itself (renderGroup).
#pragma once

#include "engine/AttenuatorModule.h"
#include "engine/Dsp.h"
#include "engine/EnvelopeModule.h"
#include "engine/Glide.h"
#include "engine/InverterModule.h"
#include "engine/MgModule.h"
#include "engine/NoiseModule.h"
#include "engine/OscillatorSection.h"
#include "engine/VcfModule.h"

#include <array>
#include <cstdint>

namespace treskpro {

class AccentSweep;

// The scratch blocks of the voice loop, owned by the engine's block registry and shared by all
// voices. 2x blocks hold twice the slice length.
struct VoiceScratch {
    OscillatorBlocks oscillators;
    float* noteFrequency = nullptr; // glided note x sequencer pitch ratio, Hz
    float* oscillator = nullptr;    // the decimated mix, then noise, aux and MG audio added
    float* noise = nullptr;
    float* mgAudio = nullptr;
    float* mgFrequency = nullptr;
    float* mgAmount = nullptr;
    float* cutoff = nullptr; // the filter's cutoff control per sample
    float* filtered = nullptr;
    float* sweep = nullptr;
    float* amplifier = nullptr; // the VCA gain each sample moves towards
    std::array<float*, 4> filterScratch{};
};

// What every voice reads in a slice: parameter values, derived settings and the shared blocks.
// Voices rendered as a group each get a slice of their own, alike but for the blocks that carry
// a voice's sound from its oscillators to its amplifier (oscillator, cutoff, filtered, amplifier
// and the filter's scratch).
struct VoiceSlice {
    int count = 0;
    float sampleRate = 44100.0f;
    bool jumpToTargets = false; // the slice after a patch change
    bool sequencerDrives = false;
    bool patchHasCables = false;
    bool mgInCables = false; // "MG CV Output", "MG Freq CV" or "MG Amount CV" has a cable
    // Bit s set when a cable of the patch starts or ends at socket s: an output without one
    // feeds nothing, so what only fills it may be skipped.
    std::uint64_t cabledSockets = 0;

    const float* parameters = nullptr; // the 73 parameter values
    OscillatorSettings oscillatorSettings;
    const std::array<float, 128>* noteTable = nullptr;
    int filterModel = 0;
    int mgWave = 0;

    // Socket variables (null inputs are not connected) and blocks the render loop filled.
    const std::array<float*, 42>* sockets = nullptr;
    const float* sequencerRatio = nullptr; // glided pitch ratio
    const float* sequencerGate = nullptr;
    const float* sequencerTrigger = nullptr;
    const float* accentOn = nullptr;
    const float* aux = nullptr; // null when there is no auxiliary source
    const float* cutoffSmoothed = nullptr;
    const float* resonanceSmoothed = nullptr;
    const float* envelopeModSmoothed = nullptr;
    const float* mgFrequencySmoothed = nullptr;
    const float* octave1 = nullptr;
    const float* octave2 = nullptr;
    const float* pulseWidth1 = nullptr;
    const float* pulseWidth2 = nullptr;
    const float* filterMod1Smoothed = nullptr;
    const float* freqMod2Smoothed = nullptr;
    bool freqMod2Resting = false; // freqMod2Smoothed is 0 over the whole slice
    const float* shaperSmoothed = nullptr;

    VoiceScratch scratch;
    AccentSweep* accentSweep = nullptr;
};

class Voice {
public:
    Voice();

    // A new note: gate on, envelopes restart from 0, the MG retriggers, oscillators in
    // parabolic mode restart their cycle. Audio thread.
    void noteOn(int note, int velocity) noexcept;
    // A note played while this voice holds one: glide to it; with the retrigger flag set and a
    // different note the envelopes restart from their current levels. Audio thread.
    void legato(int note, int velocity) noexcept;
    // Release: both envelopes enter their release. Audio thread.
    void noteOff() noexcept;
    // Note-off with both envelopes at level 0 (engine reset). Audio thread.
    void silence() noexcept;
    // A patch replaced the sound: the filter envelope drops to 0, the amplifier envelope falls
    // quickly, so the old patch stops without a click. Audio thread.
    void patchChanged() noexcept;

    void setRetrigger(bool on) noexcept { retrigger = on; }
    bool isSliding() const noexcept { return sliding; }
    bool isActive() const noexcept { return active != 0; }
    bool gate() const noexcept { return gateOn; }
    int note() const noexcept { return currentNote; }
    int velocity() const noexcept { return currentVelocity; }
    // Sets the note the voice sounds without a note event (pattern mode holds voice 0 on the
    // patterns' base note). Audio thread.
    void setNote(int note) noexcept;

    // The note-off that the sustain pedal holds back. Audio thread.
    bool releasePending = false;

    // Level of the amplifier envelope: a voice keeps sounding while it is audible.
    double amplifierLevel() const noexcept { return vcaEnvelope.level(); }

    // Whether the voice must be rendered in keyboard mode: held, or still releasing audibly.
    bool isAudible() const noexcept {
        return active != 0 || vcaEnvelope.level() >= 0.001 || vcaEnvelope.level() <= -0.001;
    }

    // Renders up to `groupSize` voices, each with its own slice, and adds them to both outputs:
    // all up to their filters, the filters side by side, then the amplifiers in the voices'
    // order. Returns the envelope-start flags of all (bit 0 filter envelope, bit 1 amplifier
    // envelope). Audio thread.
    static constexpr int groupSize = VcfModule::groupSize;
    static int renderGroup(Voice* const* voices, const VoiceSlice* slices, int n, float* left,
                           float* right) noexcept;

    // Points the oscillators at the shared scratch blocks (the filter's come with each slice).
    // Not audio thread.
    void setScratch(const VoiceScratch& scratch);

    // Every module and state back to silence (engine reset). Audio thread.
    void reset() noexcept;

private:
    static bool cabled(const VoiceSlice& slice, int socket) noexcept {
        return (slice.cabledSockets >> socket) & 1u;
    }
    // Everything up to the filter, whose inputs it sets; the amplifier's gain targets go into
    // the slice's amplifier block. Returns the envelope-start flags.
    int renderToFilter(const VoiceSlice& slice) noexcept;
    void runEnvelopes(const VoiceSlice& slice) noexcept;
    void runModulation(const VoiceSlice& slice) noexcept;
    void runCableModules(const VoiceSlice& slice, bool second) noexcept;
    void addSources(const VoiceSlice& slice) noexcept;
    // By the kernel the processor runs best (FastKernels.h).
    void computeCutoff(const VoiceSlice& slice) noexcept;
    void computeCutoffBody(const VoiceSlice& slice) noexcept;
    void computeCutoffFast(const VoiceSlice& slice) noexcept;
    template <bool both> void modulateCutoff(const VoiceSlice& slice) noexcept;
    void prepareAmplifier(const VoiceSlice& slice) noexcept;
    void amplify(const VoiceSlice& slice, float* left, float* right) noexcept;
    // By the kernel the processor runs best (FastKernels.h).
    static void amplifyPair(Voice& first, Voice& second, const VoiceSlice& firstSlice,
                            const VoiceSlice& secondSlice, float* left, float* right) noexcept;
    static void amplifyPairBody(Voice& first, Voice& second, const VoiceSlice& firstSlice,
                                const VoiceSlice& secondSlice, float* left, float* right) noexcept;
    static void amplifyPairFast(Voice& first, Voice& second, const VoiceSlice& firstSlice,
                                const VoiceSlice& secondSlice, float* left, float* right) noexcept;
    // Both pairs of a full group at once, where 256-bit vectors may be used (Rows.h).
    static void amplifyQuadFast(Voice* const* voices, const VoiceSlice* slices, float* left,
                                float* right) noexcept;

    OscillatorSection oscillators;
    VcfModule filter;
    MgModule mg;
    EnvelopeModule vcfEnvelope;
    EnvelopeModule vcaEnvelope;
    NoiseModule noise;
    AttenuatorModule attenuator1;
    AttenuatorModule attenuator2;
    InverterModule inverter1;
    InverterModule inverter2;

    std::int32_t active = 0;
    bool gateOn = false;
    bool sliding = false;
    bool retrigger = false;
    bool noteStarted = false; // parabolic oscillators restart at the next render
    int currentNote = 0;
    int currentVelocity = 0;
    float targetFrequency = 0.0f;

    Glide glide;
    bool glideStarted = false;
    double vcfCv = 0.0; // smoothed copy of the "VCF CV Input" socket
    AlternatingOffset<double> vcfCvOffset;
    double filterMod1 = 0.0; // audio-rate cutoff modulation from VCO-1 and VCO-2
    AlternatingOffset<double> filterMod1Offset;
    double filterMod2 = 0.0;
    AlternatingOffset<double> filterMod2Offset;
    double gain = 0.0; // the smoothed VCA gain
    AlternatingOffset<double> gainOffset;
};

} // namespace treskpro
