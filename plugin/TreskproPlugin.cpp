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
    // The control shows what was stored: a refused or clamped value never reaches it.
    if (editor)
        editor->parameterChanged(index, getParameter(index));
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

vst::intptr TreskproPlugin::processEvents(const vst::VstEvents* events) {
    const vst::intptr answer = TreskproSynth::processEvents(events);
    if (!editor || !events)
        return answer;
    // The editor sees every MIDI event of the block, not only the first 64: its indicator
    // lights, and program changes and bank selects choose from its patch list at once.
    for (vst::int32 i = 0; i < events->numEvents; ++i) {
        const vst::VstEvent* event = events->events[i];
        if (!event || event->type != vst::kVstMidiType)
            continue;
        const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
        const int status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0;
        const int data1 = midi->midiData[1] & 0x7F;
        const int data2 = midi->midiData[2] & 0x7F;
        editor->midiArrived();
        if (status == 0xC0)
            editor->selectProgram(data1);
        else if (status == 0xB0 && data1 == 0)
            editor->selectBank(data2);
    }
    return answer;
}

vst::intptr TreskproPlugin::dispatchEditor(vst::int32 opcode, vst::int32 index, vst::intptr value,
                                           void* ptr, float opt) {
    return editor ? editor->dispatch(opcode, index, value, ptr, opt) : 0;
}

} // namespace treskpro
