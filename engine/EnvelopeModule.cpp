#include "engine/EnvelopeModule.h"

#include "engine/EnvelopeCoefficients.h"

namespace treskpro {

void EnvelopeModule::process(int count) noexcept {
    const float* gate = inputs[Gate];
    const float* trigger = inputs[Trigger];
    const float* amount = inputs[Amount];
    const float* accent = inputs[Accent];
    float* out = outputs[Envelope];
    const double attack = attackIncrement;
    const double decay = decayCoefficient;
    const double accentDecay = accentDecayCoefficient;
    const double sustain = sustainLevel;
    const double releaseRate = releaseCoefficient;
    const double releaseKeep = 1.0 - releaseRate;
    constexpr double dampKeep = 1.0 - dampCoefficient;

    State state = currentState;
    double level = currentLevel;
    idleFlag = state == Attack ? 1 : 0;
    for (int i = 0; i < count; ++i) {
        if (trigger && trigger[i] != 0.0f) {
            level = 0.0;
            state = Attack;
            idleFlag = 1;
        }
        if (gate && gate[i] == 0.0f)
            state = Release;
        switch (state) {
        case Attack:
            level += attack;
            if (level > 1.0) {
                level = 1.0;
                state = DecaySustain;
            }
            break;
        // The followers are written as (1 - rate) x level + rate x target: one multiply and one
        // add between one sample's level and the next, the chain that limits the speed.
        case DecaySustain: {
            const double rate = accent && accent[i] != 0.0f ? accentDecay : decay;
            level = (1.0 - rate) * level + rate * (offset.next() + sustain);
            break;
        }
        case Release:
            level = releaseKeep * level + releaseRate * offset.next();
            break;
        case Damp:
            level = dampKeep * level + dampCoefficient * offset.next();
            break;
        }
        if (out)
            out[i] = static_cast<float>(amount ? amount[i] * level : level);
    }
    currentState = state;
    currentLevel = level;
}

void EnvelopeModule::reset() noexcept {
    currentState = Release;
    currentLevel = 0.0;
    offset = {};
    idleFlag = 0;
}

void EnvelopeModule::setSegments(float attack, float decay, float sustain, float release,
                                 float sampleRate) noexcept {
    attackIncrement = treskpro::attackIncrement(attack, sampleRate);
    decayCoefficient = treskpro::decayCoefficient(decay, sampleRate);
    sustainLevel = sustain;
    releaseCoefficient = treskpro::releaseCoefficient(release, sampleRate);
}

void EnvelopeModule::start() noexcept {
    currentState = Attack;
    currentLevel = 0.0;
}

void EnvelopeModule::retrigger() noexcept {
    currentState = Attack;
}

void EnvelopeModule::release() noexcept {
    currentState = Release;
}

void EnvelopeModule::silence() noexcept {
    currentState = Release;
    currentLevel = 0.0;
}

void EnvelopeModule::damp() noexcept {
    currentState = Damp;
}

} // namespace treskpro
