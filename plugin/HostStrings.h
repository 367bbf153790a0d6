// Strings handed to the host or stored in fixed records are always cut to the room they have
// and always terminated: a host buffer is never written past its end.
#pragma once

#include <cstddef>
#include <cstring>

namespace treskpro {

// Copies `source` into `destination` of `capacity` bytes, cut to capacity - 1 characters.
inline void copyString(char* destination, std::size_t capacity, const char* source) {
    if (capacity == 0)
        return;
    const std::size_t length = strnlen(source, capacity - 1);
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

} // namespace treskpro
