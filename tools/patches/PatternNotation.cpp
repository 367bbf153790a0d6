#include "tools/patches/PatternNotation.h"

#include <string>

namespace treskpro::factory {

namespace {

constexpr int lowestOctave = 2; // C2 is MIDI note 36, the base note of every pattern
constexpr std::string_view separators = " \t\r\n|"; // bar lines separate like blanks

int pitchClass(char letter) {
    switch (letter) {
    case 'C':
        return 0;
    case 'D':
        return 2;
    case 'E':
        return 4;
    case 'F':
        return 5;
    case 'G':
        return 7;
    case 'A':
        return 9;
    case 'B':
        return 11;
    default:
        return -1;
    }
}

[[noreturn]] void reject(std::string_view token, const char* why) {
    throw PatternNotationError("pattern step \"" + std::string(token) + "\": " + why);
}

PatternStep parseNote(std::string_view token) {
    std::size_t position = 0;
    int semitone = pitchClass(token[position++]);
    if (semitone < 0)
        reject(token, "a note starts with a letter C, D, E, F, G, A or B");
    if (position < token.size() && token[position] == '#') {
        ++semitone;
        ++position;
    }
    if (position >= token.size() || token[position] < '0' || token[position] > '9')
        reject(token, "the note needs an octave");
    const int octave = token[position++] - '0';
    const int note = (octave - lowestOctave) * 12 + semitone;
    if (note < 0 || note > 35)
        reject(token, "notes run from C2 to B4");

    PatternStep step{static_cast<std::uint8_t>(note), StepFlags::gate};
    for (; position < token.size(); ++position) {
        switch (token[position]) {
        case 'a':
            step.flags |= StepFlags::accent;
            break;
        case 's':
            step.flags |= StepFlags::slide;
            break;
        case 'u':
            step.flags |= StepFlags::up;
            break;
        case 'd':
            step.flags |= StepFlags::down;
            break;
        default:
            reject(token, "flags are a (accent), s (slide), u (up) and d (down)");
        }
    }
    return step;
}

} // namespace

PatternRecord parsePattern(std::string_view steps, PatternOptions options) {
    if (options.prescale < 0 || options.prescale > PatternRecord::maximumPrescale)
        throw PatternNotationError("prescale runs from 0 to 3");
    PatternRecord record = PatternRecord::fresh();
    record.prescale = static_cast<std::uint8_t>(options.prescale);
    record.patternFlags = options.triplet ? PatternRecord::tripletFlag : 0;

    int length = 0;
    std::uint8_t lastNote = 0;
    std::size_t position = 0;
    while (position < steps.size()) {
        const std::size_t start = steps.find_first_not_of(separators, position);
        if (start == std::string_view::npos)
            break;
        std::size_t end = steps.find_first_of(separators, start);
        if (end == std::string_view::npos)
            end = steps.size();
        const std::string_view token = steps.substr(start, end - start);
        position = end;
        if (length == PatternRecord::maximumLength)
            reject(token, "a pattern holds at most 64 steps");

        PatternStep step{lastNote, 0};
        if (token == "~")
            step.flags = StepFlags::tie; // the editor shows a tied step with the note it holds
        else if (token != ".")
            step = parseNote(token);
        lastNote = step.note;
        record.steps[length++] = step;
    }
    if (length == 0)
        throw PatternNotationError("a pattern needs at least one step");
    record.length = static_cast<std::uint8_t>(length);
    return record;
}

} // namespace treskpro::factory
