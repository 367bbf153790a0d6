#include "toolkit/Toolkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <vector>

namespace treskpro::toolkit {
namespace {

// A film strip whose frame k is filled with red = 10 × k, so the shown frame can be read back
// from the screen.
std::shared_ptr<CBitmap> strip(int width, int frameHeight, int frames) {
    auto bitmap = std::make_shared<CBitmap>(width, frameHeight * frames);
    for (int y = 0; y < bitmap->height(); ++y) {
        for (int x = 0; x < width; ++x)
            bitmap->setColorAt(x, y, {std::uint8_t(10 * (y / frameHeight)), 0, 0, 255});
    }
    return bitmap;
}

struct Recorder : CControlListener {
    struct Call {
        int tag;
        float value;
    };
    std::vector<Call> changes;
    int begins = 0;
    int ends = 0;
    void valueChanged(CControl* control) override {
        changes.push_back({control->getTag(), control->getValue()});
    }
    void controlBeginEdit(CControl*) override { ++begins; }
    void controlEndEdit(CControl*) override { ++ends; }
};

class Screen : public ::testing::Test {
protected:
    Screen() : frame(CRect::fromSize(0, 0, 200, 120)) {
        window = frame.open(std::make_unique<CHeadlessWindow>(frame));
    }
    // The film-strip frame shown at a point.
    int shownFrame(CPoint where) { return window->render().colorAt(where.x, where.y).red / 10; }

    CFrame frame;
    CHeadlessWindow* window;
    Recorder listener;
};

TEST_F(Screen, EachStockControlShowsTheFrameItsValueSelects) {
    auto* knob = frame.addView(
        std::make_unique<CKnob>(CRect::fromSize(0, 0, 10, 10), &listener, 1, strip(10, 10, 11)));
    auto* onOff = frame.addView(std::make_unique<COnOffButton>(CRect::fromSize(20, 0, 10, 10),
                                                               &listener, 2, strip(10, 10, 2)));
    auto* kick = frame.addView(std::make_unique<CKickButton>(CRect::fromSize(40, 0, 10, 10),
                                                             &listener, 3, strip(10, 10, 2)));
    auto* vertical = frame.addView(std::make_unique<CVerticalSwitch>(
        CRect::fromSize(60, 0, 10, 10), &listener, 4, strip(10, 10, 4)));
    auto* horizontal = frame.addView(std::make_unique<CHorizontalSwitch>(
        CRect::fromSize(80, 0, 10, 10), &listener, 5, strip(10, 10, 2)));
    auto* rocker = frame.addView(std::make_unique<CRockerSwitch>(CRect::fromSize(100, 0, 10, 10),
                                                                 &listener, 6, strip(10, 10, 3)));
    auto* movie = frame.addView(std::make_unique<CMovieBitmap>(CRect::fromSize(120, 0, 10, 10),
                                                               &listener, 7, strip(10, 10, 2)));

    EXPECT_EQ(vertical->getPositionCount(), 4);
    const struct {
        CControl* control;
        float value;
        int frame;
    } cases[] = {
        {knob, 0.0f, 0},     {knob, 0.04f, 0},      {knob, 0.06f, 1},    {knob, 0.5f, 5},
        {knob, 1.0f, 10},    {knob, 7.0f, 10},      {onOff, 0.0f, 0},    {onOff, 1.0f, 1},
        {kick, 1.0f, 1},     {kick, 0.0f, 0},       {vertical, 0.0f, 0}, {vertical, 1.0f / 3.0f, 1},
        {vertical, 1.0f, 3}, {horizontal, 1.0f, 1}, {rocker, -1.0f, 0},  {rocker, 0.0f, 1},
        {rocker, 1.0f, 2},   {movie, 0.0f, 0},      {movie, 1.0f, 1}};
    for (const auto& c : cases) {
        c.control->setValue(c.value);
        EXPECT_EQ(shownFrame(c.control->getViewSize().topLeft()), c.frame)
            << "tag " << c.control->getTag() << " value " << c.value;
    }
    // Setting a value from outside tells nobody.
    EXPECT_TRUE(listener.changes.empty());
}

TEST_F(Screen, DigitsShowTheIntegerGlyphByGlyph) {
    // Ten glyphs 4 × 6 pixels, glyph k filled with red = 10 × k.
    auto* digits = frame.addView(std::make_unique<CSpecialDigit>(
        CRect::fromSize(10, 10, 12, 6), &listener, 106, 3, strip(4, 6, 10)));
    EXPECT_EQ(digits->getMax(), 999.0f);
    digits->setValue(127.0f);
    EXPECT_EQ(shownFrame({10, 10}), 1);
    EXPECT_EQ(shownFrame({14, 12}), 2);
    EXPECT_EQ(shownFrame({18, 15}), 7);
    digits->setValue(5.0f);
    EXPECT_EQ(shownFrame({10, 10}), 0);
    EXPECT_EQ(shownFrame({18, 10}), 5);
    digits->setValue(4000.0f);
    EXPECT_EQ(digits->getValue(), 999.0f);
}

TEST_F(Screen, MousePressesReachTheTopmostControlUnderThePointer) {
    auto panel = std::make_unique<CViewContainer>(CRect::fromSize(50, 20, 100, 80));
    auto* below = panel->addView(std::make_unique<COnOffButton>(CRect::fromSize(0, 0, 40, 40),
                                                                &listener, 1, strip(40, 40, 2)));
    auto* above = panel->addView(std::make_unique<CKickButton>(CRect::fromSize(20, 20, 40, 40),
                                                               &listener, 2, strip(40, 40, 2)));
    auto* hidden = panel->addView(std::make_unique<COnOffButton>(CRect::fromSize(0, 0, 100, 80),
                                                                 &listener, 3, strip(40, 40, 2)));
    hidden->setVisible(false);
    frame.addView(std::move(panel));

    window->click({55, 25}); // inside the container at (5, 5): only the on/off button
    ASSERT_EQ(listener.changes.size(), 1u);
    EXPECT_EQ(listener.changes[0].tag, 1);
    EXPECT_EQ(below->getValue(), 1.0f);

    listener.changes.clear();
    window->mouseDown({75, 45}); // where both overlap: the later one is on top
    EXPECT_EQ(above->getValue(), 1.0f);
    window->mouseMove({190, 110}); // the press stays with the button that took it
    window->mouseUp({190, 110});
    ASSERT_EQ(listener.changes.size(), 2u);
    EXPECT_EQ(listener.changes[0].tag, 2);
    EXPECT_EQ(listener.changes[1].value, 0.0f);
    EXPECT_EQ(listener.begins, listener.ends);

    listener.changes.clear();
    window->click({5, 5}); // outside every control
    EXPECT_TRUE(listener.changes.empty());
}

TEST_F(Screen, KnobsFollowDragsAndControlClickRestoresTheDefault) {
    auto* knob = frame.addView(
        std::make_unique<CKnob>(CRect::fromSize(0, 0, 20, 20), &listener, 9, strip(20, 20, 5)));
    knob->setValue(0.5f);
    knob->setDefaultValue(0.25f);
    window->drag({10, 10}, {10, -10}); // 20 pixels up at 0.005 per pixel
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5f);
    window->holdModifiers(CButtonState::kShift);
    window->drag({10, 10}, {10, 30}); // down, ten times finer
    EXPECT_NEAR(knob->getValue(), 0.59f, 1e-5f);
    window->holdModifiers(CButtonState::kControl);
    window->click({10, 10});
    EXPECT_EQ(knob->getValue(), 0.25f);
    EXPECT_EQ(listener.begins, listener.ends);
}

TEST_F(Screen, SwitchesAndRockersTakeTheirPositionFromWhereTheyArePressed) {
    auto* vertical = frame.addView(std::make_unique<CVerticalSwitch>(
        CRect::fromSize(0, 0, 10, 40), &listener, 1, strip(10, 40, 4)));
    auto* horizontal = frame.addView(std::make_unique<CHorizontalSwitch>(
        CRect::fromSize(20, 0, 40, 10), &listener, 2, strip(40, 10, 2)));
    auto* rocker = frame.addView(std::make_unique<CRockerSwitch>(CRect::fromSize(70, 0, 10, 20),
                                                                 &listener, 3, strip(10, 20, 3)));
    window->click({5, 25});
    EXPECT_EQ(vertical->getPosition(), 2);
    window->click({55, 5});
    EXPECT_EQ(horizontal->getValue(), 1.0f);

    listener.changes.clear();
    window->mouseDown({75, 3});
    EXPECT_EQ(rocker->getValue(), -1.0f);
    window->mouseUp({75, 3});
    window->click({75, 18});
    ASSERT_EQ(listener.changes.size(), 4u);
    EXPECT_EQ(listener.changes[0].value, -1.0f);
    EXPECT_EQ(listener.changes[1].value, 0.0f);
    EXPECT_EQ(listener.changes[2].value, 1.0f);
    EXPECT_EQ(rocker->getValue(), 0.0f);
}

TEST_F(Screen, OnlyChangedAreasAreRedrawnAndPresented) {
    auto* lamp = frame.addView(std::make_unique<CMovieBitmap>(CRect::fromSize(30, 40, 10, 10),
                                                              nullptr, 1, strip(10, 10, 2)));
    window->render();
    window->takePresentedArea();
    window->render();
    EXPECT_TRUE(window->takePresentedArea().isEmpty());
    lamp->setValue(1.0f);
    EXPECT_TRUE(lamp->isDirty());
    window->render();
    EXPECT_FALSE(lamp->isDirty());
    EXPECT_EQ(window->takePresentedArea(), CRect::fromSize(30, 40, 10, 10));
    lamp->setVisible(false);
    EXPECT_EQ(window->render().colorAt(35, 45), kBlackCColor);
}

TEST_F(Screen, TextFieldsEditInPlaceAndReportOnReturn) {
    auto* field = frame.addView(std::make_unique<CTextEdit>(CRect::fromSize(10, 10, 120, 16),
                                                            &listener, 42, "Tresk pro Patch"));
    field->setMaximumLength(20);
    window->click({20, 15});
    EXPECT_TRUE(field->isEditing());
    for (int k = 0; k < 5; ++k)
        window->keyDown({0, CKeyCode::kBack, 0});
    window->type("Acid\x01 bass line");
    EXPECT_EQ(field->getText(), "Tresk pro Acid bass ");
    EXPECT_TRUE(listener.changes.empty());
    window->keyDown({13, CKeyCode::kReturn, 0});
    EXPECT_FALSE(field->isEditing());
    ASSERT_EQ(listener.changes.size(), 1u);

    window->click({20, 15});
    window->type("xyz");
    window->keyDown({27, CKeyCode::kEscape, 0});
    EXPECT_EQ(field->getText(), "Tresk pro Acid bass ");

    window->click({20, 15});
    window->keyDown({0, CKeyCode::kHome, 0});
    window->keyDown({0, CKeyCode::kDelete, 0});
    window->click({180, 100}); // a click elsewhere takes the text
    EXPECT_EQ(field->getText(), "resk pro Acid bass ");
    EXPECT_EQ(listener.changes.size(), 2u);
    EXPECT_EQ(frame.getFocusView(), nullptr);

    // A field without a limit of its own keeps 255 bytes.
    const CTextEdit unlimited(CRect::fromSize(0, 0, 10, 10), &listener, 43, std::string(300, 'p'));
    EXPECT_EQ(unlimited.getText(), std::string(255, 'p'));
}

TEST(Menu, EntryTextsFollowTheSeparatorGreyAndTabConventions) {
    const CMenuEntry separator = parseMenuEntry("-");
    EXPECT_TRUE(separator.separator);
    EXPECT_FALSE(separator.selectable());
    const CMenuEntry grey = parseMenuEntry("-GVCO-1 Out\t--->");
    EXPECT_TRUE(grey.disabled);
    EXPECT_EQ(grey.title, "VCO-1 Out");
    EXPECT_EQ(grey.suffix, "--->");
    const CMenuEntry shortcut = parseMenuEntry("Save Patch\t[Ctrl+S]");
    EXPECT_TRUE(shortcut.selectable());
    EXPECT_EQ(shortcut.title, "Save Patch");
    EXPECT_EQ(shortcut.suffix, "[Ctrl+S]");
    // A lone minus sign in a longer text is ordinary text.
    EXPECT_EQ(parseMenuEntry("Transpose -12 semitones").title, "Transpose -12 semitones");
    EXPECT_FALSE(parseMenuEntry("-12").separator);
}

TEST(Menu, ChoicesReportTheIndexAndTheMenuThatHoldsIt) {
    CFrame frame(CRect::fromSize(0, 0, 300, 200));
    auto dialogs = std::make_shared<CScriptedDialogs>();
    frame.setDialogs(dialogs);
    Recorder listener;
    auto* menu = frame.addView(std::make_unique<COptionMenu>(
        CRect::fromSize(10, 20, 50, 20), &listener, 10003, COptionMenu::kNoTextStyle));
    menu->addEntry("Open Patch");
    menu->addEntry("-");
    auto folder = std::make_unique<COptionMenu>(CRect{}, nullptr, 0);
    folder->addEntry("Bass 1");
    folder->addEntry("Bass 2");
    folder->checkEntry(1, true);
    COptionMenu* sub = folder.get();
    menu->addEntry(std::move(folder), "Basses");
    menu->addEntry("-GNothing here");
    menu->addEntry("Lead", 1);
    EXPECT_EQ(menu->getNbEntries(), 5);
    EXPECT_EQ(menu->getEntry(3), "-MBasses");
    EXPECT_TRUE(sub->isChecked(1));

    dialogs->answerMenu({1});
    EXPECT_TRUE(menu->popup());
    EXPECT_EQ(menu->getValue(), 1.0f);
    EXPECT_EQ(menu->getLastChoice().menu, menu);
    ASSERT_EQ(dialogs->shownMenus.size(), 1u);
    EXPECT_EQ(dialogs->shownMenus[0].where, (CPoint{10, 20}));

    dialogs->answerMenu({3, 1});
    EXPECT_TRUE(menu->popup());
    EXPECT_EQ(menu->getLastChoice().menu, sub);
    EXPECT_EQ(menu->getCurrentIndex(), 1);
    EXPECT_EQ(sub->getCurrentIndex(), 1);

    dialogs->answerMenuTitle("Bass 1");
    EXPECT_TRUE(menu->popup());
    EXPECT_EQ(menu->getValue(), 0.0f);
    EXPECT_EQ(listener.changes.size(), 3u);

    // Greyed entries, separators, sub-menu titles and cancelled menus choose nothing.
    for (std::vector<int> path : std::vector<std::vector<int>>{{4}, {2}, {3}, {}, {9}}) {
        dialogs->answerMenu(path);
        EXPECT_FALSE(menu->popup());
    }
    EXPECT_EQ(listener.changes.size(), 3u);
    menu->setEntry(0, "-GOpen Patch (now Acid)");
    EXPECT_TRUE(menu->entryAt(0)->disabled);
    // The first and the last entry can be removed; one past the end cannot.
    EXPECT_TRUE(menu->removeEntry(0));
    EXPECT_EQ(menu->getEntry(0), "Lead");
    EXPECT_FALSE(menu->removeEntry(menu->getNbEntries()));
    EXPECT_TRUE(menu->removeEntry(menu->getNbEntries() - 1));
    EXPECT_EQ(menu->getNbEntries(), 3);
    menu->removeAllEntry();
    EXPECT_EQ(menu->getNbEntries(), 0);
    EXPECT_EQ(menu->getLastChoice().menu, nullptr);
}

TEST(Dialogs, ScriptedAnswersAndFilterPatterns) {
    CScriptedDialogs dialogs;
    dialogs.answerMessage(CMessageResult::yes);
    dialogs.answerFile("C:\\p.pat");
    EXPECT_EQ(dialogs.messageBox("Clear Pattern", "Are you sure?", CMessageButtons::yesNo,
                                 CMessageIcon::question),
              CMessageResult::yes);
    EXPECT_EQ(dialogs.messageBox("Clear Pattern", "Again?", CMessageButtons::yesNo,
                                 CMessageIcon::question),
              CMessageResult::no);
    EXPECT_EQ(dialogs.chooseFile({}).value_or(""), "C:\\p.pat");
    EXPECT_FALSE(dialogs.chooseFile({}).has_value());
    EXPECT_EQ(dialogs.shownMessages.size(), 2u);
    EXPECT_EQ(filterPattern({false, "", "Freebee Pattern (*.pat)", "pat", "", "", ""}), "*.pat");
    EXPECT_EQ(filterPattern({false, "", "Anything", "skn", "", "", ""}), "*.skn");
}

TEST(Drawing, LinesRectanglesTextAndClipping) {
    CBitmap target(40, 30);
    CDrawContext context(target);
    context.setFillColor(kWhiteCColor);
    context.fillRect(target.bounds());

    context.setFrameColor({0, 0, 250, 255});
    context.drawRect(CRect::fromSize(2, 2, 10, 8)); // a one-pixel outline just inside
    EXPECT_EQ(target.colorAt(2, 2), (CColor{0, 0, 250, 255}));
    EXPECT_EQ(target.colorAt(11, 9), (CColor{0, 0, 250, 255}));
    EXPECT_EQ(target.colorAt(5, 5), kWhiteCColor);
    EXPECT_EQ(target.colorAt(12, 5), kWhiteCColor);

    context.setFrameColor(kBlackCColor);
    context.setLineWidth(2);
    context.drawLine({0, 20}, {39, 20});
    EXPECT_EQ(target.colorAt(20, 20), kBlackCColor);
    EXPECT_EQ(target.colorAt(20, 21), kBlackCColor);
    EXPECT_EQ(target.colorAt(20, 19), kWhiteCColor);
    EXPECT_EQ(target.colorAt(20, 22), kWhiteCColor);

    // A width below one draws one pixel wide.
    CBitmap thin(10, 5);
    CDrawContext pen(thin);
    pen.setFillColor(kWhiteCColor);
    pen.fillRect(thin.bounds());
    pen.setFrameColor(kBlackCColor);
    pen.setLineWidth(0);
    pen.drawLine({0, 2}, {9, 2});
    EXPECT_EQ(thin.colorAt(5, 2), kBlackCColor);
    EXPECT_EQ(thin.colorAt(5, 1), kWhiteCColor);
    EXPECT_EQ(thin.colorAt(5, 3), kWhiteCColor);

    // A translucent line is blended once per pixel, even where its width overlaps itself.
    context.setFrameColor({255, 0, 0, 128});
    context.setLineWidth(3);
    context.drawLine({30, 0}, {34, 12});
    EXPECT_EQ(target.colorAt(30, 0), (CColor{255, 127, 127, 255}));
    for (int y = 0; y < 12; ++y) {
        for (int x = 28; x < 38; ++x) {
            const CColor c = target.colorAt(x, y);
            if (c != kWhiteCColor) {
                EXPECT_EQ(c, (CColor{255, 127, 127, 255})) << x << "," << y;
            }
        }
    }

    // Anti-aliased lines blend their edges and stay inside the clip.
    context.setClipRect(CRect::fromSize(0, 24, 20, 6));
    context.setDrawMode(CDrawMode::antiAliased);
    context.setFrameColor(kBlackCColor);
    context.setLineWidth(1);
    context.drawLine({0, 22}, {39, 29});
    EXPECT_EQ(target.colorAt(25, 28), kWhiteCColor);
    int partial = 0;
    for (int x = 0; x < 20; ++x) {
        for (int y = 24; y < 30; ++y) {
            const int red = target.colorAt(x, y).red;
            partial += red > 0 && red < 255;
        }
    }
    EXPECT_GT(partial, 5);

    CBitmap text(60, 16);
    CDrawContext writer(text);
    writer.setFontColor(kWhiteCColor);
    writer.drawString("Tresk", text.bounds(), CHorizontalAlign::left);
    int covered = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 60; ++x)
            covered += text.colorAt(x, y).alpha > 0;
    }
    EXPECT_GT(covered, 30);
    EXPECT_EQ(CFont(CFontId::normal).textWidth("Tresk"),
              CFont(CFontId::normal).textWidth("Tre") + CFont(CFontId::normal).textWidth("sk"));
    EXPECT_GT(CFont(CFontId::bold).lineHeight(), CFont(CFontId::small).lineHeight());

    // Bytes draw as their Latin-1 glyphs at both ends of both ranges, any other as "?": a
    // blank drawn as "?" would show in every display text.
    EXPECT_EQ(CFont::glyphIndex(' '), 0);
    EXPECT_EQ(CFont::glyphIndex('~'), 94);
    EXPECT_EQ(CFont::glyphIndex(160), 95);
    EXPECT_EQ(CFont::glyphIndex(255), CFont::glyphCount - 1);
    for (int byte : {0, 31, 127, 159})
        EXPECT_EQ(CFont::glyphIndex(static_cast<unsigned char>(byte)), CFont::glyphIndex('?'));

    // Display texts keep two pixels from the edge they are aligned to.
    CParamDisplay display(CRect::fromSize(0, 0, 40, 16));
    display.setStringConvert([](float) { return std::string("I"); });
    display.setHoriAlign(CHorizontalAlign::left);
    display.setFrameColor(kTransparentCColor);
    CBitmap shown(40, 16);
    CDrawContext displayContext(shown);
    display.draw(displayContext);
    int firstInk = -1;
    for (int x = 0; x < 40 && firstInk < 0; ++x) {
        for (int y = 0; y < 16; ++y) {
            if (shown.colorAt(x, y).red < 128)
                firstInk = x;
        }
    }
    EXPECT_EQ(firstInk, 2 + CFont().glyph('I').left);
}

} // namespace
} // namespace treskpro::toolkit

namespace treskpro::toolkit {
namespace {

TEST_F(Screen, RemovedViewsLeaveNoDanglingFocusOrPress) {
    auto panel = std::make_unique<CViewContainer>(CRect::fromSize(0, 0, 100, 100));
    auto* field = panel->addView(
        std::make_unique<CTextEdit>(CRect::fromSize(0, 0, 80, 16), &listener, 1, "a"));
    auto* knob = panel->addView(
        std::make_unique<CKnob>(CRect::fromSize(0, 40, 20, 20), &listener, 2, strip(20, 20, 3)));
    CViewContainer* container = frame.addView(std::move(panel));
    window->click({5, 5});
    ASSERT_EQ(frame.getFocusView(), field);
    EXPECT_TRUE(container->removeView(field));
    EXPECT_EQ(frame.getFocusView(), nullptr);
    window->keyDown({'x', CKeyCode::kNone, 0}); // reaches nobody, and nothing crashes

    window->mouseDown({5, 45});
    EXPECT_TRUE(container->removeView(knob));
    window->mouseMove({5, 10});
    window->mouseUp({5, 10});
    EXPECT_FALSE(container->removeView(knob));
    EXPECT_EQ(container->getNbViews(), 0);
}

TEST_F(Screen, ContainersDrawTheirChildrenInTheirOwnCoordinatesAndClipThem) {
    auto panel = std::make_unique<CViewContainer>(CRect::fromSize(100, 50, 20, 20));
    // A child that reaches past its container's edge is cut at the edge.
    panel
        ->addView(std::make_unique<CMovieBitmap>(CRect::fromSize(10, 10, 30, 30), nullptr, 1,
                                                 strip(30, 30, 2)))
        ->setValue(1.0f);
    frame.addView(std::move(panel));
    const CBitmap& pixels = window->render();
    EXPECT_EQ(pixels.colorAt(110, 60), (CColor{10, 0, 0, 255}));
    EXPECT_EQ(pixels.colorAt(119, 69), (CColor{10, 0, 0, 255}));
    EXPECT_EQ(pixels.colorAt(120, 60), kBlackCColor);
    EXPECT_EQ(pixels.colorAt(109, 60), kBlackCColor);
    EXPECT_EQ(frame.getViewAt({115, 65}, true)->frameRect(), CRect::fromSize(110, 60, 30, 30));
}

TEST_F(Screen, ManyScatteredChangesMergeIntoOneArea) {
    std::vector<CMovieBitmap*> lamps;
    for (int k = 0; k < 20; ++k) {
        lamps.push_back(frame.addView(std::make_unique<CMovieBitmap>(
            CRect::fromSize(9 * k, 5 * k % 100, 5, 5), nullptr, k, strip(5, 5, 2))));
    }
    window->render();
    for (CMovieBitmap* lamp : lamps)
        lamp->setValue(1.0f);
    window->render();
    // Every lamp shows its new frame, whatever the areas were merged into.
    for (CMovieBitmap* lamp : lamps) {
        EXPECT_EQ(shownFrame(lamp->getViewSize().topLeft()), 1);
    }
    lamps[0]->setValue(0.0f);
    lamps[0]->setValue(1.0f); // a change and its undo still redraw once
    const int before = window->presentCount();
    window->render();
    EXPECT_EQ(window->presentCount(), before + 1);
}

TEST(Controls, ValuesStayWithinTheirRangeWhateverTheHostSends) {
    Recorder listener;
    CKnob knob(CRect::fromSize(0, 0, 10, 10), &listener, 1, strip(10, 10, 5));
    knob.setValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(knob.getValue(), 0.0f);
    knob.setValue(-3.0f);
    EXPECT_EQ(knob.getValue(), 0.0f);
    knob.setValue(std::numeric_limits<float>::infinity());
    EXPECT_EQ(knob.getValue(), 1.0f);
    // A knob without an image, or an image shorter than one frame, still has one frame.
    CKnob bare(CRect::fromSize(0, 0, 10, 10), &listener, 2, nullptr);
    EXPECT_EQ(bare.frameCount(), 1);
    CKnob tiny(CRect::fromSize(0, 0, 10, 10), &listener, 3, strip(10, 4, 1));
    EXPECT_EQ(tiny.frameCount(), 1);
    EXPECT_EQ(CControl::frameForValue(0.5f, 0), 0);
    EXPECT_EQ(CControl::frameForValue(std::numeric_limits<float>::quiet_NaN(), 4), 0);

    CSpecialDigit digits(CRect::fromSize(0, 0, 20, 10), &listener, 4, 2, strip(10, 10, 10));
    digits.setValue(7.9f);
    EXPECT_EQ(digits.digitAt(0), 0);
    EXPECT_EQ(digits.digitAt(1), 7);
    EXPECT_EQ(digits.digitAt(5), 0);

    COptionMenu menu(CRect{}, &listener, 5);
    menu.addEntry("one");
    menu.addEntry("two");
    menu.setValue(7.0f); // no such entry: the choice stays
    EXPECT_EQ(menu.getCurrentIndex(), -1);
    menu.setValue(1.0f);
    EXPECT_EQ(menu.getCurrentIndex(), 1);
    EXPECT_EQ(menu.displayText(), "two");
    EXPECT_TRUE(listener.changes.empty());
}

TEST(Drawing, BitmapsBlendFromTheirSourceOffsetAndNeverReadPastTheirEdges) {
    CBitmap target(10, 10);
    target.fill(kWhiteCColor);
    CBitmap source(4, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 4; ++x)
            source.setColorAt(x, y, {0, 0, 255, std::uint8_t(y < 4 ? 255 : 0)});
    }
    CDrawContext context(target);
    // The destination asks for more than the source has below the offset and past its side.
    context.drawBitmap(source, CRect::fromSize(-2, 6, 10, 10), {0, 2});
    EXPECT_EQ(target.colorAt(0, 6), (CColor{0, 0, 255, 255}));
    EXPECT_EQ(target.colorAt(1, 7), (CColor{0, 0, 255, 255}));
    EXPECT_EQ(target.colorAt(2, 6), kWhiteCColor); // past the source's right edge
    EXPECT_EQ(target.colorAt(0, 8), kWhiteCColor); // transparent rows
    context.setGlobalAlpha(0.5f);
    context.drawBitmap(source, CRect::fromSize(5, 0, 4, 4));
    EXPECT_EQ(target.colorAt(5, 0), (CColor{127, 127, 255, 255}));
    context.copyBitmap(source, CRect::fromSize(0, 0, 2, 2), {0, 6});
    EXPECT_EQ(target.colorAt(0, 0).alpha, 0);
}

} // namespace
} // namespace treskpro::toolkit
