// Values from outside that are not numbers, infinite or absurdly large: from the host's
// automation, inside a restored chunk or patch file, in the host's audio, as the sample rate or
// the block size. None of them may make the output non-finite, and none may leave an instance
// broken: once a sane value is back, the instrument sounds again.
#include "engine/Parameters.h"
#include "engine/PitchTables.h"
#include "engine/SampleRate.h"
#include "engine/SocketRegistry.h"
#include "engine/SynthEngine.h"
#include "engine/WavetableSet.h"
#include "files/PatchFile.h"
#include "platform/Platform.h"
#include "plugin/TreskproPlugin.h"
#include "tests/support/TestHost.h"
#include "tools/render/MidiEventList.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace treskpro {
namespace {

constexpr int blockSize = 256;
constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr std::array<float, 5> hostileValues = {std::numeric_limits<float>::quiet_NaN(), infinity,
                                                -infinity, 1e30f, -1e30f};
// Where the parameter slots of the program record start in the chunk.
constexpr std::size_t chunkParameterOffset = 16912 + 24;

class NonFiniteInput : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::loadBundleWavetables();
        testhost::hostTime().tempo = 120.0;
        synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        synth.dispatch(vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
        synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);

        // A patch in which every parameter reaches the sound: the delay, noise, the MG on
        // every destination, the host's audio through the follower and both attenuators.
        const std::pair<int, float> settings[] = {
            {Parameter::DelayAmount, 0.5f},     {Parameter::DelayFeedback, 0.5f},
            {Parameter::DelayLeft, 0.2f},       {Parameter::DelayRight, 0.3f},
            {Parameter::NoiseLevel, 0.2f},      {Parameter::AuxLevel, 0.3f},
            {Parameter::Vco2Level, 0.5f},       {Parameter::MgAmount, 0.3f},
            {Parameter::MgVcfDest, 1.0f},       {Parameter::MgVco2Dest, 1.0f},
            {Parameter::MgAudioOutput, 1.0f},   {Parameter::Vco1FilterMod, 0.3f},
            {Parameter::Vco2FreqMod, 0.3f},     {Parameter::VcfTracking, 0.5f},
            {Parameter::AccentAmount, 0.5f},    {Parameter::AccentManual, 1.0f},
            {Parameter::FilterResonance, 0.6f}, {Parameter::VcoShaper, 0.4f},
            {Parameter::VcaSustain, 1.0f},
        };
        for (const auto& [index, value] : settings)
            synth.setParameter(index, value);
        synth.setState(State::MidiMode, 1);
        synth.setState(State::NoteMode, 0);
        synth.setState(State::AuxInput, 1);
        const SocketRegistry& sockets = synth.sockets();
        ConnectionList& cables = synth.patch().connections;
        sockets.connect(cables, Socket::EnvelopeFollower, Socket::Attenuator2Input);
        sockets.connect(cables, Socket::Attenuator2LagOut, Socket::DelayTimeLeft);
        sockets.connect(cables, Socket::MgCvOutput, Socket::Attenuator1Input);
        sockets.connect(cables, Socket::Attenuator1VariableOut, Socket::Inverter1Input);
        sockets.connect(cables, Socket::Inverter1Output, Socket::VcaCvInput);
        sockets.connect(cables, Socket::Attenuator2VariableOut, Socket::Inverter2Input);
        sockets.connect(cables, Socket::Inverter2Output, Socket::VcfCvInput);
        sockets.connect(cables, Socket::Attenuator1HalfOut, Socket::NoiseAuxBalanceCv);
        for (int i = 0; i < Parameter::count; ++i)
            sane[static_cast<std::size_t>(i)] = synth.getParameter(i);
    }

    // Starts a note and renders `blocks` blocks with a tone on the host's inputs; false at the
    // first output sample that is not finite. `peak` is the loudest sample of the last block.
    bool play(int blocks, float* peak = nullptr) {
        midi.clear();
        midi.add(0, 0x80, 45, 0);
        midi.add(1, 0x90, 45, 110);
        synth.processEvents(midi.record());
        return render(blocks, peak);
    }

    bool render(int blocks, float* peak = nullptr) {
        for (int b = 0; b < blocks; ++b) {
            for (int i = 0; i < blockSize; ++i)
                input[static_cast<std::size_t>(i)] = 0.5f * std::sin(0.05f * float(i));
            float* inputs[2] = {input.data(), input.data()};
            float* outputs[2] = {left.data(), right.data()};
            synth.processReplacing(inputs, outputs, blockSize);
            float loudest = 0.0f;
            for (int i = 0; i < blockSize; ++i) {
                const float l = left[static_cast<std::size_t>(i)];
                const float r = right[static_cast<std::size_t>(i)];
                if (!std::isfinite(l) || !std::isfinite(r))
                    return false;
                loudest = std::max({loudest, std::fabs(l), std::fabs(r)});
            }
            if (peak)
                *peak = loudest;
        }
        return true;
    }

    // A note played after the hostile value was taken back must be heard.
    void expectSoundsAgain(const std::string& what) {
        float peak = 0.0f;
        ASSERT_TRUE(play(6, &peak)) << what << ": output not finite after recovery";
        ASSERT_GT(peak, 0.01f) << what << ": silent after recovery";
    }

    std::vector<std::uint8_t> chunk() {
        void* data = nullptr;
        const auto size = synth.dispatch(vst::effGetChunk, 0, 0, &data, 0.0f);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        return {bytes, bytes + size};
    }

    void setChunk(std::vector<std::uint8_t>& bytes) {
        synth.dispatch(vst::effSetChunk, 0, static_cast<vst::intptr>(bytes.size()), bytes.data(),
                       0.0f);
    }

    static std::string describe(int index, float value) {
        return std::string(parameterDefinitions[static_cast<std::size_t>(index)].name) + " = " +
               std::to_string(value);
    }

    TreskproPlugin synth{testhost::testHost, testing::TempDir()};
    std::array<float, Parameter::count> sane{};
    MidiEventList midi;
    std::vector<float> left = std::vector<float>(blockSize);
    std::vector<float> right = std::vector<float>(blockSize);
    std::vector<float> input = std::vector<float>(blockSize);
};

TEST_F(NonFiniteInput, AutomationNeverBreaksTheInstrument) {
    expectSoundsAgain("the test patch");
    for (int index = 0; index < Parameter::count; ++index) {
        for (float value : hostileValues) {
            const std::string what = describe(index, value);
            synth.setParameter(index, value);
            const float stored = synth.getParameter(index);
            // A host reads back a number in the parameter's range.
            ASSERT_TRUE(stored >= 0.0f && stored <= parameterMaximum(index))
                << what << " stored as " << stored;
            if (std::isnan(value)) {
                EXPECT_EQ(stored, sane[static_cast<std::size_t>(index)]) << what;
            }
            ASSERT_TRUE(play(2)) << what;
            synth.setParameter(index, sane[static_cast<std::size_t>(index)]);
            expectSoundsAgain(what);
        }
    }
}

TEST_F(NonFiniteInput, RestoredChunksNeverBreakTheInstrument) {
    std::vector<std::uint8_t> clean = chunk();
    for (int index = 0; index < Parameter::count; ++index) {
        for (float value : hostileValues) {
            const std::string what = describe(index, value);
            std::vector<std::uint8_t> hostile = clean;
            std::memcpy(&hostile[chunkParameterOffset + 4 * static_cast<std::size_t>(index)],
                        &value, 4);
            setChunk(hostile);
            const float stored = synth.getParameter(index);
            ASSERT_TRUE(stored >= 0.0f && stored <= parameterMaximum(index))
                << what << " restored as " << stored;
            ASSERT_TRUE(play(2)) << what;
            setChunk(clean);
            expectSoundsAgain(what);
        }
    }
}

TEST_F(NonFiniteInput, PatchFilesNeverBreakTheInstrument) {
    for (const char* text : {"nan", "inf", "-inf", "1e30", "-1e30", "-nan", "1e99999"}) {
        std::string file = "[" + std::to_string(Parameter::count) + " Parameters]\r\n";
        for (int i = 0; i < Parameter::count; ++i)
            file += "\"" + std::string(parameterDefinitions[static_cast<std::size_t>(i)].name) +
                    "\" = " + text + "\r\n";
        TreskproPatch patch;
        readPatchText(patch, file);
        for (int i = 0; i < Parameter::count; ++i) {
            const float value = patch.getParameter(i);
            EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << describe(i, value) << " from " << text;
        }
    }
}

// The host's audio reaches the follower, the oscillator mix and through the cables the delay:
// samples that are no numbers, infinite or absurd must neither break nor silence the note.
TEST_F(NonFiniteInput, HostAudioNeverBreaksTheInstrument) {
    for (float value : hostileValues) {
        midi.clear();
        midi.add(0, 0x90, 45, 110);
        synth.processEvents(midi.record());
        float peak = 0.0f;
        for (int b = 0; b < 8; ++b) {
            std::fill(input.begin(), input.end(), value);
            input[7] = 0.25f;
            float* inputs[2] = {input.data(), input.data()};
            float* outputs[2] = {left.data(), right.data()};
            synth.processReplacing(inputs, outputs, blockSize);
            for (std::size_t i = 0; i < left.size(); ++i) {
                ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << value;
                peak = std::max(peak, std::fabs(left[i]));
            }
        }
        EXPECT_GT(peak, 0.01f) << "silent while the input holds " << value;
        expectSoundsAgain("input " + std::to_string(value));
    }
}

// Should a value that no entry point caught reach the engine, the slice comes out silent instead
// of NaN, and the engine's reset (which suspend runs too) leaves no trace of it: the next note
// sounds.
TEST(EngineRecovery, AValueNoEntryPointCaughtCostsOneSliceAtMost) {
    testhost::loadBundleWavetables();
    setEngineSampleRate(44100.0f);
    BlockRegistry blocks(blockSize);
    SynthEngine engine(blocks);
    TreskproPatch patch;
    std::array<float, Parameter::count> parameters{};
    for (int i = 0; i < Parameter::count; ++i)
        parameters[static_cast<std::size_t>(i)] = patch.getParameter(i);
    parameters[Parameter::DelayAmount] = 0.5f;
    parameters[Parameter::DelayFeedback] = 0.5f;
    parameters[Parameter::VcaSustain] = 1.0f;
    parameters[Parameter::VcoBoost] = 0.5f;
    parameters[Parameter::Vco1Waveform] = 0.5f; // the pulse, its width moved by the MG
    engine.sockets().connect(patch.connections, Socket::MgCvOutput, Socket::Vco1PwCv);
    const std::array<float, Parameter::count> sane = parameters;
    RenderContext context;
    context.parameters = parameters.data();
    context.connections = &patch.connections;
    context.patterns = &patch.patterns;
    context.midiMode = 1;
    context.noteTable = &noteFrequencyTable();

    std::vector<float> left(blockSize), right(blockSize);
    float* outputs[2] = {left.data(), right.data()};
    const auto render = [&](int count) {
        float peak = 0.0f;
        for (int b = 0; b < count; ++b) {
            engine.render(context, nullptr, outputs, 0, blockSize);
            peak = 0.0f;
            for (int i = 0; i < blockSize; ++i) {
                const float l = left[static_cast<std::size_t>(i)];
                const float r = right[static_cast<std::size_t>(i)];
                if (!std::isfinite(l) || !std::isfinite(r))
                    return std::numeric_limits<float>::quiet_NaN();
                peak = std::max({peak, std::fabs(l), std::fabs(r)});
            }
        }
        return peak; // NaN when a block held a sample that is not finite
    };

    for (int index = 0; index < Parameter::count; ++index) {
        for (float value : {std::numeric_limits<float>::quiet_NaN(), infinity, -infinity}) {
            const std::string what =
                std::string(parameterDefinitions[index].name) + " = " + std::to_string(value);
            parameters[static_cast<std::size_t>(index)] = value;
            engine.voice(0).noteOn(45, 100);
            for (int b = 0; b < 3; ++b)
                ASSERT_FALSE(std::isnan(render(1))) << what;
            parameters = sane;
            engine.reset();
            engine.voice(0).noteOn(45, 100);
            ASSERT_GT(render(8), 0.01f) << what;
        }
    }
}

} // namespace
} // namespace treskpro
