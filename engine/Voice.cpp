#include "engine/Voice.h"

#include "engine/AccentSweep.h"
#include "engine/EnvelopeCoefficients.h"
#include "engine/FastKernels.h"
#include "engine/Lanes.h"
#include "engine/Parameters.h"
#include "engine/PitchTables.h"
#include "engine/Rows.h"
#include "engine/SocketRegistry.h"
#include "engine/WavetableSet.h"

#include <algorithm>
#include <cmath>

namespace treskpro {

namespace {

// The highest cutoff control the filter tables are made for.
constexpr float highestCutoff = 0.966f;

// Cutoff controls are tuned at 44.1 kHz; at any other rate they are scaled down so that the
// filter's upper range stays below the Nyquist frequency.
constexpr float otherRateCutoffScale = 0.755f;

} // namespace

Voice::Voice() {
    NoiseModule::seedRandomFromClock();
    filter.setInputGain(2.0f);
    attenuator2.setLag(true);
}

void Voice::setScratch(const VoiceScratch& scratch) {
    oscillators.setBlocks(scratch.oscillators);
    WavetableLibrary& tables = WavetableLibrary::shared();
    oscillators.setWavetables(&tables.saw, &tables.square, &tables.triangle);
    mg.setWavetables(&tables.mgSaw, &tables.mgSquare, &tables.triangle);
}

void Voice::noteOn(int note, int velocity) noexcept {
    active = 1;
    gateOn = true;
    sliding = false;
    currentNote = note & 127;
    currentVelocity = velocity & 127;
    vcfEnvelope.start();
    vcaEnvelope.start();
    mg.retrigger();
    noteStarted = true;
}

void Voice::legato(int note, int velocity) noexcept {
    active = 1;
    sliding = true;
    note &= 127;
    if (retrigger && note != currentNote) {
        vcfEnvelope.retrigger();
        vcaEnvelope.retrigger();
        mg.retrigger();
    }
    currentNote = note;
    currentVelocity = velocity & 127;
}

void Voice::noteOff() noexcept {
    active = 0;
    gateOn = false;
    sliding = false;
    vcfEnvelope.release();
    vcaEnvelope.release();
}

void Voice::silence() noexcept {
    noteOff();
    vcfEnvelope.silence();
    vcaEnvelope.silence();
}

void Voice::patchChanged() noexcept {
    noteOff();
    vcfEnvelope.silence();
    vcaEnvelope.damp();
}

void Voice::setNote(int note) noexcept {
    currentNote = note & 127;
}

void Voice::reset() noexcept {
    silence();
    oscillators.reset();
    filter.reset();
    mg.reset();
    noise.reset();
    attenuator1.reset();
    attenuator2.reset();
    glide.reset();
    glideStarted = false;
    releasePending = false;
    vcfCv = filterMod1 = filterMod2 = gain = 0.0;
}

int Voice::renderGroup(Voice* const* voices, const VoiceSlice* slices, int n, float* left,
                       float* right) noexcept {
    n = std::clamp(n, 0, static_cast<int>(groupSize));
    int starts = 0;
    VcfModule* filters[groupSize] = {};
    for (int k = 0; k < n; ++k) {
        starts |= voices[k]->renderToFilter(slices[k]);
        filters[k] = &voices[k]->filter;
    }
    VcfModule::processGroup(filters, n, slices[0].count);
#ifdef TRESKPRO_WIDE_LANES
    if (n == groupSize && fastKernels()) {
        amplifyQuadFast(voices, slices, left, right);
        return starts;
    }
#endif
    int k = 0;
    for (; k + 2 <= n; k += 2)
        amplifyPair(*voices[k], *voices[k + 1], slices[k], slices[k + 1], left, right);
    if (k < n)
        voices[k]->amplify(slices[k], left, right);
    return starts;
}

// amplify() of the first voice and then of the second, their gains side by side in one
// register's lanes; each output sample adds the first voice's part before the second's.
TRESKPRO_KERNEL_BODY void Voice::amplifyPairBody(Voice& first, Voice& second,
                                                 const VoiceSlice& firstSlice,
                                                 const VoiceSlice& secondSlice, float* left,
                                                 float* right) noexcept {
    const int n = firstSlice.count;
    const float* firstTarget = firstSlice.scratch.amplifier;
    const float* secondTarget = secondSlice.scratch.amplifier;
    const float* firstFiltered = firstSlice.scratch.filtered;
    const float* secondFiltered = secondSlice.scratch.filtered;
    const Double2 keep(1.0 - 0.08);
    const Double2 rate(0.08);
    Double2 gains(first.gain, second.gain);
    Double2 offsets(first.gainOffset.value, second.gainOffset.value);
    for (int i = 0; i < n; ++i) {
        // follow() in both lanes.
        gains = keep * gains + rate * (Double2(firstTarget[i], secondTarget[i]) + offsets);
        offsets = -offsets;
        const float y1 = static_cast<float>(gains.first()) * firstFiltered[i];
        const float y2 = static_cast<float>(gains.second()) * secondFiltered[i];
        left[i] = left[i] + y1 + y2;
        right[i] = right[i] + y1 + y2;
    }
    first.gain = gains.first();
    second.gain = gains.second();
    first.gainOffset.value = offsets.first();
    second.gainOffset.value = offsets.second();
}

#ifdef TRESKPRO_FAST_KERNELS
TRESKPRO_FAST_TARGET void Voice::amplifyPairFast(Voice& first, Voice& second,
                                                 const VoiceSlice& firstSlice,
                                                 const VoiceSlice& secondSlice, float* left,
                                                 float* right) noexcept {
    amplifyPairBody(first, second, firstSlice, secondSlice, left, right);
}
#endif

#ifdef TRESKPRO_WIDE_LANES
// amplifyPair() of the first two voices and then of the last two, the four gains side by side in
// the lanes of one 256-bit register; each output sample adds the voices' parts in their order.
TRESKPRO_FAST_TARGET void Voice::amplifyQuadFast(Voice* const* voices, const VoiceSlice* slices,
                                                 float* left, float* right) noexcept {
    const int n = slices[0].count;
    const float* targets[groupSize];
    const float* filtered[groupSize];
    alignas(32) double gains[groupSize];
    alignas(32) double offsets[groupSize];
    for (int k = 0; k < groupSize; ++k) {
        targets[k] = slices[k].scratch.amplifier;
        filtered[k] = slices[k].scratch.filtered;
        gains[k] = voices[k]->gain;
        offsets[k] = voices[k]->gainOffset.value;
    }
    __m256d gain = _mm256_load_pd(gains);
    __m256d offset = _mm256_load_pd(offsets);
    const __m256d keep = _mm256_set1_pd(1.0 - 0.08);
    const __m256d rate = _mm256_set1_pd(0.08);
    constexpr int stretch = 64;
    alignas(16) float targetRows[stretch][4];
    alignas(16) float filteredRows[stretch][4];
    alignas(16) float partRows[stretch][4];
    alignas(16) float parts[groupSize][stretch];
    float* partBlocks[groupSize] = {parts[0], parts[1], parts[2], parts[3]};
    for (int start = 0; start < n; start += stretch) {
        const int m = std::min(stretch, n - start);
        toRows(targets, start, m, targetRows);
        toRows(filtered, start, m, filteredRows);
        for (int j = 0; j < m; ++j) {
            // follow() in all four lanes.
            gain = keep * gain + rate * (_mm256_cvtps_pd(_mm_load_ps(targetRows[j])) + offset);
            offset = _mm256_xor_pd(offset, _mm256_set1_pd(-0.0));
            _mm_store_ps(partRows[j],
                         _mm_mul_ps(_mm256_cvtpd_ps(gain), _mm_load_ps(filteredRows[j])));
        }
        fromRows(partBlocks, 0, m, partRows);
        for (int j = 0; j < m; ++j) {
            const int i = start + j;
            left[i] = left[i] + parts[0][j] + parts[1][j] + parts[2][j] + parts[3][j];
            right[i] = right[i] + parts[0][j] + parts[1][j] + parts[2][j] + parts[3][j];
        }
    }
    _mm256_store_pd(gains, gain);
    _mm256_store_pd(offsets, offset);
    for (int k = 0; k < groupSize; ++k) {
        voices[k]->gain = gains[k];
        voices[k]->gainOffset.value = offsets[k];
    }
}
#endif

void Voice::amplifyPair(Voice& first, Voice& second, const VoiceSlice& firstSlice,
                        const VoiceSlice& secondSlice, float* left, float* right) noexcept {
#ifdef TRESKPRO_FAST_KERNELS
    if (fastKernels()) {
        amplifyPairFast(first, second, firstSlice, secondSlice, left, right);
        return;
    }
#endif
    amplifyPairBody(first, second, firstSlice, secondSlice, left, right);
}

int Voice::renderToFilter(const VoiceSlice& slice) noexcept {
    const int n = slice.count;
    const float* p = slice.parameters;
    const auto& sockets = *slice.sockets;
    const VoiceScratch& scratch = slice.scratch;

    setRetrigger(p[Parameter::TriggerMode] > 0.0f);
    targetFrequency = (*slice.noteTable)[static_cast<std::size_t>(currentNote)];

    // The voice's own note and velocity as control voltages, constant over the slice, for the
    // cables that take them.
    if (cabled(slice, Socket::MidiNoteCv))
        std::fill_n(sockets[Socket::MidiNoteCv], n, static_cast<float>(currentNote - 64) / 12.0f);
    if (cabled(slice, Socket::MidiVelocityCv))
        std::fill_n(sockets[Socket::MidiVelocityCv], n,
                    static_cast<float>(currentVelocity) / 127.0f);

    runEnvelopes(slice);
    const int starts = (vcfEnvelope.idle() ? 1 : 0) | (vcaEnvelope.idle() ? 2 : 0);
    // Without an accent amount the sweep is heard nowhere, and once at rest it only jitters
    // around 0: it rests with it, and the slice reads silence.
    const float accentAmount = p[Parameter::AccentAmount];
    if (accentAmount != 0.0f || !slice.accentSweep->atRest())
        slice.accentSweep->process(sockets[Socket::VcfEnvCvOut], slice.accentOn, accentAmount,
                                   scratch.sweep, n);
    else
        std::fill_n(scratch.sweep, n, 0.0f);

    if (slice.patchHasCables)
        runCableModules(slice, false);
    runModulation(slice);
    if (slice.patchHasCables)
        runCableModules(slice, true);

    // The note frequency: glided while the voice slides, times the sequencer's pitch ratio.
    glide.setCoefficient(
        slice.jumpToTargets ? 1.0 : glideCoefficient(p[Parameter::GlideTime], slice.sampleRate));
    if (!glideStarted) {
        glide.reset(targetFrequency);
        glideStarted = true;
    }
    glide.render(targetFrequency, sliding, slice.sequencerRatio, scratch.noteFrequency, n);

    if (noteStarted) {
        oscillators.noteOn();
        noteStarted = false;
    }
    OscillatorInputs in;
    in.noteFrequency = scratch.noteFrequency;
    in.mg = sockets[Socket::MgCvOutput];
    in.octave1 = slice.octave1;
    in.octave2 = slice.octave2;
    in.pulseWidth1 = slice.pulseWidth1;
    in.pulseWidth2 = slice.pulseWidth2;
    in.vco1Cv = sockets[Socket::Vco1CvInput];
    in.vco2Cv = sockets[Socket::Vco2CvInput];
    in.pulseWidth1Cv = sockets[Socket::Vco1PwCv];
    in.pulseWidth2Cv = sockets[Socket::Vco2PwCv];
    in.shaperAmount = slice.shaperSmoothed;
    in.shaperCv = sockets[Socket::ShaperCvInput];
    in.balanceCv = sockets[Socket::VcoBalanceCv];
    oscillators.process(n, slice.oscillatorSettings, in, scratch.oscillator);

    addSources(slice);
    computeCutoff(slice);

    filter.setResonanceAmount(p[Parameter::FilterResonance]);
    filter.setModel(slice.filterModel);
    filter.setInput(VcfModule::Audio, scratch.oscillator);
    filter.setInput(VcfModule::Cutoff, scratch.cutoff);
    filter.setInput(VcfModule::Resonance, slice.resonanceSmoothed);
    filter.setOutput(VcfModule::Filtered, scratch.filtered);
    filter.setScratch(scratch.filterScratch[0], scratch.filterScratch[1], scratch.filterScratch[2],
                      scratch.filterScratch[3]);
    prepareAmplifier(slice);
    return starts;
}

void Voice::runEnvelopes(const VoiceSlice& slice) noexcept {
    const float* p = slice.parameters;
    const auto& sockets = *slice.sockets;
    const float rate = slice.sampleRate;

    vcfEnvelope.setSegments(p[Parameter::VcfAttack], p[Parameter::VcfDecay],
                            p[Parameter::VcfSustain], p[Parameter::VcfRelease], rate);
    vcfEnvelope.setAccentDecayCoefficient(accentDecayCoefficient(p[Parameter::AccentDecay], rate));
    vcaEnvelope.setSegments(p[Parameter::VcaAttack], p[Parameter::VcaDecay],
                            p[Parameter::VcaSustain], p[Parameter::VcaRelease], rate);

    // The sequencer plays the envelopes through its gate and trigger; otherwise only the note
    // operations move them (unless the envelope trigger source asks for the sequencer).
    const bool sequenced = slice.sequencerDrives || p[Parameter::VegTriggerSource] > 0.5f;
    const float* gate = sequenced ? slice.sequencerGate : nullptr;
    const float* trigger = sequenced ? slice.sequencerTrigger : nullptr;
    for (EnvelopeModule* envelope : {&vcfEnvelope, &vcaEnvelope}) {
        envelope->setInput(EnvelopeModule::Gate, gate);
        envelope->setInput(EnvelopeModule::Trigger, trigger);
    }
    vcfEnvelope.setInput(EnvelopeModule::Accent, slice.sequencerDrives ? slice.accentOn : nullptr);
    vcfEnvelope.setInput(EnvelopeModule::Amount, sockets[Socket::VcfEnvAmount]);
    vcaEnvelope.setInput(EnvelopeModule::Amount, sockets[Socket::VcaEnvAmount]);
    vcfEnvelope.setOutput(EnvelopeModule::Envelope, sockets[Socket::VcfEnvCvOut]);
    vcaEnvelope.setOutput(EnvelopeModule::Envelope, sockets[Socket::VcaEnvCvOut]);
    vcfEnvelope.process(slice.count);
    vcaEnvelope.process(slice.count);
}

void Voice::runCableModules(const VoiceSlice& slice, bool second) noexcept {
    const float* p = slice.parameters;
    const auto& sockets = *slice.sockets;
    const int n = slice.count;
    // Outputs without a cable are left alone: nothing reads them.
    const auto wired = [&](int socket) {
        return cabled(slice, socket) ? sockets[socket] : nullptr;
    };
    if (!second) {
        attenuator1.setVariable(p[Parameter::OutputVariable1]);
        attenuator1.setBias(p[Parameter::OutputBias]);
        attenuator1.setInput(AttenuatorModule::Signal, sockets[Socket::Attenuator1Input]);
        attenuator1.setOutput(AttenuatorModule::Eighth, wired(Socket::Attenuator1EighthOut));
        attenuator1.setOutput(AttenuatorModule::Half, wired(Socket::Attenuator1HalfOut));
        attenuator1.setOutput(AttenuatorModule::Variable, wired(Socket::Attenuator1VariableOut));
        attenuator1.setOutput(AttenuatorModule::BiasOrLag, wired(Socket::Attenuator1UnipolarOut));
        attenuator1.process(n);
        inverter1.setMode(p[Parameter::Inverter1Mode] > 0.5f);
        inverter1.setInput(InverterModule::Signal, sockets[Socket::Inverter1Input]);
        inverter1.setOutput(InverterModule::Inverted, wired(Socket::Inverter1Output));
        inverter1.process(n);
        return;
    }
    attenuator2.setVariable(p[Parameter::OutputVariable2]);
    attenuator2.setLagTime(p[Parameter::OutputLagTime]);
    attenuator2.setSampleRate(slice.sampleRate);
    attenuator2.setInput(AttenuatorModule::Signal, sockets[Socket::Attenuator2Input]);
    attenuator2.setOutput(AttenuatorModule::Eighth, wired(Socket::Attenuator2EighthOut));
    attenuator2.setOutput(AttenuatorModule::Half, wired(Socket::Attenuator2HalfOut));
    attenuator2.setOutput(AttenuatorModule::Variable, wired(Socket::Attenuator2VariableOut));
    attenuator2.setOutput(AttenuatorModule::BiasOrLag, wired(Socket::Attenuator2LagOut));
    attenuator2.process(n);
    inverter2.setMode(p[Parameter::Inverter2Mode] > 0.5f);
    inverter2.setInput(InverterModule::Signal, sockets[Socket::Inverter2Input]);
    inverter2.setOutput(InverterModule::Inverted, wired(Socket::Inverter2Output));
    inverter2.process(n);
}

void Voice::runModulation(const VoiceSlice& slice) noexcept {
    const float* p = slice.parameters;
    const auto& sockets = *slice.sockets;
    const VoiceScratch& scratch = slice.scratch;
    const int n = slice.count;
    float* control = sockets[Socket::MgCvOutput];

    const bool anyDestination = p[Parameter::MgVco1Dest] > 0.0f ||
                                p[Parameter::MgVco2Dest] > 0.0f || p[Parameter::MgVcfDest] > 0.0f ||
                                p[Parameter::MgVcaDest] > 0.0f || p[Parameter::MgPw1Dest] > 0.0f;
    if (!anyDestination && !(p[Parameter::MgAudioOutput] > 0.0f) && !slice.mgInCables) {
        // Nobody listens: the MG rests and its outputs read as silence.
        std::fill_n(control, n, 0.0f);
        std::fill_n(scratch.mgAudio, n, 0.0f);
        return;
    }

    const float highest = slice.sampleRate * 0.25f;
    const float* frequencyCv = sockets[Socket::MgFreqCv];
    const auto& exp2 = exp2Table();
    for (int i = 0; i < n; ++i) {
        float factor = 1.0f;
        if (frequencyCv) {
            const int index =
                std::clamp(exp2TableCentre + static_cast<int>(0.25f * 4095.0f * frequencyCv[i]), 0,
                           exp2TableSize - 1);
            factor = exp2[static_cast<std::size_t>(index)];
        }
        scratch.mgFrequency[i] = std::min(slice.mgFrequencySmoothed[i] * factor, highest);
    }
    const float amount = p[Parameter::MgAmount];
    if (const float* amountCv = sockets[Socket::MgAmountCv]) {
        for (int i = 0; i < n; ++i)
            scratch.mgAmount[i] = std::clamp(amount * amountCv[i], -1.0f, 1.0f);
        mg.setInput(MgModule::Amount, scratch.mgAmount);
    } else {
        mg.setInput(MgModule::Amount, nullptr);
        mg.setAmount(std::clamp(amount, -1.0f, 1.0f));
    }
    mg.setSampleRate(slice.sampleRate);
    mg.setWave(slice.mgWave);
    mg.setAudioOutput(p[Parameter::MgAudioOutput] != 0.0f);
    mg.setRetrigger(p[Parameter::MgRetrigger] != 0.0f);
    mg.setSmoothing(slice.jumpToTargets ? 1.0 : MgModule::defaultSmoothing);
    mg.setFrequencyInput(scratch.mgFrequency);
    const bool sequencerRetrigger = slice.sequencerDrives && p[Parameter::MgRetrigger] != 0.0f;
    mg.setInput(MgModule::Retrigger, sequencerRetrigger ? slice.sequencerTrigger : nullptr);
    mg.setOutput(MgModule::Control, control);
    // The audio output is mixed in only with "MG Audio Output" on.
    mg.setOutput(MgModule::Audio, p[Parameter::MgAudioOutput] != 0.0f ? scratch.mgAudio : nullptr);
    mg.process(n);
}

void Voice::addSources(const VoiceSlice& slice) noexcept {
    const float* p = slice.parameters;
    const auto& sockets = *slice.sockets;
    const VoiceScratch& scratch = slice.scratch;
    const int n = slice.count;
    float* osc = scratch.oscillator;
    const float* balance = sockets[Socket::NoiseAuxBalanceCv];

    const float noiseLevel = p[Parameter::NoiseLevel];
    if (noiseLevel > 0.0f) {
        const float colour = p[Parameter::NgColor];
        noise.setColour((1.0f - 0.8f * p[Parameter::FilterResonance]) * colour);
        noise.setInput(NoiseModule::ColourModulation, sockets[Socket::NoiseCv]);
        noise.setOutput(NoiseModule::Noise, scratch.noise);
        noise.process(n);
        const float scale = (2.0f - colour) * (2.0f - colour) * noiseLevel;
        for (int i = 0; i < n; ++i) {
            const float weight = balance ? 1.0f - (0.5f + 0.5f * balance[i]) : 1.0f;
            osc[i] += weight * scale * scratch.noise[i];
        }
    }

    const float auxLevel = p[Parameter::AuxLevel];
    if (auxLevel > 0.0f && slice.aux) {
        for (int i = 0; i < n; ++i) {
            const float weight = balance ? 0.5f + 0.5f * balance[i] : 1.0f;
            osc[i] += weight * 3.0f * auxLevel * slice.aux[i];
        }
    }

    if (p[Parameter::MgAudioOutput] != 0.0f) {
        const float amount = p[Parameter::MgAmount];
        for (int i = 0; i < n; ++i)
            osc[i] += amount * scratch.mgAudio[i];
    }
}

TRESKPRO_KERNEL_BODY void Voice::computeCutoffBody(const VoiceSlice& slice) noexcept {
    const float* p = slice.parameters;
    const auto& sockets = *slice.sockets;
    const VoiceScratch& scratch = slice.scratch;
    const int n = slice.count;
    float* cut = scratch.cutoff;
    const float* sweep = scratch.sweep;
    const float* mgOut = sockets[Socket::MgCvOutput];
    const float* envelope = sockets[Socket::VcfEnvCvOut];
    const float* vcfCvInput = sockets[Socket::VcfCvInput];
    const float accentAmount = p[Parameter::AccentAmount];
    const float mgDepth = 0.25f * p[Parameter::MgVcfDest];

    for (int i = 0; i < n; ++i) {
        double m;
        if (vcfCvInput) {
            follow(vcfCv, vcfCvInput[i], 0.15, vcfCvOffset);
            m = mgOut[i] * mgDepth + vcfCv;
        } else {
            m = mgOut[i] * mgDepth;
        }
        cut[i] = static_cast<float>(accentAmount * sweep[i] + m + slice.cutoffSmoothed[i] +
                                    (envelope[i] - 0.3f) * slice.envelopeModSmoothed[i]);
    }

    const float tracking = p[Parameter::VcfTracking];
    if (tracking > 0.0f) {
        const float* logTable = logFrequencyTable().data();
        const double scale = logFrequencyTableSize / slice.sampleRate;
        // The note frequency mostly holds still (it moves while gliding or with the sequencer's
        // pitch): its table position is looked up again only when it changes.
        float frequency = -1.0f;
        float term = 0.0f;
        const float* note = scratch.noteFrequency;
        int i = 0;
        const auto track = [&](int at) {
            if (note[at] != frequency) {
                frequency = note[at];
                const float position =
                    interpolate(logTable, logFrequencyTableSize, scale * frequency);
                term = 4.0f * tracking * (position - 0.5f);
            }
            cut[at] += term;
        };
#ifdef TRESKPRO_HAS_SSE2
        // Four samples at a time while the frequency holds.
        for (; i + 4 <= n; i += 4) {
            const __m128 same = _mm_cmpeq_ps(_mm_loadu_ps(note + i), _mm_set1_ps(frequency));
            if (_mm_movemask_ps(same) == 15) {
                _mm_storeu_ps(cut + i, _mm_add_ps(_mm_loadu_ps(cut + i), _mm_set1_ps(term)));
            } else {
                for (int k = i; k < i + 4; ++k)
                    track(k);
            }
        }
#endif
        for (; i < n; ++i)
            track(i);
    }

    const bool audioRateModulation =
        p[Parameter::Vco1FilterMod] > 0.0f || p[Parameter::Vco2FreqMod] > 0.0f;
    if (audioRateModulation) {
        // VCO-2's term needs its depth: at 0 over the whole slice its input is 0, and its
        // follower, which would only settle further onto the alternating offset (around 1e-6 of
        // the cutoff), rests until the depth rises again.
        const bool vco2Term = p[Parameter::Vco2Mod] == 0.0f && !slice.freqMod2Resting;
        if (vco2Term)
            modulateCutoff<true>(slice);
        else
            modulateCutoff<false>(slice);
    }

    const float scale = slice.sampleRate == 44100.0f ? 1.0f : otherRateCutoffScale;
    for (int i = 0; i < n; ++i)
        cut[i] = std::clamp(cut[i] * scale, 0.0f, highestCutoff);
}

#ifdef TRESKPRO_FAST_KERNELS
TRESKPRO_FAST_TARGET void Voice::computeCutoffFast(const VoiceSlice& slice) noexcept {
    computeCutoffBody(slice);
}
#endif

void Voice::computeCutoff(const VoiceSlice& slice) noexcept {
#ifdef TRESKPRO_FAST_KERNELS
    if (fastKernels()) {
        computeCutoffFast(slice);
        return;
    }
#endif
    computeCutoffBody(slice);
}

namespace {

// Two neighbouring samples of a block widened to double precision, and two doubles rounded
// into a block.
inline Double2 widenPair(const float* x) {
#ifdef TRESKPRO_HAS_SSE2
    return _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(x))));
#else
    return {x[0], x[1]};
#endif
}

inline void narrowPair(float* x, Double2 value) {
#ifdef TRESKPRO_HAS_SSE2
    _mm_store_sd(reinterpret_cast<double*>(x), _mm_castps_pd(_mm_cvtpd_ps(value.v)));
#else
    x[0] = static_cast<float>(value.first());
    x[1] = static_cast<float>(value.second());
#endif
}

#ifdef TRESKPRO_WIDE_LANES
// VCO-1's audio-rate term of modulateCutoff() four samples at a time, for the fast kernel. The
// follower's four states come from the state before them and the four drives, which a two-step
// scan sums off the chain: s(i + m) = keep^(m+1) s(i - 1) + sum of keep^(m-l) d(i + l). From one
// group of four to the next the chain is one multiply-add. The sums are grouped otherwise than
// one sample after the other, a difference of parts in 1e16. Returns how many of the `n` samples
// it did (a multiple of four) and leaves the last state in `state`.
TRESKPRO_FAST_TARGET int wideFilterModulation(float* cut, const float* fm1, const float* vco1,
                                              int n, double& state, double offset) noexcept {
    constexpr double keep = 1.0 - 0.15;
    const __m256d weight = _mm256_set1_pd(0.15);
    const __m256d keep1 = _mm256_set1_pd(keep);
    const __m256d keep2 = _mm256_set1_pd(keep * keep);
    const __m256d powers =
        _mm256_setr_pd(keep, keep * keep, keep * keep * keep, keep * keep * keep * keep);
    // A pair of samples uses the offset once as it stands and once negated.
    const __m256d offsets = _mm256_setr_pd(offset, -offset, offset, -offset);
    const __m256i evens = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    __m256d last = _mm256_set1_pd(state);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d control = _mm256_cvtps_pd(_mm_loadu_ps(cut + i));
        const __m256d depth = _mm256_cvtps_pd(_mm_loadu_ps(fm1 + i));
        // VCO-1 at the 2x samples 2i, 2i + 2, 2i + 4, 2i + 6.
        const __m256d audio = _mm256_cvtps_pd(
            _mm256_castps256_ps128(_mm256_permutevar8x32_ps(_mm256_loadu_ps(vco1 + 2 * i), evens)));
        const __m256d input =
            (_mm256_set1_pd(1.0) - _mm256_set1_pd(0.99) * control) * depth * audio;
        const __m256d drive = weight * (input + offsets);
        // Running sums: d0, keep d0 + d1, ... in two steps of a shift and a multiply-add.
        __m256d sums = drive + keep1 * _mm256_blend_pd(_mm256_permute4x64_pd(drive, 0x90),
                                                       _mm256_setzero_pd(), 1);
        sums = sums + keep2 * _mm256_permute2f128_pd(sums, sums, 0x08);
        const __m256d states = powers * last + sums;
        last = _mm256_permute4x64_pd(states, 0xff);
        _mm_storeu_ps(cut + i, _mm256_cvtpd_ps(control + states));
    }
    state = _mm256_cvtsd_f64(last);
    return i;
}
#endif

} // namespace

// The oscillators' audio-rate cutoff modulation: VCO-1's term, then (with both) VCO-2's on the
// cutoff VCO-1's has moved. Each term is a follower whose input depends on the cutoff, so
// its chain would bound the loop at one multiply and one add per sample; two samples at a time
// the second sample's state comes from the state before the first in one multiply and one add
// (its other terms are known beforehand), which halves the chain. The first sample's state is
// worked out beside it. Both samples' inputs and cutoffs run in one register's lanes.
template <bool both>
TRESKPRO_KERNEL_BODY void Voice::modulateCutoff(const VoiceSlice& slice) noexcept {
    const int n = slice.count;
    float* cut = slice.scratch.cutoff;
    const float* vco1 = slice.scratch.oscillators.vco1;
    const float* vco2 = slice.scratch.oscillators.vco2;
    const float* fm1 = slice.filterMod1Smoothed;
    const float* fm2 = slice.freqMod2Smoothed;
    constexpr double rate = 0.15;
    const Double2 one(1.0);
    const Double2 near(0.99);
    constexpr double keep = 1.0 - rate;
    const Double2 weight(rate);
    // A pair of samples uses each offset once as it stands and once negated.
    const Double2 offset1(filterMod1Offset.value, -filterMod1Offset.value);
    const Double2 offset2(filterMod2Offset.value, -filterMod2Offset.value);
    double state1 = filterMod1;
    double state2 = filterMod2;
    int i = 0;
#ifdef TRESKPRO_WIDE_LANES
    if (!both && fastKernels())
        i = wideFilterModulation(cut, fm1, vco1, n, state1, filterMod1Offset.value);
#endif
    const auto step = [&](double state, Double2 input) {
        // c (x + o) of both samples; the first sample's state, then the second's from the
        // state before the first.
        const Double2 driven = weight * input;
        const double first = keep * state + driven.first();
        const double second = (keep * keep) * state + (keep * driven.first() + driven.second());
        return Double2(first, second);
    };
    for (; i + 2 <= n; i += 2) {
        const Double2 control = widenPair(cut + i);
        const Double2 input1 =
            (one - near * control) * widenPair(fm1 + i) * Double2(vco1[2 * i], vco1[2 * i + 2]);
        const Double2 states1 = step(state1, input1 + offset1);
        state1 = states1.second();
        narrowPair(cut + i, control + states1);
        if constexpr (both) {
            const Double2 moved = widenPair(cut + i);
            const Double2 input2 =
                (one - near * moved) * widenPair(fm2 + i) * Double2(vco2[2 * i], vco2[2 * i + 2]);
            const Double2 states2 = step(state2, input2 + offset2);
            state2 = states2.second();
            narrowPair(cut + i, moved + states2);
        }
    }
    filterMod1 = state1;
    filterMod2 = state2;
    for (; i < n; ++i) {
        follow(filterMod1, (1.0 - 0.99 * cut[i]) * fm1[i] * vco1[2 * i], 0.15, filterMod1Offset);
        cut[i] = static_cast<float>(cut[i] + filterMod1);
        if constexpr (both) {
            follow(filterMod2, (1.0 - 0.99 * cut[i]) * fm2[i] * vco2[2 * i], 0.15,
                   filterMod2Offset);
            cut[i] = static_cast<float>(cut[i] + filterMod2);
        }
    }
}

// The gain targets need the envelope, the MG and the accent sweep, blocks the next voice
// overwrites: they are worked out before the filter runs.
void Voice::prepareAmplifier(const VoiceSlice& slice) noexcept {
    const float* p = slice.parameters;
    const auto& sockets = *slice.sockets;
    const VoiceScratch& scratch = slice.scratch;
    const int n = slice.count;
    const float* envelope = sockets[Socket::VcaEnvCvOut];
    const float* vcaCv = sockets[Socket::VcaCvInput];
    const float* mgOut = sockets[Socket::MgCvOutput];
    const float mgDepth = p[Parameter::MgVcaDest];
    const float accent = p[Parameter::AccentVolume] * p[Parameter::AccentAmount];
    const float* sweep = scratch.sweep;
    float* target = scratch.amplifier;
    for (int i = 0; i < n; ++i) {
        const float v = vcaCv ? vcaCv[i] : mgOut[i] * mgDepth;
        target[i] = (v + accent * sweep[i] + 1.0f) * 0.5f * envelope[i];
    }
}

void Voice::amplify(const VoiceSlice& slice, float* left, float* right) noexcept {
    const int n = slice.count;
    const float* target = slice.scratch.amplifier;
    const float* filtered = slice.scratch.filtered;
    double a = gain;
    for (int i = 0; i < n; ++i) {
        follow(a, target[i], 0.08, gainOffset);
        const float y = static_cast<float>(a) * filtered[i];
        left[i] += y;
        right[i] += y;
    }
    gain = a;
}

} // namespace treskpro
