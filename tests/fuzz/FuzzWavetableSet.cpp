// Wavetable data files: a damaged file must be refused, never read past.
#include "engine/WavetableSet.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::WavetableSet set;
    if (set.loadFromMemory(data, size)) {
        for (double period : {0.5, 3.0, 100.0, 1e9})
            set.lookup(0.3, period);
    }
    return 0;
}
