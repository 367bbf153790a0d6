// The render loop: turns one slice of a host block into audio. Per slice it reads the patch
// once, applies the patch cables, runs the step sequencer, runs every voice that sounds through
// its modules, sums the voices into both channels and finishes with the stereo delay and the
// master volume.
//
// The engine owns the 32 voices, the sequencer, the socket variables and every plug-in-level
// state of the signal path (smoothers, accent sweep, sequencer glide, delay lines). It knows
// nothing of the host: the plug-in hands it a RenderContext per slice.
#pragma once

#include "engine/AccentSweep.h"
#include "engine/BlockRegistry.h"
#include "engine/ConnectionList.h"
#include "engine/DelayLine.h"
#include "engine/EnvFollowerModule.h"
#include "engine/Glide.h"
#include "engine/SmootherModule.h"
#include "engine/SocketRegistry.h"
#include "engine/Voice.h"
#include "sequencer/PatternRecord.h"
#include "sequencer/StepSequencer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace treskpro {

// Everything a slice reads from outside the engine, gathered by the plug-in once per slice.
struct RenderContext {
    const float* parameters = nullptr; // the current patch's parameter slots
    const ConnectionList* connections = nullptr;
    const PatternBank* patterns = nullptr;
    int runStop = 0;
    int currentPattern = 0;
    int bendRange = 12;
    int midiMode = 0;
    int filterMode = 3;
    int delaySync = 0;
    int auxInput = 0;

    double tempo = 120.0;
    double samplesPerStep = 5512.5;
    float sampleRate = 44100.0f;

    int maxPolyphony = 6; // voices used in keyboard mode
    bool wavetableOscillators = true;
    const std::array<float, 128>* noteTable = nullptr;

    int pitchBend = 8192;
    int modWheel = 0; // 14-bit: coarse x 128 + fine
    int channelPressure = 0;

    bool inputConnected[2] = {false, false};
    bool patchChanged = false;
    bool patchLoading = false;
};

class SynthEngine {
public:
    static constexpr int voiceCount = 32;
    // Voice 0 plays patterns; in pattern mode it sits on this note and the patterns' pitch
    // ratios are relative to it.
    static constexpr int patternBaseNote = 36;

    // Registers the engine's blocks with `blocks`, which sizes them for the host's block size.
    // Not audio thread.
    explicit SynthEngine(BlockRegistry& blocks);
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    // Renders `count` samples (at most the registry's block size) from inputs (two channels,
    // each may be null) into outputs at `offset`. When replacing, the outputs are overwritten;
    // otherwise the slice is added to them. Audio thread; allocates nothing.
    void render(const RenderContext& context, float* const* inputs, float* const* outputs,
                int offset, int count, bool replacing = true) noexcept;

    Voice& voice(int index) { return *voices[static_cast<std::size_t>(index & (voiceCount - 1))]; }
    StepSequencer& sequencer() { return stepSequencer; }
    const StepSequencer& sequencer() const { return stepSequencer; }

    // Note-off and envelopes at 0 for every voice, both delay lines and every engine block
    // cleared, the sweep, glide and smoothing states back to rest. Audio thread, or any thread
    // while the host does not process.
    void reset() noexcept;
    // Every voice releases (noteOff). Audio thread.
    void releaseAll() noexcept;
    // A new patch took over: every voice goes quiet without a click. Audio thread.
    void silenceForPatchChange() noexcept;

    // The 42 sockets of the modular section and the variables they point at.
    const SocketRegistry& sockets() const { return socketRegistry; }
    const std::array<float*, Socket::count>& socketVariables() const { return socketBlocks; }

    // Indicators for the editor: set by render, read and cleared by the editor's timer.
    std::atomic<std::int32_t> accentSeen{0};
    std::atomic<std::int32_t> vcfEnvelopeStarted{0};
    std::atomic<std::int32_t> vcaEnvelopeStarted{0};
    // The sequencer's gate in pattern mode (the note side sets it in keyboard mode).
    std::atomic<std::int32_t> gateActive{0};

private:
    void prepareSmoothers(const RenderContext& context, float coefficient, int count) noexcept;
    void runSequencer(const RenderContext& context, int count) noexcept;
    void runControllers(const RenderContext& context, float coefficient, int count) noexcept;
    void outputStage(const RenderContext& context, float* left, float* right, int count) noexcept;
    bool shouldRender(const Voice& voice, int index, const RenderContext& context) const noexcept;

    std::array<std::unique_ptr<Voice>, voiceCount> voices;
    StepSequencer stepSequencer;
    SocketRegistry socketRegistry;
    std::array<float*, Socket::count> socketBlocks{};

    float* pitchRatio = nullptr;
    float* trigger = nullptr;
    float* slideIn = nullptr;
    float* accentOn = nullptr;
    float* aux = nullptr;
    std::array<float*, 12> smoothed{};
    VoiceScratch scratch;
    // The other voices' own blocks when voices render in groups (the first uses `scratch`).
    std::array<VoiceScratch, Voice::groupSize - 1> groupScratch;

    std::array<SmootherModule, 3> smoothers;
    EnvFollowerModule envelopeFollower;
    AccentSweep accentSweep;
    Glide sequencerGlide;
    double modWheelValue = 0.0;
    AlternatingOffset<double> modWheelOffset;
    double pressureValue = 0.0;
    AlternatingOffset<double> pressureOffset;

    std::unique_ptr<DelayLine> delayLeft;
    std::unique_ptr<DelayLine> delayRight;
    double masterVolume = 0.0;
    AlternatingOffset<double> masterVolumeOffset;

    BlockRegistry& registry;
    int scratchBlockSize = 0;
};

} // namespace treskpro
