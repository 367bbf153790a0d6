#include "files/PatternExchange.h"

#include "engine/Parameters.h"
#include "files/SafeFile.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace treskpro {

namespace {

// Pattern files are a few hundred bytes; songs a few kilobytes.
constexpr std::size_t patternFileLimit = 1u << 20;
constexpr std::size_t songFileLimit = 16u << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The six fields of one .pat line: two name characters and the octave character taken as they
// come, then three flag characters each after optional blanks; the blanks after the line are
// skipped too, so empty lines between steps do no harm. Blanks before the first line are
// skipped as well: taken as name characters they would shift every field of the file.
class PatternLineScanner {
public:
    explicit PatternLineScanner(std::string_view source) : text(source) { skipBlanks(); }

    bool nextLine(std::array<char, 6>& fields) {
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (k >= 3)
                skipBlanks();
            if (position >= text.size())
                return false;
            fields[k] = text[position++];
        }
        skipBlanks();
        return true;
    }

private:
    void skipBlanks() {
        while (position < text.size() && isBlank(text[position]))
            ++position;
    }

    std::string_view text;
    std::size_t position = 0;
};

int noteIndexOfName(char first, char second) {
    for (int index = 0; index < 12; ++index) {
        const char* name = noteName(index);
        if (name[0] == first && name[1] == second)
            return index;
    }
    return -1;
}

// Octaves from the base note, rounded down (a pitch below the base is in octave -1 or lower).
int floorOctave(int semitones) {
    return semitones >= 0 ? semitones / 12 : -((11 - semitones) / 12);
}

bool oddCode(char c) {
    return (static_cast<unsigned char>(c) & 1u) != 0;
}

PatternStep stepFromLine(const std::array<char, 6>& fields, int noteIndex) {
    const char octave = fields[2];
    std::uint8_t flags = 0;
    if (oddCode(fields[3]))
        flags |= StepFlags::gate;
    if (oddCode(fields[4]))
        flags |= StepFlags::slide;
    if (oddCode(fields[5]))
        flags |= StepFlags::accent;
    if (octave > '3')
        flags |= StepFlags::up;
    if (octave < '3')
        flags |= StepFlags::down;
    const int note = octave == '5' ? 12 : noteIndex;
    return PatternStep{static_cast<std::uint8_t>(note), flags};
}

// --- Song chunks ---------------------------------------------------------------------------

constexpr std::size_t chunkHeaderSize = 8;
constexpr std::size_t catTypeSize = 4;
// A CAT inside a CAT inside ... deeper than any real song: deeper ones are skipped whole, so a
// file of nested headers cannot exhaust the stack.
constexpr int maximumNesting = 16;

constexpr std::size_t selectedPatternOffset = 1;
constexpr std::size_t firstKnobOffset = 2;
constexpr std::size_t settingsEnd = firstKnobOffset + SongUnit::knobCount;
constexpr std::size_t firstPatternOffset = 10;
constexpr std::size_t patternStride = 34;
constexpr std::size_t patternBytes = 1 + 2 * SongPattern::stepCount; // the length, then the steps

std::uint32_t bigEndian32(std::string_view bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < 4; ++k)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + k]);
    return value;
}

std::uint8_t byteAt(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint8_t>(bytes[offset]);
}

SongUnit parseUnit(std::string_view data) {
    SongUnit unit;
    if (data.size() >= settingsEnd) {
        unit.hasSettings = true;
        unit.selectedPattern = byteAt(data, selectedPatternOffset);
        for (std::size_t k = 0; k < unit.knobs.size(); ++k)
            unit.knobs[k] = byteAt(data, firstKnobOffset + k);
    }
    for (std::size_t k = 0; k < unit.patterns.size(); ++k) {
        const std::size_t start = firstPatternOffset + patternStride * k;
        if (start + patternBytes > data.size())
            break;
        SongPattern& pattern = unit.patterns[k];
        pattern.length = byteAt(data, start);
        for (std::size_t j = 0; j < pattern.steps.size(); ++j)
            pattern.steps[j] =
                PatternStep{byteAt(data, start + 1 + 2 * j), byteAt(data, start + 2 + 2 * j)};
        unit.patternsPresent = static_cast<int>(k) + 1;
    }
    return unit;
}

// Reads the chunks between `begin` and `end` (already bounded by the data given), descending into
// CAT chunks. Sizes are taken at 64 bits so that no sum can wrap.
void readChunks(std::string_view bytes, std::size_t begin, std::size_t end, int depth,
                RebirthSong& song) {
    std::size_t position = begin;
    while (end - position >= chunkHeaderSize) {
        const std::string_view identifier = bytes.substr(position, 4);
        const std::uint64_t size = bigEndian32(bytes, position + 4);
        const std::size_t dataStart = position + chunkHeaderSize;
        const std::size_t dataEnd =
            static_cast<std::size_t>(std::min<std::uint64_t>(dataStart + size, end));
        if (identifier == "CAT ") {
            if (depth < maximumNesting && dataEnd - dataStart >= catTypeSize)
                readChunks(bytes, dataStart + catTypeSize, dataEnd, depth + 1, song);
        } else if (identifier == "303 ") {
            if (song.unitCount < RebirthSong::unitCapacity)
                song.units[static_cast<std::size_t>(song.unitCount++)] =
                    parseUnit(bytes.substr(dataStart, dataEnd - dataStart));
        }
        const std::uint64_t next = dataStart + size + (size & 1u);
        if (next >= end)
            return;
        position = static_cast<std::size_t>(next);
    }
}

} // namespace

int readPatternText(PatternRecord& live, std::string_view text) {
    // Read into a copy that replaces the pattern whole: playback may be reading it.
    PatternRecord pattern = live;
    PatternLineScanner scanner(text);
    std::array<char, 6> fields{};
    int noteIndex = 0;
    int lines = 0;
    while (scanner.nextLine(fields)) {
        const int named = noteIndexOfName(fields[0], fields[1]);
        if (named >= 0)
            noteIndex = named;
        if (lines < PatternRecord::maximumLength)
            pattern.steps[lines] = stepFromLine(fields, noteIndex);
        ++lines;
    }
    pattern.length = static_cast<std::uint8_t>(std::clamp(lines, 1, PatternRecord::maximumLength));
    live.assignWhole(pattern);
    return lines;
}

std::string writePatternText(const PatternRecord& pattern) {
    std::string text;
    const int length = pattern.playableLength();
    for (int i = 0; i < length; ++i) {
        const PatternStep step = pattern.steps[i];
        // The line names the pitch the step plays: a name and an octave below, at or above the
        // base, or the upper C two octaves up. A note above 12 thus keeps its octave; a pitch
        // beyond what a line can say keeps its name at the nearest octave the format holds.
        const int semitones = pattern.stepSemitones(i);
        const char* name = noteName(semitones);
        const char octave =
            semitones == 24 ? '5'
                            : static_cast<char>('3' + std::clamp(floorOctave(semitones), -1, 1));
        text += name[0];
        text += name[1];
        text += octave;
        for (std::uint8_t flag : {StepFlags::gate, StepFlags::slide, StepFlags::accent}) {
            text += ' ';
            text += (step.flags & flag) != 0 ? '1' : '0';
        }
        text += "\r\n";
    }
    return text;
}

bool importPatternFile(PatternRecord& pattern, const std::string& path) {
    const std::optional<std::string> text = readWholeFile(path, patternFileLimit);
    if (!text)
        return false;
    readPatternText(pattern, *text);
    return true;
}

bool exportPatternFile(const PatternRecord& pattern, const std::string& path) {
    return writeFileSafely(path, writePatternText(pattern));
}

RebirthSong parseSongBytes(std::string_view bytes) {
    RebirthSong song;
    readChunks(bytes, 0, bytes.size(), 0, song);
    return song;
}

int readSongFile(const std::string& path, RebirthSong& destination) {
    const std::optional<std::string> bytes = readWholeFile(path, songFileLimit);
    if (!bytes)
        return 0;
    destination = parseSongBytes(*bytes);
    return destination.unitCount;
}

std::uint8_t stepFlagsFromSong(std::uint8_t songFlags) {
    std::uint8_t flags = 0;
    if ((songFlags & SongStepFlags::slide) != 0)
        flags |= StepFlags::slide;
    if ((songFlags & SongStepFlags::accent) != 0)
        flags |= StepFlags::accent;
    if ((songFlags & SongStepFlags::up) != 0)
        flags |= StepFlags::up;
    if ((songFlags & SongStepFlags::down) != 0)
        flags |= StepFlags::down;
    if ((songFlags & SongStepFlags::rest) == 0)
        flags |= StepFlags::gate;
    return flags;
}

SongSettings applySongToPatch(const RebirthSong& song, TreskproPatch& patch,
                              bool patternChangeHeld) {
    SongSettings settings;
    const int units = std::clamp(song.unitCount, 0, RebirthSong::unitCapacity);
    if (units == 0)
        return settings;

    const SongUnit& first = song.units[0];
    if (first.hasSettings) {
        static constexpr std::array<int, SongUnit::knobCount> knobParameters = {
            Parameter::MasterTuning, Parameter::FilterCutoff, Parameter::FilterResonance,
            Parameter::EnvelopeMod,  Parameter::VcfDecay,     Parameter::AccentAmount};
        settings.present = true;
        for (std::size_t k = 0; k < knobParameters.size(); ++k) {
            const int knob = std::min<int>(first.knobs[k], 127);
            settings.changes[k] = {knobParameters[k], static_cast<float>(knob) / 127.0f};
        }
        settings.pendingPattern = std::min<int>(first.selectedPattern, patternCount - 1);
        if (!patternChangeHeld)
            patch.setState(State::CurrentPattern, settings.pendingPattern);
    }

    for (int s = 0; s < units; ++s) {
        const SongUnit& unit = song.units[static_cast<std::size_t>(s)];
        const int present = std::clamp(unit.patternsPresent, 0, SongUnit::patternCount);
        for (int k = 0; k < present; ++k) {
            const SongPattern& source = unit.patterns[static_cast<std::size_t>(k)];
            PatternRecord& live = patch.patterns[static_cast<std::size_t>(32 * s + k)];
            PatternRecord target = live;
            // A song pattern has 16 steps: a longer stored length would play steps the song
            // never wrote. Only the length and the steps come from the song; the rate the user
            // gave this slot (triplet, prescale) stays.
            target.length = static_cast<std::uint8_t>(
                std::clamp<int>(source.length, 1, SongPattern::stepCount));
            for (std::size_t j = 0; j < source.steps.size(); ++j)
                target.steps[j] =
                    PatternStep{source.steps[j].note, stepFlagsFromSong(source.steps[j].flags)};
            live.assignWhole(target);
        }
    }
    return settings;
}

} // namespace treskpro
