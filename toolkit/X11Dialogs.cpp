#include "toolkit/CPlatformDialogs.h"

namespace treskpro::toolkit {

std::unique_ptr<CPlatformDialogs> createPlatformDialogs(void*) {
    return nullptr;
}

} // namespace treskpro::toolkit
