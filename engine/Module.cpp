#include "engine/Module.h"

#include <algorithm>

namespace treskpro {

void Module::process(int) noexcept {}

std::string Module::inputName(int) const {
    return "Generic input";
}

std::string Module::outputName(int) const {
    return "Generic output";
}

void Module::setInput(int port, const float* block) {
    if (port < 0 || port >= maximumPorts)
        return;
    inputs[static_cast<std::size_t>(port)] = block;
    inputCount = std::max(inputCount, port + 1);
}

void Module::setOutput(int port, float* block) {
    if (port < 0 || port >= maximumPorts)
        return;
    outputs[static_cast<std::size_t>(port)] = block;
    outputCount = std::max(outputCount, port + 1);
}

} // namespace treskpro
