#include "sequencer/StepProgramming.h"

#include "sequencer/PatternOperations.h"

#include <algorithm>
#include <cstdint>

namespace treskpro {

namespace {

void toggleFlag(PatternRecord& pattern, int position, std::uint8_t flag) {
    PatternStep step = pattern.step(position);
    step.flags ^= flag;
    pattern.setStep(position, step);
}

std::uint8_t flagOfAction(int code) {
    switch (code) {
    case StepAction::timeMode:
        return StepFlags::gate;
    case StepAction::down:
        return StepFlags::down;
    case StepAction::up:
        return StepFlags::up;
    case StepAction::accent:
        return StepFlags::accent;
    case StepAction::slide:
        return StepFlags::slide;
    default:
        return 0;
    }
}

} // namespace

StepActionResult performStepAction(PatternRecord& pattern, StepCursor& cursor, int code,
                                   const StepProgrammingRules& rules) {
    // The cursor may point past the steps that play when the pattern was shortened or another
    // pattern was selected: it stays on the nearest step that plays.
    int length = pattern.playableLength();
    cursor.position = std::clamp(cursor.position, 0, length - 1);
    const bool writable = !rules.writeProtected;

    if (code >= StepAction::firstNote && code <= StepAction::lastNote) {
        if (writable) {
            PatternStep step = pattern.step(cursor.position);
            step.note = static_cast<std::uint8_t>(code - StepAction::firstNote);
            pattern.setStep(cursor.position, step);
        }
        // Pitch mode walks on even over a protected pattern, so the player stays in time.
        if (cursor.pitchMode)
            cursor.position = (cursor.position + 1) % length;
        return StepActionResult::done;
    }

    if (const std::uint8_t flag = flagOfAction(code)) {
        if (writable)
            toggleFlag(pattern, cursor.position, flag);
        return StepActionResult::done;
    }

    switch (code) {
    case StepAction::clear:
        if (writable)
            clearPattern(pattern, rules.clearWithGate);
        cursor.position = 0;
        return StepActionResult::done;
    case StepAction::runStop:
        return StepActionResult::toggleRunStop;
    case StepAction::pitchMode:
        cursor.pitchMode = !cursor.pitchMode;
        if (!cursor.pitchMode)
            cursor.position = 0;
        return StepActionResult::done;
    case StepAction::home:
        cursor.position = 0;
        return StepActionResult::done;
    case StepAction::back:
        cursor.position = cursor.position == 0 ? length - 1 : cursor.position - 1;
        return StepActionResult::done;
    case StepAction::next:
        cursor.position = (cursor.position + 1) % length;
        return StepActionResult::done;
    case StepAction::longer:
    case StepAction::shorter:
        // The length is part of the record, so write protection keeps it too.
        if (writable) {
            length = code == StepAction::longer ? std::min(length + 1, PatternRecord::maximumLength)
                                                : std::max(length - 1, 1);
            PatternRecord::storeWhole(pattern.length, static_cast<std::uint8_t>(length));
            cursor.position = std::min(cursor.position, length - 1);
        }
        return StepActionResult::done;
    case StepAction::noteOn:
    case StepAction::noteOff:
    case StepAction::noteTie:
        return StepActionResult::done;
    default:
        return StepActionResult::unknown;
    }
}

} // namespace treskpro
