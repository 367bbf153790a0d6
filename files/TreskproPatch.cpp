#include "files/TreskproPatch.h"

#include "engine/Parameters.h"
#include "engine/SharedValue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace treskpro {

namespace {

struct InitialValue {
    int slot;
    float value;
};

constexpr InitialValue initialParameters[] = {
    {Parameter::MasterTuning, 0.5f},      {Parameter::FilterCutoff, 0.5f},
    {Parameter::EnvelopeMod, 0.2f},       {Parameter::MasterVolume, 0.75f},
    {Parameter::Tempo, 0.42222223f},      {Parameter::Vco1PulseWidth, 0.5f},
    {Parameter::Vco1FineTune, 0.5f},      {Parameter::Vco2PulseWidth, 0.5f},
    {Parameter::Vco2FineTune, 0.5f},      {Parameter::NgColor, 0.5f},
    {Parameter::GlideTime, 0.1f},         {Parameter::GateTime, 0.5f},
    {Parameter::Vco1Level, 1.0f},         {Parameter::VcaAttack, 0.1f},
    {Parameter::VcaDecay, 1.0f},          {Parameter::VcaRelease, 0.1f},
    {Parameter::VcfAttack, 0.1f},         {Parameter::VcfDecay, 1.0f},
    {Parameter::VcfRelease, 0.1f},        {Parameter::EnvFollowAttack, 0.1f},
    {Parameter::EnvFollowRelease, 0.01f}, {Parameter::OutputVariable1, 0.75f},
    {Parameter::OutputBias, 0.5f},        {Parameter::OutputVariable2, 0.75f},
    {Parameter::OutputLagTime, 0.1f},
};

constexpr int initialFilterModel = 3;

} // namespace

TreskproPatch::TreskproPatch() : program{}, states{}, connections{}, patterns{}, info{} {
    std::strcpy(program.name, "Default");
    for (const InitialValue& initial : initialParameters)
        program.parameters[initial.slot] = initial.value;
    states[State::FilterMode] = initialFilterModel;
    patterns.fill(PatternRecord::fresh());
    std::strcpy(info.patchName, "Tresk Pro Patch");
}

float TreskproPatch::getParameter(int index) const {
    if (index < 0 || index >= PatchProgram::slotCount)
        return 0.0f;
    return loadShared(program.parameters[index]);
}

bool TreskproPatch::setParameter(int index, float value) {
    if (index < 0 || index >= PatchProgram::slotCount) {
        std::fputs("TreskproPatch::setParameter() : index out of range\n", stderr);
        return false;
    }
    storeShared(program.parameters[index], value);
    return true;
}

int TreskproPatch::getState(int index) const {
    if (index < 0 || index >= stateSlotCount)
        return 0;
    return loadShared(states[static_cast<std::size_t>(index)]);
}

bool TreskproPatch::setState(int index, int value) {
    if (index < 0 || index >= stateSlotCount) {
        std::fputs("TreskproPatch::setState() : index out of range\n", stderr);
        return false;
    }
    storeShared(states[static_cast<std::size_t>(index)], std::int32_t{value});
    return true;
}

int TreskproPatch::currentPatternIndex() const {
    return std::clamp(getState(State::CurrentPattern), 0, patternCount - 1);
}

} // namespace treskpro
