// What the Windows window tests do from a second thread while the first one is inside a modal
// loop (a popup menu, a dialog box): wait for a window, click with the system's mouse, and read
// the screen back.
#pragma once

#include "toolkit/CBitmap.h"

#include <windows.h>

#include <cstdint>
#include <functional>

namespace treskpro::windowtest {

inline bool waitFor(const std::function<bool()>& condition, DWORD milliseconds = 20000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Sleep(20);
    }
    return true;
}

// The visible top-level window of this class and title (either may be null), once it shows.
inline HWND waitForWindow(const char* windowClass, const char* title) {
    HWND found = nullptr;
    waitFor([&] {
        found = FindWindowA(windowClass, title);
        return found != nullptr && IsWindowVisible(found);
    });
    Sleep(300); // the first paint
    return found;
}

// The button goes through the system's input queue at a point of the screen, as a user's hand.
inline void mouseButton(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

inline void clickAt(POINT where) {
    SetCursorPos(where.x, where.y);
    Sleep(60);
    mouseButton(MOUSEEVENTF_LEFTDOWN);
    mouseButton(MOUSEEVENTF_LEFTUP);
    Sleep(250);
}

// A click at a point of a dialog's control, given in fractions of its width and height.
inline void clickControl(HWND dialog, int id, double across = 0.5, double down = 0.5) {
    RECT area{};
    GetWindowRect(GetDlgItem(dialog, id), &area);
    clickAt({area.left + LONG((area.right - area.left) * across),
             area.top + LONG((area.bottom - area.top) * down)});
}

// A part of a window (null: the screen) as it shows now, read back through its device context
// into a top-down 32-bit DIB.
inline toolkit::CBitmap windowPicture(HWND window, const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    toolkit::CBitmap picture(width, height);
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width, height, source, area.left, area.top, SRCCOPY);
    GdiFlush();
    const auto* words = static_cast<const std::uint32_t*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.row(y)[x] =
                words[std::size_t(y) * std::size_t(width) + std::size_t(x)] | 0xff000000u;
    SelectObject(memory, previous);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return picture;
}

// A part of the screen as it shows now.
inline toolkit::CBitmap screenPicture(const RECT& area) {
    return windowPicture(nullptr, area);
}

} // namespace treskpro::windowtest
