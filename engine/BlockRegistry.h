// Every sample block of the engine (socket buffers, smoother outputs, scratch blocks) comes from
// this registry: sized from the host's block size times a factor (2 for the 2x oscillator
// blocks, 4 for the filter's scratch), aligned to 32 bytes, zeroed, cleared on reset, and
// reallocated when the host announces a new block size. Allocation happens only here, never
// while rendering.
#pragma once

#include <memory>
#include <new>
#include <vector>

namespace treskpro {

class BlockRegistry {
public:
    static constexpr int capacity = 1024;
    static constexpr std::size_t alignment = 32;

    explicit BlockRegistry(int blockSize = 1024) : size(blockSize > 0 ? blockSize : 1) {}

    // Allocates a zeroed block of blockSize x factor floats and points `owner` at it; the owner
    // follows every reallocation. False (owner untouched) when 1024 blocks exist. Not audio
    // thread.
    bool registerBlock(float** owner, int factor = 1);

    // Reallocates every block for a new host block size; owners are updated. Not audio thread.
    void setBlockSize(int blockSize);

    // Zeroes every block (engine reset).
    void clear() noexcept;

    int blockSize() const { return size; }
    int count() const { return static_cast<int>(entries.size()); }

private:
    struct AlignedDelete {
        void operator()(float* block) const {
            ::operator delete[](block, std::align_val_t{alignment});
        }
    };
    using Block = std::unique_ptr<float[], AlignedDelete>;

    struct Entry {
        float** owner;
        int factor;
        Block block;
    };

    Block allocate(int factor) const;
    std::size_t floatsFor(int factor) const { return static_cast<std::size_t>(size) * factor; }

    std::vector<Entry> entries;
    int size;
};

} // namespace treskpro
