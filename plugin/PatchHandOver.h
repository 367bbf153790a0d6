// Replacing the current patch while the audio thread renders from it, without a lock.
//
// The audio thread announces the patch it renders a block from (a hazard pointer) and the
// block boundaries it passes. A replaced patch is retired, not freed: it is freed once the
// audio thread is not announcing it and has passed two block boundaries since (so automation
// that the host sends between blocks has let go of it too), or at once while processing is
// suspended. Whatever is still retired is freed with the object.
#pragma once

#include "files/TreskproPatch.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace treskpro {

class PatchHandOver {
public:
    explicit PatchHandOver(std::unique_ptr<TreskproPatch> initial);
    ~PatchHandOver();

    PatchHandOver(const PatchHandOver&) = delete;
    PatchHandOver& operator=(const PatchHandOver&) = delete;

    // The current patch for any thread but the audio thread's block (which uses beginBlock).
    TreskproPatch& current() const { return *patch.load(std::memory_order_acquire); }

    // Audio thread, at the start of a block: the patch to render the whole block from.
    TreskproPatch& beginBlock();
    // Audio thread, at the end of a block.
    void endBlock();

    // Makes `fresh` (complete) the current patch and retires the old one. Editor or host thread.
    void replace(std::unique_ptr<TreskproPatch> fresh);

    // The host suspended or resumed processing: while suspended no block runs.
    void setProcessing(bool running);

    // Frees the retired patches the audio thread can no longer reach. Editor or host thread.
    void collect();

    std::size_t retiredCount() const { return retired.size(); }

private:
    struct Retired {
        std::unique_ptr<TreskproPatch> patch;
        std::uint64_t retiredAtBlock;
    };

    std::atomic<TreskproPatch*> patch;
    std::atomic<TreskproPatch*> inUse{nullptr};
    std::atomic<std::uint64_t> blocksFinished{0};
    std::atomic<bool> processing{false};
    std::vector<Retired> retired; // editor or host thread only
};

} // namespace treskpro
