// Freebee pattern files (.pat) as they arrive from other users.
#include "files/PatternExchange.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::PatternRecord pattern = treskpro::PatternRecord::fresh();
    treskpro::readPatternText(pattern, std::string_view(reinterpret_cast<const char*>(data), size));
    treskpro::writePatternText(pattern);
    return 0;
}
