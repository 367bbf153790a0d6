// A skin: the plain-text definition (.skn) that places every picture of the editor panel, read
// into elements (tag, image file, rectangle) and a few skin-wide properties, plus the images it
// names, each file loaded once. Reading and image loading are separate steps, so the definition
// can be checked without touching a picture; the panel builder then asks for each tag's
// rectangle and image. Everything here runs on the editor's thread.
#pragma once

#include "editor/TagTable.h"
#include "toolkit/CRect.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace treskpro {

namespace toolkit {
class CBitmap;
}
class TextScanner;

struct SkinElement {
    std::int32_t tag = 0;
    std::string instanceName; // first word of a version-2 line, else empty
    std::string imageFile;    // as quoted, relative to the plug-in folder; may be empty
    std::int16_t x = 0;       // the file's offset already added
    std::int16_t y = 0;
    std::int16_t width = 0; // may be negative
    std::int16_t height = 0;
    std::array<std::int32_t, 3> extra{}; // the last three numbers of a version-2 line, kept only

    // Left and top are the smaller edges whatever the signs of width and height.
    toolkit::CRect rectangle() const;
};

struct SkinImage {
    std::string fileName;
    std::shared_ptr<toolkit::CBitmap>
        bitmap; // the toolkit's bitmap; empty when the loader gave none
};

// Makes the bitmap for one image file: returns a bitmap object even when the file cannot be
// decoded (the element then draws from an empty bitmap). The plug-in loads PNG files through the
// toolkit; tests count the calls.
class SkinImageLoader {
public:
    virtual ~SkinImageLoader() = default;
    virtual std::shared_ptr<toolkit::CBitmap> load(const std::string& path) = 0;
};

class SkinDefinition {
public:
    static constexpr std::size_t elementCapacity = 1024;
    static constexpr std::size_t imageCapacity = 1024;
    static constexpr std::size_t textCapacity = 255; // names, image files, words
    static constexpr std::size_t ledColourCount = 256;
    static constexpr std::size_t fileSizeLimit = 1 << 20; // a definition is a few kilobytes
    static constexpr int includeLimit = 64;               // files read by one Read, INCLUDEs too

    // Reads a whole file's text; false when it cannot be opened.
    using FileReader = std::function<bool(const std::string& path, std::string& text)>;

    SkinDefinition();

    // The editor hands over the tag table before the first read; the built-in table is in
    // place until then.
    void setTagTable(std::span<const TagTableRow> table) { tags = table; }

    // Replaces the file access (fuzzing and tests read from memory).
    void setFileReader(FileReader reader) { fileReader = std::move(reader); }

    // Resets, then reads the definition at `path`. False only when the file cannot be opened;
    // a file that defines nothing reads successfully.
    bool read(const std::string& path);

    // Resets, then reads definition text held in memory; INCLUDE lines still read files.
    void readText(std::string_view text);

    // Loads the image of every element from `folder` (the plug-in folder), each distinct file
    // name (compared without regard to case) once, in element order. Always succeeds: an image
    // that does not load stays in the list with what the loader returned.
    bool loadImages(const std::string& folder, SkinImageLoader& loader);

    // The first element carrying `tag`, or null.
    const SkinElement* elementOf(std::int32_t tag) const;

    // The normalised rectangle of the first element with `tag`, or the empty rectangle.
    toolkit::CRect rectangleOf(std::int32_t tag) const;

    // The loaded image of the first element with `tag`; null when the tag has no element, the
    // element names no image or its image was not loaded.
    std::shared_ptr<toolkit::CBitmap> imageOf(std::int32_t tag) const;

    // Drops the skin's own references to the images (the controls keep theirs).
    void releaseImages() { images.clear(); }

    // The numeric tag of a tag name (case-blind), or -1.
    std::int32_t tagOf(std::string_view word) const { return tagOfName(tags, word); }

    // The editor window: (right - 2) x (bottom - 1) of the BACKGROUND rectangle, never negative.
    int editorWidth() const;
    int editorHeight() const;

    // Where the panel's top-level view lies in the window: (left + 1, top + 1) to
    // (right - 1, bottom) of the BACKGROUND rectangle.
    toolkit::CRect panelRectangle() const;

    const std::vector<SkinElement>& elements() const { return elementList; }
    const std::vector<SkinImage>& loadedImages() const { return images; }

    // Skin-wide properties. The transparent colour, the LED colours and the blend mode are kept
    // for skins that set them; the current panel does not use them.
    std::string name = "Default";
    std::array<std::uint8_t, 4> transparentColour{255, 255, 0, 255};
    std::array<std::uint8_t, 3> cableTint{0, 0, 0};
    std::array<std::array<float, 3>, ledColourCount> ledColours{};
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
    std::int32_t cableType = 0;
    std::int32_t blendMode = 0;
    std::int32_t version = 1;

private:
    void reset();
    // Reads one file of an INCLUDE chain; false when it cannot be opened or is refused.
    bool readFile(const std::string& path);
    bool mayRead(const std::string& path) const;
    void parse(std::string_view text);
    void readElementLine(TextScanner& scanner, const std::string& word);
    void appendElement(SkinElement element);

    std::span<const TagTableRow> tags;
    FileReader fileReader;
    std::vector<SkinElement> elementList;
    std::vector<SkinImage> images;
    std::vector<std::string> filesBeingRead; // the INCLUDE chain, outermost first
    int filesRead = 0;
};

} // namespace treskpro
