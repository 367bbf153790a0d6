// Standard MIDI files as a user may hand them to treskpro-render: any bytes must be read or
// refused without a fault, and what is read must give finite times in order.
#include "tools/render/MidiFile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::MidiFile file;
    std::string error;
    if (!file.parse(std::span(data, size), error))
        return 0;
    double previous = 0.0;
    for (const treskpro::MidiFile::Event& event : file.events()) {
        const double seconds = file.secondsAt(event.tick);
        if (!std::isfinite(seconds) || seconds < previous)
            std::abort();
        previous = seconds;
        if (!std::isfinite(file.beatsPerMinuteAt(seconds)))
            std::abort();
    }
    return 0;
}
