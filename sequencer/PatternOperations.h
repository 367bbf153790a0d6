// Whole-pattern edits of the editor's pattern menu: copy and paste through the process-wide
// clipboard, transposing, expanding and shrinking, duplicating and rotating steps, clearing,
// and the random generators. Every operation bounds the stored length to 1..64 first, so a
// pattern restored from a damaged host chunk can never make one loop forever or write past the
// 64 steps. Editor thread; each step is written as a whole while playback may read it.
#pragma once

#include "sequencer/PatternRecord.h"
#include "sequencer/Random15.h"

namespace treskpro {

// The generator the pattern menu's random operations draw from: one per process, seeded from
// the clock when an instance is constructed.
Random15& patternRandom();

// The one clipboard of the process, shared by every instance (a pattern record of length 16).
PatternRecord& patternClipboard();

// The clipboard takes the pattern flags, length and all 64 steps; prescale is not copied.
void copyPattern(const PatternRecord& pattern, PatternRecord& clipboard);
void pastePattern(PatternRecord& pattern, const PatternRecord& clipboard);

// Moves every note of the pattern by `semitones` (+-1, +-12), keeping notes within 0..12 and
// expressing the rest with the octave flags.
void transposePattern(PatternRecord& pattern, int semitones);

void expandPattern(PatternRecord& pattern);  // every step followed by an empty one, length x2
void shrinkPattern(PatternRecord& pattern);  // every second step, length / 2
void duplicateSteps(PatternRecord& pattern); // the first length steps repeated over all 64
void shiftLeft(PatternRecord& pattern);      // rotate within the length
void shiftRight(PatternRecord& pattern);

// Clears the triplet flag; every step that plays becomes note 0, gated when `gate` is set.
void clearPattern(PatternRecord& pattern, bool gate);
// What the patch reader repairs damaged patterns with: cleared with the gate on.
inline void resetPattern(PatternRecord& pattern) {
    clearPattern(pattern, true);
}

void randomizePitches(PatternRecord& pattern, Random15& random);
void randomizeAll(PatternRecord& pattern, Random15& random);
// A random permutation of the steps that play.
void alterPattern(PatternRecord& pattern, Random15& random);

// The pattern menu's entries that edit the current pattern without a file or a dialog, by their
// position in the menu: 0 copy, 1 paste, 3..6 transpose +12, -12, +1, -1, 8 expand, 9 shrink,
// 10 duplicate, 12 shift left, 13 shift right, 15..17 notes, accents, slides off, 19 randomize
// all, 20 randomize pitches, 21 alter. Any other entry does nothing.
namespace PatternMenuEntry {
constexpr int randomizeAll = 19;
constexpr int randomizePitches = 20;
constexpr int alter = 21;
} // namespace PatternMenuEntry

// Runs one such entry on `pattern` (copy fills `clipboard`, paste reads it). Returns whether the
// entry was one of them.
bool runPatternMenuEntry(int entry, PatternRecord& pattern, PatternRecord& clipboard,
                         Random15& random);

struct RandomizerSettings {
    int length = 16;  // 1..64
    int hiOctave = 2; // 1..7, at least loOctave
    int loOctave = 2;
    int noteDensity = 16; // each 0..length
    int gateDensity = 16;
    int slideDensity = 16;
    int accentDensity = 16;
    int root = 0;  // 0..11, C..B
    int scale = 0; // 0 Chromatic, 1 Ionian, 2 Dorian, 3 Lydian, 4 Mixolydian, 5 Aeolian,
                   // 6 Locrian
    bool fixScale = false;
    bool noteEnable = true;
    bool gateEnable = true;
    bool slideEnable = true;
    bool accentEnable = true;

    // The dialog's Reset: everything but the enables back to the start values.
    void reset();
};

// The advanced randomizer: notes within the octave range from the root, then `noteDensity`
// steps raised by scale intervals, then gate, slide and accent on exactly their density's number
// of steps. Out-of-range settings are bounded first.
void advancedRandomize(PatternRecord& pattern, const RandomizerSettings& settings,
                       Random15& random);

} // namespace treskpro
