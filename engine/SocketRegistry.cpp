#include "engine/SocketRegistry.h"

#include <cstring>

namespace treskpro {

namespace {
constexpr SocketDirection in = SocketDirection::Input;
constexpr SocketDirection out = SocketDirection::Output;
} // namespace

const std::array<SocketDefinition, Socket::count> socketDefinitions = {{
    {"VCO-1 CV Input", in},
    {"VCO-2 CV Input", in},
    {"VCO-1/2 Balance CV", in},
    {"Noise/Aux Balance CV", in},
    {"MG CV Output", out},
    {"Shaper CV Input", in},
    {"Accent trigger", in},
    {"VCA Env amount", in},
    {"VCF Env amount", in},
    {"Delay time left", in},
    {"Delay time right", in},
    {"Seq Gate CV Out", out},
    {"Seq Note CV Out", out},
    {"Seq Accent CV Out", out},
    {"Midi Note CV", out},
    {"Midi Velocity CV", out},
    {"MG Freq CV", in},
    {"MG Amount CV", in},
    {"VCA Env CV Out", out},
    {"VCF Env CV Out", out},
    {"Envelope Follower", out},
    {"Attenuator 1 Input", in},
    {"Attenuator 1 1/8 Out", out},
    {"Attenuator 1 1/2 Out", out},
    {"Attenuator 1 3/4 Out", out},
    {"Inverter 1 Input", in},
    {"Inverter 1 Output", out},
    {"Inverter 2 Input", in},
    {"Inverter 2 Output", out},
    {"Attenuator 2 Input", in},
    {"Attenuator 2 1/8 Out", out},
    {"Attenuator 2 1/2 Out", out},
    {"Attenuator 2 3/4 Out", out},
    {"Attenuator 2 Lag Out", out},
    {"VCF CV Input", in},
    {"VCA CV Input", in},
    {"VCO-1 PW CV", in},
    {"VCO-2 PW CV", in},
    {"Noise CV", in},
    {"Mod Wheel", out},
    {"Attn. 1 Unipolar out", out},
    {"Channel Pressure", out},
}};

bool SocketRegistry::registerSocket(float** variable, const char* name, SocketDirection direction) {
    if (count >= capacity)
        return false;
    Entry& entry = entries[static_cast<std::size_t>(count)];
    entry.variable = variable;
    std::strncpy(entry.name, name, nameCapacity - 1);
    entry.name[nameCapacity - 1] = '\0';
    entry.direction = direction;
    ++count;
    return true;
}

const char* SocketRegistry::socketName(int index) const {
    if (index < 0 || index >= count)
        return "N/A";
    return entry(index).name;
}

bool isPatchCable(Connection cable) {
    const auto has = [](int socket, SocketDirection direction) {
        return socket >= 0 && socket < Socket::count &&
               socketDefinitions[static_cast<std::size_t>(socket)].direction == direction;
    };
    return has(cable.output, SocketDirection::Output) && has(cable.input, SocketDirection::Input);
}

bool SocketRegistry::hasDirection(int index, SocketDirection direction) const {
    return index >= 0 && index < count && entry(index).direction == direction;
}

bool SocketRegistry::isValidCable(Connection connection) const {
    return isOutput(connection.output) && isInput(connection.input);
}

void SocketRegistry::applyConnections(const ConnectionList& list) const {
    for (int i = 0; i < count; ++i) {
        if (entry(i).direction == SocketDirection::Input && entry(i).variable)
            *entry(i).variable = nullptr;
    }
    const int used = list.size();
    for (int k = 0; k < used; ++k) {
        const Connection cable = list.connection(k);
        if (!isValidCable(cable))
            continue;
        float** input = entry(cable.input).variable;
        float** output = entry(cable.output).variable;
        if (input && output)
            *input = *output;
    }
}

bool SocketRegistry::canConnect(const ConnectionList& list, int a, int b) const {
    if (a == b)
        return false;
    Connection cable;
    if (isOutput(a) && isInput(b))
        cable = {a, b};
    else if (isInput(a) && isOutput(b))
        cable = {b, a};
    else
        return false;
    // One cable per input also rules out the same pair twice.
    return connectedOutput(list, cable.input) < 0;
}

bool SocketRegistry::connect(ConnectionList& list, int a, int b) const {
    if (!canConnect(list, a, b))
        return false;
    const Connection cable = isOutput(a) ? Connection{a, b} : Connection{b, a};
    return list.append(cable);
}

void SocketRegistry::disconnect(ConnectionList& list, int a, int b) const {
    const Connection wanted = isInput(a) ? Connection{b, a} : Connection{a, b};
    list.remove(list.find(wanted));
}

int SocketRegistry::connectedOutput(const ConnectionList& list, int input) const {
    int feeding = -1;
    const int used = list.size();
    for (int k = 0; k < used; ++k) {
        const Connection cable = list.connection(k);
        if (cable.input == input && isValidCable(cable))
            feeding = cable.output;
    }
    return feeding;
}

bool SocketRegistry::isSocketUsed(const ConnectionList& list, int index) {
    const int used = list.size();
    for (int k = 0; k < used; ++k) {
        const Connection cable = list.connection(k);
        if (cable.output == index || cable.input == index)
            return true;
    }
    return false;
}

} // namespace treskpro
