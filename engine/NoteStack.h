// The keys held on the MIDI keyboard, for last-note priority: per note the held velocity (1 in
// pattern mode) and the stamp of its arrival. Audio thread only.
#pragma once

#include <array>
#include <cstdint>

namespace treskpro {

struct NoteStack {
    std::array<std::int8_t, 128> held{};
    std::array<std::int32_t, 128> stamp{};
    std::int32_t stampCounter = 0;

    void press(int note, int velocity) {
        held[static_cast<std::size_t>(note)] = static_cast<std::int8_t>(velocity);
        stamp[static_cast<std::size_t>(note)] = stampCounter++;
    }
    void release(int note) { held[static_cast<std::size_t>(note)] = 0; }
    bool isHeld(int note) const { return held[static_cast<std::size_t>(note)] != 0; }

    // The highest held note, or -1.
    int highest() const {
        for (int note = 127; note >= 0; --note) {
            if (isHeld(note))
                return note;
        }
        return -1;
    }

    // The most recently pressed held note, or -1.
    int latest() const {
        int found = -1;
        for (int note = 0; note < 128; ++note) {
            if (isHeld(note) && (found < 0 || stamp[static_cast<std::size_t>(note)] >
                                                  stamp[static_cast<std::size_t>(found)]))
                found = note;
        }
        return found;
    }

    int heldCount() const {
        int count = 0;
        for (std::int8_t velocity : held)
            count += velocity != 0 ? 1 : 0;
        return count;
    }

    void clear() { *this = NoteStack{}; }
};

} // namespace treskpro
