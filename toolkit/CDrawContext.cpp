#include "toolkit/CDrawContext.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace treskpro::toolkit {

CDrawContext::CDrawContext(CBitmap& target) : bitmap(target), clip(target.bounds()) {}

void CDrawContext::setClipRect(const CRect& localClip) {
    clip = toTarget(localClip).intersection(bitmap.bounds());
}

void CDrawContext::setGlobalAlpha(float alpha) {
    const float clamped = std::clamp(alpha, 0.0f, 1.0f);
    globalAlpha = static_cast<std::uint32_t>(std::lround(clamped * 255.0f));
}

void CDrawContext::blendSpan(int x, int y, int count, std::uint32_t pixel) {
    if (y < clip.top || y >= clip.bottom)
        return;
    const int begin = std::max(x, clip.left);
    const int end = std::min(x + count, clip.right);
    if (begin >= end)
        return;
    std::uint32_t* target = bitmap.row(y);
    if (pixelAlpha(pixel) == 255) {
        std::fill(target + begin, target + end, pixel);
        return;
    }
    for (int i = begin; i < end; ++i)
        target[i] = blendPixel(target[i], pixel);
}

void CDrawContext::fillRect(const CRect& rect) {
    const CRect area = toTarget(rect).intersection(clip);
    const std::uint32_t pixel = scalePixel(toPixel(fillColor), globalAlpha);
    for (int y = area.top; y < area.bottom; ++y)
        blendSpan(area.left, y, area.width(), pixel);
}

void CDrawContext::drawRect(const CRect& rect) {
    const CRect outer = toTarget(rect);
    if (outer.isEmpty())
        return;
    const std::uint32_t pixel = scalePixel(toPixel(frameColor), globalAlpha);
    const int side = std::min({lineWidth, (outer.width() + 1) / 2, (outer.height() + 1) / 2});
    for (int y = outer.top; y < outer.bottom; ++y) {
        if (y < outer.top + side || y >= outer.bottom - side) {
            blendSpan(outer.left, y, outer.width(), pixel);
        } else {
            blendSpan(outer.left, y, side, pixel);
            blendSpan(outer.right - side, y, side, pixel);
        }
    }
}

void CDrawContext::lineTo(CPoint point) {
    drawLine(pen, point);
    pen = point;
}

void CDrawContext::drawLine(CPoint from, CPoint to) {
    if (drawMode == CDrawMode::antiAliased) {
        drawLineAntiAliased(from, to);
        return;
    }
    drawThickLineAliased(from.offset(origin.x, origin.y), to.offset(origin.x, origin.y),
                         scalePixel(toPixel(frameColor), globalAlpha));
}

// Bresenham along the major axis; each step covers `lineWidth` pixels across it, so every pixel
// of the line is blended exactly once and translucent lines show no darker overlaps.
void CDrawContext::drawThickLineAliased(CPoint from, CPoint to, std::uint32_t pixel) {
    const int dx = std::abs(to.x - from.x);
    const int dy = std::abs(to.y - from.y);
    const int stepX = from.x < to.x ? 1 : -1;
    const int stepY = from.y < to.y ? 1 : -1;
    const int before = (lineWidth - 1) / 2;
    int error = dx - dy;
    CPoint point = from;
    for (;;) {
        if (dx >= dy) {
            for (int k = 0; k < lineWidth; ++k)
                blendSpan(point.x, point.y - before + k, 1, pixel);
        } else {
            blendSpan(point.x - before, point.y, lineWidth, pixel);
        }
        if (point == to)
            break;
        const int doubled = 2 * error;
        if (doubled > -dy) {
            error -= dy;
            point.x += stepX;
        }
        if (doubled < dx) {
            error += dx;
            point.y += stepY;
        }
    }
}

// Each pixel near the segment is blended once with the share of it that lies within half the
// line width of the centre line (a capsule with round ends), one row at a time.
void CDrawContext::drawLineAntiAliased(CPoint from, CPoint to) {
    const double ax = from.x + origin.x;
    const double ay = from.y + origin.y;
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double lengthSquared = dx * dx + dy * dy;
    const double radius = lineWidth * 0.5;
    const double reach = radius + 1.0;
    const std::uint32_t pixel = scalePixel(toPixel(frameColor), globalAlpha);

    const int top = std::max(clip.top, int(std::floor(std::min(ay, ay + dy) - reach)));
    const int bottom = std::min(clip.bottom - 1, int(std::ceil(std::max(ay, ay + dy) + reach)));
    for (int y = top; y <= bottom; ++y) {
        // The part of the segment within reach of this row bounds the row's span.
        double t0 = 0.0;
        double t1 = 1.0;
        if (dy != 0.0) {
            t0 = std::clamp((y - reach - ay) / dy, 0.0, 1.0);
            t1 = std::clamp((y + reach - ay) / dy, 0.0, 1.0);
            if (t0 > t1)
                std::swap(t0, t1);
        }
        const double x0 = ax + dx * t0;
        const double x1 = ax + dx * t1;
        const int left = std::max(clip.left, int(std::floor(std::min(x0, x1) - reach)));
        const int right = std::min(clip.right - 1, int(std::ceil(std::max(x0, x1) + reach)));
        std::uint32_t* row = bitmap.row(y);
        for (int x = left; x <= right; ++x) {
            double t = 0.0;
            if (lengthSquared > 0.0)
                t = std::clamp(((x - ax) * dx + (y - ay) * dy) / lengthSquared, 0.0, 1.0);
            const double ex = x - (ax + dx * t);
            const double ey = y - (ay + dy * t);
            const double coverage =
                std::clamp(radius + 0.5 - std::sqrt(ex * ex + ey * ey), 0.0, 1.0);
            if (coverage <= 0.0)
                continue;
            const auto share = static_cast<std::uint32_t>(coverage * 255.0 + 0.5);
            row[x] = blendPixel(row[x], scalePixel(pixel, share));
        }
    }
}

CDrawContext::Placement CDrawContext::place(const CBitmap& source, const CRect& destination,
                                            CPoint sourceOffset) const {
    const CRect target = toTarget(destination);
    // The source's pixels mapped to target coordinates, so one intersection clips both.
    const CRect sourceArea =
        source.bounds().offset(target.left - sourceOffset.x, target.top - sourceOffset.y);
    return {sourceArea, target.intersection(clip).intersection(sourceArea)};
}

void CDrawContext::drawBitmap(const CBitmap& source, const CRect& destination,
                              CPoint sourceOffset) {
    const auto [sourceArea, area] = place(source, destination, sourceOffset);
    for (int y = area.top; y < area.bottom; ++y) {
        const std::uint32_t* from = source.row(y - sourceArea.top) + (area.left - sourceArea.left);
        std::uint32_t* to = bitmap.row(y) + area.left;
        if (globalAlpha == 255) {
            for (int x = 0; x < area.width(); ++x)
                to[x] = blendPixel(to[x], from[x]);
        } else {
            for (int x = 0; x < area.width(); ++x)
                to[x] = blendPixel(to[x], scalePixel(from[x], globalAlpha));
        }
    }
}

void CDrawContext::copyBitmap(const CBitmap& source, const CRect& destination,
                              CPoint sourceOffset) {
    const auto [sourceArea, area] = place(source, destination, sourceOffset);
    for (int y = area.top; y < area.bottom; ++y) {
        const std::uint32_t* from = source.row(y - sourceArea.top) + (area.left - sourceArea.left);
        std::copy(from, from + area.width(), bitmap.row(y) + area.left);
    }
}

void CDrawContext::drawStringAt(std::string_view text, CPoint baseline) {
    const std::uint32_t pixel = scalePixel(toPixel(fontColor), globalAlpha);
    int penX = baseline.x + origin.x;
    const int baseY = baseline.y + origin.y;
    for (const char c : text) {
        const CGlyph& glyph = font.glyph(static_cast<unsigned char>(c));
        const std::uint8_t* coverage = font.coverage(glyph);
        const CRect box =
            CRect::fromSize(penX + glyph.left, baseY - glyph.top, glyph.width, glyph.height);
        const CRect area = box.intersection(clip);
        for (int y = area.top; y < area.bottom; ++y) {
            const std::uint8_t* cover = coverage + (y - box.top) * glyph.width - box.left;
            std::uint32_t* row = bitmap.row(y);
            for (int x = area.left; x < area.right; ++x) {
                if (cover[x] != 0)
                    row[x] = blendPixel(row[x], scalePixel(pixel, cover[x]));
            }
        }
        penX += glyph.advance;
    }
}

void CDrawContext::drawString(std::string_view text, const CRect& rect, CHorizontalAlign align) {
    const CRect savedClip = clip;
    clip = clip.intersection(toTarget(rect));
    const int width = font.textWidth(text);
    int x = rect.left;
    if (align == CHorizontalAlign::center)
        x = rect.left + (rect.width() - width) / 2;
    else if (align == CHorizontalAlign::right)
        x = rect.right - width;
    const int baseline =
        rect.top + (rect.height() - font.ascent() - font.descent()) / 2 + font.ascent();
    drawStringAt(text, {x, baseline});
    clip = savedClip;
}

} // namespace treskpro::toolkit
