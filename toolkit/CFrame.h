// The top of a view hierarchy: owns the off-screen buffer the views draw into, gathers the
// areas that need redrawing, and connects the views with a window (CPlatformWindow) and with the
// dialogs (CPlatformDialogs). The editor calls idle() from the host's idle calls; the frame then
// redraws what changed and hands it to the window.
#pragma once

#include "toolkit/CBitmap.h"
#include "toolkit/CPlatformDialogs.h"
#include "toolkit/CPlatformWindow.h"
#include "toolkit/CViewContainer.h"

#include <memory>
#include <vector>

namespace treskpro::toolkit {

// Told of keys that no focused view used (the editor's keyboard programming).
class CKeyListener {
public:
    virtual ~CKeyListener() = default;
    virtual bool onKeyDown(const CKeyCode& key) = 0;
};

class CFrame : public CViewContainer {
public:
    // A frame of the given size at (0, 0); with no window until one is attached, and with
    // scripted dialogs that cancel everything until others are set.
    explicit CFrame(const CRect& size);
    ~CFrame() override;

    // Shows the frame in `window` (which must have been made for this frame); returns it.
    template <class Window> Window* open(std::unique_ptr<Window> newWindow) {
        Window* raw = newWindow.get();
        attach(std::unique_ptr<CPlatformWindow>(std::move(newWindow)));
        return raw;
    }
    // Closes the window; the views stay.
    void close();
    CPlatformWindow* getWindow() const { return window.get(); }

    void setDialogs(std::shared_ptr<CPlatformDialogs> newDialogs);
    CPlatformDialogs& dialogs() { return *dialogsBackend; }

    void setSize(int width, int height);

    // Redrawing: areas in frame coordinates are collected until idle() draws them into the
    // buffer and presents them; redraw() does the whole frame at once.
    void invalidRect(const CRect& area);
    bool hasDirtyArea() const { return !dirtyAreas.empty(); }
    void idle();
    void redraw();
    const CBitmap& backBuffer() const { return buffer; }

    // Input from the window, in frame coordinates.
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint where, const CButtonState& buttons) override;
    bool onKeyDown(const CKeyCode& key) override;

    // The view that receives keys (a text field being edited), or null.
    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView; }
    void setKeyListener(CKeyListener* listener) { keyListener = listener; }

    // The buttons and modifiers held now (from the window, else those of the last event).
    CButtonState currentButtons() const;
    CPoint mousePosition() const;

    // A view is going away: the frame forgets it as focus.
    void viewRemoved(CView* view);

protected:
    CFrame* asFrame() override { return this; }

private:
    void attach(std::unique_ptr<CPlatformWindow> newWindow);
    void drawArea(const CRect& area);

    // Up to this many separate areas are kept; more are merged into their union.
    static constexpr std::size_t maximumDirtyAreas = 16;

    CBitmap buffer;
    std::vector<CRect> dirtyAreas;
    std::unique_ptr<CPlatformWindow> window;
    std::shared_ptr<CPlatformDialogs> dialogsBackend;
    CView* focusView = nullptr;
    CKeyListener* keyListener = nullptr;
    CButtonState lastButtons;
    CPoint lastMouse;
};

} // namespace treskpro::toolkit
