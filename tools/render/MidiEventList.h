// The VstEvents record a host hands to effProcessEvents, with room for as many MIDI events as
// it was made for: the interface declares the record with two event pointers and lets the host
// lay out as many as it delivers. Made once, filled block by block without allocating.
#pragma once

#include "plugin/VstInterface.h"

#include <cstddef>
#include <vector>

namespace treskpro {

class MidiEventList {
public:
    explicit MidiEventList(std::size_t capacity = 64);

    // Appends a three-byte message at `frame` of the block; false (nothing added) when full.
    bool add(int frame, int status, int data1, int data2);
    void clear();

    int size() const { return record()->numEvents; }
    bool empty() const { return size() == 0; }

    // The record to pass to effProcessEvents.
    vst::VstEvents* record() { return reinterpret_cast<vst::VstEvents*>(words.data()); }
    const vst::VstEvents* record() const {
        return reinterpret_cast<const vst::VstEvents*>(words.data());
    }

private:
    std::vector<vst::VstMidiEvent> events;
    std::vector<void*> words; // numEvents and reserved, then the event pointers
};

} // namespace treskpro
