// The block's MIDI input as the host delivers it, and what the editor is told of it.
#include "plugin/TreskproPlugin.h"
#include "tests/support/SynthInternals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <string>
#include <thread>
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

// Records every call with the thread it came on; the plug-in may call it only from idle.
struct RecordingEditor : PluginEditor {
    vst::intptr dispatch(vst::int32 opcode, vst::int32, vst::intptr, void*, float) override {
        note("dispatch");
        if (opcode == vst::effEditIdle)
            ++idles;
        return 0;
    }
    void parameterChanged(int index, float value) override {
        note("parameter " + std::to_string(index));
        values[index] = value;
    }
    void refreshAll() override { note("refresh"); }
    void midiArrived() override {
        note("midi");
        ++midi;
    }
    void selectProgram(int program) override {
        note("program " + std::to_string(program));
        programs.push_back(program);
    }
    void selectBank(int bank) override {
        note("bank " + std::to_string(bank));
        banks.push_back(bank);
    }
    void note(std::string call) {
        if (std::this_thread::get_id() != idleThread)
            ++wrongThread;
        log.push_back(std::move(call));
    }
    std::thread::id idleThread = std::this_thread::get_id();
    int idles = 0;
    int wrongThread = 0;
    int midi = 0;
    std::vector<std::string> log;
    std::map<int, float> values;
    std::vector<int> programs;
    std::vector<int> banks;
};

struct PluginWithEditor {
    PluginWithEditor() {
        auto recording = std::make_unique<RecordingEditor>();
        editor = recording.get();
        synth.attachEditor(std::move(recording));
    }
    std::vector<std::string> idle() {
        editor->log.clear();
        synth.dispatch(vst::effEditIdle, 0, 0, nullptr, 0.0f);
        return editor->log;
    }
    TreskproPlugin synth{quietHost, testing::TempDir()};
    RecordingEditor* editor;
};

using Log = std::vector<std::string>;

TEST(MidiInput, TheEditorHearsEveryEventAndProgramAndBankChangesAtIdle) {
    PluginWithEditor plugin;
    TreskproPlugin& synth = plugin.synth;
    EXPECT_EQ(synth.effect()->flags & vst::effFlagsHasEditor, vst::effFlagsHasEditor);

    std::vector<vst::VstMidiEvent> events;
    for (int i = 0; i < 66; ++i)
        events.push_back(midi(i, 0x91, 60, 100));
    events.push_back(midi(10, 0xC3, 7, 0));   // program change on channel 4
    events.push_back(midi(10, 0xB0, 0, 2));   // bank select
    events.push_back(midi(10, 0xB0, 7, 100)); // another controller: no bank
    EventList host(events);
    EXPECT_EQ(synth.dispatch(vst::effProcessEvents, 0, 0, host.list, 0.0f), 1);
    EXPECT_EQ(Internals::midiEvents(synth).size(), 64);
    // The audio thread only posts: nothing reaches the editor before its idle.
    EXPECT_TRUE(plugin.editor->log.empty());
    // The program change came first, so the bank select follows it; events beyond the 64 the
    // block keeps count too, and the posted work comes before the idle opcode itself.
    EXPECT_EQ(plugin.idle(), (Log{"midi", "program 7", "bank 2", "dispatch"}));
    EXPECT_EQ(plugin.idle(), Log{"dispatch"}); // delivered once

    float left[32], right[32];
    float* outputs[] = {left, right};
    synth.processReplacing(nullptr, outputs, 32);
    EXPECT_EQ(Internals::midiEvents(synth).size(), 0); // consumed by the block

    // A bank select then a program change: the program is chosen in that bank. Only the
    // latest of each is kept.
    EventList select(
        {midi(0, 0xB0, 0, 1), midi(0, 0xC0, 3, 0), midi(0, 0xB0, 0, 5), midi(0, 0xC0, 9, 0)});
    synth.processEvents(select.list);
    EXPECT_EQ(plugin.idle(), (Log{"midi", "bank 5", "program 9", "dispatch"}));

    // Parameter changes between two idles coalesce into the value stored at idle (clamped,
    // a refused value never shown); a program change of the host refreshes everything.
    synth.setParameter(Parameter::FilterCutoff, 0.2f);
    synth.setParameter(Parameter::FilterResonance, 0.4f);
    synth.setParameter(Parameter::FilterCutoff, 7.0f);
    synth.setParameter(Parameter::FilterCutoff, std::nanf(""));
    synth.dispatch(vst::effSetProgram, 0, 0, nullptr, 0.0f);
    const int first = std::min<int>(Parameter::FilterCutoff, Parameter::FilterResonance);
    const int second = std::max<int>(Parameter::FilterCutoff, Parameter::FilterResonance);
    EXPECT_EQ(plugin.idle(), (Log{"parameter " + std::to_string(first),
                                  "parameter " + std::to_string(second), "refresh", "dispatch"}));
    EXPECT_EQ(plugin.editor->values[Parameter::FilterCutoff], 1.0f);
    EXPECT_EQ(plugin.editor->values[Parameter::FilterResonance], 0.4f);

    // Other editor opcodes deliver nothing, and opening the editor drops what came while it
    // was closed: a program change sent then loads no patch later.
    synth.setParameter(Parameter::FilterCutoff, 0.5f);
    plugin.editor->log.clear();
    synth.dispatch(vst::effEditKeyDown, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(plugin.editor->log, Log{"dispatch"});
    synth.processEvents(select.list);
    synth.dispatch(vst::effEditOpen, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(plugin.idle(), Log{"dispatch"});
    EXPECT_EQ(plugin.editor->wrongThread, 0);
}

// Under ThreadSanitizer: automation on one thread, MIDI with program changes on another, while a
// third idles. The editor is called on the idle thread only and ends with what was sent last.
TEST(RenderThreads, TheEditorHearsOtherThreadsOnlyAtIdle) {
    TreskproPlugin synth{quietHost, testing::TempDir()};
    auto recording = std::make_unique<RecordingEditor>();
    RecordingEditor* editor = recording.get();
    synth.attachEditor(std::move(recording));

    constexpr int rounds = 20000;
    std::atomic<int> running{2};
    std::thread automation([&] {
        for (int i = 0; i < rounds; ++i)
            synth.setParameter(i % 8, static_cast<float>(i % 100) / 100.0f);
        --running;
    });
    std::thread midiInput([&] {
        for (int i = 0; i < rounds; ++i) {
            EventList events({midi(0, 0x90, 60, 100), midi(1, 0xB0, 0, i % 4),
                              midi(2, 0xC0, i % 128, 0), midi(3, 0x80, 60, 0)});
            synth.processEvents(events.list);
            if (i % 64 == 0)
                synth.processEvents(nullptr);
        }
        --running;
    });
    std::thread idle([&] {
        editor->idleThread = std::this_thread::get_id();
        while (running.load() > 0)
            synth.dispatch(vst::effEditIdle, 0, 0, nullptr, 0.0f);
        synth.dispatch(vst::effEditIdle, 0, 0, nullptr, 0.0f);
    });
    automation.join();
    midiInput.join();
    idle.join();

    EXPECT_EQ(editor->wrongThread, 0);
    EXPECT_GE(editor->idles, 1);
    EXPECT_GE(editor->midi, 1);
    ASSERT_FALSE(editor->programs.empty());
    EXPECT_EQ(editor->programs.back(), (rounds - 1) % 128);
    EXPECT_EQ(editor->banks.back(), (rounds - 1) % 4);
    for (int index = 0; index < 8; ++index)
        EXPECT_EQ(editor->values[index], synth.getParameter(index)) << index;
}

} // namespace
} // namespace treskpro
