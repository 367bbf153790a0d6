// Drawing into a 32-bit bitmap: the frame's off-screen buffer or any other picture.
//
// Coordinates are local to the view being drawn: the context adds its offset (where the local
// origin lies in the target) and clips to its clip rectangle, so a view draws in its parent's
// coordinates and never outside the area being redrawn. Colours carry straight alpha; the
// context blends them over the target (see CColor.h for the pixel format). Editor thread only.
#pragma once

#include "toolkit/CBitmap.h"
#include "toolkit/CColor.h"
#include "toolkit/CFont.h"
#include "toolkit/CRect.h"

#include <string_view>

namespace treskpro::toolkit {

enum class CHorizontalAlign { left, center, right };

enum class CDrawMode {
    aliased,     // lines cover whole pixels
    antiAliased, // line edges are blended by their coverage
};

class CDrawContext {
public:
    // Draws into `target`, which must outlive the context; clip = the whole target.
    explicit CDrawContext(CBitmap& target);

    CBitmap& target() { return bitmap; }

    // Where the local origin lies in the target.
    CPoint offset() const { return origin; }
    void setOffset(CPoint newOffset) { origin = newOffset; }

    // The clip rectangle in local coordinates; setting it keeps it within the target.
    CRect clipRect() const { return clip.offset(-origin.x, -origin.y); }
    void setClipRect(const CRect& localClip);

    void setFrameColor(CColor color) { frameColor = color; }
    void setFillColor(CColor color) { fillColor = color; }
    void setFontColor(CColor color) { fontColor = color; }
    void setFont(CFont newFont) { font = newFont; }
    const CFont& currentFont() const { return font; }
    void setLineWidth(int width) { lineWidth = width < 1 ? 1 : width; }
    void setDrawMode(CDrawMode mode) { drawMode = mode; }
    // Scales the alpha of everything drawn, 0 … 1.
    void setGlobalAlpha(float alpha);

    void fillRect(const CRect& rect);
    // A rectangle's outline just inside it, `lineWidth` pixels wide, in the frame colour.
    void drawRect(const CRect& rect);
    // A line between two pixel centres in the frame colour, `lineWidth` pixels wide.
    void drawLine(CPoint from, CPoint to);
    void moveTo(CPoint point) { pen = point; }
    void lineTo(CPoint point);

    // Blends the part of `source` that starts at `sourceOffset` into `destination`, without
    // scaling; parts outside the source stay untouched.
    void drawBitmap(const CBitmap& source, const CRect& destination, CPoint sourceOffset = {0, 0});
    // The same, replacing the pixels instead of blending (for opaque back buffers).
    void copyBitmap(const CBitmap& source, const CRect& destination, CPoint sourceOffset = {0, 0});

    // One line of text in the font colour, centred vertically in `rect` and clipped to it.
    void drawString(std::string_view text, const CRect& rect,
                    CHorizontalAlign align = CHorizontalAlign::center);
    // Text with its baseline starting at `point`.
    void drawStringAt(std::string_view text, CPoint baseline);

private:
    CRect toTarget(const CRect& local) const { return local.offset(origin.x, origin.y); }

    // Where a bitmap drawn at `destination` from `sourceOffset` lands: the source's pixels in
    // target coordinates, and the part of them inside the destination and the clip.
    struct Placement {
        CRect sourceArea;
        CRect area;
    };
    Placement place(const CBitmap& source, const CRect& destination, CPoint sourceOffset) const;
    void blendSpan(int x, int y, int count, std::uint32_t pixel);
    void drawThickLineAliased(CPoint from, CPoint to, std::uint32_t pixel);
    void drawLineAntiAliased(CPoint from, CPoint to);

    CBitmap& bitmap;
    CPoint origin;
    CRect clip;
    CColor frameColor = kBlackCColor;
    CColor fillColor = kWhiteCColor;
    CColor fontColor = kBlackCColor;
    CFont font;
    int lineWidth = 1;
    CDrawMode drawMode = CDrawMode::aliased;
    std::uint32_t globalAlpha = 255;
    CPoint pen;
};

} // namespace treskpro::toolkit
