// Standard MIDI files as other programs write them, and as damaged files may hold them.
#include "tools/render/MidiFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace treskpro {
namespace {

std::string bigEndian(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i)
        text += static_cast<char>((value >> (8 * i)) & 0xFF);
    return text;
}

std::string variableLength(std::uint32_t value) {
    std::string text(1, static_cast<char>(value & 0x7F));
    while (value >>= 7)
        text.insert(text.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    return text;
}

std::string header(int format, int tracks, int division) {
    return "MThd" + bigEndian(6, 4) + bigEndian(static_cast<std::uint32_t>(format), 2) +
           bigEndian(static_cast<std::uint32_t>(tracks), 2) +
           bigEndian(static_cast<std::uint32_t>(division), 2);
}

std::string track(const std::string& events) {
    return "MTrk" + bigEndian(static_cast<std::uint32_t>(events.size()), 4) + events;
}

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values)
        text += static_cast<char>(value);
    return text;
}

std::string tempo(std::uint32_t delta, std::uint32_t microseconds) {
    return variableLength(delta) + bytes({0xFF, 0x51, 0x03}) + bigEndian(microseconds, 3);
}

const std::string endOfTrack = bytes({0x00, 0xFF, 0x2F, 0x00});

bool parse(MidiFile& file, const std::string& data, std::string& error) {
    return file.parse(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()),
                      error);
}

void expectEvent(const MidiFile::Event& event, std::uint64_t tick, int status, int data1,
                 int data2) {
    EXPECT_EQ(event.tick, tick);
    EXPECT_EQ(event.status, status);
    EXPECT_EQ(event.data1, data1);
    EXPECT_EQ(event.data2, data2);
}

TEST(MidiFile, TypeZeroWithRunningStatus) {
    // Note on, then two messages under running status (the second a note on with velocity 0),
    // a program change of one data byte, and a system-exclusive message in between.
    const std::string events = bytes({0x00, 0x91, 60, 100, 0x60, 64, 90, 0x30, 60, 0}) +
                               bytes({0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7}) +
                               bytes({0x10, 64, 0, 0x00, 0xC2, 5, 0x00, 0xE1, 0x00, 0x40}) +
                               endOfTrack + bytes({0x00, 0x90, 1, 1}); // after the end: not read
    MidiFile file;
    std::string error;
    ASSERT_TRUE(parse(file, header(0, 1, 96) + track(events), error)) << error;
    EXPECT_EQ(file.format(), 0);
    EXPECT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.ticksPerQuarter(), 96);
    ASSERT_EQ(file.events().size(), 6u);
    expectEvent(file.events()[0], 0, 0x91, 60, 100);
    expectEvent(file.events()[1], 0x60, 0x91, 64, 90);
    expectEvent(file.events()[2], 0x90, 0x91, 60, 0);
    // Running status carries over the system-exclusive message.
    expectEvent(file.events()[3], 0xA0, 0x91, 64, 0);
    expectEvent(file.events()[4], 0xA0, 0xC2, 5, 0);
    expectEvent(file.events()[5], 0xA0, 0xE1, 0x00, 0x40);
    EXPECT_FALSE(file.hasTempoEvents());
    EXPECT_DOUBLE_EQ(file.secondsAt(96), 0.5); // 120 BPM when the file sets no tempo
}

TEST(MidiFile, TypeOneTracksMergeByTickAndTheTempoMapIsShared) {
    // The tempo sits in the last track; notes in two tracks meet at tick 192.
    const std::string notesA = bytes({0x00, 0x90, 36, 100, 0x81, 0x40, 0x80, 36, 0}) + endOfTrack;
    const std::string notesB = bytes({0x81, 0x40, 0x90, 48, 80}) + endOfTrack;
    const std::string tempoTrack = tempo(0, 250000) + tempo(192, 1000000) + endOfTrack;
    MidiFile file;
    std::string error;
    ASSERT_TRUE(parse(file,
                      header(1, 3, 96) + track(notesA) + "JUNK" + bigEndian(3, 4) + "abc" +
                          track(notesB) + track(tempoTrack),
                      error))
        << error;
    EXPECT_EQ(file.format(), 1);
    EXPECT_EQ(file.trackCount(), 3); // the unknown chunk is skipped
    ASSERT_EQ(file.events().size(), 3u);
    expectEvent(file.events()[0], 0, 0x90, 36, 100);
    expectEvent(file.events()[1], 192, 0x80, 36, 0); // first track first at the same tick
    expectEvent(file.events()[2], 192, 0x90, 48, 80);

    EXPECT_TRUE(file.hasTempoEvents());
    ASSERT_EQ(file.tempoMap().size(), 2u);           // the change at tick 0 replaces the default
    EXPECT_DOUBLE_EQ(file.secondsAt(96), 0.25);      // 240 BPM
    EXPECT_DOUBLE_EQ(file.secondsAt(192), 0.5);      // the change takes effect here
    EXPECT_DOUBLE_EQ(file.secondsAt(192 + 48), 1.0); // then 60 BPM
    EXPECT_DOUBLE_EQ(file.beatsPerMinuteAt(0.1), 240.0);
    EXPECT_DOUBLE_EQ(file.beatsPerMinuteAt(0.5), 60.0);
}

TEST(MidiFile, TicksMapToFramesWithoutDrift) {
    // Tempos whose quarter notes are no whole number of frames, changed every 7 ticks over a
    // long file: the time of each tick must be the exact sum of its segments, rounded once.
    const int division = 480;
    const std::uint32_t tempos[] = {461538, 333333, 517241, 600001};
    std::string events;
    const int changes = 4000;
    for (int i = 0; i < changes; ++i)
        events += tempo(i == 0 ? 0 : 7, tempos[i % 4]);
    events += variableLength(5) + bytes({0x90, 40, 100}) + endOfTrack;
    MidiFile file;
    std::string error;
    ASSERT_TRUE(parse(file, header(0, 1, division) + track(events), error)) << error;
    ASSERT_EQ(file.events().size(), 1u);

    // Exact: frames = sum(ticks x microseconds) x rate / (1e6 x division), in integers.
    const std::uint64_t rate = 44100;
    std::uint64_t tickMicroseconds = 0;
    for (int i = 0; i < changes - 1; ++i)
        tickMicroseconds += 7ull * tempos[i % 4];
    tickMicroseconds += 5ull * tempos[(changes - 1) % 4];
    const double exactFrames =
        static_cast<double>(tickMicroseconds * rate) / (1e6 * static_cast<double>(division));
    const std::uint64_t lastTick = 7ull * (changes - 1) + 5;
    EXPECT_EQ(file.events()[0].tick, lastTick);
    EXPECT_NEAR(file.secondsAt(lastTick) * rate, exactFrames, 1e-4);
    EXPECT_EQ(std::round(file.secondsAt(lastTick) * rate), std::round(exactFrames));
}

TEST(MidiFile, DamagedFilesAreRefusedWithAReason) {
    struct Case {
        const char* what;
        std::string data;
        const char* reason;
    };
    const std::string note = bytes({0x00, 0x90, 60, 100});
    const std::vector<Case> cases = {
        {"empty", "", "no MThd"},
        {"other format", "RIFF....WAVE", "no MThd"},
        {"short header", header(0, 1, 96).substr(0, 11), "cut short"},
        {"header length below six", "MThd" + bigEndian(4, 4) + bytes({0, 0, 0, 1}), "cut short"},
        {"type 2", header(2, 1, 96) + track(note), "type 2"},
        {"SMPTE division", header(0, 1, 0xE728) + track(note), "SMPTE"},
        {"zero division", header(0, 1, 0) + track(note), "division is 0"},
        {"no track", header(0, 1, 96), "no track"},
        {"five-byte delta", header(0, 1, 96) + track(bytes({0x81, 0x80, 0x80, 0x80, 0x00})),
         "delta"},
        {"delta at the end", header(0, 1, 96) + track(bytes({0x81})), "delta"},
        {"data byte first", header(0, 1, 96) + track(bytes({0x00, 60, 100})), "without a status"},
        {"message cut", header(0, 1, 96) + track(bytes({0x00, 0x90, 60})), "inside a message"},
        {"status as data", header(0, 1, 96) + track(bytes({0x00, 0x90, 60, 0x90})),
         "status byte where a data byte"},
        {"meta too long", header(0, 1, 96) + track(bytes({0x00, 0xFF, 0x01, 0x7F, 'a'})),
         "meta event"},
        {"meta length overlong",
         header(0, 1, 96) + track(bytes({0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F})),
         "meta event"},
        {"sysex too long", header(0, 1, 96) + track(bytes({0x00, 0xF0, 0x10, 0x01})),
         "system-exclusive"},
        {"real-time status", header(0, 1, 96) + track(bytes({0x00, 0xF8})), "0xF8"},
    };
    for (const Case& c : cases) {
        MidiFile file;
        std::string error;
        EXPECT_FALSE(parse(file, c.data, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(file.events().empty()) << c.what;
        EXPECT_EQ(file.tempoMap().size(), 1u) << c.what;
    }
}

TEST(MidiFile, TruncatedOrUnterminatedTracksKeepWhatTheyHold) {
    // A last track whose length claims more than the file holds, without an end-of-track event,
    // and a zero tempo, which has no meaning and is passed over.
    const std::string events = tempo(0, 0) + bytes({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0});
    const std::string data = header(0, 1, 96) + "MTrk" + bigEndian(1000, 4) + events;
    MidiFile file;
    std::string error;
    ASSERT_TRUE(parse(file, data, error)) << error;
    ASSERT_EQ(file.events().size(), 2u);
    expectEvent(file.events()[1], 0x60, 0x80, 60, 0);
    EXPECT_FALSE(file.hasTempoEvents());
    EXPECT_DOUBLE_EQ(file.secondsAt(96), 0.5);

    EXPECT_FALSE(file.load("no such file.mid", error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

} // namespace
} // namespace treskpro
