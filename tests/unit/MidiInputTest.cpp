// The block's MIDI input as the host delivers it, and what the editor is told of it.
#include "plugin/TreskproPlugin.h"

#include <gtest/gtest.h>

#include <vector>

namespace treskpro {
namespace {

vst::intptr VSTCALLBACK quietHost(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*,
                                  float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// A host's event list: `count` MIDI events, each built by `make(i)`.
struct EventList {
    explicit EventList(std::vector<vst::VstMidiEvent> midi) : events(std::move(midi)) {
        storage.resize(sizeof(vst::VstEvents) + events.size() * sizeof(vst::VstEvent*));
        list = reinterpret_cast<vst::VstEvents*>(storage.data());
        list->numEvents = static_cast<vst::int32>(events.size());
        for (std::size_t i = 0; i < events.size(); ++i)
            list->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
    }
    std::vector<vst::VstMidiEvent> events;
    std::vector<unsigned char> storage;
    vst::VstEvents* list;
};

vst::VstMidiEvent midi(int delta, int status, int data1, int data2) {
    vst::VstMidiEvent event{};
    event.type = vst::kVstMidiType;
    event.byteSize = sizeof(vst::VstMidiEvent);
    event.deltaFrames = delta;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    return event;
}

TEST(MidiInput, TheFirstSixtyFourEventsOfABlockSortedStably) {
    std::vector<vst::VstMidiEvent> events;
    for (int i = 0; i < 70; ++i)
        events.push_back(midi(i < 64 ? 100 - (i % 3) * 50 : 0, 0x90, i, 100));
    EventList host(events);
    MidiEventBuffer buffer;
    buffer.add(host.list);
    ASSERT_EQ(buffer.size(), 64); // the last six of the host's list are dropped
    for (int i = 1; i < buffer.size(); ++i)
        EXPECT_LE(buffer[i - 1].deltaFrames, buffer[i].deltaFrames);
    // Equal stamps keep the host's order: notes 2, 5, 8, ... come first, in order.
    const auto* first = reinterpret_cast<const vst::VstMidiEvent*>(&buffer[0]);
    const auto* second = reinterpret_cast<const vst::VstMidiEvent*>(&buffer[1]);
    EXPECT_EQ(first->midiData[1], 2);
    EXPECT_EQ(second->midiData[1], 5);

    buffer.clear();
    buffer.add(nullptr);
    EXPECT_EQ(buffer.size(), 0);
    host.list->numEvents = -4;
    buffer.add(host.list);
    EXPECT_EQ(buffer.size(), 0);

    // A block whose events come in two calls keeps both, the note-off of the first included,
    // in time order.
    EventList early({midi(10, 0x90, 40, 100), midi(300, 0x80, 40, 0)});
    EventList late({midi(200, 0x90, 41, 100)});
    buffer.add(early.list);
    buffer.add(late.list);
    ASSERT_EQ(buffer.size(), 3);
    EXPECT_EQ(buffer[0].deltaFrames, 10);
    EXPECT_EQ(buffer[1].deltaFrames, 200);
    EXPECT_EQ(buffer[2].deltaFrames, 300);
}

struct RecordingEditor : PluginEditor {
    vst::intptr dispatch(vst::int32, vst::int32, vst::intptr, void*, float) override { return 0; }
    void parameterChanged(int, float) override {}
    void refreshAll() override {}
    void midiArrived() override { ++midi; }
    void selectProgram(int program) override { programs.push_back(program); }
    void selectBank(int bank) override { banks.push_back(bank); }
    int midi = 0;
    std::vector<int> programs;
    std::vector<int> banks;
};

TEST(MidiInput, TheEditorHearsEveryEventAndProgramAndBankChanges) {
    TreskproPlugin synth(quietHost, testing::TempDir());
    auto editor = std::make_unique<RecordingEditor>();
    RecordingEditor* seen = editor.get();
    synth.attachEditor(std::move(editor));
    EXPECT_EQ(synth.effect()->flags & vst::effFlagsHasEditor, vst::effFlagsHasEditor);

    std::vector<vst::VstMidiEvent> events;
    for (int i = 0; i < 66; ++i)
        events.push_back(midi(i, 0x91, 60, 100));
    events.push_back(midi(10, 0xC3, 7, 0));   // program change on channel 4
    events.push_back(midi(10, 0xB0, 0, 2));   // bank select
    events.push_back(midi(10, 0xB0, 7, 100)); // another controller: no bank
    EventList host(events);
    EXPECT_EQ(synth.dispatch(vst::effProcessEvents, 0, 0, host.list, 0.0f), 1);
    EXPECT_EQ(synth.midiEvents().size(), 64);
    EXPECT_EQ(seen->midi, 69); // beyond the 64 the block keeps
    EXPECT_EQ(seen->programs, std::vector<int>{7});
    EXPECT_EQ(seen->banks, std::vector<int>{2});

    float left[32], right[32];
    float* outputs[] = {left, right};
    synth.processReplacing(nullptr, outputs, 32);
    EXPECT_EQ(synth.midiEvents().size(), 0); // consumed by the block
}

} // namespace
} // namespace treskpro
