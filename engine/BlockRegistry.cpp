#include "engine/BlockRegistry.h"

#include <algorithm>

namespace treskpro {

BlockRegistry::Block BlockRegistry::allocate(int factor) const {
    const std::size_t floats = floatsFor(factor);
    Block block(
        static_cast<float*>(::operator new[](floats * sizeof(float), std::align_val_t{alignment})));
    std::fill_n(block.get(), floats, 0.0f);
    return block;
}

bool BlockRegistry::registerBlock(float** owner, int factor) {
    if (count() >= capacity || !owner)
        return false;
    factor = std::max(factor, 1);
    if (entries.empty())
        entries.reserve(64);
    entries.push_back({owner, factor, allocate(factor)});
    *owner = entries.back().block.get();
    return true;
}

void BlockRegistry::setBlockSize(int blockSize) {
    if (blockSize <= 0 || blockSize == size)
        return;
    size = blockSize;
    for (Entry& entry : entries) {
        entry.block = allocate(entry.factor);
        *entry.owner = entry.block.get();
    }
}

void BlockRegistry::clear() noexcept {
    for (Entry& entry : entries)
        std::fill_n(entry.block.get(), floatsFor(entry.factor), 0.0f);
}

} // namespace treskpro
