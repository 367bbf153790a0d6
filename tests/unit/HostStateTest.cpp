// The state a host stores with its project (the chunk), patch files loaded into a running
// instance, and the hand-over that keeps a replaced patch alive while the audio thread may
// still read it.
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "files/PatchFile.h"
#include "plugin/HostChunk.h"
#include "plugin/PatchHandOver.h"
#include "plugin/TreskproPlugin.h"
#include "tests/support/SynthInternals.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace treskpro {
namespace {

int updateDisplayCalls = 0;

vst::intptr VSTCALLBACK countingHost(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr,
                                     void*, float) {
    if (opcode == vst::audioMasterUpdateDisplay)
        ++updateDisplayCalls;
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

std::uint32_t word(const std::uint8_t* bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

void appendWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + 4);
}

void appendRecord(std::vector<std::uint8_t>& out, std::uint32_t tag, const void* block,
                  std::size_t size) {
    appendWord(out, tag);
    appendWord(out, static_cast<std::uint32_t>(size));
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    out.insert(out.end(), bytes, bytes + size);
}

std::uint32_t reversed(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xff00u) | ((value << 8) & 0xff0000u) | (value << 24);
}

class HostState : public ::testing::Test {
protected:
    void SetUp() override { updateDisplayCalls = 0; }
    TreskproPlugin synth{countingHost, testing::TempDir()};
};

TEST_F(HostState, ChunkLayoutAndRoundTrip) {
    void* data = nullptr;
    ASSERT_EQ(synth.dispatch(vst::effGetChunk, 0, 0, &data, 0.0f), 25112);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    EXPECT_EQ(word(bytes), 257u);
    EXPECT_EQ(word(bytes + 4), 16896u);
    for (int p = 0; p < 128; ++p)
        EXPECT_EQ(bytes[8 + 132 * p + 3], 16);
    EXPECT_EQ(word(bytes + 16904), 258u);
    EXPECT_EQ(word(bytes + 22672), 261u);
    EXPECT_EQ(word(bytes + 22780), 259u);
    EXPECT_EQ(word(bytes + 23816), 260u);

    synth.setParameter(Parameter::FilterCutoff, 0.9f);
    synth.setState(State::FilterMode, 5);
    synth.patch().connections.append({Socket::MgCvOutput, Socket::VcfCvInput});
    synth.patch().patterns[9].steps[2] = {7, StepFlags::gate | StepFlags::accent};
    synth.patch().info.reserved = 0x01020304; // kept as it came, whatever it holds
    synth.setCurrentPatchPath("C:\\Patches\\Rubber Bass.tpro");
    synth.dispatch(vst::effGetChunk, 0, 0, &data, 0.0f);
    const std::vector<std::uint8_t> saved(static_cast<std::uint8_t*>(data),
                                          static_cast<std::uint8_t*>(data) + 25112);

    TreskproPlugin restored(countingHost, testing::TempDir());
    EXPECT_EQ(restored.dispatch(vst::effSetChunk, 0, 25112, const_cast<std::uint8_t*>(saved.data()),
                                0.0f),
              25112);
    EXPECT_EQ(restored.getParameter(Parameter::FilterCutoff), 0.9f);
    EXPECT_EQ(restored.getState(State::FilterMode), 5);
    EXPECT_EQ(restored.patch().connections.size(), 1);
    EXPECT_EQ(restored.patch().patterns[9].steps[2].note, 7);
    EXPECT_EQ(restored.currentPatchPath(), "C:\\Patches\\Rubber Bass.tpro");
    EXPECT_EQ(restored.programName(), "Rubber Bass");
    void* again = nullptr;
    restored.dispatch(vst::effGetChunk, 0, 0, &again, 0.0f);
    EXPECT_EQ(std::memcmp(again, saved.data(), saved.size()), 0);
}

TEST_F(HostState, RecordsInAnyOrderAndUnknownTagsSkipped) {
    TreskproPatch source;
    source.setState(State::MidiMode, 1);
    source.setParameter(Parameter::VcoShaper, 0.5f);
    std::vector<std::uint8_t> chunk;
    appendRecord(chunk, 261, source.states.data(), 100);
    const char junk[7] = "extras";
    appendRecord(chunk, 999, junk, sizeof junk);
    appendRecord(chunk, 258, &source.program, sizeof source.program);
    EXPECT_EQ(synth.setChunk(chunk.data(), static_cast<vst::intptr>(chunk.size())),
              static_cast<vst::intptr>(chunk.size()));
    EXPECT_EQ(synth.getState(State::MidiMode), 1);
    EXPECT_EQ(synth.getParameter(Parameter::VcoShaper), 0.5f);
    EXPECT_EQ(synth.patch().patterns[0].length, 16); // absent records: initial values

    // Only a states record: the initial patch with those states.
    std::vector<std::uint8_t> statesOnly;
    appendRecord(statesOnly, 261, source.states.data(), 100);
    synth.setChunk(statesOnly.data(), static_cast<vst::intptr>(statesOnly.size()));
    EXPECT_EQ(synth.getState(State::MidiMode), 1);
    EXPECT_EQ(synth.getParameter(Parameter::VcoShaper), 0.0f);

    synth.setChunk(nullptr, 0); // an empty chunk: the initial patch
    EXPECT_EQ(synth.getState(State::MidiMode), 0);
}

TEST_F(HostState, BigEndianRecordsAreConverted) {
    TreskproPatch source;
    std::strcpy(source.program.name, "Swapped");
    source.setParameter(Parameter::FilterCutoff, 0.75f);
    PatchProgram swapped = source.program;
    auto* words = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(&swapped) + 24);
    for (std::size_t i = 0; i < (sizeof swapped - 24) / 4; ++i)
        words[i] = reversed(words[i]);
    std::vector<std::uint8_t> chunk;
    appendWord(chunk, 0x02010000u);
    appendWord(chunk, reversed(static_cast<std::uint32_t>(sizeof swapped)));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&swapped);
    chunk.insert(chunk.end(), bytes, bytes + sizeof swapped);
    std::int32_t states[25] = {};
    states[State::CurrentPattern] = static_cast<std::int32_t>(reversed(42));
    appendWord(chunk, 0x05010000u);
    appendWord(chunk, reversed(100));
    const auto* stateBytes = reinterpret_cast<const std::uint8_t*>(states);
    chunk.insert(chunk.end(), stateBytes, stateBytes + 100);

    synth.setChunk(chunk.data(), static_cast<vst::intptr>(chunk.size()));
    EXPECT_EQ(synth.getParameter(Parameter::FilterCutoff), 0.75f);
    EXPECT_STREQ(synth.patch().program.name, "Swapped");
    EXPECT_EQ(synth.getState(State::CurrentPattern), 42);
}

// A project saved on a big-endian machine: every tag, size and 32-bit word is byte-reversed,
// while the pattern bytes, the program name and the patch info texts travel as they are.
TEST_F(HostState, BigEndianChunksOfEveryRecordAreConverted) {
    TreskproPatch source;
    source.patterns[3].length = 7;
    source.patterns[3].steps[5] = {9, StepFlags::gate | StepFlags::slide};
    source.connections.append({Socket::MgCvOutput, Socket::VcfCvInput});
    source.connections.append({Socket::Inverter1Output, Socket::Vco2CvInput});
    std::strcpy(source.info.text, "Made on a big-endian desk");
    source.info.reserved = 0x01020304;
    source.info.showFlag = 1;
    std::strcpy(source.info.patchName, "/Users/bass/Big.tpro");
    source.setState(State::FilterMode, 1);
    source.setState(State::BendRange, 7);

    ConnectionList connections = source.connections;
    auto* connectionWords = reinterpret_cast<std::uint32_t*>(&connections);
    for (std::size_t i = 0; i < sizeof connections / 4; ++i)
        connectionWords[i] = reversed(connectionWords[i]);
    PatchInfo info = source.info;
    info.reserved = static_cast<std::int32_t>(reversed(0x01020304u));
    std::array<std::uint32_t, TreskproPatch::stateSlotCount> states{};
    for (std::size_t i = 0; i < states.size(); ++i)
        states[i] = reversed(static_cast<std::uint32_t>(source.states[i]));

    std::vector<std::uint8_t> chunk;
    auto appendBigEndian = [&](std::uint32_t tag, const void* block, std::size_t size) {
        appendRecord(chunk, reversed(tag), block, size);
        std::uint8_t* sizeBytes = chunk.data() + chunk.size() - size - 4;
        const std::uint32_t reversedSize = reversed(static_cast<std::uint32_t>(size));
        std::memcpy(sizeBytes, &reversedSize, 4);
    };
    appendBigEndian(260, &info, sizeof info);
    appendBigEndian(259, &connections, sizeof connections);
    appendBigEndian(257, source.patterns.data(), sizeof(PatternBank));
    appendBigEndian(261, states.data(), sizeof states);

    synth.setChunk(chunk.data(), static_cast<vst::intptr>(chunk.size()));
    const TreskproPatch& restored = synth.patch();
    EXPECT_EQ(restored.patterns[3].length, 7);
    EXPECT_EQ(restored.patterns[3].steps[5].note, 9);
    EXPECT_EQ(restored.patterns[3].steps[5].flags, StepFlags::gate | StepFlags::slide);
    ASSERT_EQ(restored.connections.size(), 2);
    EXPECT_EQ(restored.connections.connection(1).output, Socket::Inverter1Output);
    EXPECT_EQ(restored.connections.connection(1).input, Socket::Vco2CvInput);
    EXPECT_STREQ(restored.info.text, "Made on a big-endian desk");
    EXPECT_EQ(restored.info.reserved, 0x01020304);
    EXPECT_EQ(restored.info.showFlag, 1);
    EXPECT_EQ(synth.currentPatchPath(), "/Users/bass/Big.tpro");
    EXPECT_EQ(synth.getState(State::FilterMode), 1);
    EXPECT_EQ(synth.getState(State::BendRange), 7);
}

// Chunks written by earlier versions carry shorter records, and a host may hand records in any
// order, even twice: what a record holds is taken, the rest keeps the initial values, and a
// later record of a tag replaces an earlier one.
TEST_F(HostState, ShortRecordsAndRepeatedTags) {
    TreskproPatch first;
    first.setParameter(Parameter::FilterCutoff, 0.1f);
    TreskproPatch second;
    second.setParameter(Parameter::FilterCutoff, 0.8f);
    second.setParameter(Parameter::DelayAmount, 0.6f);
    second.setState(State::MidiMode, 1);
    second.setState(State::PatternLock, 1);
    second.patterns[0].steps[0].note = 5;
    second.patterns[1].steps[0].note = 6;

    std::vector<std::uint8_t> chunk;
    appendRecord(chunk, 258, &first.program, sizeof first.program);
    // The program's name and its first 40 parameters only, then four states.
    appendRecord(chunk, 258, &second.program, 24 + 4 * 40);
    appendRecord(chunk, 261, second.states.data(), 4 * 5);
    // The first pattern record alone.
    appendRecord(chunk, 257, second.patterns.data(), sizeof(PatternRecord));
    EXPECT_EQ(synth.setChunk(chunk.data(), static_cast<vst::intptr>(chunk.size())),
              static_cast<vst::intptr>(chunk.size()));
    EXPECT_EQ(synth.getParameter(Parameter::FilterCutoff), 0.8f);
    EXPECT_EQ(synth.getParameter(Parameter::DelayAmount), 0.0f); // beyond the short record
    EXPECT_EQ(synth.getParameter(Parameter::VcaDecay), 1.0f);
    EXPECT_EQ(synth.getState(State::MidiMode), 1);
    EXPECT_EQ(synth.getState(State::PatternLock), 0);
    EXPECT_EQ(synth.getState(State::FilterMode), 3);
    EXPECT_EQ(synth.patch().patterns[0].steps[0].note, 5);
    EXPECT_EQ(synth.patch().patterns[1].steps[0].note, 0);
    EXPECT_EQ(synth.patch().patterns[1].length, 16);
}

TEST_F(HostState, DamagedChunksNeverReadPastTheirSize) {
    TreskproPatch source;
    source.setParameter(Parameter::MasterVolume, 0.3f);
    std::vector<std::uint8_t> chunk;
    appendRecord(chunk, 258, &source.program, sizeof source.program);
    // A record that claims more than the chunk holds, cut short: taken as far as it goes.
    std::vector<std::uint8_t> cut(chunk.begin(), chunk.begin() + 8 + 24 + 4 * 9);
    synth.setChunk(cut.data(), static_cast<vst::intptr>(cut.size()));
    EXPECT_EQ(synth.getParameter(Parameter::MasterVolume), 0.3f);
    EXPECT_EQ(synth.getParameter(Parameter::Tempo), 0.42222223f); // beyond the cut: initial

    // Oversized records are truncated to their block, and a size of 4 GB ends the walk.
    std::vector<std::uint8_t> oversized;
    std::vector<std::uint8_t> big(200000, 0x11);
    appendRecord(oversized, 259, big.data(), big.size());
    appendWord(oversized, 261);
    appendWord(oversized, 0xffffffffu);
    synth.setChunk(oversized.data(), static_cast<vst::intptr>(oversized.size()));
    EXPECT_EQ(synth.patch().connections.size(), 128); // count 0x11111111 bounded

    // What is no chunk at all is refused and the patch stays: a null pointer with a size, a
    // negative size, less than one record header, and nothing but records of other tags.
    std::vector<std::uint8_t> foreign;
    appendRecord(foreign, 999, big.data(), 64);
    EXPECT_EQ(synth.setChunk(nullptr, 25112), 0);
    EXPECT_EQ(synth.setChunk(oversized.data(), -5), 0);
    EXPECT_EQ(synth.setChunk(oversized.data(), 7), 0);
    EXPECT_EQ(synth.setChunk(foreign.data(), static_cast<vst::intptr>(foreign.size())), 0);
    EXPECT_EQ(synth.patch().connections.size(), 128);
    for (std::size_t size = 0; size < 40; ++size)
        synth.setChunk(chunk.data(), static_cast<vst::intptr>(size));

    // A path longer than the patch name field is cut to 258 characters.
    synth.setCurrentPatchPath(std::string(400, 'p') + ".tpro");
    void* data = nullptr;
    synth.getChunk(&data);
    TreskproPlugin restored(countingHost, testing::TempDir());
    restored.setChunk(data, 25112);
    EXPECT_EQ(restored.currentPatchPath(), std::string(258, 'p'));
}

TEST_F(HostState, ChunkRestoreKeepsTheSequencerTempoUntilTheNextSetTempo) {
    TreskproPatch source;
    source.setParameter(Parameter::Tempo, 1.0f);
    std::vector<std::uint8_t> chunk;
    appendRecord(chunk, 258, &source.program, sizeof source.program);
    synth.setChunk(chunk.data(), static_cast<vst::intptr>(chunk.size()));
    EXPECT_NEAR(synth.tempo(), 120.0, 1e-4);
    EXPECT_FALSE(Internals::takePatchChanged(synth));
}

TEST_F(HostState, LoadingAPatchFile) {
    TreskproPatch source;
    source.setParameter(Parameter::Tempo, static_cast<float>((140.0 - 25.0) / 225.0));
    source.setState(State::FilterMode, 0);
    const std::string path = testing::TempDir() + "Loaded Line.tpro";
    ASSERT_TRUE(writePatchFile(source, path));

    EXPECT_TRUE(synth.loadPatch(path));
    EXPECT_EQ(synth.getState(State::FilterMode), 0);
    EXPECT_NEAR(synth.tempo(), 140.0, 1e-4);
    EXPECT_EQ(synth.programName(), "Loaded Line");
    EXPECT_EQ(updateDisplayCalls, 1);
    EXPECT_TRUE(Internals::takePatchChanged(synth));
    EXPECT_FALSE(Internals::takePatchChanged(synth));
    EXPECT_FALSE(Internals::isPatchLoading(synth));

    EXPECT_FALSE(synth.loadPatch(path + ".missing"));
    EXPECT_EQ(synth.programName(), "Loaded Line");
    EXPECT_EQ(synth.getState(State::FilterMode), 0);

    const std::string savedPath = testing::TempDir() + "Saved Line.tpro";
    EXPECT_TRUE(synth.savePatch(savedPath));
    EXPECT_EQ(synth.currentPatchPath(), savedPath);
    EXPECT_FALSE(synth.savePatch(testing::TempDir() + "missing folder/x.tpro"));
    EXPECT_EQ(synth.currentPatchPath(), savedPath);
    std::remove(path.c_str());
    std::remove(savedPath.c_str());
}

// A host restores its project's chunk on one thread while automation reads and writes
// parameters on a second and the audio thread renders on a third. Every restore brings the same
// chunk, so whatever a reader sees must be the chunk's value (or, for the slot it writes, its
// own): a value of a freed patch or of one still being filled is a fault, and the sanitizers
// report any access to freed memory.
TEST_F(HostState, ChunkRestoredWhileAutomationAndRenderingRun) {
    constexpr int written = Parameter::FilterCutoff;
    TreskproPatch source;
    for (int i = 0; i < Parameter::count; ++i)
        source.setParameter(i, static_cast<float>(i + 1) / 128.0f);
    source.setState(State::RunStop, 1);
    source.setState(State::FilterMode, 4);
    source.patterns[0].steps[0].flags = StepFlags::gate | StepFlags::accent;
    source.connections.append({Socket::MgCvOutput, Socket::VcfCvInput});
    auto image = std::make_unique<ChunkBuffer>();
    writeChunk(source, "", *image);
    const std::vector<std::uint8_t> chunk(image->begin(), image->end());
    const auto size = static_cast<vst::intptr>(chunk.size());
    ASSERT_EQ(synth.setChunk(chunk.data(), size), size);
    synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    synth.dispatch(vst::effSetBlockSize, 0, 64, nullptr, 0.0f);
    synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);

    std::atomic<bool> stop{false};
    std::atomic<long> wrongValues{0};
    std::thread audio([&] {
        std::vector<float> left(64), right(64);
        float* outputs[2] = {left.data(), right.data()};
        while (!stop.load())
            synth.processReplacing(nullptr, outputs, 64);
    });
    std::thread automation([&] {
        for (int round = 0; !stop.load(); ++round) {
            const float mine = round % 2 == 0 ? 0.25f : 0.75f;
            synth.setParameter(written, mine);
            for (int i = 0; i < Parameter::count; ++i) {
                const float value = synth.getParameter(i);
                const float expected = source.getParameter(i);
                if (value != expected && (i != written || (value != 0.25f && value != 0.75f)))
                    wrongValues.fetch_add(1);
            }
            if (synth.getState(State::FilterMode) != 4)
                wrongValues.fetch_add(1);
        }
    });
    // Hundreds of thousands of restores natively; the time bound keeps sanitizer runs short.
    const auto start = std::chrono::steady_clock::now();
    int restores = 0;
    while (restores < 300000 &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(4)) {
        if (synth.setChunk(chunk.data(), size) != size)
            wrongValues.fetch_add(1);
        ++restores;
    }
    stop.store(true);
    automation.join();
    audio.join();
    EXPECT_EQ(wrongValues.load(), 0) << "after " << restores << " restores";
    RecordProperty("restores", restores);
}

TEST_F(HostState, ReadErrorsAndFilesThatAreNoPatchKeepTheCurrentPatch) {
    TreskproPatch source;
    source.setState(State::FilterMode, 0);
    source.setParameter(Parameter::FilterCutoff, 0.125f);
    const std::string path = testing::TempDir() + "Kept Line.tpro";
    ASSERT_TRUE(writePatchFile(source, path));
    ASSERT_TRUE(synth.loadPatch(path));
    updateDisplayCalls = 0;
    Internals::takePatchChanged(synth);

    // A folder named like a patch, an empty file and a binary that is no patch at all.
    const std::string folder = testing::TempDir() + "Folder Line.tpro";
    std::filesystem::create_directory(folder);
    const std::string empty = testing::TempDir() + "Empty Line.tpro";
    std::ofstream(empty, std::ios::binary).flush();
    const std::string binary = testing::TempDir() + "Binary Line.tpro";
    std::ofstream(binary, std::ios::binary) << std::string("\x7f"
                                                           "ELF\2\1\1\0\0\0",
                                                           10);
    for (const std::string& refused : {folder, empty, binary}) {
        EXPECT_FALSE(synth.loadPatch(refused)) << refused;
        EXPECT_EQ(synth.programName(), "Kept Line");
        EXPECT_EQ(synth.currentPatchPath(), path);
        EXPECT_EQ(synth.getState(State::FilterMode), 0);
        EXPECT_EQ(synth.getParameter(Parameter::FilterCutoff), 0.125f);
    }
    EXPECT_EQ(updateDisplayCalls, 0);
    EXPECT_FALSE(Internals::takePatchChanged(synth));
    EXPECT_FALSE(Internals::isPatchLoading(synth));
    std::filesystem::remove(folder);
    std::remove(empty.c_str());
    std::remove(binary.c_str());
    std::remove(path.c_str());
}

TEST(PatchHandOver, ARetiredPatchLivesUntilTheAudioThreadHasLetGo) {
    PatchHandOver handOver(std::make_unique<TreskproPatch>());
    TreskproPatch& rendering = handOver.beginBlock();
    handOver.replace(std::make_unique<TreskproPatch>());
    EXPECT_NE(&handOver.current(), &rendering);
    EXPECT_EQ(handOver.retiredCount(), 1u);
    rendering.setParameter(0, 0.5f); // still valid memory mid-block
    handOver.collect();
    EXPECT_EQ(handOver.retiredCount(), 1u);
    handOver.endBlock();
    handOver.collect();
    EXPECT_EQ(handOver.retiredCount(), 0u);

    // Between blocks nothing is announced: the old patch goes at once.
    handOver.replace(std::make_unique<TreskproPatch>());
    EXPECT_EQ(handOver.retiredCount(), 0u);
}

TEST(PatchHandOver, AudioThreadReadsWhileAnotherThreadReplaces) {
    // Run under the sanitizers: any read of a freed patch is reported.
    PatchHandOver handOver(std::make_unique<TreskproPatch>());
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        float sum = 0.0f;
        while (!stop.load()) {
            TreskproPatch& patch = handOver.beginBlock();
            for (int i = 0; i < Parameter::count; ++i)
                sum += patch.getParameter(i);
            sum += static_cast<float>(patch.patterns[5].length);
            handOver.endBlock();
            blocks.fetch_add(1);
        }
        EXPECT_GT(sum, 0.0f);
    });
    // Replace for as long as the audio thread keeps rendering blocks alongside.
    for (int round = 0; round < 100000 && blocks.load() < 3000; ++round) {
        auto fresh = std::make_unique<TreskproPatch>();
        fresh->setParameter(0, static_cast<float>(round % 300) / 300.0f);
        handOver.replace(std::move(fresh));
    }
    stop.store(true);
    audio.join();
    handOver.collect();
    EXPECT_LE(handOver.retiredCount(), 100000u);
}

} // namespace
} // namespace treskpro
