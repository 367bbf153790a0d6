#include "plugin/MidiEventBuffer.h"

#include <algorithm>
#include <cstring>

namespace treskpro {

void MidiEventBuffer::add(const vst::VstEvents* list) {
    if (!list || list->numEvents <= 0)
        return;
    const int taken = std::min<int>(list->numEvents, capacity - count);
    for (int i = 0; i < taken; ++i) {
        const vst::VstEvent* event = list->events[i];
        if (!event)
            continue;
        std::memcpy(&events[static_cast<std::size_t>(count++)], event, sizeof(vst::VstEvent));
    }
    // An insertion sort: stable, so events with equal stamps keep the host's order, and free of
    // the temporary buffer that std::stable_sort would allocate on the audio thread. Hosts
    // deliver their events sorted already, which makes this one pass.
    for (int i = 1; i < count; ++i) {
        const vst::VstEvent event = events[static_cast<std::size_t>(i)];
        int j = i;
        for (; j > 0 && events[static_cast<std::size_t>(j - 1)].deltaFrames > event.deltaFrames;
             --j)
            events[static_cast<std::size_t>(j)] = events[static_cast<std::size_t>(j - 1)];
        events[static_cast<std::size_t>(j)] = event;
    }
}

} // namespace treskpro
