// Song files (.rbs) with nested chunks: any bytes are read within the file and applied safely.
#include "files/PatternExchange.h"
#include "files/TreskproPatch.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const treskpro::RebirthSong song =
        treskpro::parseSongBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    treskpro::TreskproPatch patch;
    treskpro::applySongToPatch(song, patch, false);
    return 0;
}
