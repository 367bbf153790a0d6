// The synth engine: modules that exchange blocks of single-precision samples through plain
// buffer pointers. A module reads its input ports and writes its output ports once per slice;
// patch cables are nothing but a rewiring of those pointers before each block (SocketRegistry).
//
// Data flows: plug-in block -> voice render loop -> modules (oscillators, filter, envelopes,
// modulation) -> stereo delay and master volume -> host outputs. The engine never includes the
// host interface, the editor or the toolkit.
#pragma once

#include <array>
#include <string>

namespace treskpro {

// Base of every engine module: up to 16 input and 16 output block pointers, null meaning
// "not connected". Derived modules name their ports with enums whose values are port numbers.
class Module {
public:
    static constexpr int maximumPorts = 16;

    virtual ~Module() = default;

    // Processes `count` samples from the input blocks into the output blocks. Audio thread;
    // never allocates. The base does nothing.
    virtual void process(int count) noexcept;

    // Port names for display; the base has generic ones. Editor thread.
    virtual std::string inputName(int index) const;
    virtual std::string outputName(int index) const;

    // Wires a port; wiring port j raises the count of ports in use to at least j + 1. Ports
    // outside 0..15 are refused.
    void setInput(int port, const float* block);
    void setOutput(int port, float* block);

    const float* input(int port) const { return inputs[static_cast<std::size_t>(port)]; }
    float* output(int port) const { return outputs[static_cast<std::size_t>(port)]; }
    int inputsInUse() const { return inputCount; }
    int outputsInUse() const { return outputCount; }

protected:
    std::array<const float*, maximumPorts> inputs{};
    std::array<float*, maximumPorts> outputs{};
    int inputCount = 0;
    int outputCount = 0;
};

} // namespace treskpro
