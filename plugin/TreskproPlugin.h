// The plug-in object the entry point creates: TreskproSynth plus the editor. It overrides only
// the operations whose results the editor must show.
#pragma once

#include "plugin/PluginEditor.h"
#include "plugin/TreskproSynth.h"

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

    // Hands the object its editor; the host learns of it through effFlagsHasEditor.
    void attachEditor(std::unique_ptr<PluginEditor> newEditor);

protected:
    vst::intptr dispatchEditor(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                               float opt) override;

private:
    std::unique_ptr<PluginEditor> editor;
};

} // namespace treskpro
