// Files and settings: the patch object and everything the plug-in keeps on disk.
//
// A patch is the whole sound and sequence of the instrument: the 73 parameter values, the
// integer states, the patch cables, the 128 patterns and a free text with a display flag. The
// plug-in always owns exactly one current patch; loading a file or restoring a host chunk builds
// a new one completely and then replaces the current one. Each block is a fixed little-endian
// byte image that patch files and the host chunk carry unchanged.
#pragma once

#include "engine/ConnectionList.h"
#include "sequencer/PatternRecord.h"

#include <array>
#include <cstdint>

namespace treskpro {

struct PatchProgram {
    static constexpr int nameCapacity = 24;
    static constexpr int slotCount = 128;

    char name[nameCapacity];
    float parameters[slotCount]; // slot i holds parameter i; slots 73..127 are spare
    std::uint8_t reserved[5224];
};
static_assert(sizeof(PatchProgram) == 5760, "the program block is a 5760-byte image");

struct PatchInfo {
    static constexpr int textCapacity = 1024;
    static constexpr int patchNameCapacity = 259;

    char text[textCapacity];
    std::int32_t reserved;
    std::uint8_t showFlag; // show the info text when the patch loads
    char patchName[patchNameCapacity];
};
static_assert(sizeof(PatchInfo) == 1288, "the patch info block is a 1288-byte image");

struct TreskproPatch {
    static constexpr int stateSlotCount = 25;

    // A new patch holds the initial values: every parameter at its starting position, the
    // filter model 3, no cables, 128 empty 16-step patterns.
    TreskproPatch();

    // Parameter slot `index` (0..127); 0 for an index outside the slots. Any thread.
    float getParameter(int index) const;
    // Stores a value in parameter slot `index`; an index outside 0..127 stores nothing and
    // reports on the standard error stream. Any thread.
    bool setParameter(int index, float value);

    // State slot `index` (0..24); 0 for an index outside the slots. Any thread.
    int getState(int index) const;
    // Stores a state; an index outside the 25 slots stores nothing and reports on the standard
    // error stream. Any thread.
    bool setState(int index, int value);

    // The pattern the sequencer plays and the editor edits, with the state bounded to the bank.
    int currentPatternIndex() const;

    PatchProgram program;
    std::array<std::int32_t, stateSlotCount> states;
    ConnectionList connections;
    PatternBank patterns;
    PatchInfo info;
};

} // namespace treskpro
