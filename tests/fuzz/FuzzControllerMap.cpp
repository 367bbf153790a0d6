// MidiCC.ini and .map files.
#include "files/ControllerMap.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::ControllerMap map;
    map.readText(std::string_view(reinterpret_cast<const char*>(data), size));
    map.writeText();
    return 0;
}
