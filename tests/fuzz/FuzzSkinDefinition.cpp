// Skin definitions: the reader on any text, with every INCLUDE reading the same text again, so
// include chains, their limits and the lookups after them are exercised.
#include "editor/SkinDefinition.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class NoImages : public treskpro::SkinImageLoader {
public:
    std::shared_ptr<treskpro::toolkit::CBitmap> load(const std::string&) override {
        return nullptr;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    treskpro::SkinDefinition skin;
    skin.setFileReader([&text](const std::string&, std::string& contents) {
        contents = text;
        return true;
    });
    skin.read("fuzz.skn");
    NoImages loader;
    skin.loadImages("skins", loader);
    for (const treskpro::TagTableRow& row : treskpro::TagTable) {
        const treskpro::toolkit::CRect rectangle = skin.rectangleOf(row.tag);
        if (rectangle.left > rectangle.right || rectangle.top > rectangle.bottom)
            __builtin_trap();
        skin.imageOf(row.tag);
    }
    if (skin.editorWidth() < 0 || skin.editorHeight() < 0)
        __builtin_trap();
    return 0;
}
