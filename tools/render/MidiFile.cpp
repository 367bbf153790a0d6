#include "tools/render/MidiFile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace treskpro {

namespace {

// A read position within a bounded range of the file; every read checks what remains.
class Reader {
public:
    Reader(const std::uint8_t* start, std::size_t count, std::size_t offsetInFile)
        : bytes(start), size(count), base(offsetInFile) {}

    std::size_t remaining() const { return size - position; }
    bool atEnd() const { return position >= size; }
    std::size_t fileOffset() const { return base + position; }

    bool byte(std::uint8_t& value) {
        if (atEnd())
            return false;
        value = bytes[position++];
        return true;
    }
    bool peek(std::uint8_t& value) const {
        if (atEnd())
            return false;
        value = bytes[position];
        return true;
    }
    bool skip(std::uint64_t count) {
        if (count > remaining())
            return false;
        position += static_cast<std::size_t>(count);
        return true;
    }
    bool bigEndian(int count, std::uint32_t& value) {
        if (remaining() < static_cast<std::size_t>(count))
            return false;
        value = 0;
        for (int i = 0; i < count; ++i)
            value = (value << 8) | bytes[position++];
        return true;
    }
    // A variable-length quantity: seven bits a byte, most significant first, at most four bytes
    // (the format's largest value is 0x0FFFFFFF). False when it runs past the end or is longer.
    bool variableLength(std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b = 0;
            if (!byte(b))
                return false;
            value = (value << 7) | (b & 0x7Fu);
            if (!(b & 0x80u))
                return true;
        }
        return false;
    }
    const std::uint8_t* here() const { return bytes + position; }

private:
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t base;
    std::size_t position = 0;
};

struct PendingTempo {
    std::uint64_t tick;
    std::uint32_t microsecondsPerQuarter;
};

std::string at(int track, std::size_t offset, const std::string& what) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "track %d, byte %zu: ", track, offset);
    return prefix + what;
}

// Reads one track's events into `events` and its tempo changes into `pendingTempos`.
bool parseTrack(Reader track, int trackNumber, std::vector<MidiFile::Event>& events,
                std::vector<PendingTempo>& pendingTempos, std::string& error) {
    std::uint64_t tick = 0;
    std::uint8_t runningStatus = 0;
    while (!track.atEnd()) {
        std::uint32_t delta = 0;
        if (!track.variableLength(delta)) {
            error = at(trackNumber, track.fileOffset(), "broken or overlong delta time");
            return false;
        }
        tick += delta;
        std::uint8_t status = 0;
        if (!track.peek(status)) {
            error = at(trackNumber, track.fileOffset(), "the track ends after a delta time");
            return false;
        }
        if (status & 0x80u) {
            track.skip(1);
        } else if (runningStatus != 0) {
            status = runningStatus;
        } else {
            error = at(trackNumber, track.fileOffset(), "a data byte without a status byte");
            return false;
        }

        if (status < 0xF0) {
            // Running status applies to channel messages only. It is kept across meta and
            // system-exclusive events: a conforming file never relies on either behaviour there,
            // and keeping it reads the files that some sequencers write.
            runningStatus = status;
            const int dataCount = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
            std::uint8_t data[2] = {0, 0};
            for (int i = 0; i < dataCount; ++i) {
                if (!track.byte(data[i])) {
                    error = at(trackNumber, track.fileOffset(), "the track ends inside a message");
                    return false;
                }
                if (data[i] & 0x80u) {
                    error = at(trackNumber, track.fileOffset() - 1,
                               "a status byte where a data byte belongs");
                    return false;
                }
            }
            events.push_back({tick, status, data[0], data[1]});
            continue;
        }

        if (status == 0xFF) {
            std::uint8_t type = 0;
            std::uint32_t length = 0;
            if (!track.byte(type) || !track.variableLength(length) || length > track.remaining()) {
                error = at(trackNumber, track.fileOffset(), "a meta event runs past its track");
                return false;
            }
            if (type == 0x2F)
                return true; // end of track: anything after it is not part of the track
            if (type == 0x51 && length >= 3) {
                const std::uint8_t* value = track.here();
                const std::uint32_t microseconds = (static_cast<std::uint32_t>(value[0]) << 16) |
                                                   (static_cast<std::uint32_t>(value[1]) << 8) |
                                                   value[2];
                if (microseconds > 0) // a zero tempo has no meaning; the previous one stays
                    pendingTempos.push_back({tick, microseconds});
            }
            track.skip(length);
            continue;
        }

        if (status == 0xF0 || status == 0xF7) {
            std::uint32_t length = 0;
            if (!track.variableLength(length) || !track.skip(length)) {
                error = at(trackNumber, track.fileOffset(),
                           "a system-exclusive message runs past its track");
                return false;
            }
            continue;
        }

        char what[80];
        std::snprintf(what, sizeof what, "status 0x%02X does not belong in a MIDI file", status);
        error = at(trackNumber, track.fileOffset() - 1, what);
        return false;
    }
    return true; // a track without its end-of-track event is taken as it is
}

} // namespace

void MidiFile::clear() {
    fileFormat = 0;
    tracks = 0;
    division = 96;
    tempoEventsRead = false;
    messages.clear();
    tempos.assign(1, {0, defaultMicrosecondsPerQuarter, 0.0});
}

bool MidiFile::parse(std::span<const std::uint8_t> bytes, std::string& error) {
    clear();
    Reader file(bytes.data(), bytes.size(), 0);
    std::uint32_t chunkId = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t format = 0;
    std::uint32_t declaredTracks = 0;
    std::uint32_t timeDivision = 0;
    if (!file.bigEndian(4, chunkId) || chunkId != 0x4D546864 /* MThd */) {
        error = "not a standard MIDI file (no MThd header)";
        return false;
    }
    if (!file.bigEndian(4, headerLength) || headerLength < 6 || !file.bigEndian(2, format) ||
        !file.bigEndian(2, declaredTracks) || !file.bigEndian(2, timeDivision) ||
        !file.skip(headerLength - 6)) {
        error = "the MIDI file header is cut short";
        return false;
    }
    if (format > 1) {
        error = "MIDI file type " + std::to_string(format) +
                " is not supported (only type 0 and type 1 files)";
        return false;
    }
    if (timeDivision & 0x8000u) {
        error = "the MIDI file counts time in SMPTE frames; only files whose division is in "
                "ticks per quarter note are supported";
        return false;
    }
    if (timeDivision == 0) {
        error = "the MIDI file's division is 0 ticks per quarter note";
        return false;
    }

    std::vector<PendingTempo> pendingTempos;
    std::vector<Event> events;
    int trackNumber = 0;
    while (file.remaining() >= 8) {
        std::uint32_t length = 0;
        file.bigEndian(4, chunkId);
        file.bigEndian(4, length);
        // A last chunk that claims more than the file holds is read as far as it goes.
        const std::size_t available = std::min<std::size_t>(length, file.remaining());
        if (chunkId == 0x4D54726B /* MTrk */) {
            ++trackNumber;
            if (!parseTrack(Reader(file.here(), available, file.fileOffset()), trackNumber, events,
                            pendingTempos, error)) {
                clear();
                return false;
            }
        }
        file.skip(available);
    }
    if (trackNumber == 0) {
        error = "the MIDI file holds no track";
        return false;
    }

    // Tracks were read one after another, so a stable sort by tick keeps each tick's messages in
    // track order and, within a track, in file order.
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    std::stable_sort(pendingTempos.begin(), pendingTempos.end(),
                     [](const PendingTempo& a, const PendingTempo& b) { return a.tick < b.tick; });
    for (const PendingTempo& change : pendingTempos) {
        if (change.tick == tempos.back().tick) {
            tempos.back().microsecondsPerQuarter = change.microsecondsPerQuarter;
            continue;
        }
        const TempoChange& previous = tempos.back();
        const double seconds = previous.seconds + static_cast<double>(change.tick - previous.tick) *
                                                      previous.microsecondsPerQuarter /
                                                      (1e6 * timeDivision);
        tempos.push_back({change.tick, change.microsecondsPerQuarter, seconds});
    }

    fileFormat = static_cast<int>(format);
    tracks = trackNumber;
    (void)declaredTracks; // the chunks present count, whatever the header announced
    division = static_cast<int>(timeDivision);
    tempoEventsRead = !pendingTempos.empty();
    messages = std::move(events);
    return true;
}

bool MidiFile::load(const std::string& path, std::string& error) {
    clear();
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        error = "cannot open " + path;
        return false;
    }
    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > largestFile) {
        error = path + " is not a MIDI file of a size this program reads";
        return false;
    }
    stream.seekg(0, std::ios::beg);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    const auto count = static_cast<std::streamsize>(bytes.size()); // at most largestFile
    stream.read(reinterpret_cast<char*>(bytes.data()), count);
    if (stream.gcount() != count) {
        error = "cannot read " + path;
        return false;
    }
    if (!parse(bytes, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

double MidiFile::secondsAt(std::uint64_t tick) const {
    auto after = std::upper_bound(tempos.begin(), tempos.end(), tick,
                                  [](std::uint64_t t, const TempoChange& c) { return t < c.tick; });
    const TempoChange& change = *std::prev(after); // the map always starts at tick 0
    return change.seconds + static_cast<double>(tick - change.tick) *
                                change.microsecondsPerQuarter / (1e6 * division);
}

double MidiFile::beatsPerMinuteAt(double seconds) const {
    auto after = std::upper_bound(tempos.begin(), tempos.end(), seconds,
                                  [](double s, const TempoChange& c) { return s < c.seconds; });
    const TempoChange& change = after == tempos.begin() ? tempos.front() : *std::prev(after);
    return 60e6 / change.microsecondsPerQuarter;
}

} // namespace treskpro
