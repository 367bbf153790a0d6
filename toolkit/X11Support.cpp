#include "toolkit/X11Support.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace treskpro::toolkit::x11 {

namespace {

// The innermost trap of this thread; traps nest when a dialog opens from an event handler.
thread_local ErrorTrap* currentTrap = nullptr;
// The handler that was there before our first trap (the host's, or Xlib's own): errors of other
// connections, from any thread, go there.
std::atomic<int (*)(Display*, XErrorEvent*)> hostHandler{nullptr};

int bitCount(unsigned long mask) {
    int count = 0;
    for (; mask != 0; mask &= mask - 1)
        ++count;
    return count;
}

int lowestBit(unsigned long mask) {
    if (mask == 0)
        return 0;
    int shift = 0;
    while ((mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

ErrorTrap::ErrorTrap(Display* connection)
    : display(connection), outer(currentTrap), previousHandler(XSetErrorHandler(&handle)) {
    if (outer == nullptr && previousHandler != &handle)
        hostHandler.store(previousHandler);
    currentTrap = this;
}

ErrorTrap::~ErrorTrap() {
    XSync(display, False);
    currentTrap = outer;
    XSetErrorHandler(previousHandler);
}

bool ErrorTrap::failed() {
    XSync(display, False);
    return errors > 0;
}

int ErrorTrap::handle(Display* display, XErrorEvent* event) {
    for (ErrorTrap* trap = currentTrap; trap != nullptr; trap = trap->outer) {
        if (trap->display == display) {
            ++trap->errors;
            return 0;
        }
    }
    // Not ours: whoever handled errors before us decides.
    if (auto* handler = hostHandler.load())
        return handler(display, event);
    return 0;
}

ImageWriter::ImageWriter(Display* connection, Visual* windowVisual, int windowDepth)
    : display(connection), visual(windowVisual), depth(windowDepth) {
    if (visual == nullptr || visual->c_class != TrueColor)
        return;
    trueColor = true;
    redShift = lowestBit(visual->red_mask);
    greenShift = lowestBit(visual->green_mask);
    blueShift = lowestBit(visual->blue_mask);
    redBits = bitCount(visual->red_mask);
    greenBits = bitCount(visual->green_mask);
    blueBits = bitCount(visual->blue_mask);
    // A 32-bit visual keeps alpha in the bits no colour uses: the panel is opaque.
    if (depth == 32)
        unusedBits = ~std::uint32_t(visual->red_mask | visual->green_mask | visual->blue_mask);
}

ImageWriter::~ImageWriter() = default;

std::uint32_t ImageWriter::convert(std::uint32_t pixel) const {
    // Premultiplied pixels over black are their colour channels as they are.
    const std::uint32_t red = (pixel >> 16) & 0xff;
    const std::uint32_t green = (pixel >> 8) & 0xff;
    const std::uint32_t blue = pixel & 0xff;
    return (red >> (8 - redBits)) << redShift | (green >> (8 - greenBits)) << greenShift |
           (blue >> (8 - blueBits)) << blueShift | unusedBits;
}

void ImageWriter::put(Drawable target, GC gc, const CBitmap& picture, const CRect& requested) {
    const CRect area = requested.intersection(picture.bounds());
    if (!trueColor || area.isEmpty() || redBits > 8 || greenBits > 8 || blueBits > 8)
        return;
    const int width = area.width();
    const int height = area.height();
    XImage* image = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr,
                                 unsigned(width), unsigned(height), 32, 0);
    if (image == nullptr)
        return;
    scratch.resize(std::size_t(image->bytes_per_line) * std::size_t(height));
    image->data = scratch.data();
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                        ImageByteOrder(display) == LSBFirst;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* source = picture.row(area.top + y) + area.left;
        if (direct) {
            auto* line = reinterpret_cast<std::uint32_t*>(scratch.data() +
                                                          std::size_t(y) * image->bytes_per_line);
            for (int x = 0; x < width; ++x)
                line[x] = convert(source[x]);
        } else {
            for (int x = 0; x < width; ++x)
                XPutPixel(image, x, y, convert(source[x]));
        }
    }
    XPutImage(display, target, gc, image, 0, 0, area.left, area.top, unsigned(width),
              unsigned(height));
    image->data = nullptr; // the scratch buffer is ours
    XDestroyImage(image);
}

bool displayAvailable() {
    static std::once_flag asked;
    static bool available = false;
    std::call_once(asked, [] {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0')
            return;
        if (Display* display = XOpenDisplay(nullptr)) {
            available = true;
            XCloseDisplay(display);
        }
    });
    return available;
}

} // namespace treskpro::toolkit::x11
