#include "engine/NoteDispatch.h"

#include "engine/SynthEngine.h"

#include <algorithm>

namespace treskpro {

int NoteDispatch::polyphony(int maxPolyphony) {
    return std::clamp(maxPolyphony, 1, SynthEngine::voiceCount);
}

void NoteDispatch::patternNoteOn(int note) {
    keys.press(note, 1);
    engine.sequencer().restart();
    engine.voice(0).noteOn(SynthEngine::patternBaseNote, 100);
}

int NoteDispatch::patternNoteOff(int note, bool stopWhenReleased) {
    keys.release(note);
    const int highest = keys.highest();
    if (highest < 0 && stopWhenReleased)
        engine.voice(0).noteOff();
    return highest;
}

void NoteDispatch::monoNoteOn(int note, int velocity) {
    keys.press(note, velocity);
    Voice& voice = engine.voice(0);
    if (keys.heldCount() == 1) {
        engine.gateActive.store(1, std::memory_order_relaxed);
        voice.noteOn(note, velocity);
        engine.sequencer().restart();
    } else {
        voice.legato(note, velocity);
    }
}

void NoteDispatch::monoNoteOff(int note, int velocity) {
    keys.release(note);
    const int latest = keys.latest();
    if (latest >= 0) {
        engine.voice(0).legato(latest, velocity);
    } else {
        engine.gateActive.store(0, std::memory_order_relaxed);
        engine.voice(0).noteOff();
    }
    for (int k = 1; k < SynthEngine::voiceCount; ++k)
        engine.voice(k).noteOff();
}

void NoteDispatch::polyNoteOn(int note, int velocity, int polyphony) {
    bool anyGate = false;
    for (int k = 0; k < polyphony; ++k)
        anyGate = anyGate || engine.voice(k).gate();
    if (!anyGate)
        engine.sequencer().restart();

    // A voice that has this note takes it again; otherwise the quietest released voice. No
    // voice is stolen: with every voice held, the note is dropped.
    int chosen = -1;
    double quietest = 1000000.0;
    for (int k = 0; k < polyphony; ++k) {
        const Voice& voice = engine.voice(k);
        if (voice.note() == note) {
            chosen = k;
            break;
        }
        if (!voice.gate() && voice.amplifierLevel() < quietest) {
            quietest = voice.amplifierLevel();
            chosen = k;
        }
    }
    if (chosen < 0)
        return;
    engine.gateActive.store(1, std::memory_order_relaxed);
    Voice& voice = engine.voice(chosen);
    voice.noteOn(note, velocity);
    voice.releasePending = false;
}

void NoteDispatch::polyNoteOff(int note, int polyphony, bool sustained) {
    for (int k = 0; k < polyphony; ++k) {
        Voice& voice = engine.voice(k);
        if (voice.note() != note)
            continue;
        if (sustained) {
            voice.releasePending = true;
        } else {
            engine.gateActive.store(0, std::memory_order_relaxed);
            voice.noteOff();
        }
    }
}

void NoteDispatch::releaseSustained(int polyphony) {
    for (int k = 0; k < polyphony; ++k) {
        Voice& voice = engine.voice(k);
        if (voice.gate() && voice.releasePending) {
            voice.releasePending = false;
            voice.noteOff();
        }
    }
}

} // namespace treskpro
