// Step programming: what the sequencer buttons of the panel and the mapped computer keys do to
// the current pattern, in the manner of a hardware bass-line sequencer. A cursor (the edit
// position and the pitch-mode switch) walks the steps; note keys set the step's note, the flag
// buttons toggle its gate, octave, accent and slide flags, and write protection keeps the
// pattern unchanged while the cursor still moves.
//
// Both the editor (keys, panel buttons) and the plug-in (its sequencer front panel) call these
// on the editor thread; each step is written as a whole while playback may read it.
#pragma once

#include "sequencer/PatternRecord.h"

namespace treskpro {

// The action codes. The panel's buttons B_PATTERNCLEAR .. B_NEXT send their tag - 300; the
// pitch keyboard and the keymap's note keys send 555 + note.
namespace StepAction {
constexpr int clear = 13;
constexpr int runStop = 14;
constexpr int pitchMode = 15;
constexpr int home = 16;
constexpr int timeMode = 17; // the gate flag
constexpr int down = 18;
constexpr int up = 19;
constexpr int accent = 20;
constexpr int slide = 21;
constexpr int back = 22;
constexpr int next = 23;
constexpr int longer = 24;
constexpr int shorter = 25;
constexpr int noteOn = 26; // configurable keys with no effect yet
constexpr int noteOff = 27;
constexpr int noteTie = 28;
constexpr int firstNote = 555; // note 0
constexpr int lastNote = 590;  // note 35
} // namespace StepAction

// Where editing happens: kept by the plug-in per instance, from 0 to the pattern length - 1.
struct StepCursor {
    int position = 0;
    bool pitchMode = false; // a note entered advances the cursor
};

struct StepProgrammingRules {
    bool writeProtected = false; // the PatternWriteProtect state
    bool clearWithGate = true;   // the ClearNotes setting: cleared steps are gated notes
};

enum class StepActionResult {
    done,          // the action ran (a write-protected pattern stays unchanged)
    toggleRunStop, // the caller starts or stops playback; nothing else changed
    unknown,       // no such action code: nothing changed
};

// Runs action `code` on `pattern` at `cursor`. A stored length outside 1..64 (a damaged host
// chunk) is taken as bounded and the cursor is brought within the steps that play before the
// action, so nothing indexes past the 64 steps.
StepActionResult performStepAction(PatternRecord& pattern, StepCursor& cursor, int code,
                                   const StepProgrammingRules& rules);

} // namespace treskpro
