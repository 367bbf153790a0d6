// What tests read inside the plug-in object that no caller of the plug-in needs: the block's
// MIDI input, the patch-change flags, the engine and its blocks, the host's settings as taken.
#pragma once

#include "plugin/TreskproSynth.h"

namespace treskpro {

struct TreskproSynthInternals {
    static const MidiEventBuffer& midiEvents(const TreskproSynth& synth) { return synth.midiInput; }
    static bool isPatchLoading(const TreskproSynth& synth) {
        return synth.patchLoading.load(std::memory_order_acquire);
    }
    static bool takePatchChanged(TreskproSynth& synth) {
        return synth.patchChanged.exchange(false);
    }
    static float sampleRate(const TreskproSynth& synth) { return synth.rate; }
    static int blockSize(const TreskproSynth& synth) { return synth.maximumBlockSize; }
    static bool isInputConnected(const TreskproSynth& synth, int pin) {
        return synth.inputConnected[pin & 1];
    }
    static const NoteTable& tuningTable(const TreskproSynth& synth) {
        return synth.tunings[static_cast<std::size_t>(synth.activeTuning.load())];
    }
    static BlockRegistry& engineBlocks(TreskproSynth& synth) { return synth.blocks; }
    static SynthEngine& engine(TreskproSynth& synth) { return *synth.engine; }
};

using Internals = TreskproSynthInternals;

} // namespace treskpro
