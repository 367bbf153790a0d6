// Replacing the current patch while other threads use it, without a lock on any reader.
//
// Two kinds of user reach the current patch while the host's or the editor's thread replaces
// it. The audio thread renders a whole block from one patch: it announces that patch (a hazard
// pointer) for the length of the block and never waits. Every other access is short (one
// parameter, one state, the chunk, a display text) and goes through a Reader, which counts
// itself in one of two slots chosen by an epoch. A replacement swaps the pointer, then waits
// until no reader that could have seen the old patch is left in either slot (flipping the epoch
// between the two waits, so that readers arriving meanwhile count in the slot it is not
// waiting for), and frees the old patch at once unless the audio thread announces it; such a
// patch is retired and freed by the next collect. So no thread reads or writes a freed patch,
// and a reader sees the old patch or the new one, each complete.
#pragma once

#include "files/TreskproPatch.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace treskpro {

class PatchHandOver {
public:
    explicit PatchHandOver(std::unique_ptr<TreskproPatch> initial);
    ~PatchHandOver();

    PatchHandOver(const PatchHandOver&) = delete;
    PatchHandOver& operator=(const PatchHandOver&) = delete;

    // A short access to the current patch from any thread: the patch it holds stays alive
    // until it is destroyed. Never held across a replace on the same thread.
    class Reader {
    public:
        explicit Reader(const PatchHandOver& owner);
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        TreskproPatch& operator*() const { return *held; }
        TreskproPatch* operator->() const { return held; }

    private:
        const PatchHandOver& owner;
        unsigned slot;
        TreskproPatch* held;
    };
    Reader read() const { return Reader(*this); }

    // The current patch without protection, for the thread that replaces patches (the editor's
    // and the host's user-interface thread) and for single-threaded set-up.
    TreskproPatch& current() const { return *patch.load(); }

    // Audio thread, at the start of a block: the patch to render the whole block from.
    TreskproPatch& beginBlock();
    // Audio thread, at the end of a block.
    void endBlock();

    // Makes `fresh` (complete) the current patch and frees or retires the old one. Host or
    // editor thread, never the audio thread; replacements from several threads take turns.
    void replace(std::unique_ptr<TreskproPatch> fresh);

    // Frees the retired patches the audio thread no longer announces. Host or editor thread.
    void collect();

    std::size_t retiredCount() const;

private:
    void waitForReaders(unsigned slot) const;
    void collectLocked();

    std::atomic<TreskproPatch*> patch;
    std::atomic<TreskproPatch*> inUse{nullptr};
    mutable std::atomic<unsigned> epoch{0};
    mutable std::atomic<unsigned> readers[2] = {0, 0};
    mutable std::mutex replacing;
    std::vector<std::unique_ptr<TreskproPatch>> retired; // under `replacing`
};

} // namespace treskpro
