// Patch-cable routing. Every socket on the panel is a pointer variable owned by the plug-in
// object: an output socket's variable points at the block its module writes, an input socket's
// variable is null (not connected) or a copy of an output's pointer. Before each block the
// connection list of the current patch is applied by copying pointers; nothing else moves.
//
// A consumer reads an input socket by testing its variable: null means it uses its built-in
// source. An input fed by an output that its voice computes later reads that block as it was
// left by the previous slice or voice: the order of the voice loop is the only scheduling.
#pragma once

#include "engine/ConnectionList.h"

#include <array>

namespace treskpro {

enum class SocketDirection : int { Input = 1, Output = 2 };

// The 42 sockets of the modular section; the index is the number stored in connection lists.
struct Socket {
    enum Index : int {
        Vco1CvInput,
        Vco2CvInput,
        VcoBalanceCv,
        NoiseAuxBalanceCv,
        MgCvOutput,
        ShaperCvInput,
        AccentTrigger,
        VcaEnvAmount,
        VcfEnvAmount,
        DelayTimeLeft,
        DelayTimeRight,
        SeqGateCvOut,
        SeqNoteCvOut,
        SeqAccentCvOut,
        MidiNoteCv,
        MidiVelocityCv,
        MgFreqCv,
        MgAmountCv,
        VcaEnvCvOut,
        VcfEnvCvOut,
        EnvelopeFollower,
        Attenuator1Input,
        Attenuator1EighthOut,
        Attenuator1HalfOut,
        Attenuator1VariableOut,
        Inverter1Input,
        Inverter1Output,
        Inverter2Input,
        Inverter2Output,
        Attenuator2Input,
        Attenuator2EighthOut,
        Attenuator2HalfOut,
        Attenuator2VariableOut,
        Attenuator2LagOut,
        VcfCvInput,
        VcaCvInput,
        Vco1PwCv,
        Vco2PwCv,
        NoiseCv,
        ModWheel,
        Attenuator1UnipolarOut,
        ChannelPressure,
    };
    static constexpr int count = 42;
};

struct SocketDefinition {
    const char* name;
    SocketDirection direction;
};

extern const std::array<SocketDefinition, Socket::count> socketDefinitions;

// True when the pair runs from an output into an input of the socket table: a cable the panel
// can draw. A list read from a file or a chunk may hold anything else.
bool isPatchCable(Connection cable);

class SocketRegistry {
public:
    static constexpr int capacity = 128;
    static constexpr int nameCapacity = 80;

    struct Entry {
        float** variable; // the socket's buffer-pointer variable
        char name[nameCapacity];
        SocketDirection direction;
    };

    // Appends a socket; false (nothing stored) when the registry is full. Construction only.
    bool registerSocket(float** variable, const char* name, SocketDirection direction);

    int size() const { return count; }
    const Entry& entry(int index) const { return entries[static_cast<std::size_t>(index)]; }

    // The registered name, or "N/A" for an index that is not registered.
    const char* socketName(int index) const;

    bool isInput(int index) const { return hasDirection(index, SocketDirection::Input); }
    bool isOutput(int index) const { return hasDirection(index, SocketDirection::Output); }

    // Points every input socket at the output that feeds it, or null. Pairs that name sockets
    // outside the registry or run from an input to an output (a list read from a file or chunk
    // may hold anything) are ignored. A later pair into the same input wins. Audio thread, at
    // the start of every block.
    void applyConnections(const ConnectionList& list) const;

    // True exactly when one socket is an input and the other an output, the pair is not in the
    // list yet and the input is fed by no cable. Editor thread.
    bool canConnect(const ConnectionList& list, int a, int b) const;

    // Appends (output, input), in whichever order a and b come; false and no change when
    // canConnect refuses. Editor thread.
    bool connect(ConnectionList& list, int a, int b) const;

    // Removes the cable between a and b, in either order, if there is one. Editor thread.
    void disconnect(ConnectionList& list, int a, int b) const;

    // The output feeding `input` (the one that wins in applyConnections), or -1.
    int connectedOutput(const ConnectionList& list, int input) const;

    // True when any cable of the list starts or ends at `index`.
    static bool isSocketUsed(const ConnectionList& list, int index);

private:
    bool hasDirection(int index, SocketDirection direction) const;
    bool isValidCable(Connection connection) const;

    std::array<Entry, capacity> entries{};
    int count = 0;
};

} // namespace treskpro
