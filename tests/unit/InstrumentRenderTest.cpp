// The whole instrument in-process under hostile settings: every parameter at its ends and at
// random values, every filter model, every cable the editor could draw, and a second thread that
// replaces patches and moves parameters while the audio thread renders. The output must stay
// finite whatever happens.
#include "engine/FastKernels.h"
#include "engine/NoiseModule.h"
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "engine/WavetableSet.h"
#include "files/PatchFile.h"
#include "platform/Platform.h"
#include "plugin/TreskproPlugin.h"
#include "tests/support/SynthInternals.h"
#include "tests/support/TestHost.h"
#include "tools/render/MidiEventList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

namespace treskpro {
namespace {

constexpr int blockSize = 256;

using testhost::hostTime;
using testhost::testHost;

class InstrumentRender : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::loadBundleWavetables();
        hostTime().tempo = 120.0;
        synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        synth.dispatch(vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
        synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    }

    // Renders `blocks` host blocks; false at the first sample that is not finite.
    bool renderFinite(int blocks, MidiEventList* midi = nullptr) {
        std::vector<float> left(blockSize), right(blockSize), in(blockSize, 0.25f);
        for (int b = 0; b < blocks; ++b) {
            if (midi && b == 0)
                synth.processEvents(midi->record());
            float* inputs[2] = {in.data(), in.data()};
            float* outputs[2] = {left.data(), right.data()};
            synth.processReplacing(inputs, outputs, blockSize);
            for (int i = 0; i < blockSize; ++i) {
                if (!std::isfinite(left[static_cast<size_t>(i)]) ||
                    !std::isfinite(right[static_cast<size_t>(i)]))
                    return false;
            }
        }
        return true;
    }

    // A busy pattern in bank slot 0: every flag combination turns up.
    void programPattern(std::mt19937& random) {
        PatternRecord& pattern = synth.patch().patterns[0];
        pattern.length = 16;
        for (int i = 0; i < 16; ++i) {
            pattern.steps[i].note = static_cast<std::uint8_t>(random() % 36);
            pattern.steps[i].flags = static_cast<std::uint8_t>(random() % 64);
        }
    }

    void playSomething(bool keyboard) {
        synth.setState(State::MidiMode, keyboard ? 1 : 0);
        synth.setState(State::NoteMode, keyboard ? 1 : 0);
        MidiEventList& midi = pending;
        midi.clear();
        if (keyboard) {
            for (int note : {36, 43, 48, 55, 60, 67})
                midi.add(0, 0x90, note, 100);
        } else {
            midi.add(0, 0x90, 0, 100);
        }
        midi.add(10, 0xE0, 0, 127); // pitch bend to the top
        midi.add(20, 0xB0, 1, 127); // mod wheel
        midi.add(30, 0xD0, 90, 0);
    }

    TreskproPlugin synth{testHost, testing::TempDir()};
    MidiEventList pending;
};

TEST_F(InstrumentRender, EveryParameterAtItsEndsAndAtRandomStaysFinite) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int setting = 0; setting < 4; ++setting) {
        for (int model = 0; model < 6; ++model) {
            for (bool keyboard : {false, true}) {
                for (int i = 0; i < Parameter::count; ++i) {
                    const float value = setting == 0 ? 0.0f : setting == 1 ? 1.0f : unit(random);
                    if (i != Parameter::Tempo)
                        synth.setParameter(i, value);
                }
                synth.setState(State::FilterMode, model);
                synth.setState(State::AuxInput, 1);
                programPattern(random);
                playSomething(keyboard);
                EXPECT_TRUE(renderFinite(40, &pending))
                    << "setting " << setting << " model " << model << " keyboard " << keyboard;
            }
        }
    }
}

TEST_F(InstrumentRender, EveryCableTheEditorCouldDrawStaysFinite) {
    std::mt19937 random(11);
    for (int i = 0; i < Parameter::count; ++i) {
        if (i != Parameter::Tempo)
            synth.setParameter(i, std::uniform_real_distribution<float>(0.0f, 1.0f)(random));
    }
    synth.setParameter(Parameter::MasterVolume, 1.0f);
    synth.setState(State::AuxInput, 1);
    programPattern(random);
    const SocketRegistry& sockets = synth.sockets();
    int cables = 0;
    for (int output = 0; output < Socket::count; ++output) {
        for (int input = 0; input < Socket::count && sockets.isOutput(output); ++input) {
            ConnectionList& list = synth.patch().connections;
            list.setCount(0);
            if (!sockets.connect(list, output, input))
                continue;
            ++cables;
            playSomething(cables % 2 == 0);
            ASSERT_TRUE(renderFinite(4, &pending))
                << sockets.socketName(output) << " -> " << sockets.socketName(input);
        }
    }
    EXPECT_EQ(cables, 21 * 21);

    // Every input fed at once, each by the output after it in the table (feedback loops
    // through the cable modules included).
    ConnectionList& list = synth.patch().connections;
    list.setCount(0);
    for (int input = 0; input < Socket::count; ++input) {
        for (int k = 1; k < Socket::count && sockets.isInput(input); ++k) {
            if (sockets.connect(list, (input + k) % Socket::count, input))
                break;
        }
    }
    EXPECT_EQ(list.size(), 21);
    playSomething(false);
    EXPECT_TRUE(renderFinite(100, &pending));
}

TEST_F(InstrumentRender, SilentAfterReleaseAndAfterSuspend) {
    synth.setState(State::MidiMode, 1);
    synth.setParameter(Parameter::VcaRelease, 0.0f);
    MidiEventList midi;
    midi.add(0, 0x90, 48, 100);
    synth.processEvents(midi.record());
    std::vector<float> left(blockSize), right(blockSize);
    float* outputs[2] = {left.data(), right.data()};
    float peak = 0.0f;
    for (int b = 0; b < 40; ++b) {
        synth.processReplacing(nullptr, outputs, blockSize);
        for (float x : left)
            peak = std::max(peak, std::fabs(x));
    }
    EXPECT_GT(peak, 0.01f);

    midi.clear();
    midi.add(0, 0x80, 48, 0);
    synth.processEvents(midi.record());
    for (int b = 0; b < 40; ++b)
        synth.processReplacing(nullptr, outputs, blockSize);
    // The filter keeps ringing into a silent amplifier: nothing audible is left.
    for (float x : left)
        EXPECT_LT(std::fabs(x), 1e-4f);

    midi.clear();
    midi.add(0, 0x90, 48, 100);
    synth.processEvents(midi.record());
    synth.processReplacing(nullptr, outputs, blockSize);
    synth.dispatch(vst::effMainsChanged, 0, 0, nullptr, 0.0f);
    synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    for (int b = 0; b < 2; ++b)
        synth.processReplacing(nullptr, outputs, blockSize);
    for (float x : left)
        EXPECT_LT(std::fabs(x), 1e-4f);
}

// Voices render two at a time; each must still sound as it does on its own. Three notes (a pair
// and one alone), one released early, with the MG and the envelope moving filter and amplifier:
// the chord is the sum of the three notes played by three instruments of their own.
TEST(ChordRender, AChordIsTheSumOfItsNotesPlayedAlone) {
    testhost::loadBundleWavetables();
    hostTime().tempo = 120.0;
    const int notes[3] = {36, 43, 51};
    const auto play = [&](std::initializer_list<int> which) {
        TreskproPlugin synth{testHost, testing::TempDir()};
        synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        synth.dispatch(vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
        synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
        synth.setState(State::MidiMode, 1);
        synth.setState(State::NoteMode, 1);
        for (const auto& [index, value] : {std::pair{Parameter::Vco2Level, 0.6f},
                                           {Parameter::VcoShaper, 0.4f},
                                           {Parameter::MgAmount, 0.7f},
                                           {Parameter::MgVcfDest, 0.6f},
                                           {Parameter::MgVcaDest, 0.3f},
                                           {Parameter::MgFrequency, 0.5f},
                                           {Parameter::FilterResonance, 0.8f},
                                           {Parameter::VcaSustain, 0.8f},
                                           {Parameter::Vco1FilterMod, 0.3f}})
            synth.setParameter(index, value);
        MidiEventList midi;
        for (int k : which)
            midi.add(0, 0x90, notes[k], 100);
        synth.processEvents(midi.record());
        std::vector<float> out, left(blockSize), right(blockSize);
        float* outputs[2] = {left.data(), right.data()};
        for (int b = 0; b < 60; ++b) {
            if (b == 20) {
                midi.clear();
                midi.add(0, 0x80, notes[1], 0);
                synth.processEvents(midi.record());
            }
            synth.processReplacing(nullptr, outputs, blockSize);
            out.insert(out.end(), left.begin(), left.end());
        }
        return out;
    };
    const std::vector<float> chord = play({0, 1, 2});
    const std::vector<float> alone[3] = {play({0}), play({1}), play({2})};
    double largest = 0.0, peak = 0.0;
    for (std::size_t i = 0; i < chord.size(); ++i) {
        const double sum = double(alone[0][i]) + alone[1][i] + alone[2][i];
        largest = std::max(largest, std::fabs(chord[i] - sum));
        peak = std::max(peak, std::fabs(sum));
    }
    EXPECT_GT(peak, 0.1);
    EXPECT_LT(largest, 1e-5);
}

// Processors with AVX2 and FMA run the voice's loops in kernels of their own, which round
// differently but must sound the same: a chord through every module, for the paired filter
// model and another, played by both kernels.
TEST(ChordRender, TheFastKernelsSoundAsThePlainOnes) {
    if (!fastKernels())
        GTEST_SKIP() << "the processor runs only the plain kernels";
    testhost::loadBundleWavetables();
    hostTime().tempo = 120.0;
    const auto play = [](int model, float vco2FrequencyModulation) {
        TreskproPlugin synth{testHost, testing::TempDir()};
        synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        synth.dispatch(vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
        synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
        synth.setState(State::MidiMode, 1);
        synth.setState(State::NoteMode, 1);
        synth.setState(State::FilterMode, model);
        for (const auto& [index, value] : {std::pair{Parameter::Vco2Level, 0.6f},
                                           {Parameter::VcoShaper, 0.5f},
                                           {Parameter::NoiseLevel, 0.3f},
                                           {Parameter::MgAmount, 0.7f},
                                           {Parameter::MgVco1Dest, 0.1f},
                                           {Parameter::MgVcfDest, 0.6f},
                                           {Parameter::MgVcaDest, 0.3f},
                                           {Parameter::FilterResonance, 0.8f},
                                           {Parameter::VcfTracking, 0.5f},
                                           {Parameter::VcaSustain, 0.8f},
                                           {Parameter::Vco1FilterMod, 0.3f},
                                           {Parameter::Vco2FreqMod, vco2FrequencyModulation},
                                           {Parameter::Vco1Waveform, 0.5f},
                                           {Parameter::MgPw1Dest, 1.0f}})
            synth.setParameter(index, value);
        NoiseModule::seedRandom(7);
        MidiEventList midi;
        for (int note : {36, 43, 51, 58, 62})
            midi.add(0, 0x90, note, 100);
        synth.processEvents(midi.record());
        std::vector<float> out, left(blockSize), right(blockSize);
        float* outputs[2] = {left.data(), right.data()};
        for (int b = 0; b < 40; ++b) {
            synth.processReplacing(nullptr, outputs, blockSize);
            out.insert(out.end(), left.begin(), left.end());
        }
        return out;
    };
    // VCO-2's frequency modulation off: only VCO-1's term moves the cutoff at audio rate, which
    // the fast kernel then works four samples at a time.
    for (const auto& [model, modulation] : {std::pair{VcfModule::Slope24dBSO, 0.2f},
                                            {VcfModule::Classic18dB, 0.2f},
                                            {VcfModule::Slope24dBSO, 0.0f}}) {
        const std::vector<float> fast = play(model, modulation);
        const std::vector<float> plain = [&] {
            const PlainKernels kernels;
            return play(model, modulation);
        }();
        double largest = 0.0, peak = 0.0;
        for (std::size_t i = 0; i < plain.size(); ++i) {
            largest = std::max(largest, std::fabs(double(fast[i]) - plain[i]));
            peak = std::max(peak, std::fabs(double(plain[i])));
        }
        EXPECT_GT(peak, 0.1) << model << " " << modulation;
        EXPECT_LT(largest, 1e-5 * peak) << model << " " << modulation;
    }
}

TEST_F(InstrumentRender, TimeStampsOutsideTheBlockStayInsideIt) {
    // Hosts must stamp events within the block; one that does not still gets its notes
    // played, and nothing is written outside the host's buffers (the sanitizers watch that).
    synth.setState(State::MidiMode, 1);
    MidiEventList midi;
    midi.add(-5, 0x90, 40, 100);
    midi.add(100000, 0x90, 47, 100);
    midi.add(blockSize, 0x80, 40, 0);
    synth.processEvents(midi.record());
    std::vector<float> left(blockSize), right(blockSize);
    float* outputs[2] = {left.data(), right.data()};
    synth.processReplacing(nullptr, outputs, blockSize);
    EXPECT_TRUE(Internals::engine(synth).voice(0).isActive());
    EXPECT_TRUE(renderFinite(4));
}

TEST_F(InstrumentRender, EventsOfABlockWithoutFramesOrOutputsAreStillPlayed) {
    // Hosts flush their events with an empty block; a note-off lost there leaves the note
    // hanging. Without output buffers the events are played and nothing is written.
    synth.setState(State::MidiMode, 1);
    MidiEventList midi;
    midi.add(0, 0x90, 40, 100);
    synth.processEvents(midi.record());
    synth.processReplacing(nullptr, nullptr, blockSize);
    EXPECT_TRUE(Internals::engine(synth).voice(0).gate());

    midi.clear();
    midi.add(0, 0x80, 40, 0);
    synth.processEvents(midi.record());
    std::vector<float> left(blockSize), right(blockSize);
    float* outputs[2] = {left.data(), right.data()};
    synth.processReplacing(nullptr, outputs, 0);
    EXPECT_FALSE(Internals::engine(synth).voice(0).gate());
}

#ifdef TRESKPRO_HAS_SSE2
TEST_F(InstrumentRender, TheCallersFloatingPointModeIsRestored) {
    const unsigned before = _mm_getcsr();
    // Round towards zero, denormals kept: whatever the host set stays set after each block.
    const unsigned hostMode = (before & ~0x8040u) | 0x6000u;
    _mm_setcsr(hostMode);
    EXPECT_TRUE(renderFinite(2));
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, hostMode & ~0x3Fu); // the exception flags may differ
    _mm_setcsr(before);
}
#endif

// The host's audio thread renders while its user-interface thread loads patch files, restores
// chunks and moves parameters. Run under ThreadSanitizer and AddressSanitizer as well.
TEST(RenderThreads, PatchesReplacedWhileRendering) {
    testhost::loadBundleWavetables();
    TreskproPlugin synth{testHost, testing::TempDir()};
    synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    synth.dispatch(vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
    synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);

    const std::string patchPath =
        (std::filesystem::path(testing::TempDir()) / "threads.tpro").string();
    {
        TreskproPatch patch;
        patch.setState(State::RunStop, 1);
        patch.patterns[0].steps[0].flags = StepFlags::gate | StepFlags::accent;
        ASSERT_TRUE(writePatchFile(patch, patchPath));
    }
    void* chunkData = nullptr;
    const vst::intptr chunkSize = synth.dispatch(vst::effGetChunk, 0, 0, &chunkData, 0.0f);
    const std::vector<char> chunk(static_cast<char*>(chunkData),
                                  static_cast<char*>(chunkData) + chunkSize);

    std::atomic<bool> done{false};
    std::atomic<bool> finite{true};
    MidiEventList midi;
    std::thread audio([&] {
        std::vector<float> left(blockSize), right(blockSize);
        float* outputs[2] = {left.data(), right.data()};
        int block = 0;
        while (!done.load()) {
            if (block++ % 8 == 0) {
                midi.clear();
                midi.add(block % blockSize, 0x90, block % 128, 100);
                midi.add(blockSize - 1, 0x80, (block + 64) % 128, 0);
                synth.processEvents(midi.record());
            }
            synth.processReplacing(nullptr, outputs, blockSize);
            for (float x : left) {
                if (!std::isfinite(x))
                    finite = false;
            }
        }
    });

    std::mt19937 random(3);
    for (int round = 0; round < 60; ++round) {
        switch (round % 3) {
        case 0:
            synth.loadPatch(patchPath);
            break;
        case 1:
            synth.dispatch(vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()),
                           const_cast<char*>(chunk.data()), 0.0f);
            break;
        default:
            for (int i = 0; i < Parameter::count; ++i)
                synth.setParameter(i, std::uniform_real_distribution<float>(0.0f, 1.0f)(random));
            synth.setRunStop(round % 2 == 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    done = true;
    audio.join();
    EXPECT_TRUE(finite.load());
}

} // namespace
} // namespace treskpro
