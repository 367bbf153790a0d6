#include "engine/Glide.h"

namespace treskpro {

void Glide::glideBlock(float* ratio, const float* slide, int count) noexcept {
    for (int i = 0; i < count; ++i)
        ratio[i] = static_cast<float>(next(ratio[i], slide && slide[i] != 0.0f));
}

} // namespace treskpro
