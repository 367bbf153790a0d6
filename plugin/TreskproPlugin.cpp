#include "plugin/TreskproPlugin.h"

#include "plugin/BuildVariant.h"
#include "plugin/PanelEditor.h"
#include "toolkit/CPlatformWindow.h"

namespace treskpro {

TreskproPlugin::TreskproPlugin(vst::HostCallback host, std::optional<std::string> folder)
    : TreskproSynth(host, std::move(folder)) {
    effect()->uniqueID = buildVariant.uniqueID;
    // Where the toolkit cannot open a window of its own a host would show an empty frame, so
    // the plug-in announces no editor there (tests attach one on the headless window).
    if (toolkit::platformHasWindows())
        attachEditor(std::make_unique<PanelEditor>(panelHost, EditorPlatform::system()));
}

TreskproPlugin::~TreskproPlugin() {
    // A host that ends the plug-in with its panel still open: the window goes first, while
    // everything it shows still exists. The editor object itself is the last part destroyed.
    if (editor)
        editor->dispatch(vst::effEditClose, 0, 0, nullptr, 0.0f);
    shutDown();
    editor.reset();
}

void TreskproPlugin::attachEditor(std::unique_ptr<PluginEditor> newEditor) {
    editorAttached.store(false, std::memory_order_release);
    mailbox.clear();
    editor = std::move(newEditor);
    setHasEditor(editor != nullptr);
    editorAttached.store(editor != nullptr, std::memory_order_release);
}

void TreskproPlugin::setParameter(int index, float value) {
    TreskproSynth::setParameter(index, value);
    // The control later shows what is stored then: a refused or clamped value never reaches it.
    if (editorAttached.load(std::memory_order_acquire))
        mailbox.parameterChanged(index);
}

void TreskproPlugin::setProgram(int program) {
    TreskproSynth::setProgram(program);
    post(&EditorMailbox::refreshAll);
}

void TreskproPlugin::setProgramName(const char* name) {
    TreskproSynth::setProgramName(name);
    post(&EditorMailbox::refreshAll);
}

vst::intptr TreskproPlugin::processEvents(const vst::VstEvents* events) {
    const vst::intptr answer = TreskproSynth::processEvents(events);
    if (!events || !editorAttached.load(std::memory_order_acquire))
        return answer;
    // The editor hears of every MIDI event of the block, not only the first 64: its indicator
    // lights, and program changes and bank selects choose from its patch list at its next idle.
    for (vst::int32 i = 0; i < events->numEvents; ++i) {
        const vst::VstEvent* event = events->events[i];
        if (!event || event->type != vst::kVstMidiType)
            continue;
        const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
        const int status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0;
        const int data1 = midi->midiData[1] & 0x7F;
        const int data2 = midi->midiData[2] & 0x7F;
        mailbox.midiArrived();
        if (status == 0xC0)
            mailbox.programChange(data1);
        else if (status == 0xB0 && data1 == 0)
            mailbox.bankSelect(data2);
    }
    return answer;
}

vst::intptr TreskproPlugin::dispatchEditor(vst::int32 opcode, vst::int32 index, vst::intptr value,
                                           void* ptr, float opt) {
    if (!editor)
        return 0;
    if (opcode == vst::effEditIdle)
        mailbox.deliver(*editor, [this](int parameter) { return getParameter(parameter); });
    // Hosts idle an editor only while it is open. What was posted while it was closed is old
    // news: the opened panel shows the current values, and a program change the user sent
    // then must not load a patch now.
    if (opcode == vst::effEditOpen)
        mailbox.clear();
    return editor->dispatch(opcode, index, value, ptr, opt);
}

} // namespace treskpro
