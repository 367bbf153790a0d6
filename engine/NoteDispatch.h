// Which voice plays a key: the keys held on the MIDI keyboard and the voice allocation of the
// three ways a key is played (a pattern, one voice with legato, several voices). What belongs to
// the patch or the host (the pattern a key selects, run/stop, MIDI output) stays with the
// caller; this part only moves voices. Audio thread.
#pragma once

#include "engine/NoteStack.h"

namespace treskpro {

class SynthEngine;

class NoteDispatch {
public:
    explicit NoteDispatch(SynthEngine& voices) : engine(voices) {}

    // The voices that keyboard mode may use for `maxPolyphony` as configured.
    static int polyphony(int maxPolyphony);

    // Pattern mode: a key restarts the sequencer on voice 0. Releasing a key answers the
    // highest key still held (-1 for none); with none held and `stopWhenReleased`, voice 0 is
    // released.
    void patternNoteOn(int note);
    int patternNoteOff(int note, bool stopWhenReleased);

    // One voice, last-note priority: the first key starts a note, further keys glide legato,
    // and releasing a key returns to the latest one still held.
    void monoNoteOn(int note, int velocity);
    void monoNoteOff(int note, int velocity);

    // `polyphony` voices: a key takes the voice already on its note or the quietest released
    // one; with every voice held the key is dropped. A key released while `sustained` releases
    // its voice when the pedal goes up (releaseSustained).
    void polyNoteOn(int note, int velocity, int polyphony);
    void polyNoteOff(int note, int polyphony, bool sustained);
    void releaseSustained(int polyphony);

    // Forgets every held key (the voices are left as they are).
    void clear() { keys.clear(); }

private:
    SynthEngine& engine;
    NoteStack keys;
};

} // namespace treskpro
