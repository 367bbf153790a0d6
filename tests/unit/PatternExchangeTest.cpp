// Pattern exchange: .pat text both ways, song files built byte by byte (sound, damaged and
// hostile), and a song applied to a patch.
#include "files/PatternExchange.h"

#include "engine/Parameters.h"
#include "files/SafeFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace treskpro {
namespace {

PatternRecord patternOf(std::initializer_list<PatternStep> steps) {
    PatternRecord pattern = PatternRecord::fresh();
    int i = 0;
    for (const PatternStep& step : steps)
        pattern.steps[i++] = step;
    pattern.length = static_cast<std::uint8_t>(i);
    return pattern;
}

std::string temporaryPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// --- .pat ----------------------------------------------------------------------------------

TEST(PatternText, WritesOneLinePerPlayingStep) {
    using namespace StepFlags;
    const PatternRecord pattern =
        patternOf({{0, gate}, {12, up | gate | accent}, {7, down | slide}, {12, gate}});
    EXPECT_EQ(writePatternText(pattern), "c-3 1 0 0\r\nc-5 1 0 1\r\ng-2 0 1 0\r\nc-4 1 0 0\r\n");

    // A damaged length never reaches past the 64 steps.
    PatternRecord damaged = pattern;
    damaged.length = 200;
    const std::string text = writePatternText(damaged);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 64);
}

TEST(PatternText, RoundTripKeepsEveryPitchAndFlag) {
    PatternRecord pattern = PatternRecord::fresh();
    pattern.length = 64;
    for (int i = 0; i < 64; ++i) {
        const auto flags = static_cast<std::uint8_t>((i * 5) & 0x1f);
        pattern.steps[i] = {static_cast<std::uint8_t>(i % 13), flags};
    }
    const std::string text = writePatternText(pattern);

    PatternRecord imported = PatternRecord::fresh();
    EXPECT_EQ(readPatternText(imported, text), 64);
    EXPECT_EQ(imported.length, 64);
    EXPECT_EQ(writePatternText(imported), text);
    for (int i = 0; i < 64; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(imported.stepSemitones(i), pattern.stepSemitones(i));
        const std::uint8_t kept = StepFlags::gate | StepFlags::slide | StepFlags::accent;
        EXPECT_EQ(imported.steps[i].flags & kept, pattern.steps[i].flags & kept);
    }
}

TEST(PatternText, NotesAboveTwelveKeepTheirOctave) {
    using namespace StepFlags;
    // Every note a pattern may hold, plain and with either octave flag: export then import
    // plays the same pitch wherever a line can say it (an octave below the base up to the
    // upper C two octaves above), and the same note name an octave within it elsewhere.
    for (int note = 0; note <= 35; ++note) {
        for (std::uint8_t octave : {std::uint8_t{0}, up, down}) {
            const PatternRecord pattern =
                patternOf({{static_cast<std::uint8_t>(note), std::uint8_t(gate | octave)}});
            PatternRecord imported = PatternRecord::fresh();
            readPatternText(imported, writePatternText(pattern));
            const int played = pattern.stepSemitones(0);
            const int back = imported.stepSemitones(0);
            SCOPED_TRACE(testing::Message() << note << " " << int(octave));
            if (played >= -12 && played <= 24)
                EXPECT_EQ(back, played);
            else
                EXPECT_EQ((back - played) % 12, 0);
        }
    }
    EXPECT_EQ(writePatternText(patternOf({{19, gate}, {24, 0}, {14, down}})),
              "g-4 1 0 0\r\nc-5 0 0 0\r\nd-3 0 0 0\r\n");
}

TEST(PatternText, NoteTwelveWithoutOctaveComesBackAsTheSamePitch) {
    PatternRecord imported = PatternRecord::fresh();
    readPatternText(imported, writePatternText(patternOf({{12, StepFlags::gate}})));
    EXPECT_EQ(imported.steps[0].note, 0);
    EXPECT_EQ(imported.steps[0].flags, StepFlags::gate | StepFlags::up);
    EXPECT_EQ(imported.stepSemitones(0), 12);
}

TEST(PatternText, ReadsLooseSpacingAndKeepsWhatItDoesNotSet) {
    PatternRecord pattern = PatternRecord::fresh();
    pattern.patternFlags = PatternRecord::tripletFlag;
    pattern.prescale = 2;
    pattern.steps[3] = {9, StepFlags::tie};
    pattern.steps[0].flags = StepFlags::tie;

    // Tabs, runs of blanks, blank lines, no final line end; "C-" is no note name, so that line
    // keeps the note of the line before; any odd character code counts as set.
    const std::string text = "f#3\t1   0 1\n\n\n  \r\nC-4 0 1 0\r\nb-2 3 2 q";
    EXPECT_EQ(readPatternText(pattern, text), 3);
    EXPECT_EQ(pattern.length, 3);
    EXPECT_EQ(pattern.steps[0].note, 6);
    EXPECT_EQ(pattern.steps[0].flags, StepFlags::gate | StepFlags::accent);
    EXPECT_EQ(pattern.steps[1].note, 6);
    EXPECT_EQ(pattern.steps[1].flags, StepFlags::up | StepFlags::slide);
    EXPECT_EQ(pattern.steps[2].note, 11);
    EXPECT_EQ(pattern.steps[2].flags, StepFlags::down | StepFlags::gate | StepFlags::accent);
    EXPECT_EQ(pattern.steps[3].note, 9);
    EXPECT_EQ(pattern.steps[3].flags, StepFlags::tie);
    EXPECT_TRUE(pattern.triplet());
    EXPECT_EQ(pattern.prescale, 2);
}

TEST(PatternText, LineCountBoundsTheLength) {
    std::string seventy;
    for (int i = 0; i < 70; ++i)
        seventy += std::string(noteName(i)) + (i < 64 ? "3" : "4") + " 1 0 0\n";
    PatternRecord pattern = PatternRecord::fresh();
    EXPECT_EQ(readPatternText(pattern, seventy), 70);
    EXPECT_EQ(pattern.length, 64);
    EXPECT_EQ(pattern.steps[63].note, 63 % 12);
    EXPECT_EQ(pattern.steps[63].flags, StepFlags::gate);

    PatternRecord untouched = PatternRecord::fresh();
    untouched.length = 16;
    untouched.steps[0] = {5, StepFlags::gate};
    for (const char* nothing : {"", "\n\n", "c-3 1 0"}) {
        PatternRecord copy = untouched;
        EXPECT_EQ(readPatternText(copy, nothing), 0);
        EXPECT_EQ(copy.length, 1);
        EXPECT_EQ(copy.steps[0].note, 5);
        EXPECT_EQ(copy.steps[0].flags, StepFlags::gate);
    }

    // A broken line ends the import; the lines before it are kept.
    PatternRecord partial = PatternRecord::fresh();
    EXPECT_EQ(readPatternText(partial, "\r\n d-3 1 0 0\ne-3 1 0 0\nf-3 1\n"), 2);
    EXPECT_EQ(partial.length, 2);
    EXPECT_EQ(partial.steps[0].note, 2);
}

TEST(PatternText, FilesRoundTripByteForByte) {
    const std::string path = temporaryPath("treskpro-exchange-test.pat");
    using namespace StepFlags;
    const PatternRecord pattern =
        patternOf({{3, gate | accent}, {12, down | gate}, {0, up | down | slide}});
    ASSERT_TRUE(exportPatternFile(pattern, path));
    PatternRecord imported = PatternRecord::fresh();
    ASSERT_TRUE(importPatternFile(imported, path));
    const std::string second = temporaryPath("treskpro-exchange-test-2.pat");
    ASSERT_TRUE(exportPatternFile(imported, second));
    EXPECT_EQ(readWholeFile(path), readWholeFile(second));
    std::remove(path.c_str());
    std::remove(second.c_str());

    PatternRecord unchanged = pattern;
    EXPECT_FALSE(importPatternFile(unchanged, temporaryPath("treskpro-no-such-file.pat")));
    EXPECT_EQ(unchanged.length, 3);
}

// --- Song files ----------------------------------------------------------------------------

std::string bigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string chunk(const std::string& identifier, const std::string& data) {
    std::string bytes = identifier + bigEndian(static_cast<std::uint32_t>(data.size())) + data;
    if (data.size() % 2 != 0)
        bytes += '\0';
    return bytes;
}

std::string catChunk(const std::string& children) {
    return chunk("CAT ", "RB38" + children);
}

constexpr std::size_t unitSize = 1097;

// The data of one unit: knobs from `base`, pattern k of length k % 17, step j of pattern k with
// note (base + k + j) % 13 and the flags `flagsOf(k, j)`.
std::string unitData(int base, std::uint8_t (*flagsOf)(int, int)) {
    std::string data(unitSize, '\0');
    data[1] = static_cast<char>(base + 3);
    for (int k = 0; k < 6; ++k)
        data[static_cast<std::size_t>(2 + k)] = static_cast<char>(base + 10 * k);
    for (int k = 0; k < 32; ++k) {
        const std::size_t start = 10 + 34 * static_cast<std::size_t>(k);
        data[start] = static_cast<char>(k % 17);
        for (int j = 0; j < 16; ++j) {
            data[start + 1 + 2 * static_cast<std::size_t>(j)] =
                static_cast<char>((base + k + j) % 13);
            data[start + 2 + 2 * static_cast<std::size_t>(j)] = static_cast<char>(flagsOf(k, j));
        }
    }
    return data;
}

std::uint8_t cyclingFlags(int k, int j) {
    return static_cast<std::uint8_t>((k + j) % 32);
}

TEST(SongFile, FindsUnitsInNestedCatChunksPastOddSizedChunks) {
    const std::string bytes =
        catChunk(chunk("HEAD", "abc") + chunk("303 ", unitData(1, cyclingFlags)) +
                 catChunk(chunk("MIX ", "x") + chunk("303 ", unitData(2, cyclingFlags))) +
                 chunk("808 ", std::string(99, '\x10')));
    const RebirthSong song = parseSongBytes(bytes);
    ASSERT_EQ(song.unitCount, 2);
    for (int s = 0; s < 2; ++s) {
        const SongUnit& unit = song.units[static_cast<std::size_t>(s)];
        const int base = s + 1;
        EXPECT_TRUE(unit.hasSettings);
        EXPECT_EQ(unit.selectedPattern, base + 3);
        EXPECT_EQ(unit.knobs[5], base + 50);
        EXPECT_EQ(unit.patternsPresent, 32);
        EXPECT_EQ(unit.patterns[31].length, 31 % 17);
        EXPECT_EQ(unit.patterns[31].steps[15].note, (base + 31 + 15) % 13);
        EXPECT_EQ(unit.patterns[31].steps[15].flags, cyclingFlags(31, 15));
    }
}

TEST(SongFile, StepFlagsBecomePatternFlags) {
    EXPECT_EQ(stepFlagsFromSong(0x10), 0);
    EXPECT_EQ(stepFlagsFromSong(0x05), StepFlags::gate | StepFlags::slide | StepFlags::up);
    EXPECT_EQ(stepFlagsFromSong(0x1a), StepFlags::accent | StepFlags::down);
    EXPECT_EQ(stepFlagsFromSong(0xe0), StepFlags::gate);
}

TEST(SongFile, DamagedFilesYieldOnlyWhatTheyHold) {
    const std::string unit = unitData(0, cyclingFlags);

    // Cut inside the first pattern's steps: the settings are there, no whole pattern.
    const std::string cut = chunk("303 ", unit).substr(0, 8 + 30);
    RebirthSong song = parseSongBytes(cut);
    ASSERT_EQ(song.unitCount, 1);
    EXPECT_TRUE(song.units[0].hasSettings);
    EXPECT_EQ(song.units[0].patternsPresent, 0);

    // Cut after five patterns, the chunk still claiming all of them, inside a CAT claiming 4 GB.
    const std::string truncated = "CAT " + bigEndian(0xffffffffu) + "RB38" +
                                  chunk("303 ", unit).substr(0, 8 + 10 + 34 * 5 + 7);
    song = parseSongBytes(truncated);
    ASSERT_EQ(song.unitCount, 1);
    EXPECT_EQ(song.units[0].patternsPresent, 5);
    EXPECT_EQ(song.units[0].patterns[4].steps[15].flags, cyclingFlags(4, 15));

    // Too short for the settings; headers cut short; sizes that would wrap an offset.
    song = parseSongBytes(chunk("303 ", "\x01\x02\x03"));
    ASSERT_EQ(song.unitCount, 1);
    EXPECT_FALSE(song.units[0].hasSettings);
    EXPECT_EQ(parseSongBytes(std::string("303 \0\0", 6)).unitCount, 0);
    EXPECT_EQ(parseSongBytes("CAT " + bigEndian(2) + "RB").unitCount, 0);
    EXPECT_EQ(parseSongBytes("JUNK" + bigEndian(0xfffffffeu) + chunk("303 ", unit)).unitCount, 0);
    EXPECT_EQ(parseSongBytes(std::string()).unitCount, 0);

    // The file wrapper reads the same way; a missing file reads nothing.
    const std::string path = temporaryPath("treskpro-exchange-test.rbs");
    ASSERT_TRUE(writeFileSafely(path, truncated));
    song = RebirthSong{};
    EXPECT_EQ(readSongFile(path, song), 1);
    EXPECT_EQ(song.units[0].patternsPresent, 5);
    std::remove(path.c_str());
    EXPECT_EQ(readSongFile(temporaryPath("treskpro-no-such-song.rbs"), song), 0);
}

TEST(SongFile, AbsurdStructuresAreBounded) {
    const std::string unit = unitData(0, cyclingFlags);

    // More units than the patch has room for.
    std::string many;
    for (int k = 0; k < 5; ++k)
        many += chunk("303 ", unitData(k, cyclingFlags));
    RebirthSong song = parseSongBytes(catChunk(many));
    EXPECT_EQ(song.unitCount, 2);
    EXPECT_EQ(song.units[1].selectedPattern, 1 + 3);

    // Nesting far deeper than any song: a deep unit is skipped, the file still reads.
    std::string deep = chunk("303 ", unit);
    for (int k = 0; k < 1000; ++k)
        deep = catChunk(deep);
    EXPECT_EQ(parseSongBytes(deep + chunk("303 ", unit)).unitCount, 1);

    // A unit far longer than its layout; zero-sized chunks in between.
    song = parseSongBytes(chunk("ZERO", "") + chunk("303 ", unit + std::string(5000, '\x7f')) +
                          chunk("303 ", ""));
    EXPECT_EQ(song.unitCount, 2);
    EXPECT_EQ(song.units[0].patternsPresent, 32);
    EXPECT_EQ(song.units[1].patternsPresent, 0);
}

// --- Applying a song -----------------------------------------------------------------------

std::uint8_t restOnOddSteps(int, int j) {
    return j % 2 != 0 ? SongStepFlags::rest : SongStepFlags::slide | SongStepFlags::up;
}

TEST(SongImport, TwoUnitsFillTheFirstSixtyFourPatterns) {
    std::string unitA = unitData(0, restOnOddSteps);
    unitA[2] = '\x7f';
    unitA[3] = '\xff'; // beyond the knob's range
    unitA[1] = '\xc8'; // pattern 200
    const std::string unitB = unitData(5, restOnOddSteps);
    const RebirthSong song = parseSongBytes(catChunk(chunk("303 ", unitA) + chunk("303 ", unitB)));

    TreskproPatch patch;
    patch.patterns[0].patternFlags = PatternRecord::tripletFlag;
    patch.patterns[0].prescale = 3;
    patch.patterns[64].steps[0] = {9, StepFlags::gate};
    const SongSettings settings = applySongToPatch(song, patch, false);

    ASSERT_TRUE(settings.present);
    EXPECT_EQ(settings.changes[0].parameter, Parameter::MasterTuning);
    EXPECT_FLOAT_EQ(settings.changes[0].value, 1.0f);
    EXPECT_FLOAT_EQ(settings.changes[1].value, 1.0f);
    EXPECT_EQ(settings.changes[4].parameter, Parameter::VcfDecay);
    EXPECT_FLOAT_EQ(settings.changes[4].value, 40.0f / 127.0f);
    EXPECT_EQ(settings.changes[5].parameter, Parameter::AccentAmount);
    // Sent in order, the knobs leave each of the six parameters at its own knob's value.
    TreskproPatch sent;
    for (const ParameterChange& change : settings.changes)
        sent.setParameter(change.parameter, change.value);
    EXPECT_FLOAT_EQ(sent.getParameter(Parameter::MasterTuning), 1.0f);
    EXPECT_FLOAT_EQ(sent.getParameter(Parameter::FilterResonance), 20.0f / 127.0f);
    EXPECT_FLOAT_EQ(sent.getParameter(Parameter::EnvelopeMod), 30.0f / 127.0f);
    EXPECT_FLOAT_EQ(sent.getParameter(Parameter::AccentAmount), 50.0f / 127.0f);
    EXPECT_EQ(settings.pendingPattern, 127);
    EXPECT_EQ(patch.currentPatternIndex(), 127);

    // Pattern k of the second unit lands in slot 32 + k.
    const PatternRecord& slot33 = patch.patterns[33];
    EXPECT_EQ(slot33.length, 1);
    EXPECT_EQ(slot33.steps[0].note, (5 + 1) % 13);
    EXPECT_EQ(slot33.steps[0].flags, StepFlags::gate | StepFlags::slide | StepFlags::up);
    EXPECT_EQ(slot33.steps[1].flags, 0);
    EXPECT_EQ(patch.patterns[16].length, 16);
    EXPECT_EQ(patch.patterns[17].length, 1); // stored as 0
    // Only the length and the steps come from the song: the slot keeps its rate.
    EXPECT_EQ(patch.patterns[0].length, 1);
    EXPECT_TRUE(patch.patterns[0].triplet());
    EXPECT_EQ(patch.patterns[0].prescale, 3);
    EXPECT_EQ(patch.patterns[64].steps[0].note, 9);
}

TEST(SongImport, WhatTheSongLacksStaysAsItWas) {
    TreskproPatch patch;
    patch.setState(State::CurrentPattern, 9);
    patch.patterns[40].steps[2] = {4, StepFlags::accent};

    // Held pattern changes keep the current pattern; one unit leaves slots 32..63 alone.
    std::string unit = unitData(0, cyclingFlags);
    unit[10] = '\x50'; // a length of 80 in a 16-step pattern
    const SongSettings settings =
        applySongToPatch(parseSongBytes(chunk("303 ", unit)), patch, true);
    EXPECT_EQ(settings.pendingPattern, 3);
    EXPECT_EQ(patch.currentPatternIndex(), 9);
    EXPECT_EQ(patch.patterns[0].length, 16);
    EXPECT_EQ(patch.patterns[40].steps[2].note, 4);
    EXPECT_EQ(patch.patterns[40].steps[2].flags, StepFlags::accent);

    // A song without units changes nothing and asks for nothing.
    TreskproPatch untouched;
    EXPECT_FALSE(applySongToPatch(parseSongBytes(chunk("808 ", "abcd")), untouched, false).present);
    EXPECT_EQ(untouched.patterns[0].length, 16);
    EXPECT_EQ(untouched.patterns[0].steps[0].flags, 0);
}

} // namespace
} // namespace treskpro
