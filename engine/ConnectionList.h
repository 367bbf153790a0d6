// The patch cables of a patch: a count and up to 128 (output socket, input socket) pairs. The
// list is part of the patch's byte image (patch files, host chunk), so it stays a plain record.
//
// The editor changes the list on its thread while the audio thread applies it before every
// block, so every word is read and written whole through atomic references.
#pragma once

#include <cstdint>

namespace treskpro {

struct Connection {
    int output; // socket index of the output that feeds the cable
    int input;  // socket index of the input it feeds
};

struct ConnectionList {
    static constexpr int capacity = 128;

    std::int32_t count;
    std::int32_t pairs[capacity][2];

    // The number of pairs that may be read: the stored count bounded to 0..128, since a count
    // read from a file or a chunk may be anything.
    int size() const;

    Connection connection(int k) const;
    void setConnection(int k, Connection connection);
    void setCount(int newCount);

    // Appends a pair; false when the list is full.
    bool append(Connection connection);
    // Removes pair k; later pairs move down one place, keeping their order.
    void remove(int k);

    // The place of the pair (output, input) in the list, or -1.
    int find(Connection connection) const;
};

static_assert(sizeof(ConnectionList) == 1028, "the connection list is a 1028-byte image");

} // namespace treskpro
