// Loads a skin's pictures as the toolkit's bitmaps, decoded from PNG. A file that cannot be
// decoded still gives a bitmap, an empty one, so its element draws nothing.
#pragma once

#include "editor/SkinDefinition.h"
#include "toolkit/CBitmap.h"

#include <memory>
#include <string>

namespace treskpro {

class SkinBitmapLoader : public SkinImageLoader {
public:
    std::shared_ptr<toolkit::CBitmap> load(const std::string& path) override {
        auto bitmap = std::make_shared<toolkit::CBitmap>();
        bitmap->loadPng(path);
        return bitmap;
    }
};

} // namespace treskpro
