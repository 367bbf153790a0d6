// Host chunks as a damaged project file may hand them back.
#include "plugin/HostChunk.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::TreskproPatch patch;
    std::string path;
    treskpro::readChunk(data, size, patch, path);
    static treskpro::ChunkBuffer buffer;
    treskpro::writeChunk(patch, path, buffer);
    return 0;
}
