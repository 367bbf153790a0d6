// Words and floats shared between the editor thread and the audio thread are read and written
// whole, without locks. These helpers make each such access an atomic one in C++ terms, so the
// code is race-free while the stored byte images stay plain records.
#pragma once

#include <atomic>

namespace treskpro {

template <typename T> T loadShared(const T& value) {
    return std::atomic_ref<T>(const_cast<T&>(value)).load(std::memory_order_relaxed);
}

template <typename T> void storeShared(T& target, T value) {
    std::atomic_ref<T>(target).store(value, std::memory_order_relaxed);
}

} // namespace treskpro
