// treskpro-skin-preview SKIN.skn OUT.png
//
// Shows what a skin looks like without a host: reads the definition with the plug-in's own
// reader, loads its pictures from the skin file's folder, draws the first frame of every element
// at its rectangle over the background and writes the result as a PNG. Elements are drawn in
// file order and only the first of a tag, as the panel uses them; pictures whose rectangle the
// panel does not use (cable shadow and plug) and the floating read-out, which only appears while
// a value changes, are left out. A display wider than its picture repeats it, as a row of digits
// does.
#include "editor/SkinBitmapLoader.h"
#include "editor/SkinDefinition.h"
#include "toolkit/CDrawContext.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace treskpro;

bool drawnByPanel(std::int32_t tag) {
    return tag != SkinTag::BACKGROUND && tag != SkinTag::SHADOWBITMAP && tag != SkinTag::CORDPLUG &&
           tag != SkinTag::DISPBACKGROUND;
}

// Every socket shows SOCKET1's picture, each at its own rectangle.
std::shared_ptr<toolkit::CBitmap> pictureOf(const SkinDefinition& skin, std::int32_t tag) {
    const bool socket = tag > SkinTag::SOCKET1 && tag <= SkinTag::SOCKET43;
    return skin.imageOf(socket ? SkinTag::SOCKET1 : tag);
}

// The background picture where there is one, else what the elements cover.
toolkit::CRect canvasOf(const SkinDefinition& skin) {
    toolkit::CRect canvas{0, 0, 1, 1};
    const auto background = skin.imageOf(SkinTag::BACKGROUND);
    if (background && !background->empty()) {
        const toolkit::CRect area = skin.rectangleOf(SkinTag::BACKGROUND);
        return canvas.united(toolkit::CRect::fromSize(area.left, area.top, background->width(),
                                                      background->height()));
    }
    for (const SkinElement& element : skin.elements())
        canvas = canvas.united(element.rectangle());
    return {0, 0, canvas.right, canvas.bottom};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: treskpro-skin-preview SKIN.skn OUT.png\n");
        return 2;
    }
    SkinDefinition skin;
    if (!skin.read(argv[1])) {
        std::fprintf(stderr, "treskpro-skin-preview: cannot open %s\n", argv[1]);
        return 1;
    }
    SkinBitmapLoader loader;
    skin.loadImages(std::filesystem::path(argv[1]).parent_path().string(), loader);

    const toolkit::CRect canvas = canvasOf(skin);
    toolkit::CBitmap picture(canvas.width(), canvas.height());
    if (picture.empty()) {
        std::fprintf(stderr, "treskpro-skin-preview: the panel is too large to draw\n");
        return 1;
    }
    picture.fill({48, 48, 48, 255});
    toolkit::CDrawContext context(picture);

    if (const auto background = skin.imageOf(SkinTag::BACKGROUND)) {
        const toolkit::CRect area = skin.rectangleOf(SkinTag::BACKGROUND);
        context.drawBitmap(*background,
                           toolkit::CRect::fromSize(area.left, area.top, background->width(),
                                                    background->height()));
    }
    int drawn = 0;
    for (const SkinElement& element : skin.elements()) {
        if (!drawnByPanel(element.tag) || skin.elementOf(element.tag) != &element)
            continue;
        const auto image = pictureOf(skin, element.tag);
        if (!image || image->empty())
            continue;
        const toolkit::CRect area = element.rectangle();
        // The first frame: the element's height of the strip, or the whole picture when the
        // element gives no height.
        const int frameHeight =
            area.height() > 0 && area.height() <= image->height() ? area.height() : image->height();
        const int width = area.width() > 0 ? area.width() : image->width();
        for (int x = 0; x < width; x += image->width()) {
            const int tile = std::min(image->width(), width - x);
            context.drawBitmap(
                *image, toolkit::CRect::fromSize(area.left + x, area.top, tile, frameHeight));
        }
        ++drawn;
    }
    if (!picture.savePng(argv[2])) {
        std::fprintf(stderr, "treskpro-skin-preview: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%s: %d x %d, %zu elements, %zu pictures, %d drawn\n", argv[1], canvas.width(),
                canvas.height(), skin.elements().size(), skin.loadedImages().size(), drawn);
    return 0;
}
