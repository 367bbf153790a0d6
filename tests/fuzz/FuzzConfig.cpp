// Config.ini as a user may edit it.
#include "files/ConfigSettings.h"
#include "files/TreskproPatch.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::ConfigSettings settings;
    treskpro::TreskproPatch patch;
    treskpro::readConfigText(settings, patch,
                             std::string_view(reinterpret_cast<const char*>(data), size));
    treskpro::writeConfigText(settings, patch);
    return 0;
}
