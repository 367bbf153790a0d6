// The command-line host's render loop against a fake plug-in that records what a plug-in sees:
// block sizes, the events with their offsets, the tempo and position of each block.
#include "tools/render/Renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace treskpro {
namespace {

using namespace vst;

struct ReceivedEvent {
    std::int64_t frame; // block position + deltaFrames
    int status;
    int data1;
};

struct FakePlugin {
    struct Block {
        int frames;
        int eventCount;
        double tempo;
        double position;
    };

    FakePlugin() {
        effect.magic = kEffectMagic;
        effect.object = this;
        effect.numInputs = 2;
        effect.numOutputs = 2;
        effect.dispatcher = [](AEffect* e, int32 opcode, int32, intptr value, void* ptr,
                               float opt) -> intptr {
            return self(e).dispatch(opcode, value, ptr, opt);
        };
        effect.processReplacing = [](AEffect* e, float** inputs, float** outputs, int32 count) {
            self(e).process(inputs, outputs, count);
        };
    }
    static FakePlugin& self(AEffect* e) { return *static_cast<FakePlugin*>(e->object); }

    intptr dispatch(int32 opcode, intptr value, void* ptr, float opt) {
        opcodes.push_back(opcode);
        if (opcode == effSetSampleRate)
            sampleRate = opt;
        if (opcode == effSetBlockSize)
            blockSize = value;
        if (opcode == effProcessEvents) {
            const auto* events = static_cast<const VstEvents*>(ptr);
            EXPECT_EQ(events->reserved, 0); // the interface asks hosts for zero
            for (int32 i = 0; i < events->numEvents; ++i) {
                VstMidiEvent event;
                std::memcpy(&event, events->events[i], sizeof event);
                EXPECT_EQ(event.type, kVstMidiType);
                EXPECT_EQ(event.byteSize, 32);
                pending.push_back(
                    {event.deltaFrames, event.midiData[0] & 0xFF, event.midiData[1] & 0xFF});
            }
            return 1;
        }
        return 0;
    }

    void process(float** inputs, float** outputs, int32 count) {
        const auto* host = static_cast<const PluginHost*>(effect.user);
        const double position = host->timeInfo.samplePos;
        for (ReceivedEvent& event : pending) {
            EXPECT_GE(event.frame, 0);
            EXPECT_LT(event.frame, count);
            event.frame += static_cast<std::int64_t>(position);
            received.push_back(event);
        }
        blocks.push_back({count, static_cast<int>(pending.size()), host->timeInfo.tempo, position});
        pending.clear();
        for (int32 i = 0; i < count; ++i) {
            outputs[0][i] = 2.0f * inputs[0][i];
            outputs[1][i] = inputs[1][i] + 1.0f;
        }
    }

    AEffect effect{};
    float sampleRate = 0.0f;
    intptr blockSize = 0;
    std::vector<int32> opcodes;
    std::vector<ReceivedEvent> pending;
    std::vector<ReceivedEvent> received;
    std::vector<Block> blocks;
};

class RenderLoop : public ::testing::Test {
protected:
    void SetUp() override {
        host.attach(&plugin.effect);
        job.sampleRate = 48000.0;
        job.blockSize = 512;
    }
    RenderResult run() {
        RenderResult result = render(host, job);
        EXPECT_TRUE(result.ok) << result.error;
        return result;
    }

    FakePlugin plugin; // outlives the host, which closes it
    PluginHost host;
    RenderJob job;
};

TEST_F(RenderLoop, EventsReachTheirBlockWithTheirOffset) {
    job.frames = 1000;
    job.events = {{0, 0x90, 36, 100},
                  {100, 0x90, 40, 100},
                  {100, 0x80, 36, 0},
                  {600, 0x80, 40, 0},
                  {1000, 0x90, 1, 1}}; // the last lies beyond the render
    job.tempoAt = [](std::int64_t frame) { return 100.0 + static_cast<double>(frame); };
    const RenderResult result = run();

    EXPECT_EQ(plugin.sampleRate, 48000.0f);
    EXPECT_EQ(plugin.blockSize, 512);
    // Rate and block size come before the resume; the render ends with a suspend.
    const std::vector<int32> expectedStart = {effSetSampleRate, effSetBlockSize, effMainsChanged};
    EXPECT_EQ(std::vector<int32>(plugin.opcodes.begin(), plugin.opcodes.begin() + 3),
              expectedStart);
    EXPECT_EQ(plugin.opcodes.back(), effMainsChanged);

    ASSERT_EQ(plugin.blocks.size(), 2u);
    EXPECT_EQ(plugin.blocks[0].frames, 512);
    EXPECT_EQ(plugin.blocks[0].eventCount, 3);
    EXPECT_EQ(plugin.blocks[1].frames, 488);
    EXPECT_EQ(plugin.blocks[1].eventCount, 1);
    EXPECT_EQ(plugin.blocks[1].position, 512.0);
    EXPECT_EQ(plugin.blocks[1].tempo, 612.0);

    ASSERT_EQ(plugin.received.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(plugin.received[i].frame, job.events[i].frame) << i;
        EXPECT_EQ(plugin.received[i].status, job.events[i].status) << i;
        EXPECT_EQ(plugin.received[i].data1, job.events[i].data1) << i;
    }
    EXPECT_EQ(result.frames, 1000);
    EXPECT_EQ(result.blocks, 2);
    EXPECT_EQ(result.eventsDelivered, 4);
    EXPECT_GE(result.pluginSeconds, 0.0);
}

TEST_F(RenderLoop, AnEmptyRenderReportsNothingRendered) {
    job.frames = 0;
    job.events = {{0, 0x90, 36, 100}};
    const RenderResult result = run();
    EXPECT_EQ(result.frames, 0);
    EXPECT_EQ(result.blocks, 0);
    EXPECT_EQ(result.eventsDelivered, 0);
    EXPECT_TRUE(plugin.blocks.empty());
}

TEST_F(RenderLoop, BusyBlocksAreCutSoThePluginMissesNoEvent) {
    // 70 events on 70 frames of one block: the plug-in reads 64 a block, so the block ends before
    // the 65th; 100 events on one frame cannot be split and all come in one block.
    job.frames = 2048;
    for (int i = 0; i < 70; ++i)
        job.events.push_back({10 + i, 0x90, static_cast<std::uint8_t>(i), 100});
    for (int i = 0; i < 100; ++i)
        job.events.push_back({900, 0xB0, static_cast<std::uint8_t>(i), 0});
    job.events.push_back({1500, 0x80, 1, 0});
    const RenderResult result = run();

    ASSERT_EQ(plugin.received.size(), job.events.size());
    for (std::size_t i = 0; i < job.events.size(); ++i) {
        ASSERT_EQ(plugin.received[i].frame, job.events[i].frame) << i;
        ASSERT_EQ(plugin.received[i].data1, job.events[i].data1) << i;
    }
    int total = 0;
    int largest = 0;
    for (const FakePlugin::Block& block : plugin.blocks) {
        EXPECT_GT(block.frames, 0);
        EXPECT_LE(block.frames, 512);
        EXPECT_EQ(block.position, total);
        total += block.frames;
        largest = std::max(largest, block.eventCount);
        if (block.position != 900.0) {
            EXPECT_LE(block.eventCount, eventsThePluginTakes);
        }
    }
    EXPECT_EQ(total, 2048);
    EXPECT_EQ(largest, 100);
    EXPECT_EQ(plugin.blocks[0].frames, 74); // up to the 65th event's frame
    EXPECT_EQ(result.eventsDelivered, 171);
}

TEST_F(RenderLoop, InputsInOutputsOutAndTheSinkCanStopTheRender) {
    job.frames = 1300;
    std::int64_t fed = 0;
    job.input = [&](float* left, float* right, int count) {
        for (int i = 0; i < count; ++i) {
            left[i] = 0.25f;
            right[i] = static_cast<float>(fed + i);
        }
        fed += count;
    };
    std::vector<float> left, right;
    job.output = [&](const float* l, const float* r, int count) {
        left.insert(left.end(), l, l + count);
        right.insert(right.end(), r, r + count);
        return true;
    };
    std::vector<std::int64_t> progress;
    job.progress = [&](std::int64_t done, std::int64_t total) {
        EXPECT_EQ(total, 1300);
        progress.push_back(done);
    };
    run();
    ASSERT_EQ(left.size(), 1300u);
    EXPECT_EQ(left[1299], 0.5f);
    EXPECT_EQ(right[700], 701.0f);
    EXPECT_EQ(progress, (std::vector<std::int64_t>{512, 1024, 1300}));

    job.output = [](const float*, const float*, int) { return false; };
    const RenderResult failed = render(host, job);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.blocks, 1);
    EXPECT_EQ(plugin.opcodes.back(), effMainsChanged); // suspended all the same
}

} // namespace
} // namespace treskpro
