// Slide: a one-pole glide of pitch. The plug-in glides the sequencer's pitch-ratio block while
// the slide signal is on; each voice glides its note frequency while it plays legato.
#pragma once

#include "engine/Dsp.h"

namespace treskpro {

class Glide {
public:
    // Per-sample coefficient (glideCoefficient(), or 1 to jump after a patch change). Audio
    // thread, every slice.
    void setCoefficient(double coefficient) noexcept { rate = coefficient; }

    // Glides the sequencer's pitch ratio in place: samples whose slide is non-zero move towards
    // the ratio, the others take it at once. Audio thread.
    void glideBlock(float* ratio, const float* slide, int count) noexcept;

    // One sample of a voice's note frequency (Hz): towards `target` while sliding, else the
    // target itself. Audio thread.
    double next(double target, bool sliding) noexcept {
        if (!sliding)
            value = target;
        else
            follow(value, target, rate, offset);
        return value;
    }

    // `count` samples of next(target, sliding), each times `ratio`, into `out`. Audio thread.
    void render(double target, bool sliding, const float* ratio, float* out, int count) noexcept {
        if (!sliding) {
            // The note holds still: one multiply per sample, four or eight at a time.
            value = target;
            for (int i = 0; i < count; ++i)
                out[i] = static_cast<float>(target * ratio[i]);
            return;
        }
        for (int i = 0; i < count; ++i) {
            follow(value, target, rate, offset);
            out[i] = static_cast<float>(value * ratio[i]);
        }
    }

    // Sets the glided value without gliding. Audio thread.
    void reset(double start = 0.0) noexcept {
        value = start;
        offset = {};
    }

    // The glided value last returned. Audio thread.
    double current() const noexcept { return value; }

private:
    double value = 0.0;
    AlternatingOffset<double> offset;
    double rate = 1.0;
};

} // namespace treskpro
