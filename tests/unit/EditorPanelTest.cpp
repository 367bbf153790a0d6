// The panel on the default skin, driven with the mouse and keys of a headless window against a
// plug-in kept in memory: what each gesture asks of the plug-in, and what the panel shows back.
#include "editor/TagTable.h"
#include "editor/TreskproControls.h"
#include "editor/TreskproEditor.h"
#include "tests/support/FakeEditorHost.h"
#include "toolkit/CHeadlessWindow.h"
#include "toolkit/CScriptedDialogs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

namespace treskpro {
namespace {

using toolkit::CButtonState;
using toolkit::CKeyCode;
using toolkit::CPoint;

class Editor : public ::testing::Test {
protected:
    void SetUp() override { host.files["Gui.ini"] = "ShowSplashSequence = 1\r\n"; }

    bool open() {
        EditorPlatform platform = EditorPlatform::headless(dialogs);
        platform.milliseconds = [this] { return clock; };
        editor = std::make_unique<TreskproEditor>(host, platform);
        if (!editor->open(nullptr))
            return false;
        window = static_cast<toolkit::CHeadlessWindow*>(editor->getFrame()->getWindow());
        return true;
    }
    CPoint centre(int tag) const {
        const toolkit::CRect area = editor->control(tag)->frameRect();
        return {area.left + area.width() / 2, area.top + area.height() / 2};
    }
    void click(int tag) { window->click(centre(tag)); }
    float value(int tag) const { return editor->control(tag)->getValue(); }
    void idleAfter(double milliseconds) {
        clock += milliseconds;
        editor->idle();
    }

    testing::FakeEditorHost host;
    std::shared_ptr<toolkit::CScriptedDialogs> dialogs =
        std::make_shared<toolkit::CScriptedDialogs>();
    double clock = 1000.0;
    std::unique_ptr<TreskproEditor> editor;
    toolkit::CHeadlessWindow* window = nullptr;
};

TEST_F(Editor, OpensAtTheSkinsSizeWithEveryControlAndWritesGuiIniOnClose) {
    EditorPlatform platform = EditorPlatform::headless(dialogs);
    TreskproEditor closed(host, platform);
    // Hosts size their window from the first answer, before any open.
    EXPECT_EQ(closed.width(), 1300);
    EXPECT_EQ(closed.height(), 880);

    ASSERT_TRUE(open());
    for (int tag : {int(SkinTag::CUTOFFKNOB), int(SkinTag::VCKNOB6), int(SkinTag::NOTELED36),
                    int(SkinTag::TEMPODIGITS), int(SkinTag::PITCHKEYBOARD),
                    int(SkinTag::DISPBACKGROUND), int(SkinTag::DELAYLED)})
        EXPECT_NE(editor->control(tag), nullptr) << tag;
    EXPECT_EQ(editor->getFrame()->getViewSize().width(), 1300);
    EXPECT_TRUE(dialogs->shownMessages.empty());

    editor->close();
    const std::string& written = host.files["Gui.ini"];
    EXPECT_NE(written.find("ShowSplashSequence = 0\r\n"), std::string::npos);
    EXPECT_EQ(written.find("; Tresk GUI configuration\r\n"), 0u);
}

TEST_F(Editor, KnobDragIsOneHostGestureAndTheTuningKnobSnaps) {
    ASSERT_TRUE(open());
    window->drag(centre(SkinTag::TUNINGKNOB), centre(SkinTag::TUNINGKNOB).offset(0, -37), 5);
    ASSERT_GE(host.calls.size(), 3u);
    EXPECT_EQ(host.calls.front().what, "begin");
    EXPECT_EQ(host.calls.back().what, "end");
    for (const auto& call : host.callsOf("set")) {
        EXPECT_EQ(call.index, 0);
        EXPECT_NEAR(call.value * 2400.0f, std::round(call.value * 2400.0f), 1e-3f);
    }
    EXPECT_GT(host.parameters[0], 0.1f);
    EXPECT_EQ(editor->lastTouchedParameter(), 0);
    EXPECT_EQ(host.learnTarget, 0);
    // The read-out shows the parameter under the knob, and goes after half a second.
    EXPECT_EQ(editor->floatingDisplay()->firstLine(), "P0:");
    EXPECT_TRUE(editor->floatingDisplay()->isVisible());
    idleAfter(600);
    EXPECT_FALSE(editor->floatingDisplay()->isVisible());

    // Automation moves the knob without telling the host again.
    host.calls.clear();
    editor->parameterChanged(1, 0.25f);
    EXPECT_FLOAT_EQ(value(SkinTag::CUTOFFKNOB), 0.25f);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Editor, ButtonsToggleStepAndCycleAsTheirLampsShow) {
    ASSERT_TRUE(open());
    const float expected[] = {0.5f, 1.0f, 0.0f};
    for (float range : expected) {
        click(SkinTag::VCO1RANGE);
        EXPECT_FLOAT_EQ(host.parameters[16], range);
    }
    click(SkinTag::VCO1RANGE);
    EXPECT_FLOAT_EQ(value(SkinTag::VCO1LED8), 1.0f);
    EXPECT_FLOAT_EQ(value(SkinTag::VCO1LED16), 0.0f);

    click(SkinTag::MGVCO1DEST);
    EXPECT_FLOAT_EQ(host.parameters[33], 1.0f);
    EXPECT_FLOAT_EQ(value(SkinTag::MGVCO1LED), 1.0f);
    click(SkinTag::MGVCO1DEST);
    EXPECT_FLOAT_EQ(host.parameters[33], 0.0f);

    // An on/off button that shows on turns its parameter off with one click.
    click(SkinTag::DELAYBPMSYNC);
    EXPECT_FLOAT_EQ(host.parameters[67], 1.0f);
    click(SkinTag::DELAYBPMSYNC);
    EXPECT_FLOAT_EQ(host.parameters[67], 0.0f);

    host.states[PanelState::filterMode] = 2;
    for (int mode : {3, 5, 2}) {
        click(SkinTag::OPTIONFILTER);
        EXPECT_EQ(host.states[PanelState::filterMode], mode);
    }
    EXPECT_EQ(editor->floatingDisplay()->firstLine(), "Filter");
    host.states[PanelState::filterMode] = 4;
    click(SkinTag::OPTIONFILTER);
    EXPECT_EQ(host.states[PanelState::filterMode], 4);
    host.states[PanelState::filterMode] = 6;
    click(SkinTag::OPTIONFILTER);
    EXPECT_EQ(host.states[PanelState::filterMode], 0);

    click(SkinTag::OPTIONPANIC);
    EXPECT_EQ(host.callsOf("panic").size(), 1u);
}

TEST_F(Editor, SequencerRockersAndDisplaysStayWithinThePattern) {
    ASSERT_TRUE(open());
    const toolkit::CRect rocker = editor->control(SkinTag::PATTERNROCKER)->frameRect();
    const CPoint lower{rocker.left + 2, rocker.bottom - 2};
    const CPoint upper{rocker.left + 2, rocker.top + 2};
    window->click(lower);
    EXPECT_EQ(host.states[PanelState::currentPattern], 0);
    window->click(upper);
    EXPECT_EQ(host.states[PanelState::currentPattern], 1);
    EXPECT_FLOAT_EQ(value(SkinTag::PATTERNDIGITS), 1.0f);

    // Held, it repeats after a pause.
    window->mouseDown(upper);
    idleAfter(100);
    EXPECT_EQ(host.states[PanelState::currentPattern], 2);
    idleAfter(300);
    EXPECT_EQ(host.states[PanelState::currentPattern], 3);
    window->mouseUp(upper);
    idleAfter(1000);
    EXPECT_EQ(host.states[PanelState::currentPattern], 3);

    host.pattern.length = 64;
    const toolkit::CRect steps = editor->control(SkinTag::STEPSROCKER)->frameRect();
    window->click({steps.left + 2, steps.top + 2});
    EXPECT_EQ(host.pattern.length, 64);

    host.pattern.length = 16;
    auto* stepDisplay = editor->control(SkinTag::STEPDISPLAY);
    stepDisplay->setValue(20.0f);
    stepDisplay->valueChanged();
    EXPECT_EQ(host.cursor.position, 15);
    EXPECT_FLOAT_EQ(value(SkinTag::STEPDISPLAY), 16.0f);

    click(SkinTag::B_NEXT);
    EXPECT_EQ(host.cursor.position, 0);
    click(SkinTag::B_ACCENT);
    EXPECT_TRUE(host.pattern.steps[0].flags & StepFlags::accent);
    EXPECT_FLOAT_EQ(value(SkinTag::ACCENTLED), 1.0f);
}

TEST_F(Editor, ComputerKeysProgramTheStepOnceWhicheverWayTheyArrive) {
    host.files["Gui.ini"] = "UseKeyboard = 1\r\n";
    ASSERT_TRUE(open());
    EXPECT_TRUE(editor->keyDown({'w', 0, 0}));
    EXPECT_EQ(host.pattern.steps[0].note, 2);
    EXPECT_FLOAT_EQ(value(SkinTag::NOTELED3), 1.0f);
    // Modifiers keep the keymap out.
    EXPECT_FALSE(editor->keyDown({'q', 0, CKeyCode::kShiftModifier}));
    EXPECT_EQ(host.pattern.steps[0].note, 2);

    // The window handled the key; the host passes the same key on: one action.
    EXPECT_TRUE(window->keyDown({'e', 0, 0}));
    EXPECT_TRUE(editor->keyDown({'e', 0, 0}));
    EXPECT_EQ(host.callsOf("step").size(), 2u);
    EXPECT_EQ(host.pattern.steps[0].note, 4);

    const float cables = value(SkinTag::OPTIONCABLES);
    EXPECT_TRUE(editor->keyDown({'l', 0, CKeyCode::kControlModifier}));
    EXPECT_NE(value(SkinTag::OPTIONCABLES), cables);

    host.states[PanelState::patternWriteProtect] = 1;
    EXPECT_TRUE(editor->keyDown({'q', 0, 0}));
    EXPECT_EQ(host.pattern.steps[0].note, 4);
}

TEST_F(Editor, PitchKeyboardPlaysAndProgramsTheKeyWhileStopped) {
    ASSERT_TRUE(open());
    auto* keys = static_cast<TreskproPitchKeyboard*>(editor->control(SkinTag::PITCHKEYBOARD));
    const toolkit::CRect area = keys->keyRect(4);
    const CPoint where{area.left + area.width() / 2, area.bottom - 4};
    window->mouseDown(where);
    const auto on = host.callsOf("note on");
    ASSERT_EQ(on.size(), 1u);
    EXPECT_EQ(on[0].index, 36 + 4);
    EXPECT_EQ(on[0].value, 1.0f);
    EXPECT_EQ(host.pattern.steps[0].note, 4);
    window->mouseUp(where);
    EXPECT_EQ(host.callsOf("note off").size(), 2u);

    // While the pattern plays, the keyboard only programs.
    host.states[PanelState::runStop] = 1;
    host.calls.clear();
    window->click(where.offset(-area.width(), 0));
    EXPECT_TRUE(host.callsOf("note on").empty());
    EXPECT_EQ(host.callsOf("step").size(), 1u);
}

TEST_F(Editor, ASkinThatCannotBeUsedIsForgottenOnDiskAtOnce) {
    const std::string broken =
        std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/only-comments.skn";
    std::ofstream(broken) << "; nothing here\n";
    host.files["Gui.ini"] = "Skin = \"" + broken + "\"\r\n";
    EXPECT_FALSE(open());
    ASSERT_EQ(dialogs->shownMessages.size(), 1u);
    EXPECT_EQ(dialogs->shownMessages[0].title, "Tresk Pro Error");
    EXPECT_NE(host.files["Gui.ini"].find("Skin = \"\"\r\n"), std::string::npos);
    // The next open uses the default skin.
    EXPECT_TRUE(editor->open(nullptr));
    std::remove(broken.c_str());
}

TEST_F(Editor, LampsAndKnobsDrawTheirFrames) {
    ASSERT_TRUE(open());
    const toolkit::CRect knob = editor->control(SkinTag::CUTOFFKNOB)->frameRect();
    const auto pixelsOf = [&](const toolkit::CRect& area) {
        const toolkit::CBitmap& shown = window->render();
        std::vector<std::uint32_t> pixels;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                pixels.push_back(shown.row(y)[x]);
        return pixels;
    };
    editor->parameterChanged(1, 0.0f);
    const auto low = pixelsOf(knob);
    editor->parameterChanged(1, 1.0f);
    EXPECT_NE(pixelsOf(knob), low);

    const toolkit::CRect led = editor->control(SkinTag::MIDILED)->frameRect();
    const auto dark = pixelsOf(led);
    editor->midiArrived();
    EXPECT_NE(pixelsOf(led), dark);
    idleAfter(80);
    EXPECT_EQ(pixelsOf(led), dark);
}

} // namespace
} // namespace treskpro
