// Pattern exchange with two outside formats: the Freebee pattern text (.pat), one line per step,
// read into and written from a single pattern; and the Rebirth RB-338 song (.rbs), an IFF-style
// chunk file whose bass-line units supply up to 64 patterns and six knob settings.
//
// Reading is split from applying: the text and the song bytes are parsed from memory (so tests
// and fuzzers need no files), and the song is applied to a patch by a separate function the
// pattern menu calls. Editor thread throughout.
#pragma once

#include "files/TreskproPatch.h"
#include "sequencer/PatternRecord.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace treskpro {

// Reads .pat text into `pattern`: step i from line i, the length set to the lines read (1 when
// none), lines beyond the 64th ignored. Pattern flags, prescale and the steps from the length on
// keep their values. Returns the number of lines that matched the format.
int readPatternText(PatternRecord& pattern, std::string_view text);

// The .pat text of the pattern's playing steps, lines ended with CR LF. Each line names the
// pitch its step plays, so a note above 12 keeps its octave where the format can say it.
std::string writePatternText(const PatternRecord& pattern);

// Reads the .pat file at `path` into `pattern`; false (pattern unchanged) when it cannot be read.
bool importPatternFile(PatternRecord& pattern, const std::string& path);

// Writes the pattern as a .pat file; false when the file cannot be written.
bool exportPatternFile(const PatternRecord& pattern, const std::string& path);

// Song step flags as the song stores them.
namespace SongStepFlags {
constexpr std::uint8_t slide = 0x01;
constexpr std::uint8_t accent = 0x02;
constexpr std::uint8_t up = 0x04;
constexpr std::uint8_t down = 0x08;
constexpr std::uint8_t rest = 0x10;
} // namespace SongStepFlags

struct SongPattern {
    static constexpr int stepCount = 16;

    std::uint8_t length = 0; // as stored: 0..16 in a sound file, anything in a damaged one
    std::array<PatternStep, stepCount> steps{}; // note and flags as the song stores them
};

// One bass-line unit of a song: what one "303 " chunk carries.
struct SongUnit {
    static constexpr int patternCount = 32;
    static constexpr int knobCount = 6; // tune, cutoff, resonance, envelope mod, decay, accent

    std::uint8_t selectedPattern = 0;
    std::array<std::uint8_t, knobCount> knobs{};
    bool hasSettings = false; // the chunk was long enough to hold the pattern number and knobs
    int patternsPresent = 0;  // patterns 0..patternsPresent-1 lie wholly inside the chunk
    std::array<SongPattern, patternCount> patterns{};
};

struct RebirthSong {
    static constexpr int unitCapacity = 2;

    int unitCount = 0; // units read, 0..2; further "303 " chunks are ignored
    std::array<SongUnit, unitCapacity> units{};
};

// Parses the bytes of a song file. Every size and offset is bounded by the bytes given, so a
// damaged or truncated file yields what lies inside it and nothing more.
RebirthSong parseSongBytes(std::string_view bytes);

// Reads the song file at `path`; returns the number of units read (0 when the file cannot be read
// or holds none).
int readSongFile(const std::string& path, RebirthSong& destination);

// Step flags of the pattern record for the flags of a song step.
std::uint8_t stepFlagsFromSong(std::uint8_t songFlags);

struct ParameterChange {
    int parameter;
    float value; // 0..1
};

// What applying a song leaves for the plug-in to do: the knob settings go through its parameter
// path (so the host and the sound follow), and the song's pattern becomes the pending pattern.
struct SongSettings {
    bool present = false; // false: no knobs to send and no pending pattern
    std::array<ParameterChange, SongUnit::knobCount> changes{};
    int pendingPattern = 0; // 0..127
};

// Copies the song's patterns into the patch: pattern k of unit s into slot 32 s + k, for the
// units and patterns the song holds (other slots unchanged). When `patternChangeHeld` is clear
// the song's selected pattern also becomes the patch's current pattern. Does nothing when the
// song has no unit. Editor thread.
SongSettings applySongToPatch(const RebirthSong& song, TreskproPatch& patch,
                              bool patternChangeHeld);

} // namespace treskpro
