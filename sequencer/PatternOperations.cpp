#include "sequencer/PatternOperations.h"

#include <algorithm>
#include <array>
#include <span>

namespace treskpro {

namespace {

constexpr PatternStep emptyStep{0, 0};
constexpr std::uint8_t octaveFlags = StepFlags::up | StepFlags::down;

// A note from an octave-relative pitch e (semitones from the base): 0..12 plain, above with the
// up flag, below with the down flag (and 0 if still below).
void setPitch(PatternStep& step, int pitch) {
    step.flags &= static_cast<std::uint8_t>(~octaveFlags);
    if (pitch > 12) {
        pitch -= 12;
        step.flags |= StepFlags::up;
    } else if (pitch < 0) {
        pitch = std::max(pitch + 12, 0);
        step.flags |= StepFlags::down;
    }
    step.note = static_cast<std::uint8_t>(pitch & 0x7f);
}

// Picks `count` distinct steps below `length` at random.
template <typename Apply>
void pickDistinctSteps(int count, int length, Random15& random, Apply apply) {
    std::array<bool, PatternRecord::maximumLength> picked{};
    count = std::clamp(count, 0, length);
    for (int k = 0; k < count; ++k) {
        int step;
        do
            step = random.next() % length;
        while (picked[static_cast<std::size_t>(step)]);
        picked[static_cast<std::size_t>(step)] = true;
        apply(step);
    }
}

constexpr std::array<std::uint8_t, 12> chromatic = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr std::array<std::array<std::uint8_t, 8>, 6> modes = {{
    {0, 2, 4, 5, 7, 9, 11, 12}, // Ionian
    {0, 2, 3, 5, 7, 9, 10, 12}, // Dorian
    {0, 2, 4, 6, 7, 9, 11, 12}, // Lydian
    {0, 2, 4, 5, 7, 9, 10, 12}, // Mixolydian
    {0, 2, 3, 5, 7, 8, 10, 12}, // Aeolian
    {0, 1, 3, 5, 6, 8, 10, 12}, // Locrian
}};

std::span<const std::uint8_t> scaleIntervals(int scale) {
    if (scale < 1 || scale > 6)
        return chromatic;
    return modes[static_cast<std::size_t>(scale - 1)];
}

} // namespace

Random15& patternRandom() {
    static Random15 random;
    return random;
}

PatternRecord& patternClipboard() {
    static PatternRecord clipboard = PatternRecord::fresh();
    return clipboard;
}

void copyPattern(const PatternRecord& pattern, PatternRecord& clipboard) {
    clipboard.patternFlags = pattern.patternFlags;
    clipboard.length = pattern.length;
    std::copy(std::begin(pattern.steps), std::end(pattern.steps), std::begin(clipboard.steps));
}

// Each edit of a pattern works on a copy, which then replaces the pattern with every step
// written whole (assignWhole): playback reads the pattern meanwhile and never sees a step half
// edited.

void pastePattern(PatternRecord& pattern, const PatternRecord& clipboard) {
    PatternRecord edited = pattern;
    copyPattern(clipboard, edited);
    pattern.assignWhole(edited);
}

void transposePattern(PatternRecord& live, int semitones) {
    PatternRecord pattern = live;
    const int length = pattern.playableLength();
    for (int i = 0; i < length; ++i) {
        PatternStep step = pattern.steps[i];
        int pitch = static_cast<std::int8_t>(step.note) + semitones;
        if (step.flags & StepFlags::up)
            pitch += 12;
        if (step.flags & StepFlags::down)
            pitch -= 12;
        setPitch(step, pitch);
        pattern.steps[i] = step;
    }
    live.assignWhole(pattern);
}

void expandPattern(PatternRecord& live) {
    PatternRecord pattern = live;
    const int length = pattern.playableLength();
    for (int i = 31; i >= 0; --i) {
        pattern.steps[2 * i] = pattern.steps[i];
        pattern.steps[2 * i + 1] = emptyStep;
    }
    pattern.length = static_cast<std::uint8_t>(std::min(2 * length, PatternRecord::maximumLength));
    live.assignWhole(pattern);
}

void shrinkPattern(PatternRecord& live) {
    PatternRecord pattern = live;
    const int length = std::max(pattern.playableLength() / 2, 1);
    for (int i = 0; i < PatternRecord::maximumLength; i += 2)
        pattern.steps[i / 2] = pattern.steps[i];
    for (int i = length; i < PatternRecord::maximumLength; ++i)
        pattern.steps[i] = emptyStep;
    pattern.length = static_cast<std::uint8_t>(length);
    live.assignWhole(pattern);
}

void duplicateSteps(PatternRecord& live) {
    PatternRecord pattern = live;
    const int length = pattern.playableLength();
    for (int i = length; i < PatternRecord::maximumLength; ++i)
        pattern.steps[i] = pattern.steps[i % length];
    live.assignWhole(pattern);
}

void shiftLeft(PatternRecord& live) {
    PatternRecord pattern = live;
    const int length = pattern.playableLength();
    std::rotate(pattern.steps, pattern.steps + 1, pattern.steps + length);
    live.assignWhole(pattern);
}

void shiftRight(PatternRecord& live) {
    PatternRecord pattern = live;
    const int length = pattern.playableLength();
    std::rotate(pattern.steps, pattern.steps + length - 1, pattern.steps + length);
    live.assignWhole(pattern);
}

void clearPattern(PatternRecord& pattern, bool gate) {
    PatternRecord::storeWhole(
        pattern.patternFlags,
        static_cast<std::uint8_t>(PatternRecord::loadWhole(pattern.patternFlags) &
                                  ~PatternRecord::tripletFlag));
    const int length = pattern.playableLength();
    for (int i = 0; i < length; ++i)
        pattern.setStep(i, PatternStep{0, gate ? StepFlags::gate : std::uint8_t{0}});
}

void randomizePitches(PatternRecord& live, Random15& random) {
    PatternRecord pattern = live;
    const int length = pattern.playableLength();
    for (int i = 0; i < length; ++i) {
        random.next();
        random.next();
        pattern.steps[i].note = static_cast<std::uint8_t>(random.next() % 29);
    }
    live.assignWhole(pattern);
}

void randomizeAll(PatternRecord& live, Random15& random) {
    PatternRecord pattern = live;
    const int length = pattern.playableLength();
    for (int i = 0; i < length; ++i) {
        int r[6];
        for (int& draw : r)
            draw = random.next();
        std::uint8_t flags = 0;
        if (r[0] % 2)
            flags |= StepFlags::accent;
        if (r[1] % 4)
            flags |= StepFlags::gate;
        if (r[2] % 3 == 0)
            flags |= StepFlags::slide;
        if (r[3] % 2)
            flags |= StepFlags::up;
        if (r[4] % 2)
            flags |= StepFlags::down;
        pattern.steps[i] = PatternStep{static_cast<std::uint8_t>(r[5] % 14), flags};
    }
    live.assignWhole(pattern);
}

void alterPattern(PatternRecord& live, Random15& random) {
    PatternRecord pattern = live;
    const int length = pattern.playableLength();
    int i = 0;
    pickDistinctSteps(length, length, random,
                      [&](int source) { pattern.steps[i++] = live.steps[source]; });
    live.assignWhole(pattern);
}

void RandomizerSettings::reset() {
    length = 16;
    hiOctave = 2;
    loOctave = 2;
    noteDensity = gateDensity = slideDensity = accentDensity = 16;
    root = 0;
    scale = 0;
    fixScale = false;
}

void advancedRandomize(PatternRecord& live, const RandomizerSettings& settings, Random15& random) {
    PatternRecord pattern = live;
    const std::span<const std::uint8_t> intervals = scaleIntervals(settings.scale);
    const int count = static_cast<int>(intervals.size());
    const int length = std::clamp(settings.length, 1, PatternRecord::maximumLength);
    pattern.length = static_cast<std::uint8_t>(length);
    // A range the dialog never produces (hi below lo) would divide by zero or less.
    const int lo = std::clamp(settings.loOctave, 1, 7);
    const int hi = std::clamp(settings.hiOctave, lo, 7);
    const int root = std::clamp(settings.root, 0, 11);

    if (settings.noteEnable) {
        for (int j = 0; j < length; ++j) {
            const int pitch = 12 * lo + root + 12 * (random.next() % (hi - lo + 1)) - 24;
            setPitch(pattern.steps[j], pitch);
        }
        pickDistinctSteps(settings.noteDensity, length, random, [&](int step) {
            const int interval = settings.fixScale ? step % count : random.next() % (count - 1);
            pattern.steps[step].note = static_cast<std::uint8_t>(
                pattern.steps[step].note + intervals[static_cast<std::size_t>(interval)]);
        });
    }
    const struct {
        bool enabled;
        int density;
        std::uint8_t flag;
    } flagPasses[] = {{settings.gateEnable, settings.gateDensity, StepFlags::gate},
                      {settings.slideEnable, settings.slideDensity, StepFlags::slide},
                      {settings.accentEnable, settings.accentDensity, StepFlags::accent}};
    for (const auto& pass : flagPasses) {
        if (!pass.enabled)
            continue;
        for (int j = 0; j < length; ++j)
            pattern.steps[j].flags &= static_cast<std::uint8_t>(~pass.flag);
        pickDistinctSteps(pass.density, length, random,
                          [&](int step) { pattern.steps[step].flags |= pass.flag; });
    }
    live.assignWhole(pattern);
}

bool runPatternMenuEntry(int entry, PatternRecord& pattern, PatternRecord& clipboard,
                         Random15& random) {
    switch (entry) {
    case 0:
        copyPattern(pattern, clipboard);
        return true;
    case 1:
        pastePattern(pattern, clipboard);
        return true;
    case 3:
        transposePattern(pattern, 12);
        return true;
    case 4:
        transposePattern(pattern, -12);
        return true;
    case 5:
        transposePattern(pattern, 1);
        return true;
    case 6:
        transposePattern(pattern, -1);
        return true;
    case 8:
        expandPattern(pattern);
        return true;
    case 9:
        shrinkPattern(pattern);
        return true;
    case 10:
        duplicateSteps(pattern);
        return true;
    case 12:
        shiftLeft(pattern);
        return true;
    case 13:
        shiftRight(pattern);
        return true;
    case 15:
    case 16:
    case 17: {
        PatternRecord edited = pattern;
        if (entry == 15)
            edited.clearGatesAndTies();
        else if (entry == 16)
            edited.clearAccents();
        else
            edited.clearSlides();
        pattern.assignWhole(edited);
        return true;
    }
    case PatternMenuEntry::randomizeAll:
        randomizeAll(pattern, random);
        return true;
    case PatternMenuEntry::randomizePitches:
        randomizePitches(pattern, random);
        return true;
    case PatternMenuEntry::alter:
        alterPattern(pattern, random);
        return true;
    default:
        return false;
    }
}

} // namespace treskpro
