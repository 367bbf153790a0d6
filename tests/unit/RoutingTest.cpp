// Patch-cable routing: which cables the editor may draw, and what the audio thread's pointer
// copy makes of any connection list, including lists read from damaged files or chunks.
#include "engine/Module.h"
#include "engine/SocketRegistry.h"

#include <gtest/gtest.h>

#include <array>

namespace treskpro {
namespace {

// The 42 sockets of the panel, each output pointing at a block of its own.
class Routing : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < Socket::count; ++i) {
            const SocketDefinition& definition = socketDefinitions[static_cast<size_t>(i)];
            if (definition.direction == SocketDirection::Output)
                variables[i] = blocks[i].data();
            ASSERT_TRUE(
                registry.registerSocket(&variables[i], definition.name, definition.direction));
        }
    }

    float* block(int socket) { return blocks[socket].data(); }

    SocketRegistry registry;
    ConnectionList list{};
    float* variables[Socket::count] = {};
    std::array<std::array<float, 4>, Socket::count> blocks{};
};

TEST_F(Routing, SocketTableNamesAndDirections) {
    EXPECT_EQ(registry.size(), 42);
    EXPECT_STREQ(registry.socketName(Socket::Vco1CvInput), "VCO-1 CV Input");
    EXPECT_STREQ(registry.socketName(Socket::MgCvOutput), "MG CV Output");
    EXPECT_STREQ(registry.socketName(Socket::Attenuator2LagOut), "Attenuator 2 Lag Out");
    EXPECT_STREQ(registry.socketName(Socket::ChannelPressure), "Channel Pressure");
    EXPECT_STREQ(registry.socketName(42), "N/A");
    EXPECT_STREQ(registry.socketName(-1), "N/A");
    int inputs = 0;
    for (int i = 0; i < 42; ++i)
        inputs += registry.isInput(i) ? 1 : 0;
    EXPECT_EQ(inputs, 21); // so a full panel never needs more than 21 of the 128 places
    EXPECT_TRUE(registry.isOutput(Socket::Attenuator1UnipolarOut));
    EXPECT_TRUE(registry.isInput(Socket::NoiseCv));
}

TEST_F(Routing, RegistryRefusesTheHundredTwentyNinthSocket) {
    SocketRegistry full;
    float* variable = nullptr;
    for (int i = 0; i < SocketRegistry::capacity; ++i)
        ASSERT_TRUE(full.registerSocket(&variable, "x", SocketDirection::Input));
    EXPECT_FALSE(full.registerSocket(&variable, "one too many", SocketDirection::Input));
    EXPECT_EQ(full.size(), 128);
}

TEST_F(Routing, ConnectRules) {
    EXPECT_TRUE(registry.connect(list, Socket::MgCvOutput, Socket::VcfCvInput));
    // Input first stores the same (output, input) pair.
    EXPECT_TRUE(registry.connect(list, Socket::Vco1CvInput, Socket::SeqNoteCvOut));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.connection(1).output, Socket::SeqNoteCvOut);
    EXPECT_EQ(list.connection(1).input, Socket::Vco1CvInput);

    EXPECT_FALSE(registry.connect(list, Socket::ModWheel, Socket::VcfCvInput));    // already fed
    EXPECT_FALSE(registry.connect(list, Socket::MgCvOutput, Socket::VcfCvInput));  // same pair
    EXPECT_FALSE(registry.connect(list, Socket::Vco2CvInput, Socket::VcaCvInput)); // two inputs
    EXPECT_FALSE(registry.connect(list, Socket::MgCvOutput, Socket::ModWheel));    // two outputs
    EXPECT_FALSE(registry.connect(list, Socket::MgCvOutput, Socket::MgCvOutput));  // itself
    EXPECT_FALSE(registry.connect(list, Socket::MgCvOutput, 42));                  // unknown
    EXPECT_FALSE(registry.connect(list, -1, Socket::Vco2CvInput));
    EXPECT_EQ(list.size(), 2);

    // One output may feed many inputs.
    EXPECT_TRUE(registry.connect(list, Socket::MgCvOutput, Socket::Vco2CvInput));
    EXPECT_TRUE(registry.canConnect(list, Socket::MgCvOutput, Socket::NoiseCv));
}

TEST_F(Routing, DisconnectInEitherOrderKeepsTheRestInOrder) {
    registry.connect(list, Socket::MgCvOutput, Socket::VcfCvInput);
    registry.connect(list, Socket::ModWheel, Socket::Vco1CvInput);
    registry.connect(list, Socket::ChannelPressure, Socket::VcaCvInput);
    registry.disconnect(list, Socket::Vco1CvInput, Socket::ModWheel);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.connection(0).input, Socket::VcfCvInput);
    EXPECT_EQ(list.connection(1).input, Socket::VcaCvInput);
    registry.disconnect(list, Socket::ModWheel, Socket::VcaCvInput); // no such cable
    EXPECT_EQ(list.size(), 2);
    registry.disconnect(list, Socket::MgCvOutput, Socket::VcfCvInput);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.connection(0).output, Socket::ChannelPressure);
    EXPECT_EQ(registry.connectedOutput(list, Socket::VcfCvInput), -1);
    EXPECT_EQ(registry.connectedOutput(list, Socket::VcaCvInput), Socket::ChannelPressure);
    // Freed inputs take a new cable.
    EXPECT_TRUE(registry.connect(list, Socket::ModWheel, Socket::VcfCvInput));
}

TEST_F(Routing, ApplyingCopiesPointersAndClearsUnfedInputs) {
    variables[Socket::NoiseCv] = block(Socket::ModWheel); // left over from an earlier block
    registry.connect(list, Socket::MgCvOutput, Socket::VcfCvInput);
    registry.connect(list, Socket::MgCvOutput, Socket::Vco2CvInput);
    registry.applyConnections(list);
    EXPECT_EQ(variables[Socket::VcfCvInput], block(Socket::MgCvOutput));
    EXPECT_EQ(variables[Socket::Vco2CvInput], block(Socket::MgCvOutput));
    EXPECT_EQ(variables[Socket::NoiseCv], nullptr);
    EXPECT_EQ(variables[Socket::MgCvOutput], block(Socket::MgCvOutput)); // outputs untouched

    // No cables: every input is null, so every module uses its built-in routing.
    list.setCount(0);
    registry.applyConnections(list);
    for (int i = 0; i < Socket::count; ++i) {
        if (registry.isInput(i)) {
            EXPECT_EQ(variables[i], nullptr) << registry.socketName(i);
        }
    }
}

TEST_F(Routing, ListsFromOutsideAreAppliedSafely) {
    // As a damaged file or chunk may hold them: the later cable into an input wins; pairs
    // with unknown indexes or the wrong direction are ignored; the count is bounded.
    list.setCount(6);
    list.setConnection(0, {Socket::ModWheel, Socket::VcfCvInput});
    list.setConnection(1, {Socket::ChannelPressure, Socket::VcfCvInput});
    list.setConnection(2, {Socket::VcaCvInput, Socket::MgCvOutput}); // reversed
    list.setConnection(3, {1000000, Socket::Vco1CvInput});
    list.setConnection(4, {Socket::MgCvOutput, -7});
    list.setConnection(5, {Socket::MgCvOutput, 42});
    registry.applyConnections(list);
    EXPECT_EQ(variables[Socket::VcfCvInput], block(Socket::ChannelPressure));
    EXPECT_EQ(registry.connectedOutput(list, Socket::VcfCvInput), Socket::ChannelPressure);
    EXPECT_EQ(variables[Socket::Vco1CvInput], nullptr);
    EXPECT_EQ(variables[Socket::MgCvOutput], block(Socket::MgCvOutput));
    EXPECT_EQ(registry.connectedOutput(list, Socket::VcaCvInput), -1);

    list.setCount(100000);
    EXPECT_EQ(list.size(), ConnectionList::capacity);
    registry.applyConnections(list); // reads 128 pairs, no more
    list.setCount(-5);
    EXPECT_EQ(list.size(), 0);
    EXPECT_FALSE(SocketRegistry::isSocketUsed(list, Socket::ModWheel));
}

TEST_F(Routing, SocketUseCountsBothEnds) {
    registry.connect(list, Socket::EnvelopeFollower, Socket::MgFreqCv);
    EXPECT_TRUE(SocketRegistry::isSocketUsed(list, Socket::EnvelopeFollower));
    EXPECT_TRUE(SocketRegistry::isSocketUsed(list, Socket::MgFreqCv));
    EXPECT_FALSE(SocketRegistry::isSocketUsed(list, Socket::MgCvOutput));
}

TEST_F(Routing, ListHoldsAtMost128Pairs) {
    for (int i = 0; i < ConnectionList::capacity; ++i)
        ASSERT_TRUE(list.append({Socket::MgCvOutput, Socket::VcfCvInput}));
    EXPECT_FALSE(list.append({Socket::MgCvOutput, Socket::VcfCvInput}));
    EXPECT_EQ(list.size(), 128);
    // Removing from the full list reads no pair past its end (the sanitizer builds watch) and
    // frees a place.
    list.remove(0);
    EXPECT_EQ(list.size(), 127);
    EXPECT_TRUE(list.append({Socket::MgCvOutput, Socket::VcfCvInput}));
}

TEST(ModuleBase, PortsAndGenericNames) {
    Module module;
    EXPECT_EQ(module.inputName(0), "Generic input");
    EXPECT_EQ(module.outputName(3), "Generic output");
    float block[4] = {};
    module.setInput(2, block);
    module.setOutput(0, block);
    module.setInput(16, block); // beyond the 16 ports: refused
    EXPECT_EQ(module.inputsInUse(), 3);
    EXPECT_EQ(module.outputsInUse(), 1);
    EXPECT_EQ(module.input(2), block);
    EXPECT_EQ(module.input(0), nullptr);
    module.process(4); // the base does nothing
}

} // namespace
} // namespace treskpro
