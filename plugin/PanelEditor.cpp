#include "plugin/PanelEditor.h"

#include <algorithm>

namespace treskpro {

PanelEditor::PanelEditor(EditorHost& host, EditorPlatform platform)
    : panel(host, std::move(platform)) {}

PanelEditor::~PanelEditor() {
    panel.close();
}

vst::intptr PanelEditor::dispatch(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                                  float opt) {
    switch (opcode) {
    case vst::effEditGetRect: {
        if (!ptr)
            return 0;
        const auto clampToRecord = [](int size) {
            return static_cast<vst::int16>(std::clamp(size, 0, 32767));
        };
        rectangle = {0, 0, clampToRecord(panel.height()), clampToRecord(panel.width())};
        *static_cast<vst::ERect**>(ptr) = &rectangle;
        return 1;
    }
    case vst::effEditOpen:
        return panel.open(ptr) ? 1 : 0;
    case vst::effEditClose:
        panel.close();
        return 1;
    case vst::effEditIdle:
        panel.idle();
        return 1;
    case vst::effEditKeyDown: {
        const toolkit::CKeyCode key{index, static_cast<int>(value), static_cast<int>(opt)};
        return panel.keyDown(key) ? 1 : 0;
    }
    case vst::effSetEditKnobMode:
        panel.setKnobMode(static_cast<int>(value));
        return 1;
    default:
        return 0;
    }
}

} // namespace treskpro
