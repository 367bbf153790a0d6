#include "engine/EnvFollowerModule.h"

#include "engine/EnvelopeCoefficients.h"

#include <algorithm>
#include <cmath>

namespace treskpro {

void EnvFollowerModule::setTimes(float attack, float release, float sampleRate) noexcept {
    attackCoefficient = static_cast<float>(
        ninetyPercentCoefficient(envelopeTime(attack, attackTimeScale), sampleRate));
    releaseCoefficient = static_cast<float>(
        ninetyPercentCoefficient(envelopeTime(release, decayTimeScale), sampleRate));
}

void EnvFollowerModule::process(int count) noexcept {
    const float* in = inputs[Signal];
    float* out = outputs[Envelope];
    if (!out)
        return;
    if (!in) {
        std::fill(out, out + count, 0.0f);
        return;
    }
    const float attack = attackCoefficient;
    const float release = releaseCoefficient;
    float level = state;
    for (int i = 0; i < count; ++i) {
        const float v = std::fabs(in[i]) + offset.next();
        const float coefficient = level >= v ? release : attack;
        level += coefficient * (v - level);
        out[i] = level;
    }
    state = level;
}

void EnvFollowerModule::reset() noexcept {
    state = 0.0f;
    offset = {};
}

} // namespace treskpro
