#include "editor/TreskproControls.h"
#include "toolkit/Toolkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace treskpro {
namespace {

using namespace toolkit;

// A film strip whose frame k is filled with red = 10 × k + 5, so the frame shown can be read
// back from the screen and even the first differs from the empty frame's black.
std::shared_ptr<CBitmap> strip(int width, int frameHeight, int frames) {
    auto bitmap = std::make_shared<CBitmap>(width, frameHeight * frames);
    for (int y = 0; y < bitmap->height(); ++y) {
        for (int x = 0; x < width; ++x)
            bitmap->setColorAt(x, y, {std::uint8_t(10 * (y / frameHeight) + 5), 0, 0, 255});
    }
    return bitmap;
}

// A one-frame picture of a single colour.
std::shared_ptr<CBitmap> plain(int width, int height, CColor color) {
    auto bitmap = std::make_shared<CBitmap>(width, height);
    bitmap->fill(color);
    return bitmap;
}

constexpr CColor green{0, 200, 0, 255};

struct Recorder : CControlListener {
    std::vector<float> values;
    int begins = 0;
    int ends = 0;
    void valueChanged(CControl* control) override { values.push_back(control->getValue()); }
    void controlBeginEdit(CControl*) override { ++begins; }
    void controlEndEdit(CControl*) override { ++ends; }
};

class Panel : public ::testing::Test {
protected:
    Panel() : frame(CRect::fromSize(0, 0, 300, 160)) {
        window = frame.open(std::make_unique<CHeadlessWindow>(frame));
    }
    CColor pixel(int x, int y) { return window->render().colorAt(x, y); }
    // The strip frame shown at a point, or -1 where none is.
    int shownFrame(int x, int y) {
        const int red = pixel(x, y).red;
        return red % 10 == 5 ? red / 10 : -1;
    }

    CFrame frame;
    CHeadlessWindow* window;
    Recorder listener;
};

TEST_F(Panel, KnobShowsItsFrameAndFollowsDragsAtTheStepOfTheButtonAndModifiers) {
    auto* knob = frame.addView(std::make_unique<TreskproKnob>(CRect::fromSize(0, 0, 10, 10),
                                                              &listener, 7, strip(10, 10, 11)));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float value;
        int frame;
    } shown[] = {{0.0f, 0}, {0.5f, 5}, {1.0f, 10}, {7.0f, 10}, {-3.0f, 0}, {nan, 0}};
    for (const auto& s : shown) {
        knob->setValue(s.value);
        EXPECT_EQ(shownFrame(5, 5), s.frame) << s.value;
    }
    EXPECT_TRUE(listener.values.empty()) << "values set from outside tell nobody";

    // 20 pixels up at 0.005; 20 pixels right count a tenth.
    window->drag({5, 5}, {5, -15});
    EXPECT_NEAR(knob->getValue(), 0.1f, 1e-5f);
    window->drag({5, 5}, {25, 5});
    EXPECT_NEAR(knob->getValue(), 0.11f, 1e-5f);
    EXPECT_EQ(shownFrame(5, 5), 1);
    window->drag({5, 5}, {5, -15}, 4, {CButtonState::kRButton});
    EXPECT_NEAR(knob->getValue(), 0.13f, 1e-5f);
    window->holdModifiers(CButtonState::kShift);
    window->drag({5, 5}, {5, -95});
    EXPECT_NEAR(knob->getValue(), 0.13f + 100 * 0.00010416667f, 1e-5f);
    EXPECT_EQ(listener.begins, 4);
    EXPECT_EQ(listener.ends, 4);
    EXPECT_EQ(listener.values.size(), 16u);

    window->holdModifiers(CButtonState::kControl);
    knob->setDefaultValue(0.75f);
    window->click({5, 5});
    EXPECT_FLOAT_EQ(knob->getValue(), 0.75f);
    EXPECT_EQ(listener.values.back(), 0.75f);
    window->holdModifiers(0);

    EXPECT_TRUE(window->wheel({5, 5}, 2.0f));
    EXPECT_NEAR(knob->getValue(), 0.77f, 1e-5f);
    EXPECT_FALSE(window->wheel({5, 5}, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_NEAR(knob->getValue(), 0.77f, 1e-5f);

    // Pulled hard past either end, it stops there.
    window->drag({5, 5}, {5, -995});
    EXPECT_EQ(knob->getValue(), 1.0f);

    // An image shorter than one frame draws what it has and nothing from beyond it.
    knob->setBackground(plain(10, 4, green));
    knob->setValue(0.5f);
    EXPECT_EQ(pixel(5, 2), green);
    EXPECT_NE(pixel(5, 6), green);
}

TEST_F(Panel, StickyKnobHoldsAtTheCentreForNineMovesThenFollowsFromThere) {
    auto* knob = frame.addView(std::make_unique<TreskproKnob>(CRect::fromSize(0, 0, 10, 10),
                                                              &listener, 1, strip(10, 10, 11)));
    const auto dragInTenPixelSteps = [&](int moves) {
        std::vector<float> seen;
        window->mouseDown({5, 5});
        for (int move = 1; move <= moves; ++move) {
            window->mouseMove({5, 5 - 10 * move});
            seen.push_back(knob->getValue());
        }
        window->mouseUp({5, 5 - 10 * moves});
        return seen;
    };

    knob->setValue(0.4f);
    const std::vector<float> loose = dragInTenPixelSteps(3);
    EXPECT_NEAR(loose[2], 0.55f, 1e-5f);

    knob->setSticky(true);
    knob->setValue(0.4f);
    const std::vector<float> held = dragInTenPixelSteps(12);
    EXPECT_NEAR(held[0], 0.45f, 1e-5f);
    for (int move = 1; move <= 9; ++move)
        EXPECT_EQ(held[std::size_t(move)], 0.5f) << "move " << move + 1;
    EXPECT_NEAR(held[10], 0.55f, 1e-5f);
    EXPECT_NEAR(held[11], 0.6f, 1e-5f);

    // From above, crossing the centre in one move also stops on it.
    knob->setValue(0.58f);
    window->mouseDown({5, 0});
    window->mouseMove({5, 20});
    EXPECT_EQ(knob->getValue(), 0.5f);
    window->mouseUp({5, 20});
}

TEST_F(Panel, DigitsShowTheWholePartAndAShiftChangeMidDragDoesNotJump) {
    // Glyph k of the strip has red = 10 × k + 5; three digits of 8 × 10 pixels.
    auto* digits = frame.addView(std::make_unique<TreskproDigits>(
        CRect::fromSize(0, 0, 24, 10), &listener, 106, 3, strip(8, 10, 10)));
    const auto glyphs = [&] {
        return std::vector<int>{shownFrame(4, 5), shownFrame(12, 5), shownFrame(20, 5)};
    };
    digits->setValue(407.9f);
    EXPECT_EQ(glyphs(), (std::vector<int>{4, 0, 7}));
    digits->setValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(glyphs(), (std::vector<int>{0, 0, 0}));
    digits->setValue(5000.0f);
    EXPECT_EQ(glyphs(), (std::vector<int>{9, 9, 9}));
    digits->setMin(-50.0f);
    digits->setValue(-7.0f);
    EXPECT_EQ(glyphs(), (std::vector<int>{0, 0, 0}));
    digits->setMin(0.0f);

    // 999 over 1000 pixels: 0.999 a pixel, a tenth of it with Shift.
    window->mouseDown({12, 5});
    window->mouseMove({22, 5});
    EXPECT_NEAR(digits->getValue(), 9.99f, 1e-3f);
    window->holdModifiers(CButtonState::kShift);
    window->mouseMove({32, 5});
    EXPECT_NEAR(digits->getValue(), 10.989f, 1e-3f);
    window->holdModifiers(0);
    window->mouseMove({32, -5}); // upward counts as rightward
    EXPECT_NEAR(digits->getValue(), 20.979f, 1e-3f);
    window->mouseUp({32, -5});
    EXPECT_EQ(glyphs(), (std::vector<int>{0, 2, 0}));
    EXPECT_EQ(listener.begins, 1);
    EXPECT_EQ(listener.ends, 1);
    EXPECT_EQ(listener.values.size(), 3u);

    // At the top it goes on from 999 as soon as the mouse turns back.
    window->mouseDown({12, 5});
    window->mouseMove({12, -1500});
    EXPECT_EQ(digits->getValue(), 999.0f);
    window->mouseMove({12, -1499});
    EXPECT_NEAR(digits->getValue(), 998.001f, 1e-3f);
    window->mouseUp({12, -1499});

    window->holdModifiers(CButtonState::kControl);
    digits->setDefaultValue(120.0f);
    window->click({12, 5});
    EXPECT_EQ(digits->getValue(), 120.0f);
    window->holdModifiers(0);
    EXPECT_TRUE(window->wheel({12, 5}, -2.0f));
    EXPECT_EQ(digits->getValue(), 118.0f);
    EXPECT_FALSE(window->wheel({12, 5}, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(digits->getValue(), 118.0f);
}

TEST_F(Panel, PitchKeyboardFindsKeysReportsThemWhileDraggingAndDrawsTheirFrames) {
    // Two octaves, 90 pixels high; frame k of the image has red = 10 × k + 5.
    auto* keyboard = frame.addView(std::make_unique<TreskproPitchKeyboard>(
        CRect::fromSize(0, 10, 266, 90), &listener, 555, strip(266, 90, 4)));
    EXPECT_EQ(keyboard->keyAt({20, 10}), 1);        // black key near the top
    EXPECT_EQ(keyboard->keyAt({20, 10 + 68}), 1);   // still black at 68 below the top
    EXPECT_EQ(keyboard->keyAt({20, 10 + 69}), 2);   // further down: white key 1
    EXPECT_EQ(keyboard->keyAt({133 + 70, 20}), 18); // second octave, F sharp
    EXPECT_EQ(keyboard->keyAt({132, 20}), 11);
    EXPECT_EQ(keyboard->keyAt({266, 20}), -1);
    EXPECT_EQ(keyboard->keyAt({20, 9}), -1);

    window->mouseDown({5, 90}); // key 0
    window->mouseMove({10, 90});
    window->mouseMove({30, 90}); // key 2
    EXPECT_EQ(keyboard->pressedKey(), 2);
    EXPECT_EQ(shownFrame(30, 90), 1);
    EXPECT_EQ(shownFrame(30, 20), 1);
    EXPECT_EQ(shownFrame(20, 20), 0) << "the black neighbour stays at rest";
    EXPECT_EQ(shownFrame(5, 90), 0);
    keyboard->setMarkedKey(2);
    EXPECT_EQ(shownFrame(30, 90), 3);
    keyboard->setMarkedKey(1);
    EXPECT_EQ(shownFrame(20, 20), 2);
    EXPECT_EQ(shownFrame(30, 90), 1);
    window->mouseMove({20, 20}); // key 1
    EXPECT_EQ(shownFrame(20, 20), 3);
    window->mouseMove({400, 20}); // off the keyboard: no key, nothing said
    window->mouseUp({400, 20});
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 3.0f, 2.0f, 0.0f}));
    EXPECT_EQ(listener.begins, 1);
    EXPECT_EQ(listener.ends, 1);
    EXPECT_EQ(shownFrame(30, 90), 0);
    EXPECT_EQ(shownFrame(20, 20), 2);

    // A picture with fewer frames shows a marked key with its last one.
    keyboard->setBackground(strip(266, 90, 2));
    keyboard->setMarkedKey(2);
    EXPECT_EQ(shownFrame(30, 90), 1);

    // The right button plays nothing.
    window->click({30, 90}, {CButtonState::kRButton});
    EXPECT_EQ(listener.values.size(), 4u);

    // Keys end at 127, however wide the picture.
    TreskproPitchKeyboard wide(CRect::fromSize(0, 0, 11 * 133, 90), nullptr, 555, nullptr);
    EXPECT_EQ(wide.keyAt({10 * 133 + 90, 80}), 127);
    EXPECT_EQ(wide.keyAt({10 * 133 + 95, 10}), -1);
}

TEST_F(Panel, FloatingDisplayIndicatorAndTripletButtonDrawBoundedFrames) {
    const CColor empty = pixel(150, 150);

    auto* display = frame.addView(
        std::make_unique<TreskproFloatingDisplay>(CRect::fromSize(0, 0, 60, 30), strip(60, 30, 3)));
    EXPECT_EQ(pixel(1, 1), empty) << "hidden until shown";
    display->showUnder(CRect::fromSize(100, 50, 20, 20), "Filter Cutoff:", "12.5");
    EXPECT_EQ(display->getViewSize(), CRect::fromSize(110 - 30 - 2, 70, 60, 30));
    EXPECT_EQ(pixel(79, 71), (CColor{5, 0, 0, 255})); // its first frame
    int lit[2] = {0, 0};
    for (int y = 70; y < 100; ++y) {
        for (int x = 78; x < 138; ++x)
            lit[y < 85 ? 0 : 1] += pixel(x, y).green > 100 ? 1 : 0;
    }
    EXPECT_GT(lit[0], 20) << "first line";
    EXPECT_GT(lit[1], 10) << "second line";
    EXPECT_TRUE(display->advance());
    EXPECT_TRUE(display->advance());
    EXPECT_FALSE(display->advance());
    EXPECT_EQ(shownFrame(79, 71), 2);
    display->show("Filter", "", {0, 120});
    EXPECT_EQ(pixel(79, 71), empty) << "the old place is redrawn";
    EXPECT_EQ(shownFrame(1, 121), 0);
    display->hide();
    EXPECT_EQ(pixel(1, 121), empty);

    auto* arrow = frame.addView(
        std::make_unique<TreskproSmallIndicator>(CRect::fromSize(200, 0, 6, 6), strip(6, 6, 3)));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& [value, shown] :
         std::vector<std::pair<float, int>>{{0.0f, 0}, {0.5f, 1}, {1.0f, 2}, {9.0f, 2}, {nan, 0}}) {
        arrow->setValue(value);
        EXPECT_EQ(shownFrame(202, 2), shown) << value;
    }
    arrow->setBackground(std::make_shared<CBitmap>()); // no picture at all: nothing drawn
    arrow->setValue(1.0f);
    EXPECT_EQ(pixel(202, 2), empty);

    auto* triplet = frame.addView(std::make_unique<TreskproTripletButton>(
        CRect::fromSize(220, 0, 12, 8), &listener, 725, strip(12, 8, 2)));
    window->click({225, 4});
    EXPECT_EQ(triplet->getValue(), 1.0f);
    EXPECT_EQ(shownFrame(225, 4), 1);
    window->click({225, 4}, {CButtonState::kRButton});
    window->click({225, 4});
    EXPECT_EQ(triplet->getValue(), 0.0f);
    EXPECT_EQ(shownFrame(225, 4), 0);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(listener.begins, 2);
    EXPECT_EQ(listener.ends, 2);
    triplet->setBackground(plain(12, 8, green)); // one frame only: "on" still shows it
    triplet->setValue(1.0f);
    EXPECT_EQ(pixel(225, 4), green);
}

TEST_F(Panel, PatchNameFieldKeepsNoMoreThanAPatchFileHolds) {
    auto* name = frame.addView(
        std::make_unique<TreskproPatchNameField>(CRect::fromSize(0, 0, 200, 20), &listener, 810));
    EXPECT_EQ(name->getText(), "Tresk pro Patch");

    char stored[259];
    std::memset(stored, 'a', sizeof stored); // a damaged file: no terminating zero
    name->setName(stored, sizeof stored);
    EXPECT_EQ(name->getText(), std::string(258, 'a'));
    window->click({10, 10});
    window->type("bc");
    window->keyDown({13, CKeyCode::kReturn, 0});
    EXPECT_EQ(name->getText().size(), 258u);

    stored[4] = '\0';
    name->setName(stored, sizeof stored);
    EXPECT_EQ(name->getText(), "aaaa");
    window->click({10, 10});
    window->type("ZZ");
    window->keyDown({13, CKeyCode::kReturn, 0});
    EXPECT_EQ(name->getText(), "aaaaZZ");
    EXPECT_EQ(listener.values.size(), 2u);
}

} // namespace
} // namespace treskpro
