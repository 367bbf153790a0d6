#include "plugin/MidiEventBuffer.h"

#include <algorithm>
#include <cstring>

namespace treskpro {

void MidiEventBuffer::fill(const vst::VstEvents* list) {
    count = 0;
    if (!list || list->numEvents <= 0)
        return;
    const int taken = std::min<int>(list->numEvents, capacity);
    for (int i = 0; i < taken; ++i) {
        const vst::VstEvent* event = list->events[i];
        if (!event)
            continue;
        std::memcpy(&events[static_cast<std::size_t>(count++)], event, sizeof(vst::VstEvent));
    }
    std::stable_sort(events.begin(), events.begin() + count,
                     [](const vst::VstEvent& a, const vst::VstEvent& b) {
                         return a.deltaFrames < b.deltaFrames;
                     });
}

} // namespace treskpro
