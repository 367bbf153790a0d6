// The window a frame shows itself in: one small interface with a headless implementation
// (CHeadlessWindow, for tests and systems without a window backend), a Win32 one and an X11 one
// (each a child of the host's window). The window shows the frame's off-screen buffer and delivers
// the user's mouse and key events to the frame; the frame asks it where the pointer is.
#pragma once

#include "toolkit/CEvents.h"
#include "toolkit/CRect.h"

#include <memory>

namespace treskpro::toolkit {

class CFrame;

class CPlatformWindow {
public:
    virtual ~CPlatformWindow() = default;

    // The frame's buffer holds new pixels in `area` (frame coordinates): show them now.
    virtual void present(const CRect& area) = 0;
    // The frame changed its size.
    virtual void resize(int width, int height) = 0;
    // The pointer in frame coordinates.
    virtual CPoint mousePosition() const = 0;
    // The buttons and modifier keys held now.
    virtual CButtonState currentButtons() const = 0;
    // A frame point in screen coordinates (where menus open; window movement).
    virtual CPoint frameToScreen(CPoint where) const = 0;
    // The system's handle of the window (HWND on Windows, the Window id on X11), or null.
    virtual void* nativeHandle() const = 0;
    // Reads the user's input that waits, without blocking. Called at the start of every frame
    // idle; for windows whose events the host's own loop delivers there is nothing to do.
    virtual void handleEvents() {}
};

// The system's own window as a child of `parent` (the host's window handle), or null where this
// build has no window backend or the window cannot be made.
std::unique_ptr<CPlatformWindow> createPlatformWindow(CFrame& frame, void* parent);
// Whether this build has a window backend at all.
bool platformHasWindows();

} // namespace treskpro::toolkit
