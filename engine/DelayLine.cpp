#include "engine/DelayLine.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace treskpro {

DelayLine::DelayLine() : buffer(static_cast<float*>(std::calloc(length, sizeof(float)))) {
    if (!buffer)
        throw std::bad_alloc();
}

void DelayLine::clear() noexcept {
    if (!written)
        return;
    std::fill_n(buffer.get(), length, 0.0f);
    written = false;
}

void DelayLine::reset() noexcept {
    clear();
    if (!(target >= 0.0 && target <= 1.0))
        target = 0.5;
    readPosition = target;
    writeIndex = 0;
}

void DelayLine::process(float* channel, int count, float amount, const float* timeCv,
                        float time) noexcept {
    constexpr int mask = length - 1;
    // How fast the read position follows its target: about 100 ms for 90 % at 44.1 kHz.
    constexpr double positionRate = 0.0005;
    double position = readPosition;
    written = written || count > 0;
    for (int i = 0; i < count; ++i) {
        if (timeCv)
            target = 1.0 - std::clamp(std::fabs(0.99 * timeCv[i]) * time + 0.01, 0.0, 1.0);
        const double x = length * position;
        const int whole = static_cast<int>(x);
        const int j = (writeIndex + whole) & mask;
        const float f = static_cast<float>(x - whole);
        const float y = (1.0f - f) * buffer[static_cast<std::size_t>(j)] +
                        f * buffer[static_cast<std::size_t>((j + 1) & mask)];
        buffer[static_cast<std::size_t>(writeIndex)] = y * feedback + channel[i];
        position += positionRate * (target - position);
        writeIndex = (writeIndex + 1) & mask;
        channel[i] += amount * y;
    }
    readPosition = position;
}

} // namespace treskpro
