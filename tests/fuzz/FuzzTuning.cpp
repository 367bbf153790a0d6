// .tun and Scala .scl tunings: both readers on the same bytes.
#include "files/Tuning.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    treskpro::NoteTable table{};
    treskpro::readTunText(table, text);
    treskpro::ScalaScale scale;
    if (treskpro::readScalaText(scale, text))
        table = treskpro::tableFromScale(scale);
    return 0;
}
