#include "engine/Glide.h"

namespace treskpro {

void Glide::glideBlock(float* ratio, const float* slide, int count) noexcept {
    int i = 0;
    while (i < count) {
        if (slide && slide[i] != 0.0f) {
            ratio[i] = static_cast<float>(next(ratio[i], true));
            ++i;
            continue;
        }
        // Outside a slide a sample takes the ratio at once and keeps it as it is (a float
        // survives the trip through double): only the run's last one is remembered.
        int end = i + 1;
        if (!slide)
            end = count;
        while (end < count && slide[end] == 0.0f)
            ++end;
        next(ratio[end - 1], false);
        i = end;
    }
}

} // namespace treskpro
