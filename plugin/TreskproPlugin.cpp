#include "plugin/TreskproPlugin.h"

#include "plugin/BuildVariant.h"

namespace treskpro {

TreskproPlugin::TreskproPlugin(vst::HostCallback host, std::optional<std::string> folder)
    : TreskproSynth(host, std::move(folder)) {
    effect()->uniqueID = buildVariant.uniqueID;
    // The editor is created here once the panel exists; an object without an editor keeps
    // effFlagsHasEditor clear and answers the editor opcodes neutrally.
}

TreskproPlugin::~TreskproPlugin() {
    // Everything else goes first; the editor is the last part destroyed.
    shutDown();
    editor.reset();
}

void TreskproPlugin::attachEditor(std::unique_ptr<PluginEditor> newEditor) {
    editor = std::move(newEditor);
    setHasEditor(editor != nullptr);
}

void TreskproPlugin::setParameter(int index, float value) {
    TreskproSynth::setParameter(index, value);
    if (editor)
        editor->parameterChanged(index, value);
}

void TreskproPlugin::setProgram(int program) {
    TreskproSynth::setProgram(program);
    if (editor)
        editor->refreshAll();
}

void TreskproPlugin::setProgramName(const char* name) {
    TreskproSynth::setProgramName(name);
    if (editor)
        editor->refreshAll();
}

vst::intptr TreskproPlugin::dispatchEditor(vst::int32 opcode, vst::int32 index, vst::intptr value,
                                           void* ptr, float opt) {
    return editor ? editor->dispatch(opcode, index, value, ptr, opt) : 0;
}

} // namespace treskpro
