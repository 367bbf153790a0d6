#include "engine/MgModule.h"

#include "engine/FastKernels.h"
#include "engine/WavetableSet.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <emmintrin.h>
#include <type_traits>

namespace treskpro {

namespace {

// The triangle of the triangle tables (sine phase: 0 at the start, +1 at a quarter, -1 at three
// quarters), computed directly when the tables are missing.
double plainTriangle(double phase) {
    if (phase < 0.25)
        return 4.0 * phase;
    if (phase < 0.75)
        return 2.0 - 4.0 * phase;
    return 4.0 * phase - 4.0;
}

// The phase moved into 0..1 after a step; reports whether it wrapped. Steps of a cycle or more
// and backward steps (negative frequencies) land inside the cycle as well.
double advance(double phase, double step, bool& wrapped) {
    double next = phase + step;
    wrapped = false;
    if (next > 1.0) {
        next -= 1.0;
        wrapped = true;
        if (next > 1.0)
            next -= std::floor(next);
    } else if (next < 0.0) {
        next -= std::floor(next);
        wrapped = true;
    }
    return next;
}

bool usable(const WavetableSet* set) {
    return set && set->isLoaded();
}

} // namespace

MgModule::MgModule() {
    WavetableLibrary& library = WavetableLibrary::shared();
    setWavetables(&library.mgSaw, &library.mgSquare, &library.triangle);
}

void MgModule::setWave(int number) noexcept {
    currentWave = static_cast<Wave>(std::clamp(number, 0, waveCount - 1));
}

void MgModule::setFrequency(double hertz) noexcept {
    increment = std::isfinite(hertz) ? hertz * reciprocalRate : 0.0;
}

void MgModule::setSampleRate(float rate) noexcept {
    if (!(rate > 0.0f) || !std::isfinite(rate))
        return;
    const double frequency = increment * sampleRate;
    sampleRate = rate;
    reciprocalRate = 1.0 / sampleRate;
    increment = frequency * reciprocalRate;
}

void MgModule::setWavetables(const WavetableSet* saw, const WavetableSet* square,
                             const WavetableSet* triangle) noexcept {
    sawSet = saw;
    squareSet = square;
    triangleSet = triangle;
}

void MgModule::reset() noexcept {
    phase = 0.0;
    smoothed = 0.0;
    offset = {};
    audio = 0.0;
    previousSquare = 0.25;
    previousShiftedSquare = 0.0;
}

std::uint32_t MgModule::nextRandom() noexcept {
    randomState = randomState * 196314165u + 907633515u;
    return randomState;
}

void MgModule::process(int count) noexcept {
    audio = 0.0;
    switch (currentWave) {
    case Saw:
        runBest<Saw>(count, usable(sawSet));
        break;
    case Square:
        runBest<Square>(count, usable(squareSet));
        break;
    case Triangle:
        runBest<Triangle>(count, usable(triangleSet));
        break;
    case SampleAndHold:
        runBest<SampleAndHold>(count, false);
        break;
    case Decay:
        runDecay(count);
        break;
    }
}

template <MgModule::Wave W>
TRESKPRO_KERNEL_BODY void MgModule::runUsual(int count, bool tablesLoaded) noexcept {
    // Each stage runs over a stretch on its own: the steps, the shapes and the follower's drive
    // and the output a few samples to an instruction. Only the phase and the follower's state
    // stay chains from one sample to the next; they run side by side in one loop, the follower
    // a stretch behind the phase, so that each one's latency hides the other's.
    constexpr int stretch = 64;
    const float* frequencyIn = inputs[Frequency];
    float* controlOut = outputs[Control];
    const double r = reciprocalRate;
    const double c = smoothing;
    const double keep = 1.0 - c;
    const double level = amount;
    double step = increment;
    double ph = phase;
    double b = smoothed;
    double sound = audio;
    double held = heldValue;

    // The offsets of the follower alternate from sample to sample; a stretch has an even
    // length, so each one starts on the same sign.
    alignas(16) double offsets[stretch];
    for (int j = 0; j < stretch; ++j)
        offsets[j] = (j & 1) ? -offset.value : offset.value;
    alignas(16) double steps[stretch];
    alignas(16) double values[stretch];
    // The drives of the previous stretch (`pending` samples from `pendingStart`) and the
    // follower's states over it.
    alignas(16) double drives[stretch];
    alignas(16) double states[stretch];
    int pending = 0;
    int pendingStart = 0;
    const auto chain = [&](int j) {
        b = keep * b + drives[j];
        states[j] = b;
    };
    const auto emit = [&] {
        for (int j = 0; j < pending; ++j)
            controlOut[pendingStart + j] = static_cast<float>(states[j] * level);
    };
    if (!frequencyIn)
        std::fill(steps, steps + stretch, step);

    for (int start = 0; start < count; start += stretch) {
        const int n = std::min(stretch, count - start);
        bool backward = !frequencyIn && step < 0.0;
        if (frequencyIn) {
            for (int j = 0; j < n; ++j) {
                const double s = frequencyIn[start + j] * r;
                steps[j] = std::fabs(s) <= DBL_MAX ? s : 0.0;
            }
            // A step is negative exactly when its frequency is (the rate is positive); the
            // floats take half the vector width of the steps.
            int negative = 0;
            for (int j = 0; j < n; ++j)
                negative |= frequencyIn[start + j] < 0.0f ? 1 : 0;
            backward = negative != 0;
            step = steps[n - 1];
        }

        // The phases (the held values for sample-and-hold), the wrap in the rare branch. While
        // the phase only moves forward, the test for the wrap needs one comparison.
        const auto wrap = [&](int j) {
            bool wrapped = false;
            ph = advance(ph, steps[j], wrapped);
            if constexpr (W == SampleAndHold) {
                if (wrapped) {
                    const double u = nextRandom() * (1.0 / 4294967296.0);
                    held = (6.0 * 10923.0 * u - 3.0 * 10922.0) * 3.0518509e-5;
                }
            }
        };
        const auto scan = [&](auto forwardOnly) {
            const auto one = [&](int j) {
                values[j] = W == SampleAndHold ? held : ph;
                const double next = ph + steps[j];
                if (forwardOnly ? next <= 1.0 : next >= 0.0 && next <= 1.0)
                    ph = next;
                else
                    wrap(j);
            };
            // A stretch follows a full one, so the follower's part is at least as long.
            int j = 0;
            for (; j < std::min(n, pending); ++j) {
                one(j);
                chain(j);
            }
            for (; j < n; ++j)
                one(j);
            for (; j < pending; ++j)
                chain(j);
        };
        if (backward)
            scan(std::false_type{});
        else
            scan(std::true_type{});
        emit();

        // The shapes, then the follower's drive c (shape + o).
        if constexpr (W == Saw) {
            for (int j = 0; j < n; ++j)
                drives[j] = c * ((1.0 - 2.0 * values[j]) + offsets[j]);
        } else if constexpr (W == Square) {
            for (int j = 0; j < n; ++j)
                drives[j] = c * ((values[j] > 0.5 ? 1.0 : -1.0) + offsets[j]);
        } else {
            if constexpr (W == Triangle) {
                if (tablesLoaded) {
                    // An LFO's periods are usually all past the end of the period map, and then
                    // the whole stretch reads its last table.
                    const int last = triangleSet->mapCount() - 1;
                    int near = 0;
                    for (int j = 0; j < n; ++j)
                        near |= 1.0 / steps[j] >= static_cast<double>(last) ? 0 : 1;
                    if (near == 0) {
                        const int table = triangleSet->tableForEntry(last);
                        for (int j = 0; j < n; ++j)
                            values[j] = triangleSet->readTable(table, values[j]);
                    } else {
                        for (int j = 0; j < n; ++j)
                            values[j] = triangleSet->lookup(values[j], 1.0 / steps[j]);
                    }
                } else {
                    // plainTriangle() two samples at a time: the three pieces, then the one
                    // each phase falls in, picked by masks.
                    const __m128d four = _mm_set1_pd(4.0);
                    int j = 0;
                    for (; j + 2 <= n; j += 2) {
                        const __m128d p = _mm_load_pd(values + j);
                        const __m128d rise = _mm_mul_pd(four, p);
                        const __m128d fall = _mm_sub_pd(_mm_set1_pd(2.0), rise);
                        const __m128d back = _mm_sub_pd(rise, four);
                        const __m128d beforeBack = _mm_cmplt_pd(p, _mm_set1_pd(0.75));
                        const __m128d later = _mm_or_pd(_mm_and_pd(beforeBack, fall),
                                                        _mm_andnot_pd(beforeBack, back));
                        const __m128d beforeFall = _mm_cmplt_pd(p, _mm_set1_pd(0.25));
                        _mm_store_pd(values + j, _mm_or_pd(_mm_and_pd(beforeFall, rise),
                                                           _mm_andnot_pd(beforeFall, later)));
                    }
                    if (j < n)
                        values[j] = plainTriangle(values[j]);
                }
                sound = tablesLoaded ? values[n - 1] : 0.0;
            } else {
                sound = values[n - 1];
            }
            for (int j = 0; j < n; ++j)
                drives[j] = c * (values[j] + offsets[j]);
        }

        pending = n;
        pendingStart = start;
    }
    for (int j = 0; j < pending; ++j)
        chain(j);
    emit();
    if (count > 0 && (count & 1))
        offset.value = -offset.value;
    increment = step;
    phase = ph;
    smoothed = b;
    audio = sound;
    heldValue = held;
}

template <MgModule::Wave W>
TRESKPRO_KERNEL_BODY void MgModule::run(int count, bool tablesLoaded, bool staged) noexcept {
    const float* frequencyIn = inputs[Frequency];
    const float* amountIn = inputs[Amount];
    const float* retriggerIn = inputs[Retrigger];
    float* controlOut = outputs[Control];
    float* audioOut = outputs[Audio];
    const double c = smoothing;
    const bool withAudio = audioOutput;
    if (staged && !amountIn && !retriggerIn && controlOut && !audioOut &&
        !(withAudio && (W == Saw || W == Square))) {
        runUsual<W>(count, tablesLoaded);
        return;
    }
    double step = increment;
    double level = amount;
    double ph = phase;
    double b = smoothed;
    double sound = audio;
    // A local copy, so the follower's chain runs in registers rather than through memory.
    AlternatingOffset<double> o = offset;

    // The usual case, no amount or retrigger input and only the control output wired, runs a
    // loop of its own without their tests.
    const auto loop = [&](auto usual) {
        for (int i = 0; i < count; ++i) {
            if (!usual && amountIn)
                level = amountIn[i];
            if (frequencyIn) {
                step = frequencyIn[i] * reciprocalRate;
                if (!std::isfinite(step))
                    step = 0.0;
            }
            if (!usual && retriggerIn && retriggerIn[i] != 0.0f)
                ph = 0.0;

            double shape = 0.0;
            if constexpr (W == Saw) {
                shape = 1.0 - 2.0 * ph;
                if (withAudio) {
                    if (tablesLoaded) {
                        sound = sawSet->lookup(ph, 1.0 / step);
                    } else {
                        // The difference of a squared ramp is the ramp averaged over the sample,
                        // which keeps the aliasing of the jump low. A restart of the cycle makes a
                        // step larger than a wrap; the limit keeps it at full scale.
                        const double square = (ph - 0.5) * (ph - 0.5);
                        const double scale = std::abs(step) > 1e-9 ? 1.0 / step : 0.0;
                        sound = std::clamp((previousSquare - square) * scale, -1.0, 1.0);
                        previousSquare = square;
                    }
                }
            } else if constexpr (W == Square) {
                shape = ph > 0.5 ? 1.0 : -1.0;
                if (withAudio) {
                    if (tablesLoaded) {
                        sound = squareSet->lookup(ph, 1.0 / step);
                    } else {
                        // Two such ramps half a cycle apart make the square.
                        double shifted = ph + 0.5;
                        if (shifted > 1.0)
                            shifted -= 1.0;
                        const double square = (ph - 0.5) * (ph - 0.5);
                        const double shiftedSquare = (shifted - 0.5) * (shifted - 0.5);
                        const double scale = std::abs(step) > 1e-9 ? 1.0 / step : 0.0;
                        const double difference =
                            (square - previousSquare) - (shiftedSquare - previousShiftedSquare);
                        sound = std::clamp(difference * scale, -1.0, 1.0);
                        previousSquare = square;
                        previousShiftedSquare = shiftedSquare;
                    }
                }
            } else if constexpr (W == Triangle) {
                // Without tables the control output, which players rely on as an LFO, stays a
                // triangle; only the audio output falls silent.
                if (tablesLoaded) {
                    sound = triangleSet->lookup(ph, 1.0 / step);
                    shape = sound;
                } else {
                    shape = plainTriangle(ph);
                    sound = 0.0;
                }
            } else {
                shape = heldValue;
                sound = heldValue;
            }

            bool wrapped = false;
            ph = advance(ph, step, wrapped);
            if constexpr (W == SampleAndHold) {
                if (wrapped) {
                    const double u = nextRandom() * (1.0 / 4294967296.0);
                    heldValue = (6.0 * 10923.0 * u - 3.0 * 10922.0) * 3.0518509e-5;
                }
            }

            follow(b, shape, c, o);
            if (usual || controlOut)
                controlOut[i] = static_cast<float>(b * level);
            if (!usual && audioOut)
                audioOut[i] = static_cast<float>(level * sound);
        }
    };
    if (!amountIn && !retriggerIn && controlOut && !audioOut)
        loop(std::true_type{});
    else
        loop(std::false_type{});
    increment = step;
    amount = level;
    phase = ph;
    smoothed = b;
    audio = sound;
    offset = o;
}

#ifdef TRESKPRO_FAST_KERNELS
template <MgModule::Wave W>
TRESKPRO_FAST_TARGET void MgModule::runFast(int count, bool tablesLoaded) noexcept {
    run<W>(count, tablesLoaded, true);
}
#endif

template <MgModule::Wave W> void MgModule::runBest(int count, bool tablesLoaded) noexcept {
#ifdef TRESKPRO_FAST_KERNELS
    if (fastKernels()) {
        runFast<W>(count, tablesLoaded);
        return;
    }
#endif
    run<W>(count, tablesLoaded, false);
}

void MgModule::runDecay(int count) noexcept {
    const float* frequencyIn = inputs[Frequency];
    const float* amountIn = inputs[Amount];
    const float* retriggerIn = inputs[Retrigger];
    float* controlOut = outputs[Control];
    float* audioOut = outputs[Audio];
    double step = increment;
    double level = amount;
    double ph = phase;
    double b = smoothed;
    AlternatingOffset<double> o = offset;

    for (int i = 0; i < count; ++i) {
        if (amountIn)
            level = amountIn[i];
        if (frequencyIn) {
            step = frequencyIn[i] * reciprocalRate;
            if (!std::isfinite(step))
                step = 0.0;
        }
        if (retriggerIn && retriggerIn[i] != 0.0f)
            ph = 0.0;
        if (ph == 0.0) {
            b = 1.0;
            ph = 1.0;
        }
        // Falls to 10 % in one period; limited so that no frequency makes it overshoot.
        const double coefficient = std::clamp(ln10 * step, 0.0, 1.0);
        follow(b, 0.0, coefficient, o);
        if (controlOut)
            controlOut[i] = static_cast<float>(2.0 * level * b - 1.0);
        if (audioOut)
            audioOut[i] = 0.0f;
    }
    increment = step;
    amount = level;
    phase = ph;
    smoothed = b;
    offset = o;
}

} // namespace treskpro
