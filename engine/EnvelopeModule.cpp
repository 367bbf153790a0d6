#include "engine/EnvelopeModule.h"

#include "engine/EnvelopeCoefficients.h"
#include "engine/FastKernels.h"
#include "engine/Lanes.h"

namespace treskpro {

namespace {

// The first sample from `from` on, before `end`, that is non-zero (`nonZero`) or zero, else
// `end`: where a segment's run stops. NaN counts as non-zero, as in the per-sample tests.
int firstWhere(const float* x, bool nonZero, int from, int end) noexcept {
    int i = from;
#ifdef TRESKPRO_HAS_SSE2
    const __m128 zero = _mm_setzero_ps();
    for (; i + 4 <= end; i += 4) {
        const __m128 v = _mm_loadu_ps(x + i);
        const int found = _mm_movemask_ps(nonZero ? _mm_cmpneq_ps(v, zero) : _mm_cmpeq_ps(v, zero));
        if (found != 0)
            return i + __builtin_ctz(static_cast<unsigned>(found));
    }
#endif
    for (; i < end; ++i) {
        if ((x[i] != 0.0f) == nonZero)
            return i;
    }
    return end;
}

} // namespace

void EnvelopeModule::process(int count) noexcept {
    if (!inputs[Gate] && !inputs[Trigger] && !inputs[Accent]) {
        runFree(count);
        return;
    }
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
    const auto write = [&](int i) {
        if (out)
            out[i] = static_cast<float>(amount ? amount[i] * level : level);
    };
    // Whether sample i changes the segment: a trigger, or a closed gate outside the release.
    const auto changes = [&](int i) {
        return (trigger && trigger[i] != 0.0f) || (gate && gate[i] == 0.0f && state != Release);
    };
    int i = 0;
    while (i < count) {
        if (state == Attack || changes(i)) {
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
            // The followers are written as (1 - rate) x level + rate x target: one multiply and
            // one add between one sample's level and the next, the chain that limits the speed.
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
            write(i);
            ++i;
            continue;
        }

        // Between the gate's and trigger's changes (and, decaying, the accent's) a one-pole
        // segment follows the same rate and target sample after sample: the run is found first
        // and then followed with the same operations, the two offsets' pushes worked out once.
        const bool accented = state == DecaySustain && accent && accent[i] != 0.0f;
        int end = count;
        if (trigger)
            end = firstWhere(trigger, true, i + 1, end);
        if (gate && state != Release)
            end = firstWhere(gate, false, i + 1, end);
        if (state == DecaySustain && accent)
            end = firstWhere(accent, !accented, i + 1, end);
        double keep = dampKeep;
        double pushFirst = dampCoefficient * offset.value;
        double pushSecond = dampCoefficient * -offset.value;
        if (state == DecaySustain) {
            const double rate = accented ? accentDecay : decay;
            keep = 1.0 - rate;
            pushFirst = rate * (offset.value + sustain);
            pushSecond = rate * (-offset.value + sustain);
        } else if (state == Release) {
            keep = releaseKeep;
            pushFirst = releaseRate * offset.value;
            pushSecond = releaseRate * -offset.value;
        }
        for (; i + 1 < end; i += 2) {
            level = keep * level + pushFirst;
            write(i);
            level = keep * level + pushSecond;
            write(i + 1);
        }
        if (i < end) {
            level = keep * level + pushFirst;
            write(i);
            offset.next();
            ++i;
        }
    }
    currentState = state;
    currentLevel = level;
}

// Without gate, trigger and accent blocks (a voice played from the keyboard) only the attack's
// end changes the segment during a block, so each segment runs in a loop of its own. The
// one-pole segments step two samples at a time, the second straight from the pair's start:
// keep^2 x level + a constant, as the pair's two offsets are always +o then -o. That leaves one
// multiply and one add between one pair and the next.
TRESKPRO_KERNEL_BODY void EnvelopeModule::runFreeBody(int count) noexcept {
    const float* amount = inputs[Amount];
    float* out = outputs[Envelope];
    const auto write = [&](int i, double value) {
        if (out)
            out[i] = static_cast<float>(amount ? amount[i] * value : value);
    };
    State state = currentState;
    double level = currentLevel;
    idleFlag = state == Attack ? 1 : 0;
    int i = 0;
    if (state == Attack) {
        const double attack = attackIncrement;
        for (; i < count && state == Attack; ++i) {
            level += attack;
            if (level > 1.0) {
                level = 1.0;
                state = DecaySustain;
            }
            write(i, level);
        }
    }
    if (i < count) {
        double rate = dampCoefficient;
        double target = 0.0;
        if (state == DecaySustain) {
            rate = decayCoefficient;
            target = sustainLevel;
        } else if (state == Release) {
            rate = releaseCoefficient;
        }
        const double keep = 1.0 - rate;
        const double o = offset.next();
        offset.next();
        const double push1 = rate * (o + target);
        const double push2 = rate * (-o + target);
        const double keep2 = keep * keep;
        const double pairPush = keep * push1 + push2;
        for (; i + 1 < count; i += 2) {
            write(i, keep * level + push1);
            level = keep2 * level + pairPush;
            write(i + 1, level);
        }
        if (i < count) {
            level = keep * level + push1;
            write(i, level);
            // The pair's second offset was taken ahead; this sample used only the first.
            offset.next();
        }
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

#ifdef TRESKPRO_FAST_KERNELS
TRESKPRO_FAST_TARGET void EnvelopeModule::runFreeFast(int count) noexcept {
    runFreeBody(count);
}
#endif

void EnvelopeModule::runFree(int count) noexcept {
#ifdef TRESKPRO_FAST_KERNELS
    if (fastKernels()) {
        runFreeFast(count);
        return;
    }
#endif
    runFreeBody(count);
}

} // namespace treskpro
