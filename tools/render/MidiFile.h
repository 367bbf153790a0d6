// Standard MIDI files (type 0 and 1) read into one time-ordered list of channel messages and a
// tempo map. The file is outside data: every length is checked against the bytes that remain,
// variable-length numbers are cut off after four bytes, and a damaged file is refused with a
// reason rather than half read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace treskpro {

class MidiFile {
public:
    // One channel message (status 0x80..0xEF); data bytes are 7-bit.
    struct Event {
        std::uint64_t tick;
        std::uint8_t status;
        std::uint8_t data1;
        std::uint8_t data2;
    };

    // From `tick` on, a quarter note lasts `microsecondsPerQuarter`.
    struct TempoChange {
        std::uint64_t tick;
        std::uint32_t microsecondsPerQuarter;
        double seconds; // the time of `tick`, from the changes before it
    };

    static constexpr std::uint32_t defaultMicrosecondsPerQuarter = 500000; // 120 BPM
    static constexpr std::size_t largestFile = 64u << 20;

    // Parses a whole file image. On failure `error` says why and the object is left empty.
    bool parse(std::span<const std::uint8_t> bytes, std::string& error);

    // Reads and parses the file at `path`.
    bool load(const std::string& path, std::string& error);

    int format() const { return fileFormat; }
    int trackCount() const { return tracks; }
    int ticksPerQuarter() const { return division; }

    // Every channel message of every track, by tick; messages at the same tick keep the order of
    // their tracks and, within a track, the file's order.
    const std::vector<Event>& events() const { return messages; }

    // Starts at tick 0 (120 BPM unless the file sets another tempo there).
    const std::vector<TempoChange>& tempoMap() const { return tempos; }
    bool hasTempoEvents() const { return tempoEventsRead; }

    // The time of `tick` in seconds, from the tempo change in force: each segment of the map is
    // converted on its own from its exact start, so no rounding builds up over a long file.
    double secondsAt(std::uint64_t tick) const;

    // The tempo in force at `seconds`, in beats per minute.
    double beatsPerMinuteAt(double seconds) const;

private:
    void clear();

    int fileFormat = 0;
    int tracks = 0;
    int division = 96;
    bool tempoEventsRead = false;
    std::vector<Event> messages;
    std::vector<TempoChange> tempos{{0, defaultMicrosecondsPerQuarter, 0.0}};
};

} // namespace treskpro
