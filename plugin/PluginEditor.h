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

    // The calls below come at effEditIdle, on the thread that calls idle, just before the
    // opcode; each reports what happened on any thread since the previous idle.

    // A parameter changed (from the host, automation or a controller): its control follows.
    // `value` is the parameter's value at idle; several changes since the last idle are one.
    virtual void parameterChanged(int index, float value) = 0;
    // The whole patch may have changed: every control refreshes.
    virtual void refreshAll() = 0;
    // MIDI arrived (the panel's MIDI indicator lights).
    virtual void midiArrived() = 0;
    // A program change or bank select asks the patch browser to select an entry (a program
    // change loads its patch here). The latest of each; a bank select that came before the
    // program change is delivered before it.
    virtual void selectProgram(int program) = 0;
    virtual void selectBank(int bank) = 0;
};

} // namespace treskpro
