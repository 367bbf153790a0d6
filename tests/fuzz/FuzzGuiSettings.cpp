// Gui.ini as a user may edit it: whatever is read is bounded, and the written file reads back to
// the same text.
#include "editor/GuiSettings.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::GuiSettings settings;
    treskpro::readGuiSettingsText(settings,
                                  std::string_view(reinterpret_cast<const char*>(data), size));
    if (!(settings.cableTension >= 0.0f && settings.cableTension <= 2.0f))
        __builtin_trap();
    for (const treskpro::KeymapEntry& entry : settings.keymap)
        if (entry.character > 127 || entry.character < -1 || entry.virtualKey > 127)
            __builtin_trap();
    const std::string text = treskpro::writeGuiSettingsText(settings);
    treskpro::GuiSettings again;
    treskpro::readGuiSettingsText(again, text);
    if (treskpro::writeGuiSettingsText(again) != text)
        __builtin_trap();
    return 0;
}
