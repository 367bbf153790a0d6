// Shows a test panel of the toolkit's controls. With --png FILE it renders the panel headless,
// clicks a few controls and saves the picture; on Windows without it, it opens the panel in a
// window for the given number of seconds (default 5; 0 = until closed).
#include "toolkit/Toolkit.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using namespace treskpro::toolkit;

namespace {

// A knob strip drawn with the toolkit itself: 31 frames of a dial with a pointer.
std::shared_ptr<CBitmap> knobStrip(int side, int frames) {
    auto strip = std::make_shared<CBitmap>(side, side * frames);
    CDrawContext context(*strip);
    context.setDrawMode(CDrawMode::antiAliased);
    const double pi = 3.14159265358979;
    for (int k = 0; k < frames; ++k) {
        const int top = k * side;
        const CPoint centre{side / 2, top + side / 2};
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const double dx = x - side / 2.0 + 0.5;
                const double dy = y - side / 2.0 + 0.5;
                const double distance = std::sqrt(dx * dx + dy * dy);
                const double edge = std::clamp(side / 2.0 - 2.0 - distance, 0.0, 1.0);
                const auto shade = std::uint8_t(70 - std::clamp(dy * 2.0, -30.0, 30.0));
                strip->setColorAt(
                    x, top + y, {shade, shade, std::uint8_t(shade + 8), std::uint8_t(edge * 255)});
            }
        }
        const double angle = (-135.0 + 270.0 * k / (frames - 1)) * pi / 180.0;
        const double reach = side / 2.0 - 6.0;
        context.setFrameColor({255, 170, 40, 255});
        context.setLineWidth(3);
        context.drawLine(centre, {centre.x + int(std::lround(std::sin(angle) * reach)),
                                  centre.y - int(std::lround(std::cos(angle) * reach))});
    }
    return strip;
}

// Two or more frames of a rounded button, the later frames lit.
std::shared_ptr<CBitmap> buttonStrip(int width, int height, int frames) {
    auto strip = std::make_shared<CBitmap>(width, height * frames);
    CDrawContext context(*strip);
    for (int k = 0; k < frames; ++k) {
        const CRect cell = CRect::fromSize(0, k * height, width, height);
        const auto lit = std::uint8_t(60 + 190 * k / std::max(frames - 1, 1));
        context.setFillColor({40, 40, 46, 255});
        context.fillRect(cell);
        context.setFillColor({lit, std::uint8_t(lit / 3), 20, 255});
        context.fillRect(cell.inset(3, 3));
        context.setFrameColor({200, 200, 210, 255});
        context.drawRect(cell);
    }
    return strip;
}

std::shared_ptr<CBitmap> digitStrip() {
    auto strip = std::make_shared<CBitmap>(12, 18 * 10);
    CDrawContext context(*strip);
    context.setFillColor({10, 20, 10, 255});
    context.fillRect(strip->bounds());
    context.setFont(CFont(CFontId::bold));
    context.setFontColor({90, 255, 90, 255});
    for (int digit = 0; digit < 10; ++digit)
        context.drawString(std::string(1, char('0' + digit)),
                           CRect::fromSize(0, digit * 18, 12, 18));
    return strip;
}

class Label : public CView {
public:
    Label(const CRect& labelSize, std::string labelText, CFontId id, CColor labelColor)
        : CView(labelSize), text(std::move(labelText)), font(id), color(labelColor) {}
    void draw(CDrawContext& context) override {
        context.setFont(font);
        context.setFontColor(color);
        context.drawString(text, size, CHorizontalAlign::left);
    }

private:
    std::string text;
    CFont font;
    CColor color;
};

class Cables : public CView {
public:
    using CView::CView;
    void draw(CDrawContext& context) override {
        const CColor shades[] = {{60, 20, 20, 255},
                                 {130, 40, 40, 255},
                                 {250, 90, 90, 255},
                                 {150, 50, 50, 255},
                                 {100, 30, 30, 255}};
        context.setDrawMode(CDrawMode::antiAliased);
        context.setLineWidth(1);
        for (int k = 0; k < 5; ++k) {
            context.setFrameColor(shades[k]);
            CPoint previous{size.left + 10, size.top + 10 + k};
            for (int i = 1; i <= 16; ++i) {
                const double t = i / 16.0;
                const CPoint next{size.left + 10 + int(t * (size.width() - 20)),
                                  size.top + 10 + k + int(4.0 * t * (1.0 - t) * 50.0)};
                context.drawLine(previous, next);
                previous = next;
            }
        }
        context.setDrawMode(CDrawMode::aliased);
    }
};

struct Printer : CControlListener {
    void valueChanged(CControl* control) override {
        std::printf("tag %d value %.3f\n", control->getTag(), double(control->getValue()));
        std::fflush(stdout);
    }
};

void buildPanel(CFrame& frame, CControlListener* listener) {
    frame.setBackgroundColor({52, 54, 60, 255});
    frame.addView(std::make_unique<Label>(CRect::fromSize(12, 6, 300, 20), "Tresk Pro toolkit",
                                          CFontId::bold, CColor{240, 240, 240, 255}));
    frame.addView(std::make_unique<Label>(CRect::fromSize(12, 26, 400, 16),
                                          "Knobs, buttons, switches, digits, text and menus "
                                          "\xe0 la carte",
                                          CFontId::normal, CColor{200, 200, 200, 255}));
    const auto knob = knobStrip(48, 31);
    const char* names[] = {"CUTOFF", "RESO", "ENV MOD", "DECAY", "ACCENT"};
    for (int k = 0; k < 5; ++k) {
        auto* control = frame.addView(std::make_unique<CKnob>(
            CRect::fromSize(14 + 64 * k, 52, 48, 48), listener, 202 + k, knob));
        control->setValue(0.2f * float(k));
        frame.addView(std::make_unique<Label>(CRect::fromSize(14 + 64 * k, 102, 60, 12), names[k],
                                              CFontId::small, CColor{220, 220, 160, 255}));
    }
    const auto button = buttonStrip(24, 16, 2);
    frame
        .addView(
            std::make_unique<COnOffButton>(CRect::fromSize(14, 124, 24, 16), listener, 111, button))
        ->setValue(1.0f);
    frame.addView(
        std::make_unique<CKickButton>(CRect::fromSize(46, 124, 24, 16), listener, 314, button));
    frame
        .addView(std::make_unique<CVerticalSwitch>(CRect::fromSize(78, 124, 24, 16), listener, 503,
                                                   buttonStrip(24, 16, 4)))
        ->setValue(2.0f / 3.0f);
    frame.addView(std::make_unique<CRockerSwitch>(CRect::fromSize(110, 124, 24, 16), listener, 107,
                                                  buttonStrip(24, 16, 3)));
    for (int k = 0; k < 4; ++k) {
        frame
            .addView(std::make_unique<CMovieBitmap>(CRect::fromSize(150 + 14 * k, 128, 10, 8),
                                                    listener, 420 + k, buttonStrip(10, 8, 2)))
            ->setValue(k % 2 == 0 ? 1.0f : 0.0f);
    }
    frame
        .addView(std::make_unique<CSpecialDigit>(CRect::fromSize(220, 122, 36, 18), listener, 106,
                                                 3, digitStrip()))
        ->setValue(127.0f);
    auto* name = frame.addView(std::make_unique<CTextEdit>(CRect::fromSize(14, 152, 200, 18),
                                                           listener, 810, "Tresk pro Patch"));
    name->setBackColor({20, 20, 24, 255});
    name->setFontColor({255, 200, 80, 255});
    name->setFrameColor({120, 120, 130, 255});
    auto* display =
        frame.addView(std::make_unique<CParamDisplay>(CRect::fromSize(222, 152, 96, 18)));
    display->setValue(0.731f);
    display->setFont(CFontId::small);
    auto* menu = frame.addView(
        std::make_unique<COptionMenu>(CRect::fromSize(14, 178, 200, 18), listener, 10000));
    for (const char* entry : {"Copy Pattern", "Paste Pattern", "-", "Transpose +12 semitones",
                              "-GNot available", "Save Patch\t[Ctrl+S]"})
        menu->addEntry(entry);
    auto sub = std::make_unique<COptionMenu>(CRect{}, nullptr, 0);
    sub->addEntry("Acid line");
    sub->addEntry("Bass & drums");
    sub->checkEntry(0, true);
    menu->addEntry(std::move(sub), "Patches");
    menu->setCurrent(0);
    menu->setBackColor({230, 230, 230, 255});
    frame.addView(std::make_unique<Cables>(CRect::fromSize(330, 40, 150, 150)));
}

} // namespace

int main(int argc, char** argv) {
    const CRect size = CRect::fromSize(0, 0, 490, 206);
    Printer printer;
    if (argc >= 3 && std::strcmp(argv[1], "--png") == 0) {
        CFrame frame(size);
        auto* window = frame.open(std::make_unique<CHeadlessWindow>(frame));
        buildPanel(frame, &printer);
        window->drag({38, 90}, {38, 60}); // the first knob up
        window->click({26, 130});         // the on/off button off
        return window->savePng(argv[2]) ? 0 : 1;
    }
#ifdef _WIN32
    const int seconds = argc >= 2 ? std::atoi(argv[1]) : 5;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "TreskproToolkitDemoHost";
    RegisterClassA(&windowClass);
    RECT outer{0, 0, size.width(), size.height()};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    // Stands in for the host's window: the frame becomes its child.
    HWND host =
        CreateWindowA("TreskproToolkitDemoHost", "Tresk Pro toolkit demo",
                      WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (host == nullptr)
        return 1;
    CFrame frame(size);
    if (frame.open(createPlatformWindow(frame, host)) == nullptr)
        return 2;
    frame.setDialogs(std::shared_ptr<CPlatformDialogs>(createPlatformDialogs(host)));
    buildPanel(frame, &printer);
    frame.idle();
    const DWORD start = GetTickCount();
    MSG message;
    while (IsWindow(host) && (seconds == 0 || GetTickCount() - start < DWORD(seconds) * 1000)) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        frame.idle(); // what the host's idle calls do for the editor
        Sleep(20);
    }
    frame.close();
    DestroyWindow(host);
    return 0;
#else
    std::fprintf(stderr, "usage: treskpro-toolkit-demo --png FILE\n");
    return 2;
#endif
}
