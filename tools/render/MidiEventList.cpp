#include "tools/render/MidiEventList.h"

#include <algorithm>
#include <cstddef>

namespace treskpro {

using namespace vst;

// numEvents and reserved take the first two pointer-sized words on both platforms.
static_assert(offsetof(VstEvents, events) == 2 * sizeof(void*));

MidiEventList::MidiEventList(std::size_t capacity)
    : events(capacity), words(2 + std::max<std::size_t>(capacity, 2), nullptr) {
    clear();
}

bool MidiEventList::add(int frame, int status, int data1, int data2) {
    VstEvents* list = record();
    const auto index = static_cast<std::size_t>(list->numEvents);
    if (index >= events.size())
        return false;
    VstMidiEvent& event = events[index];
    event = VstMidiEvent{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = frame;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    words[2 + index] = &event; // events[index] of the record
    ++list->numEvents;
    return true;
}

void MidiEventList::clear() {
    record()->numEvents = 0;
    record()->reserved = 0;
}

} // namespace treskpro
