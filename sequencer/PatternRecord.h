// The sequencer's pattern model: one pattern of up to 64 steps in the classic bass-line manner,
// and the bank of 128 of them that every patch carries. The record is a fixed byte image shared
// with patch files and the host chunk, so its layout never changes.
//
// Playback (the step clock) reads the records; the editor and the pattern operations write them;
// the patch file and the chunk carry the bank as raw bytes.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

namespace treskpro {

// One byte of flags per step. Read together with the note as a little-endian 16-bit word, the
// flags are its high byte.
namespace StepFlags {
constexpr std::uint8_t gate = 0x01;   // the step plays a note; clear: a rest
constexpr std::uint8_t up = 0x02;     // one octave up
constexpr std::uint8_t down = 0x04;   // one octave down
constexpr std::uint8_t slide = 0x08;  // glide into the next step's note, gate held open
constexpr std::uint8_t accent = 0x10; // accented note
constexpr std::uint8_t tie = 0x20;    // continues the note of the step before
} // namespace StepFlags

// Two-byte aligned so that the step can be read and written as one atomic word.
struct alignas(2) PatternStep {
    std::uint8_t note; // 0..35 semitones above the pattern's base note
    std::uint8_t flags;
};

struct PatternRecord {
    static constexpr int maximumLength = 64;
    static constexpr int defaultLength = 16;
    static constexpr std::uint8_t tripletFlag = 0x80;
    static constexpr std::uint8_t maximumPrescale = 3;

    std::uint8_t patternFlags; // bit 7: triplet; the other bits are reserved
    std::uint8_t prescale;     // step-rate multiplier selector, 0..3
    std::uint8_t reserved;
    std::uint8_t length; // steps that play, 1..64
    PatternStep steps[maximumLength];

    // The record of a new patch: all zero but the length.
    static PatternRecord fresh();

    bool triplet() const { return (loadWhole(patternFlags) & tripletFlag) != 0; }

    // Playback reads the steps and the header bytes while the editor writes them. Each such
    // access goes through these, whole and atomic, so playback sees a step either before or
    // after an edit, never half of it.
    PatternStep step(int index) const { return loadWhole(steps[index]); }
    void setStep(int index, PatternStep value) { storeWhole(steps[index], value); }
    // Takes over `edited`, an edited copy of this pattern, while playback may read this one:
    // the steps, then the header bytes, each written whole. Editor thread.
    void assignWhole(const PatternRecord& edited);
    template <typename T> static T loadWhole(const T& field) {
        return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
    }
    template <typename T> static void storeWhole(T& field, T value) {
        std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
    }

    // Semitones of step `index` relative to the base note: note + 12 x up - 12 x down, the note
    // taken as a signed byte, so up and down together cancel.
    int stepSemitones(int index) const;

    // Length in steps of the note that starts at `index`: 1 plus the directly following tied
    // steps, up to the last step that plays and never wrapping into the next cycle.
    int tieDuration(int index) const;

    // The bulk flag operations act on the steps that play only.
    void clearAccents() { clearFlags(StepFlags::accent); }
    void clearSlides() { clearFlags(StepFlags::slide); }
    void clearGatesAndTies() { clearFlags(StepFlags::gate | StepFlags::tie); }

    // A pattern with an impossible length or prescale, as old or damaged patch files may hold,
    // is made playable: length 0 or above 64 becomes 16 steps of note 0 with the gate on and the
    // triplet flag cleared; a prescale above 3 becomes 0.
    void repair();

    // The number of steps that may safely be indexed: the stored length bounded to 1..64. Data
    // restored from a host chunk is not repaired, so every consumer goes through this.
    int playableLength() const;

private:
    void clearFlags(std::uint8_t mask);
};

static_assert(sizeof(PatternRecord) == 132, "a pattern record is a 132-byte image");
static_assert(std::atomic_ref<PatternStep>::is_always_lock_free,
              "playback reads steps on the audio thread, which never waits for a lock");

// Step rate factor for a prescale value: a larger factor plays faster. Values above 3 have no
// factor (playback then keeps the one it had).
std::optional<double> prescaleFactor(int prescale);

// Two-character note name, "c-" .. "b-", by note modulo 12.
const char* noteName(int note);

constexpr int patternCount = 128;
using PatternBank = std::array<PatternRecord, patternCount>;
static_assert(sizeof(PatternBank) == 16896, "the bank is 128 contiguous records");

} // namespace treskpro
