#include "plugin/PatchHandOver.h"

#include <algorithm>
#include <thread>

namespace treskpro {

PatchHandOver::PatchHandOver(std::unique_ptr<TreskproPatch> initial) : patch(initial.release()) {}

PatchHandOver::~PatchHandOver() {
    delete patch.load();
}

PatchHandOver::Reader::Reader(const PatchHandOver& handOver)
    : owner(handOver), slot(handOver.epoch.load() & 1u) {
    // Counted before the pointer is loaded: a replacement that swapped the pointer before the
    // load finds nothing to wait for, one that swapped it after waits for this reader.
    owner.readers[slot].fetch_add(1);
    held = owner.patch.load();
}

PatchHandOver::Reader::~Reader() {
    owner.readers[slot].fetch_sub(1);
}

TreskproPatch& PatchHandOver::beginBlock() {
    TreskproPatch* announced = patch.load();
    for (;;) {
        inUse.store(announced);
        // A replacement between the load and the announcement would go unseen: look again.
        TreskproPatch* now = patch.load();
        if (now == announced)
            return *announced;
        announced = now;
    }
}

void PatchHandOver::endBlock() {
    inUse.store(nullptr);
}

void PatchHandOver::waitForReaders(unsigned slot) const {
    while (readers[slot].load() != 0)
        std::this_thread::yield();
}

void PatchHandOver::replace(std::unique_ptr<TreskproPatch> fresh) {
    const std::lock_guard<std::mutex> turn(replacing);
    std::unique_ptr<TreskproPatch> old(patch.exchange(fresh.release()));
    // A reader that can hold the old patch counted itself before the exchange and is still
    // counted in its slot. New readers count in the epoch's slot, so the other slot drains
    // first; after the flip the same holds for the slot that was the epoch's.
    const unsigned previous = epoch.load();
    waitForReaders((previous + 1) & 1u);
    epoch.store(previous + 1);
    waitForReaders(previous & 1u);
    retired.push_back(std::move(old));
    collectLocked();
}

void PatchHandOver::collect() {
    const std::lock_guard<std::mutex> turn(replacing);
    collectLocked();
}

void PatchHandOver::collectLocked() {
    // The audio thread announces a patch before it checks that it is still current, so a
    // retired patch it does not announce now is one it never reaches again.
    const TreskproPatch* announced = inUse.load();
    std::erase_if(retired, [&](const std::unique_ptr<TreskproPatch>& entry) {
        return entry.get() != announced;
    });
}

std::size_t PatchHandOver::retiredCount() const {
    const std::lock_guard<std::mutex> turn(replacing);
    return retired.size();
}

} // namespace treskpro
