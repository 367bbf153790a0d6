#include "files/ControllerMap.h"

#include "engine/Parameters.h"
#include "engine/SharedValue.h"
#include "files/SafeFile.h"
#include "files/TextScanner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace treskpro {

namespace {

constexpr struct {
    int controller;
    int parameter;
} defaultAssignments[] = {
    {7, Parameter::MasterVolume},  {70, Parameter::Vco2Mod},         {71, Parameter::MasterTuning},
    {74, Parameter::FilterCutoff}, {76, Parameter::FilterResonance}, {77, Parameter::EnvelopeMod},
    {78, Parameter::VcfTracking},  {79, Parameter::AccentAmount},    {80, Parameter::Reserved},
    {91, Parameter::VcoShaper},    {92, Parameter::VcoBoost},
};

const std::array<std::string, ControllerMap::controllerCount>& controllerNames() {
    static const std::array<std::string, ControllerMap::controllerCount> names = [] {
        std::array<std::string, ControllerMap::controllerCount> table;
        for (int i = 0; i < ControllerMap::controllerCount; ++i)
            table[static_cast<std::size_t>(i)] = "#" + std::to_string(i);
        const struct {
            int first;
            std::initializer_list<const char*> names;
        } named[] = {
            {0, {"Banksel", "Modulation", "Breath"}},
            {4, {"Foot", "Portamento", "DataEntry", "Volume", "Balance"}},
            {10, {"Pan", "Expression", "GenPurp1", "GenPurp2", "GenPurp3", "GenPurp4"}},
            {32,
             {"BankSelLSB", "Mod LSB", "BreathLSB", "FootLSB", "PortaLSB", "DataEntLSB",
              "VolumeLSB", "BalanceLSB"}},
            {41, {"Pan LSB", "Expr LSB"}},
            {64,
             {"Sustain", "Porta On/Off", "Sostenuto", "Soft pedal", "Legato fs", "Hold 2",
              "Sound var", "Harmonique", "Release time", "Attack time", "Cut-off"}},
            {80, {"GenPurp5", "GenPurp6", "GenPurp7", "GenPurp8", "Porta "}},
            {91,
             {"ExtFx1 Depth", "ExtFx2 Depth", "ExtFx3 Depth", "ExtFx4 Depth", "ExtFx5 Depth",
              "Data inc", "Data dec", "Nrpn LSB", "Nrpn MSB", "Rpn LSB", "Rpn MSB"}},
            {120,
             {"AllSound off", "Reset ", "Local ", "AllNotes off", "Omni OFF", "Omni ON", "Mono ON",
              "Poly ON"}},
        };
        for (const auto& run : named) {
            int number = run.first;
            for (const char* name : run.names)
                table[static_cast<std::size_t>(number++)] = name;
        }
        return table;
    }();
    return names;
}

// "MidiCC." and the parameter's name with blanks as underscores; built once, since the reader
// compares every line of a file with all of them.
const std::string& keyFor(int parameter) {
    static const std::array<std::string, Parameter::count> keys = [] {
        std::array<std::string, Parameter::count> table;
        for (std::size_t p = 0; p < table.size(); ++p) {
            table[p] = std::string("MidiCC.") + parameterDefinitions[p].name;
            std::replace(table[p].begin(), table[p].end(), ' ', '_');
        }
        return table;
    }();
    return keys[static_cast<std::size_t>(parameter)];
}

} // namespace

float controllerValue(int value) {
    return value == 64 ? 0.5f : static_cast<float>(value) / 127.0f;
}

ControllerMap::ControllerMap() {
    entries.fill(-1);
    for (const auto& assignment : defaultAssignments)
        entries[static_cast<std::size_t>(assignment.controller)] =
            static_cast<std::int16_t>(assignment.parameter);
}

void ControllerMap::assignController(int controller, int parameter) {
    if (parameter < 0 || parameter >= Parameter::count)
        return;
    if (controller != -1 && (controller < 0 || controller >= controllerCount))
        return;
    for (std::int16_t& entry : entries) {
        if (loadShared(entry) == parameter)
            storeShared(entry, std::int16_t{-1});
    }
    if (controller >= 0)
        storeShared(entries[static_cast<std::size_t>(controller)],
                    static_cast<std::int16_t>(parameter));
}

int ControllerMap::findController(int parameter) const {
    for (int c = 0; c < controllerCount; ++c) {
        if (loadShared(entries[static_cast<std::size_t>(c)]) == parameter)
            return c;
    }
    return -1;
}

int ControllerMap::parameterFor(int controller) const {
    if (controller < 0 || controller >= controllerCount)
        return -1;
    return loadShared(entries[static_cast<std::size_t>(controller)]);
}

const char* ControllerMap::controllerName(int controller) {
    if (controller < 0 || controller >= controllerCount)
        return nullptr;
    return controllerNames()[static_cast<std::size_t>(controller)].c_str();
}

std::string ControllerMap::writeText() const {
    std::string out = ";Value of -1 means not assigned\r\n";
    char line[160];
    for (int p = 0; p < Parameter::count; ++p) {
        std::snprintf(line, sizeof line, "%s = %d\r\n", keyFor(p).c_str(), findController(p));
        out += line;
    }
    return out;
}

void ControllerMap::readText(std::string_view text) {
    TextScanner scanner(text);
    // Lines so far that named each parameter's key, counted at the first parameter of the key.
    std::array<int, Parameter::count> linesNaming{};
    std::string key;
    std::string token;
    while (scanner.nextKey(key)) {
        scanner.word(token);
        const int controller = integerToken(token);
        std::array<int, Parameter::count> named{};
        std::size_t namedCount = 0;
        for (int p = 0; p < Parameter::count; ++p) {
            if (equalIgnoringCase(key, keyFor(p)))
                named[namedCount++] = p;
        }
        if (namedCount == 0)
            continue;
        // A later line for a parameter wins. Two parameters share the name "Output Variable":
        // lines of that name address them in turn, so a written map reads back whole.
        int& lines = linesNaming[static_cast<std::size_t>(named[0])];
        assignController(controller, named[static_cast<std::size_t>(lines) % namedCount]);
        lines = (lines + 1) % static_cast<int>(namedCount);
    }
}

void ControllerMap::readFile(const std::string& path) {
    if (const auto text = readWholeFile(path, 1024u * 1024u))
        readText(*text);
}

bool ControllerMap::writeFile(const std::string& path) const {
    return writeFileSafely(path, writeText());
}

std::optional<ControllerMap::ParameterChange> ControllerMap::controlChange(int controller,
                                                                           int value) {
    controller &= 127;
    const float parameterValue = controllerValue(value & 127);
    const int learned = learnMode() ? learnTarget() : -1;
    if (learned >= 0 && learned < Parameter::count) {
        assignController(controller, learned);
        return ParameterChange{learned, parameterValue};
    }
    const int parameter = parameterFor(controller);
    if (parameter < 0)
        return std::nullopt;
    return ParameterChange{parameter, parameterValue};
}

void ControllerMap::toggleLearn() {
    learning.store(!learnMode(), std::memory_order_relaxed);
    target.store(-1, std::memory_order_relaxed);
}

} // namespace treskpro
