// The voice's hottest loops are compiled twice: once for every processor the plug-in runs on
// (SSE2), and once for processors with AVX2 and FMA, where a multiply and the add after it
// become one instruction and every vector instruction names its own destination. The same
// source serves both; which one runs is decided once per process from the processor.
//
// Fused multiply-adds round once where the plain loops round twice: the two kernels agree to
// far below hearing (a few parts in ten million of the output), not to the bit.
#pragma once

#include <atomic>

// GCC on x86 (the native and both Windows builds). The loops the compiler vectorises itself may
// use 256-bit vectors, but not for 64-bit Windows, whose compiler cannot align 256-bit values it
// spills to the stack.
#if defined(__GNUC__) && !defined(__clang__) && (defined(__x86_64__) || defined(__i386__))
#define TRESKPRO_FAST_KERNELS 1
#ifdef _WIN64
#define TRESKPRO_FAST_TARGET __attribute__((target("avx2,fma,prefer-vector-width=128")))
#else
#define TRESKPRO_FAST_TARGET __attribute__((target("avx2,fma")))
#endif
// A loop body shared by both kernels, inlined into each so it is compiled for each.
#define TRESKPRO_KERNEL_BODY inline __attribute__((always_inline))
#else
#define TRESKPRO_KERNEL_BODY inline
#endif

namespace treskpro {

// On while the fast kernels run: from the start when the processor (and the system, which must
// save the wider registers) supports them. Tests switch it off to hear the plain kernels.
inline std::atomic<bool>& fastKernelSwitch() noexcept {
    static std::atomic<bool> on{[] {
#ifdef TRESKPRO_FAST_KERNELS
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
        return false;
#endif
    }()};
    return on;
}

inline bool fastKernels() noexcept {
    return fastKernelSwitch().load(std::memory_order_relaxed);
}

// Runs the plain kernels for its lifetime, then whatever ran before (tests).
class PlainKernels {
public:
    PlainKernels() noexcept : before(fastKernels()) { fastKernelSwitch().store(false); }
    ~PlainKernels() { fastKernelSwitch().store(before); }
    PlainKernels(const PlainKernels&) = delete;
    PlainKernels& operator=(const PlainKernels&) = delete;

private:
    bool before;
};

} // namespace treskpro
