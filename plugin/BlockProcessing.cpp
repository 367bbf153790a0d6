// The audio-thread front end: a host block is rendered in slices that end exactly at the time
// stamps of its MIDI events, and each event is interpreted between two slices. MIDI input is
// omni: the channel of every message is ignored.
#include "engine/Parameters.h"
#include "engine/PitchTables.h"
#include "engine/SampleRate.h"
#include "plugin/BuildVariant.h"
#include "plugin/TreskproSynth.h"

#include <algorithm>

#if defined(__SSE__) || defined(_M_IX86) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define TRESKPRO_HAS_MXCSR 1
#endif

namespace treskpro {

using namespace vst;

namespace {

// Denormal numbers cost a hundred times a normal multiply on x86. For the length of a block the
// processor flushes them to zero (FTZ and DAZ); the caller's setting is restored afterwards, so
// the host's own code is not affected.
class DenormalGuard {
public:
#ifdef TRESKPRO_HAS_MXCSR
    DenormalGuard() : saved(_mm_getcsr()) {
        _mm_setcsr(saved | flushToZero | denormalsAreZero);
    }
    ~DenormalGuard() {
        _mm_setcsr(saved);
    }

private:
    static constexpr unsigned flushToZero = 0x8000;
    static constexpr unsigned denormalsAreZero = 0x0040;
    unsigned saved;
#endif
};

enum Status {
    NoteOff = 0x80,
    NoteOn = 0x90,
    ControlChange = 0xB0,
    ChannelPressure = 0xD0,
    PitchBend = 0xE0,
};

enum Controller {
    ModWheel = 1,
    ModWheelFine = 33,
    Sustain = 64,
    ResetAllControllers = 121,
    AllNotesOff = 123,
};

} // namespace

void TreskproSynth::processReplacing(float** inputs, float** outputs, int frames) {
    if (frames <= 0 || !outputs || !outputs[0] || !outputs[1]) {
        // Nothing to render into, but the events the host gave for this block still count:
        // hosts flush events with empty blocks, and a note-off lost there leaves a note hanging.
        for (int k = 0; k < midiInput.size(); ++k)
            handleEvent(midiInput[k]);
        midiInput.clear();
        return;
    }
    const DenormalGuard denormals;
    const TreskproPatch& blockPatch = patches->beginBlock();
    inputConnected[0] = callHost(audioMasterPinConnected, 0, 0) == 0;
    inputConnected[1] = callHost(audioMasterPinConnected, 1, 0) == 0;
    setEngineSampleRate(rate);
    const auto* time =
        reinterpret_cast<const VstTimeInfo*>(callHost(audioMasterGetTime, 0, kVstTempoValid));
    if (time && blockPatch.getState(State::SyncMode) == 1)
        setTempo(time->tempo);

    applyEngineRequests(blockPatch);
    // Switching the MIDI output off ends the notes the sequencer left sounding there.
    const int midiOutputNow = liveSetting(settings.midiOutput);
    if (midiOutputSeen != 0 && midiOutputNow == 0)
        sendMidiToHost(ControlChange + liveSetting(settings.midiOutputChannel), AllNotesOff, 0);
    midiOutputSeen = midiOutputNow;
    bool changed = patchChanged.exchange(false, std::memory_order_acq_rel);

    // Slices end at every distinct time stamp; a stamp outside the block (which the interface
    // does not allow) is taken at the nearer end of the block.
    int done = 0;
    for (int k = 0; k < midiInput.size(); ++k) {
        const VstEvent& event = midiInput[k];
        const int at = std::clamp(event.deltaFrames, 0, frames);
        if (at > done) {
            renderSlice(blockPatch, inputs, outputs, done, at - done, changed);
            changed = false;
            done = at;
        }
        handleEvent(event);
    }
    if (done < frames)
        renderSlice(blockPatch, inputs, outputs, done, frames - done, changed);
    midiInput.clear();
    patches->endBlock();
}

void TreskproSynth::handleEvent(const VstEvent& event) {
    if (event.type != kVstMidiType)
        return;
    const auto& midi = reinterpret_cast<const VstMidiEvent&>(event);
    const auto byte = [&](int i) {
        return static_cast<int>(static_cast<unsigned char>(midi.midiData[i]));
    };
    handleMidiMessage(byte(0) & 0xF0, byte(1) & 0x7F, byte(2) & 0x7F);
}

void TreskproSynth::renderSlice(const TreskproPatch& blockPatch, float** inputs, float** outputs,
                                int offset, int count, bool changed) {
    // The editor and automation write parameters while the block renders: each is read once,
    // whole, for the slice. Whatever path a value took into the patch, one that is not a number
    // or out of range never reaches the engine, whose followers would keep it for good.
    for (int i = 0; i < Parameter::count; ++i) {
        float& value = sliceParameters[static_cast<std::size_t>(i)];
        value = sanitisedParameter(i, blockPatch.getParameter(i), value);
    }
    RenderContext context;
    context.parameters = sliceParameters.data();
    context.connections = &blockPatch.connections;
    context.patterns = &blockPatch.patterns;
    context.runStop = blockPatch.getState(State::RunStop);
    context.currentPattern = blockPatch.currentPatternIndex();
    context.bendRange = blockPatch.getState(State::BendRange);
    context.midiMode = blockPatch.getState(State::MidiMode);
    context.filterMode = blockPatch.getState(State::FilterMode);
    context.delaySync = blockPatch.getState(State::DelaySync);
    context.auxInput = blockPatch.getState(State::AuxInput);
    context.tempo = tempo();
    context.samplesPerStep = samplesPerStep();
    context.sampleRate = rate;
    context.maxPolyphony = liveSetting(settings.maxPolyphony);
    context.wavetableOscillators = liveSetting(settings.oscModel) != 0;
    context.noteTable =
        liveSetting(settings.tuningMode) != 0
            ? &noteFrequencyTable()
            : &tunings[static_cast<std::size_t>(activeTuning.load(std::memory_order_acquire))];
    context.pitchBend = midiControllers.pitchBend;
    context.modWheel = midiControllers.modWheelCoarse * 128 + midiControllers.modWheelFine;
    context.channelPressure = midiControllers.channelPressure;
    context.inputConnected[0] = inputConnected[0];
    context.inputConnected[1] = inputConnected[1];
    context.patchChanged = changed;

    // Blocks longer than the engine's blocks (a host that exceeds the size it announced) are
    // rendered in pieces.
    const int piece = blocks.blockSize();
    for (int start = 0; start < count; start += piece) {
        context.patchLoading = patchLoading.load(std::memory_order_acquire);
        if (context.patchLoading)
            keys->clear();
        engine->render(context, inputs, outputs, offset + start, std::min(piece, count - start));
        context.patchChanged = false;
    }
}

void TreskproSynth::handleMidiMessage(int status, int data1, int data2) {
    midiActivity.store(1, std::memory_order_relaxed);
    const bool patternMode = getState(State::MidiMode) == 0;
    const bool poly = getState(State::NoteMode) == 1;
    switch (status) {
    case NoteOn:
    case NoteOff: {
        const bool on = status == NoteOn && data2 > 0;
        if (patternMode) {
            if (on)
                patternNoteOn(data1);
            else
                patternNoteOff(data1, status == NoteOn);
        } else if (poly) {
            if (on)
                keys->polyNoteOn(data1, data2, polyphony());
            else
                keys->polyNoteOff(data1, polyphony(), midiControllers.sustain != 0);
        } else {
            if (on)
                keys->monoNoteOn(data1, data2);
            else
                keys->monoNoteOff(data1, data2);
        }
        break;
    }
    case ControlChange:
        controlChange(data1, data2);
        break;
    case ChannelPressure:
        midiControllers.channelPressure = data1;
        break;
    case PitchBend:
        midiControllers.pitchBend = data1 + 128 * data2;
        break;
    default:
        break;
    }
}

void TreskproSynth::patternNoteOn(int note) {
    if (getState(State::PatternLock) != 1)
        setState(State::CurrentPattern, note);
    keys->patternNoteOn(note);
    if (getState(State::RunStop) == 0)
        setState(State::RunStop, 1);
}

void TreskproSynth::patternNoteOff(int note, bool fromVelocityZero) {
    // The effect keeps its sequencer running with the host's audio.
    const int highest = keys->patternNoteOff(note, !buildVariant.isEffect);
    if (highest >= 0) {
        if (getState(State::PatternLock) != 1)
            setState(State::CurrentPattern, highest);
        return;
    }
    const bool sendAllNotesOff = liveSetting(settings.midiOutput) != 0;
    if (buildVariant.isEffect) {
        // Only a note-on with velocity 0 passes the All Notes Off on.
        if (fromVelocityZero && sendAllNotesOff)
            sendMidiToHost(ControlChange + liveSetting(settings.midiOutputChannel), AllNotesOff, 0);
        return;
    }
    setState(State::RunStop, 0);
    if (sendAllNotesOff)
        sendMidiToHost(ControlChange + liveSetting(settings.midiOutputChannel), AllNotesOff, 0);
}

int TreskproSynth::polyphony() const {
    return NoteDispatch::polyphony(liveSetting(settings.maxPolyphony));
}

void TreskproSynth::controlChange(int controller, int value) {
    switch (controller) {
    case ModWheel:
        midiControllers.modWheelCoarse = value;
        break;
    case ModWheelFine:
        midiControllers.modWheelFine = value;
        break;
    case Sustain:
        midiControllers.sustain = value >= 64 ? 1 : 0;
        if (midiControllers.sustain == 0)
            keys->releaseSustained(polyphony());
        break;
    case ResetAllControllers:
        midiControllers.pitchBend = 8192;
        midiControllers.sustain = 0;
        midiControllers.modWheelCoarse = midiControllers.modWheelFine = 0;
        return;
    case AllNotesOff:
        if (getState(State::MidiMode) == 0) {
            keys->clear();
            if (!buildVariant.isEffect)
                setState(State::RunStop, 0);
            if (liveSetting(settings.midiOutput) != 0)
                sendMidiToHost(ControlChange + liveSetting(settings.midiOutputChannel), AllNotesOff,
                               0);
        } else if (getState(State::NoteMode) == 0) {
            keys->clear();
        }
        engine->releaseAll();
        return;
    default:
        // Channel mode messages (120 and 122..127) are not ours to interpret.
        if (controller > 119)
            return;
        break;
    }
    if (const auto change = controllerMap.controlChange(controller, value))
        setParameterAutomated(change->parameter, change->value);
}

void TreskproSynth::setParameterAutomated(int index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void TreskproSynth::playNote(int note, int velocity) {
    const int mode = getState(State::MidiMode);
    if (mode == 1) {
        for (int k = 0; k < polyphony(); ++k) {
            Voice& voice = engine->voice(k);
            if (!voice.isActive()) {
                voice.noteOn(note, velocity);
                return;
            }
        }
    } else if (mode != 0 || getState(State::RunStop) == 0) {
        engine->voice(0).noteOn(note, velocity);
    }
}

void TreskproSynth::releaseNote(int note) {
    for (int k = 0; k < polyphony(); ++k) {
        Voice& voice = engine->voice(k);
        if (note < 0 || note > 127 || voice.note() == note)
            voice.noteOff();
    }
}

void TreskproSynth::resetEngine() {
    if (!buildVariant.isEffect && getState(State::MidiMode) == 0)
        setState(State::RunStop, 0);
    engine->reset();
    keys->clear();
}

void TreskproSynth::setRunStop(bool run) {
    setState(State::RunStop, run ? 1 : 0);
    requestEngine(run ? RunStart : RunStop);
}

void TreskproSynth::requestVoices(VoiceRequest request, int note, int velocity) {
    std::uint32_t posted = engineRequests.load(std::memory_order_relaxed);
    std::uint32_t next = 0;
    do {
        switch (request) {
        case VoiceRequest::NoteOn:
            next = (posted & ~(previewNoteMask | previewVelocityMask)) | PreviewNoteOn |
                   static_cast<std::uint32_t>(std::clamp(note, 0, 127)) << previewNoteShift |
                   static_cast<std::uint32_t>(std::clamp(velocity, 1, 127)) << previewVelocityShift;
            break;
        case VoiceRequest::NoteOff:
        case VoiceRequest::Panic:
            // A note-on still waiting was released before it was heard: it never plays.
            next = (posted & ~(PreviewNoteOn | previewNoteMask | previewVelocityMask)) |
                   (request == VoiceRequest::NoteOff ? PreviewNoteOff : Panic);
            break;
        case VoiceRequest::ClearHeldNotes:
            next = posted | ClearHeldNotes;
            break;
        }
    } while (!engineRequests.compare_exchange_weak(posted, next, std::memory_order_acq_rel,
                                                   std::memory_order_relaxed));
}

void TreskproSynth::applyEngineRequests(const TreskproPatch& blockPatch) {
    const std::uint32_t requests = engineRequests.exchange(0, std::memory_order_acq_rel);
    if (requests == 0)
        return;
    const bool patternMode = blockPatch.getState(State::MidiMode) == 0;
    const auto startPattern = [&] {
        engine->sequencer().restart();
        engine->voice(0).noteOn(SynthEngine::patternBaseNote, 100);
        for (int k = 1; k < SynthEngine::voiceCount; ++k)
            engine->voice(k).noteOff();
    };
    if (requests & SilenceForPatch)
        engine->silenceForPatchChange();
    if (requests & AutoRunKeyboard)
        engine->releaseAll();
    if (requests & AutoRunStart)
        startPattern();
    if (requests & AutoRunReset) {
        engine->sequencer().restart();
        engine->releaseAll();
    }
    if ((requests & RunStart) && blockPatch.getState(State::RunStop) == 1) {
        if (patternMode)
            startPattern();
        else
            engine->sequencer().restart();
    }
    if ((requests & RunStop) && blockPatch.getState(State::RunStop) == 0) {
        if (patternMode)
            engine->voice(0).noteOff();
        // The note-off that tells a chained instrument the sequence stopped; no path of the
        // plug-in sends notes, so it names note 0.
        if (liveSetting(settings.midiOutput) != 0)
            sendMidiToHost(NoteOff + liveSetting(settings.midiOutputChannel), 0, 0);
    }
    // The panel's requests come last, in the order that keeps the latest wish: whatever ends
    // notes before the note-on that was posted after it.
    if (requests & Panic)
        resetEngine();
    if (requests & ClearHeldNotes)
        keys->clear();
    if (requests & PreviewNoteOff)
        releaseNote(-1);
    if (requests & PreviewNoteOn) {
        playNote(static_cast<int>((requests & previewNoteMask) >> previewNoteShift),
                 static_cast<int>((requests & previewVelocityMask) >> previewVelocityShift));
    }
}

} // namespace treskpro
