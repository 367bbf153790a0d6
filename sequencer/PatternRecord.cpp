#include "sequencer/PatternRecord.h"

#include <algorithm>

namespace treskpro {

PatternRecord PatternRecord::fresh() {
    PatternRecord record{};
    record.length = defaultLength;
    return record;
}

int PatternRecord::stepSemitones(int index) const {
    const PatternStep current = step(index);
    int semitones = static_cast<std::int8_t>(current.note);
    if (current.flags & StepFlags::up)
        semitones += 12;
    if (current.flags & StepFlags::down)
        semitones -= 12;
    return semitones;
}

int PatternRecord::tieDuration(int index) const {
    const int last = playableLength() - 1;
    int duration = 1;
    for (int next = index + 1; next <= last && (step(next).flags & StepFlags::tie); ++next)
        ++duration;
    return duration;
}

void PatternRecord::repair() {
    if (length == 0 || length > maximumLength) {
        length = defaultLength;
        patternFlags &= static_cast<std::uint8_t>(~tripletFlag);
        for (int i = 0; i < defaultLength; ++i)
            steps[i] = PatternStep{0, StepFlags::gate};
    }
    if (prescale > maximumPrescale)
        prescale = 0;
}

int PatternRecord::playableLength() const {
    return std::clamp(static_cast<int>(loadWhole(length)), 1, maximumLength);
}

void PatternRecord::clearFlags(std::uint8_t mask) {
    const int count = playableLength();
    for (int i = 0; i < count; ++i) {
        PatternStep cleared = steps[i];
        cleared.flags &= static_cast<std::uint8_t>(~mask);
        setStep(i, cleared);
    }
}

void PatternRecord::assignWhole(const PatternRecord& edited) {
    // Steps first: a pattern that grows plays its new steps only once they are written.
    for (int i = 0; i < maximumLength; ++i)
        setStep(i, edited.steps[i]);
    storeWhole(patternFlags, edited.patternFlags);
    storeWhole(prescale, edited.prescale);
    storeWhole(reserved, edited.reserved);
    storeWhole(length, edited.length);
}

std::optional<double> prescaleFactor(int prescale) {
    static constexpr double factors[] = {1.0, 2.0, 0.75, 1.5};
    if (prescale < 0 || prescale > PatternRecord::maximumPrescale)
        return std::nullopt;
    return factors[prescale];
}

const char* noteName(int note) {
    static constexpr const char* names[] = {"c-", "c#", "d-", "d#", "e-", "f-",
                                            "f#", "g-", "g#", "a-", "a#", "b-"};
    return names[((note % 12) + 12) % 12];
}

} // namespace treskpro
