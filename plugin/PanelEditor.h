// The editor as the plug-in object holds it: the host's editor opcodes in, the panel
// (editor/TreskproEditor) behind them. What the panel asks of the plug-in goes to the EditorHost
// the plug-in object owns, which outlives the editor.
#pragma once

#include "editor/EditorHost.h"
#include "editor/TreskproEditor.h"
#include "plugin/PluginEditor.h"

#include <memory>

namespace treskpro {

class PanelEditor final : public PluginEditor {
public:
    PanelEditor(EditorHost& host, EditorPlatform platform);
    ~PanelEditor() override;

    vst::intptr dispatch(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                         float opt) override;

    void parameterChanged(int index, float value) override { panel.parameterChanged(index, value); }
    void refreshAll() override { panel.refreshAll(); }
    void midiArrived() override { panel.midiArrived(); }
    void selectProgram(int program) override { panel.selectProgram(program); }
    void selectBank(int bank) override { panel.selectBank(bank); }

    TreskproEditor& editor() { return panel; }

private:
    TreskproEditor panel;
    // effEditGetRect answers a pointer to this; it stays valid while the editor lives.
    vst::ERect rectangle{};
};

} // namespace treskpro
