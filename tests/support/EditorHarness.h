// The plug-in with its panel open on a headless window, in process: the real plug-in object and
// the real editor behind the dispatcher, in a plug-in folder of its own that holds the bundle's
// default skin. Tests click, drag and type at the skin's coordinates and look at parameters,
// pattern bytes, the host's calls, the files written and the pixels.
#pragma once

#include "plugin/PanelEditor.h"
#include "plugin/TreskproPlugin.h"
#include "tests/support/TestHost.h"
#include "toolkit/CHeadlessWindow.h"
#include "toolkit/CScriptedDialogs.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace treskpro::testing {

// The host calls a panel makes: automation and the edit gesture around it.
struct HostCall {
    int opcode;
    int index;
    float value;
};

inline std::vector<HostCall>& panelHostCalls() {
    static std::vector<HostCall> calls;
    return calls;
}

inline vst::intptr VSTCALLBACK panelTestHost(vst::AEffect* effect, vst::int32 opcode,
                                             vst::int32 index, vst::intptr value, void* ptr,
                                             float opt) {
    if (opcode == vst::audioMasterAutomate || opcode == vst::audioMasterBeginEdit ||
        opcode == vst::audioMasterEndEdit)
        panelHostCalls().push_back({opcode, index, opt});
    return testhost::testHost(effect, opcode, index, value, ptr, opt);
}

// The build's bundle, beside the test programs.
inline std::filesystem::path bundlePath() {
    return std::filesystem::path(platform::executableDirectory()) / ".." / "bundle";
}

// A fresh plug-in folder under `parent` holding the default skin and nothing else.
inline std::string panelFolder(const std::filesystem::path& parent, const std::string& name) {
    const std::filesystem::path folder = parent / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(bundlePath() / "TreskPro.skn", folder / "TreskPro.skn");
    std::filesystem::copy(bundlePath() / "Tresk Pro Skin", folder / "Tresk Pro Skin",
                          std::filesystem::copy_options::recursive);
    return folder.string() + static_cast<char>(platform::pathSeparator);
}

class HeadlessEditor {
public:
    explicit HeadlessEditor(const std::string& folder,
                            std::shared_ptr<toolkit::CScriptedDialogs> scripted =
                                std::make_shared<toolkit::CScriptedDialogs>())
        : dialogs(std::move(scripted)),
          synth(std::make_unique<TreskproPlugin>(panelTestHost, folder)) {
        testhost::loadBundleWavetables();
        auto made =
            std::make_unique<PanelEditor>(synth->editorHost(), EditorPlatform::headless(dialogs));
        panel = made.get();
        synth->attachEditor(std::move(made));
        synth->dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        synth->dispatch(vst::effSetBlockSize, 0, 256, nullptr, 0.0f);
        synth->dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    }

    TreskproPlugin& plugin() { return *synth; }
    TreskproEditor& editor() { return panel->editor(); }

    vst::intptr dispatch(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
        return synth->dispatch(opcode, index, value, ptr, opt);
    }
    // The window size the host is told, width and height.
    std::pair<int, int> rectangle() {
        vst::ERect* rect = nullptr;
        dispatch(vst::effEditGetRect, 0, 0, &rect);
        return rect ? std::pair<int, int>{rect->right - rect->left, rect->bottom - rect->top}
                    : std::pair<int, int>{0, 0};
    }
    bool open() { return dispatch(vst::effEditOpen) != 0; }
    void close() { dispatch(vst::effEditClose); }
    void idle() { dispatch(vst::effEditIdle); }

    toolkit::CHeadlessWindow& window() {
        return *static_cast<toolkit::CHeadlessWindow*>(editor().getFrame()->getWindow());
    }
    // The middle of a control, in window coordinates.
    toolkit::CPoint centre(int tag) {
        const toolkit::CRect area = editor().control(tag)->frameRect();
        return {area.left + area.width() / 2, area.top + area.height() / 2};
    }
    const toolkit::CBitmap& render() { return window().render(); }

    std::shared_ptr<toolkit::CScriptedDialogs> dialogs;

private:
    std::unique_ptr<TreskproPlugin> synth;
    PanelEditor* panel = nullptr;
};

} // namespace treskpro::testing
