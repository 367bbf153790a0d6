// What the plug-in object tells its editor and forwards to it. The editor (its window, panel
// and menus) implements this; the plug-in object holds at most one and never knows its panel.
#pragma once

#include "plugin/VstInterface.h"

namespace treskpro {

class PluginEditor {
public:
    virtual ~PluginEditor() = default;

    // Host editor opcodes: effEditGetRect, effEditOpen, effEditClose, effEditIdle,
    // effEditKeyDown, effEditKeyUp and effSetEditKnobMode arrive here unchanged.
    virtual vst::intptr dispatch(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                                 float opt) = 0;

    // A parameter changed (from the host, automation or a controller): its control follows.
    virtual void parameterChanged(int index, float value) = 0;
    // The whole patch may have changed: every control refreshes.
    virtual void refreshAll() = 0;
    // MIDI arrived (the panel's MIDI indicator lights); audio thread.
    virtual void midiArrived() = 0;
    // A program change or bank select asks the patch browser to select an entry; audio thread.
    virtual void selectProgram(int program) = 0;
    virtual void selectBank(int bank) = 0;
};

} // namespace treskpro
