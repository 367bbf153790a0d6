// Points and rectangles in pixels. A rectangle includes its left and top edges and excludes its
// right and bottom edges, so width = right - left and two rectangles that share an edge do not
// overlap.
#pragma once

#include <algorithm>

namespace treskpro::toolkit {

struct CPoint {
    int x = 0;
    int y = 0;

    CPoint offset(int dx, int dy) const { return {x + dx, y + dy}; }
    friend bool operator==(const CPoint&, const CPoint&) = default;
};

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static CRect fromSize(int x, int y, int width, int height) {
        return {x, y, x + width, y + height};
    }

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    CPoint topLeft() const { return {left, top}; }
    CPoint center() const { return {left + width() / 2, top + height() / 2}; }

    bool contains(CPoint point) const {
        return point.x >= left && point.x < right && point.y >= top && point.y < bottom;
    }

    CRect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    CRect inset(int dx, int dy) const { return {left + dx, top + dy, right - dx, bottom - dy}; }

    // The common part; empty (all zero) when the two do not overlap.
    CRect intersection(const CRect& other) const {
        const CRect common{std::max(left, other.left), std::max(top, other.top),
                           std::min(right, other.right), std::min(bottom, other.bottom)};
        return common.isEmpty() ? CRect{} : common;
    }

    bool overlaps(const CRect& other) const { return !intersection(other).isEmpty(); }

    // The smallest rectangle holding both; an empty rectangle adds nothing.
    CRect united(const CRect& other) const {
        if (other.isEmpty())
            return *this;
        if (isEmpty())
            return other;
        return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
                std::max(bottom, other.bottom)};
    }

    friend bool operator==(const CRect&, const CRect&) = default;
};

} // namespace treskpro::toolkit
