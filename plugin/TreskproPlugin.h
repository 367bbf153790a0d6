// The plug-in object the entry point creates: TreskproSynth plus the editor. It overrides only
// the operations whose results the editor must show.
//
// The editor is touched on the host's GUI thread only (open, close, idle, keys, mouse). What the
// other threads have for it (parameter values, the MIDI indicator, program changes and bank
// selects from MIDI input) goes through a mailbox and reaches the editor at the next
// effEditIdle, before the opcode itself. A program change therefore loads its patch on the GUI
// thread, never inside processEvents.
#pragma once

#include "plugin/EditorMailbox.h"
#include "plugin/PluginEditor.h"
#include "plugin/PluginEditorHost.h"
#include "plugin/TreskproSynth.h"

#include <atomic>
#include <memory>

namespace treskpro {

class TreskproPlugin final : public TreskproSynth {
public:
    explicit TreskproPlugin(vst::HostCallback host, std::optional<std::string> folder = {});
    ~TreskproPlugin() override;

    void setParameter(int index, float value) override;
    void setProgram(int program) override;
    void setProgramName(const char* name) override;
    vst::intptr processEvents(const vst::VstEvents* events) override;

    bool hasEditor() const { return editor != nullptr; }

    // What the editor calls on this object; it lives as long as the object. GUI thread.
    EditorHost& editorHost() { return panelHost; }

    // Hands the object its editor; the host learns of it through effFlagsHasEditor. GUI thread,
    // before the host processes or automates.
    void attachEditor(std::unique_ptr<PluginEditor> newEditor);

protected:
    vst::intptr dispatchEditor(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                               float opt) override;

private:
    void post(void (EditorMailbox::*what)()) {
        if (editorAttached.load(std::memory_order_acquire))
            (mailbox.*what)();
    }

    std::unique_ptr<PluginEditor> editor;
    // Without an editor nothing is posted.
    std::atomic<bool> editorAttached{false};
    EditorMailbox mailbox;
    PluginEditorHost panelHost{*this};
};

} // namespace treskpro
