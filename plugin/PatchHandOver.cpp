#include "plugin/PatchHandOver.h"

#include <algorithm>

namespace treskpro {

PatchHandOver::PatchHandOver(std::unique_ptr<TreskproPatch> initial) : patch(initial.release()) {}

PatchHandOver::~PatchHandOver() {
    delete patch.load();
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
    blocksFinished.fetch_add(1);
}

void PatchHandOver::replace(std::unique_ptr<TreskproPatch> fresh) {
    TreskproPatch* old = patch.exchange(fresh.release());
    retired.push_back({std::unique_ptr<TreskproPatch>(old), blocksFinished.load()});
    collect();
}

void PatchHandOver::setProcessing(bool running) {
    processing.store(running);
    collect();
}

void PatchHandOver::collect() {
    const std::uint64_t finished = blocksFinished.load();
    const bool running = processing.load();
    const TreskproPatch* announced = inUse.load();
    std::erase_if(retired, [&](const Retired& entry) {
        if (entry.patch.get() == announced)
            return false;
        return !running || finished >= entry.retiredAtBlock + 2;
    });
}

} // namespace treskpro
