#include "plugin/EditorMailbox.h"

namespace treskpro {

void EditorMailbox::parameterChanged(int index) {
    if (index < 0 || index >= Parameter::count)
        return;
    marks[static_cast<std::size_t>(index / 32)].fetch_or(1u << (index % 32),
                                                         std::memory_order_acq_rel);
}

void EditorMailbox::postSelection(int value, bool bank) {
    const std::uint32_t bits = static_cast<std::uint32_t>(value) & 0x7Fu;
    std::uint32_t old = selection.load(std::memory_order_relaxed);
    std::uint32_t next;
    do {
        if (bank)
            next = (old & (0x7Fu | programPresent)) | (bits << 8) | bankPresent | bankLast;
        else
            next = (old & ((0x7Fu << 8) | bankPresent)) | bits | programPresent;
    } while (!selection.compare_exchange_weak(old, next, std::memory_order_acq_rel,
                                              std::memory_order_relaxed));
}

void EditorMailbox::clear() {
    for (auto& word : marks)
        word.store(0);
    refresh.store(false);
    midi.store(false);
    selection.store(0);
}

} // namespace treskpro
