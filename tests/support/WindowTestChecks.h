// What the two real-window editor tests (the Windows build under Wine, the Linux build under
// X11) share: the printed checks, a host that records the automation it is told of, and the
// pixel comparisons of a window's picture with the headless panel's.
#pragma once

#include "plugin/VstInterface.h"
#include "toolkit/CBitmap.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace treskpro::windowtest {

inline int failures = 0;

// A steady clock in milliseconds, and a pause on it, for the tests' waits.
inline double milliseconds() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline void sleepMilliseconds(int count) {
    std::this_thread::sleep_for(std::chrono::milliseconds(count));
}

inline void check(bool passed, const std::string& what) {
    std::printf("%s  %s\n", passed ? "ok    " : "FAILED", what.c_str());
    std::fflush(stdout);
    if (!passed)
        ++failures;
}

// What the plug-in told the host, in order.
struct HostEvent {
    vst::int32 opcode;
    vst::int32 index;
    float value;
};
inline std::vector<HostEvent> hostEvents;

inline vst::intptr VSTCALLBACK hostCallback(vst::AEffect*, vst::int32 opcode, vst::int32 index,
                                            vst::intptr, void*, float opt) {
    switch (opcode) {
    case vst::audioMasterVersion:
        return 2400;
    case vst::audioMasterAutomate:
    case vst::audioMasterBeginEdit:
    case vst::audioMasterEndEdit:
        hostEvents.push_back({opcode, index, opt});
        return 0;
    default:
        return 0;
    }
}

// True when the host saw one gesture on `index`: begin edit, at least one automated value, end
// edit, in that order and nothing else for that index.
inline bool oneGesture(int index) {
    std::vector<vst::int32> seen;
    for (const HostEvent& event : hostEvents) {
        if (event.index == index)
            seen.push_back(event.opcode);
    }
    if (seen.size() < 3 || seen.front() != vst::audioMasterBeginEdit ||
        seen.back() != vst::audioMasterEndEdit)
        return false;
    for (std::size_t k = 1; k + 1 < seen.size(); ++k) {
        if (seen[k] != vst::audioMasterAutomate)
            return false;
    }
    return true;
}

inline bool automated(int index, float value) {
    for (const HostEvent& event : hostEvents) {
        if (event.opcode == vst::audioMasterAutomate && event.index == index &&
            std::fabs(event.value - value) < 1e-6f)
            return true;
    }
    return false;
}

// Pixels whose colour differs (alpha aside); pictures of different sizes differ everywhere.
inline int differentPixels(const toolkit::CBitmap& a, const toolkit::CBitmap& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return a.width() * a.height() + b.width() * b.height();
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if ((a.row(y)[x] & 0xffffffu) != (b.row(y)[x] & 0xffffffu))
                ++count;
        }
    }
    return count;
}

inline bool differs(const toolkit::CBitmap& a, const toolkit::CBitmap& b,
                    const toolkit::CRect& where) {
    const toolkit::CRect area = where.intersection(a.bounds()).intersection(b.bounds());
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if ((a.row(y)[x] & 0xffffffu) != (b.row(y)[x] & 0xffffffu))
                return true;
        }
    }
    return false;
}

inline std::string text(const char* format, double a, double b = 0.0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

} // namespace treskpro::windowtest
