// What other threads leave for the editor. The editor's objects live on the host's GUI thread;
// setParameter (host automation thread), processEvents (audio thread) and the dispatcher only
// mark here what happened, without a lock or an allocation, and the GUI thread collects it at
// its next idle. Several changes of one parameter between two idles coalesce into one mark: the
// editor reads the value that is current when it looks.
#pragma once

#include "engine/Parameters.h"
#include "plugin/PluginEditor.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace treskpro {

class EditorMailbox {
public:
    // Any thread. Indices outside the parameter slots are ignored.
    void parameterChanged(int index);
    void refreshAll() { refresh.store(true, std::memory_order_release); }
    void midiArrived() { midi.store(true, std::memory_order_release); }
    // A program change and a bank select (0..127). Only the latest of each is kept, and which of
    // the two came last, so that a bank select followed by a program change selects the program
    // in that bank.
    void programChange(int program) { postSelection(program, false); }
    void bankSelect(int bank) { postSelection(bank, true); }

    // The editor's thread: hands everything posted since the last call to `editor`, reading
    // each marked parameter's current value through `valueOf`. Parameters first, then the
    // refresh, the MIDI indicator, and the bank and program in arrival order.
    template <typename ValueOf> void deliver(PluginEditor& editor, ValueOf valueOf);

    // The editor's thread: forgets everything posted (the editor opens or is replaced).
    void clear();

private:
    void postSelection(int value, bool bank);

    // Selection word: bits 0..6 program, bit 7 program present, bits 8..14 bank, bit 15 bank
    // present, bit 16 set when the bank arrived after the program.
    static constexpr std::uint32_t programPresent = 1u << 7;
    static constexpr std::uint32_t bankPresent = 1u << 15;
    static constexpr std::uint32_t bankLast = 1u << 16;

    static constexpr int markWords = (Parameter::count + 31) / 32;
    std::array<std::atomic<std::uint32_t>, markWords> marks{};
    std::atomic<bool> refresh{false};
    std::atomic<bool> midi{false};
    std::atomic<std::uint32_t> selection{0};
};

template <typename ValueOf> void EditorMailbox::deliver(PluginEditor& editor, ValueOf valueOf) {
    for (int word = 0; word < markWords; ++word) {
        std::uint32_t bits = marks[static_cast<std::size_t>(word)].exchange(0);
        for (int bit = 0; bits != 0; ++bit, bits >>= 1) {
            if (bits & 1u) {
                const int index = word * 32 + bit;
                editor.parameterChanged(index, valueOf(index));
            }
        }
    }
    if (refresh.exchange(false))
        editor.refreshAll();
    if (midi.exchange(false))
        editor.midiArrived();
    const std::uint32_t posted = selection.exchange(0);
    const auto program = [&] {
        if (posted & programPresent)
            editor.selectProgram(static_cast<int>(posted & 0x7Fu));
    };
    const auto bank = [&] {
        if (posted & bankPresent)
            editor.selectBank(static_cast<int>((posted >> 8) & 0x7Fu));
    };
    if (posted & bankLast) {
        program();
        bank();
    } else {
        bank();
        program();
    }
}

} // namespace treskpro
