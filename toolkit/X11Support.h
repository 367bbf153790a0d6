// What the X11 window and the X11 dialogs share: catching the errors of our own connection (a
// host may destroy its window, and with it ours, before it closes the editor; Xlib's default
// handler would then end the host's process) and showing a 32-bit picture in a window of any
// TrueColor visual. Internal to the toolkit's X11 backend; editor thread only.
#pragma once

// Only the X11 backend's sources include this; the guard lets builds without Xlib (Windows) look
// at every toolkit header all the same.
#if __has_include(<X11/Xlib.h>)

#include "toolkit/CBitmap.h"
#include "toolkit/CDialog.h"
#include "toolkit/CRect.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace treskpro::toolkit::x11 {

// While alive, X errors on `display` are counted instead of ending the process; errors of other
// connections (the host's) still go to the handler that was installed before. Leaving the scope
// waits for the server to answer everything sent meanwhile.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Sends what is queued, waits for the answers and tells whether any request failed.
    bool failed();

private:
    Display* display;
    ErrorTrap* outer;
    int (*previousHandler)(Display*, XErrorEvent*);
    int errors = 0;

    static int handle(Display* display, XErrorEvent* event);
};

// Puts areas of a picture into a window: converts premultiplied 0xAARRGGBB pixels (opaque, or
// over black) to the window's visual through an image of our own.
class ImageWriter {
public:
    ImageWriter(Display* display, Visual* visual, int depth);
    ~ImageWriter();
    ImageWriter(const ImageWriter&) = delete;
    ImageWriter& operator=(const ImageWriter&) = delete;

    // False when the visual is not TrueColor (nothing is shown then).
    bool usable() const { return trueColor; }
    void put(Drawable target, GC gc, const CBitmap& picture, const CRect& area);

private:
    std::uint32_t convert(std::uint32_t pixel) const;

    Display* display;
    Visual* visual;
    int depth;
    bool trueColor = false;
    int redShift = 0, greenShift = 0, blueShift = 0;
    int redBits = 8, greenBits = 8, blueBits = 8;
    std::uint32_t unusedBits = 0;
    std::vector<char> scratch;
};

// The editor's window, as the dialogs see it: a press in it holds the pointer for that window
// until the release, so a menu opened by the press must take the pointer over first.
class PointerHolder {
public:
    virtual ~PointerHolder() = default;
    virtual void releasePointer() = 0;
};

// Whether an X display can be opened at all (asked once per process).
bool displayAvailable();

// Where a control of a dialog template lies in the dialog's window, in pixels (`units` in
// dialog units; the dialog's own size with left and top 0).
CRect dialogPixels(const CDialogTemplate& dialog, const CRect& units);

// Shows a dialog template in a window of its own over `owner` (a window id, may be 0) and runs
// it modally until the handler ends it, or `cancelled` turns true or the owner is destroyed
// (then the handler hears kDialogCancel and the answer is kDialogCancel).
int runTemplateDialog(Display* display, unsigned long owner, const CDialogTemplate& dialog,
                      CDialogHandler& handler, const std::atomic<bool>& cancelled);

} // namespace treskpro::toolkit::x11

#endif
