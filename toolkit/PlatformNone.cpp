// Systems without a window backend: no native window or dialogs; the editor falls back to the
// headless ones.
#include "toolkit/CPlatformDialogs.h"
#include "toolkit/CPlatformWindow.h"

namespace treskpro::toolkit {

std::unique_ptr<CPlatformWindow> createPlatformWindow(CFrame&, void*) {
    return nullptr;
}

bool platformHasWindows() {
    return false;
}

std::unique_ptr<CPlatformDialogs> createPlatformDialogs(void*) {
    return nullptr;
}

} // namespace treskpro::toolkit
