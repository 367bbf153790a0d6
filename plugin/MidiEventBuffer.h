// The block's MIDI input: byte copies of the first 64 events the host hands over with
// effProcessEvents, sorted by time stamp (events with equal stamps keep the host's order). The
// next processReplacing consumes and empties it. Audio thread only.
//
// Some hosts hand over a block's events in more than one effProcessEvents call. Each call adds
// to what the block already holds, so no note-off of an earlier call is lost.
#pragma once

#include "plugin/VstInterface.h"

#include <array>

namespace treskpro {

class MidiEventBuffer {
public:
    static constexpr int capacity = 64;

    // Adds the host's events (any type) while room lasts and sorts the whole block's events
    // stably by deltaFrames. A null list or a negative count adds nothing.
    void add(const vst::VstEvents* events);

    void clear() { count = 0; }
    int size() const { return count; }
    const vst::VstEvent& operator[](int index) const {
        return events[static_cast<std::size_t>(index)];
    }

private:
    std::array<vst::VstEvent, capacity> events{};
    int count = 0;
};

} // namespace treskpro
