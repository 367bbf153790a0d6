// Patch files as a user's disk may hold them: any bytes must load without a fault.
#include "files/PatchFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::TreskproPatch patch;
    treskpro::readPatchText(patch, std::string_view(reinterpret_cast<const char*>(data), size));
    treskpro::writePatchText(patch);
    return 0;
}
