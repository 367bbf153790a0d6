// The render path allocates nothing: every allocation function in the process is counted while the
// plug-in renders blocks full of MIDI in both modes, with cables, the delay and every module
// running. An allocation there would take the allocator's lock on the audio thread.
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "plugin/TreskproPlugin.h"
#include "tests/support/TestHost.h"
#include "tools/render/MidiEventList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

// Every allocation function of the language comes through here: plain, array, aligned (the
// engine's sample blocks ask for alignment) and their nothrow forms.
void* allocate(std::size_t size, std::size_t alignment = 0) noexcept {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0)
        size = 1;
    if (alignment <= alignof(std::max_align_t))
        return std::malloc(size);
#ifdef _WIN32
    return _aligned_malloc(size, alignment);
#else
    void* block = nullptr;
    return posix_memalign(&block, alignment, size) == 0 ? block : nullptr;
#endif
}

void* allocateOrThrow(std::size_t size, std::size_t alignment = 0) {
    if (void* block = allocate(size, alignment))
        return block;
    throw std::bad_alloc();
}

void release(void* block, std::size_t alignment = 0) noexcept {
#ifdef _WIN32
    if (alignment > alignof(std::max_align_t)) {
        _aligned_free(block);
        return;
    }
#endif
    (void)alignment;
    std::free(block);
}

std::size_t bytes(std::align_val_t alignment) {
    return static_cast<std::size_t>(alignment);
}
} // namespace

void* operator new(std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, bytes(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, bytes(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocate(size, bytes(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocate(size, bytes(alignment));
}

void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    release(block);
}
void operator delete(void* block, std::align_val_t alignment) noexcept {
    release(block, bytes(alignment));
}
void operator delete[](void* block, std::align_val_t alignment) noexcept {
    release(block, bytes(alignment));
}
void operator delete(void* block, std::size_t, std::align_val_t alignment) noexcept {
    release(block, bytes(alignment));
}
void operator delete[](void* block, std::size_t, std::align_val_t alignment) noexcept {
    release(block, bytes(alignment));
}
void operator delete(void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    release(block, bytes(alignment));
}
void operator delete[](void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    release(block, bytes(alignment));
}

namespace treskpro {
namespace {

using testhost::hostTime;
using testhost::testHost;

// An editor that does nothing: what the plug-in posts for it from the audio thread is counted.
struct SilentEditor : PluginEditor {
    vst::intptr dispatch(vst::int32, vst::int32, vst::intptr, void*, float) override { return 0; }
    void parameterChanged(int, float) override {}
    void refreshAll() override {}
    void midiArrived() override {}
    void selectProgram(int) override {}
    void selectBank(int) override {}
};

TEST(RenderAllocation, RenderingAllocatesNothing) {
    hostTime().tempo = 133.0;
    TreskproPlugin synth{testHost, testing::TempDir()};
    synth.attachEditor(std::make_unique<SilentEditor>());
    synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    synth.dispatch(vst::effSetBlockSize, 0, 512, nullptr, 0.0f);
    synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    for (int i = 0; i < Parameter::count; ++i) {
        if (i != Parameter::Tempo)
            synth.setParameter(i, 0.6f);
    }
    synth.setState(State::SyncMode, 1);
    synth.setState(State::AuxInput, 1);
    ConnectionList& cables = synth.patch().connections;
    synth.sockets().connect(cables, Socket::MgCvOutput, Socket::VcfCvInput);
    synth.sockets().connect(cables, Socket::EnvelopeFollower, Socket::Attenuator2Input);
    synth.sockets().connect(cables, Socket::Attenuator2LagOut, Socket::DelayTimeLeft);
    synth.patch().patterns[3].steps[0].flags = StepFlags::gate | StepFlags::slide;
    synth.controllers().setLearnTarget(-1);

    MidiEventList events(48);
    const int kinds[] = {0x90, 0x80, 0xB0, 0xE0, 0xD0, 0xB0, 0xC0, 0xB0};
    for (int i = 0; i < 48; ++i)
        events.add(i * 10, kinds[i % 8],
                   i % 8 == 2   ? 7
                   : i % 8 == 7 ? 0
                                : (i * 5) % 128,
                   i % 8 == 5 ? 64 : 90);

    std::vector<float> left(512), right(512), in(512, 0.1f);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    // The engine's blocks are aligned allocations: a count blind to them would prove nothing.
    counting = true;
    ::operator delete (::operator new (64, std::align_val_t{32}), std::align_val_t{32});
    counting = false;
    ASSERT_EQ(allocations.exchange(0), 1);

    counting = true;
    for (int mode = 0; mode < 3; ++mode) {
        synth.setState(State::MidiMode, mode == 0 ? 0 : 1);
        synth.setState(State::NoteMode, mode == 2 ? 1 : 0);
        for (int block = 0; block < 50; ++block) {
            synth.processEvents(events.record());
            synth.processReplacing(inputs, outputs, 512);
        }
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
}

} // namespace
} // namespace treskpro
