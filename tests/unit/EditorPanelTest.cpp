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

// ---- Patch cables

using Pairs = std::vector<std::pair<int, int>>;

class Cables : public Editor {
protected:
    // A socket's centre in the window, and in the panel the cables are drawn in.
    CPoint socketPoint(int socket) const { return centre(SkinTag::SOCKET1 + socket); }
    CPoint panelCentre(int socket) const { return editor->socket(socket)->getViewSize().center(); }
    int cablesShown() const {
        int shown = 0;
        for (int k = 0; k < TreskproEditor::cableCount; ++k)
            shown += editor->cable(k)->state().inUse && editor->cable(k)->isVisible() ? 1 : 0;
        return shown;
    }
    bool anySocketMarked() const {
        for (int k = 0; k < TreskproEditor::socketCount; ++k)
            if (editor->socket(k)->isTarget() || editor->socket(k)->isAccepting())
                return true;
        return false;
    }
    std::vector<std::uint32_t> pixelsOf(const toolkit::CBitmap& shown) const {
        return {shown.pixels(), shown.pixels() + shown.width() * shown.height()};
    }
    std::uint32_t pixelAt(const std::vector<std::uint32_t>& pixels, CPoint where) const {
        return pixels[std::size_t(where.y * editor->getFrame()->getViewSize().width() + where.x)];
    }
    // Idles every 16 ms until no cable swings; false when they never settle.
    bool settle() {
        for (int round = 0; round < 2000; ++round) {
            idleAfter(16);
            bool moving = false;
            for (int k = 0; k < TreskproEditor::cableCount; ++k)
                moving = moving || editor->cable(k)->state().moving;
            if (!moving)
                return true;
        }
        return false;
    }
};

TEST_F(Cables, DraggingPlugsCablesInAndPullsThemOut) {
    ASSERT_TRUE(open());
    // From an input (socket 0) over an output (socket 4): every free output is marked, the one
    // under the mouse is the target.
    window->mouseDown(socketPoint(0));
    window->mouseMove(socketPoint(4).offset(4, 3));
    EXPECT_TRUE(editor->socket(4)->isTarget());
    EXPECT_TRUE(editor->socket(11)->isAccepting());
    EXPECT_FALSE(editor->socket(1)->isAccepting());
    EXPECT_FALSE(editor->socket(0)->isAccepting());
    window->mouseUp(socketPoint(4).offset(4, 3));
    EXPECT_EQ(host.cables, (Pairs{{4, 0}}));
    EXPECT_FALSE(anySocketMarked());
    // The cable starts at its output, whichever end the drag began at.
    const TreskproCable::State& first = editor->cable(0)->state();
    EXPECT_EQ(first.a, panelCentre(4));
    EXPECT_EQ(first.b, panelCentre(0));
    EXPECT_EQ(cablesShown(), 1);

    // Pulling the plug out of a connected socket and dropping it on the bare panel removes it.
    window->drag(socketPoint(0), {650, 300}, 4);
    EXPECT_TRUE(host.cables.empty());
    EXPECT_EQ(cablesShown(), 0);
    EXPECT_FALSE(editor->isDraggingCable());

    // Of an output's two cables the one on top comes away; it hangs from its input and goes
    // into another output.
    host.cables = {{4, 0}, {4, 1}, {11, 2}};
    editor->updateCables(false);
    window->drag(socketPoint(4), socketPoint(12), 4);
    EXPECT_EQ(host.cables, (Pairs{{4, 0}, {11, 2}, {12, 1}}));
    EXPECT_EQ(cablesShown(), 3);

    // Shift+click takes every cable off a socket.
    window->holdModifiers(CButtonState::kShift);
    window->click(socketPoint(4));
    window->holdModifiers(0);
    EXPECT_EQ(host.cables, (Pairs{{11, 2}, {12, 1}}));
    EXPECT_EQ(cablesShown(), 2);
    EXPECT_FALSE(editor->isDraggingCable());

    // Hidden cables (Control+L) are not dragged.
    editor->keyDown({'l', 0, CKeyCode::kControlModifier});
    EXPECT_EQ(cablesShown(), 0);
    window->drag(socketPoint(4), socketPoint(0), 4);
    EXPECT_EQ(host.cables, (Pairs{{11, 2}, {12, 1}}));
}

TEST_F(Cables, ListsFromFilesDrawOnlyTheCablesThatPlay) {
    // Unknown sockets, the wrong way round, a duplicate, an input fed twice (the later plays),
    // and far more pairs than there are cables.
    host.cables = {{4, 0}, {0, 4}, {99, 1}, {-5, 2}, {4, 0}, {11, 5}, {12, 5}, {4, 41}};
    for (int k = 0; k < 100; ++k)
        host.cables.emplace_back(13, 6);
    ASSERT_TRUE(open());
    std::vector<std::pair<int, int>> drawn;
    for (int k = 0; k < TreskproEditor::cableCount; ++k)
        if (editor->cable(k)->state().inUse)
            drawn.emplace_back(editor->cable(k)->state().fromSocket,
                               editor->cable(k)->state().toSocket);
    EXPECT_EQ(drawn, (Pairs{{4, 0}, {12, 5}, {13, 6}}));
    window->render();
    // The socket menu stars only what plays.
    dialogs->answerMenu({});
    window->click(socketPoint(5), {CButtonState::kRButton});
    ASSERT_EQ(dialogs->shownMenus.size(), 1u);
    EXPECT_EQ(dialogs->shownMenus[0].entries[4 + 12], "-GSocket 12\t*");
    EXPECT_EQ(dialogs->shownMenus[0].entries[4 + 11], "-GSocket 11");

    // A list replaced behind the panel's back (a patch file loaded) shows at the next idle.
    host.cables = {{11, 2}};
    idleAfter(16);
    EXPECT_EQ(editor->cable(0)->state().fromSocket, 11);
    EXPECT_EQ(cablesShown(), 1);
}

TEST_F(Cables, TheSocketMenuConnectsAndDisconnects) {
    host.cables = {{4, 0}};
    ASSERT_TRUE(open());
    dialogs->answerMenu({4 + 1});
    window->click(socketPoint(4), {CButtonState::kRButton});
    ASSERT_EQ(dialogs->shownMenus.size(), 1u);
    const std::vector<std::string>& entries = dialogs->shownMenus[0].entries;
    ASSERT_EQ(entries.size(), 46u);
    EXPECT_EQ(entries[0], "Disconnect");
    EXPECT_EQ(entries[1], "-");
    EXPECT_EQ(entries[2], "-GSocket 4\t--->");
    EXPECT_EQ(entries[3], "-");
    EXPECT_EQ(entries[4 + 0], "-GSocket 0\t*"); // connected, so it takes no second cable
    EXPECT_EQ(entries[4 + 1], "Socket 1");
    EXPECT_EQ(entries[4 + 4], "-GSocket 4");
    EXPECT_EQ(entries[4 + 11], "-GSocket 11"); // two outputs
    EXPECT_EQ(host.cables, (Pairs{{4, 0}, {4, 1}}));
    EXPECT_EQ(cablesShown(), 2);
    EXPECT_FALSE(editor->isDraggingCable());

    dialogs->answerMenu({0});
    window->click(socketPoint(0), {CButtonState::kRButton});
    EXPECT_EQ(dialogs->shownMenus[1].entries[2], "-GSocket 0\t<---");
    EXPECT_EQ(host.cables, (Pairs{{4, 1}}));
    EXPECT_EQ(cablesShown(), 1);
}

TEST_F(Cables, SwingingCablesComeToRestAtTheirTensionAndStopRedrawing) {
    host.files["Gui.ini"] = "AntiAliasing = 1\r\nSoftShadows = 1\r\nCableTension = 0\r\n";
    ASSERT_TRUE(open());
    const std::vector<std::uint32_t> bare = pixelsOf(window->render());
    // Sockets 4 and 0 sit at the same height, 628 pixels apart.
    host.cables = {{4, 0}};
    editor->updateCables(true);
    const TreskproCable::State& hanging = editor->cable(0)->state();
    // However long the pause, one idle is one bounded step of the spring.
    idleAfter(60000);
    EXPECT_FLOAT_EQ(hanging.step, 0.9f);
    ASSERT_TRUE(settle());
    const CPoint from = panelCentre(4);
    const CPoint to = panelCentre(0);
    EXPECT_FLOAT_EQ(hanging.qx, float(from.x + to.x) / 2.0f + 5.0f);
    EXPECT_FLOAT_EQ(hanging.qy, float(from.y));
    window->render();
    const int presented = window->presentCount();
    idleAfter(16);
    window->render();
    EXPECT_EQ(window->presentCount(), presented);

    // Straight across at tension 0; at tension 2 the middle hangs 200 pixels low (its
    // control point 400).
    const CPoint middle{(from.x + to.x) / 2 + 1, from.y + 1};
    const std::vector<std::uint32_t> straight = pixelsOf(window->render());
    EXPECT_NE(pixelAt(straight, middle), pixelAt(bare, middle));
    EXPECT_EQ(pixelAt(straight, middle.offset(0, 200)), pixelAt(bare, middle.offset(0, 200)));

    editor->settings().cableTension = 2.0f;
    editor->updateCables(false);
    ASSERT_TRUE(settle());
    EXPECT_FLOAT_EQ(hanging.qy, float(from.y) + 400.0f);
    const std::vector<std::uint32_t> sagging = pixelsOf(window->render());
    EXPECT_EQ(pixelAt(sagging, middle), pixelAt(bare, middle));
    EXPECT_NE(pixelAt(sagging, middle.offset(0, 200)), pixelAt(bare, middle.offset(0, 200)));

    // Without anti-aliasing a cable takes its resting shape at once.
    editor->settings().antiAliasing = 0;
    editor->settings().cableTension = 1.0f;
    editor->updateCables(false);
    EXPECT_FALSE(hanging.moving);
    EXPECT_FLOAT_EQ(hanging.qy, float(from.y) + 200.0f);
}

} // namespace
} // namespace treskpro
