#include "editor/SkinDefinition.h"

#include "files/TextScanner.h"
#include "platform/Platform.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>

namespace treskpro {

namespace {

template <typename Integer> Integer saturate(std::int64_t value) {
    return static_cast<Integer>(std::clamp<std::int64_t>(value, std::numeric_limits<Integer>::min(),
                                                         std::numeric_limits<Integer>::max()));
}

// Colour channels are bytes; a value beyond 0..255 means the nearest end of the range rather
// than whatever its low byte happens to be.
std::uint8_t colourByte(std::int32_t value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

bool readWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    text.assign(SkinDefinition::fileSizeLimit, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return true;
}

// The same file reached under two spellings must be recognised, so INCLUDE chains are compared
// by the resolved path where the file system can resolve it.
std::string resolvedPath(const std::string& path) {
    try {
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
        if (!error)
            return resolved.string();
    } catch (...) {
        // A name the system cannot even represent is compared as written.
    }
    return path;
}

// Quoted text after optional spacing. When the next character is no double quote it is
// consumed and `target` keeps its value.
bool readQuoted(TextScanner& scanner, std::string& target) {
    scanner.skipSpace();
    TextScanner probe = scanner;
    const bool quoted = probe.character('"');
    std::string text = scanner.quoted();
    if (!quoted)
        return false;
    if (text.size() > SkinDefinition::textCapacity)
        text.resize(SkinDefinition::textCapacity);
    target = std::move(text);
    return true;
}

// Integers each preceded by a comma, as in ", x, y, w, h". Stops at the first one missing and
// returns how many were read; the values not read are left as they are.
std::size_t readCommaIntegers(TextScanner& scanner, std::span<std::int32_t> values) {
    std::size_t count = 0;
    for (std::int32_t& value : values) {
        scanner.skipSpace();
        if (!scanner.character(',') || !scanner.integer(value))
            break;
        ++count;
    }
    return count;
}

// "n" or "a, b, c": the first number stands without a comma.
bool readIntegers(TextScanner& scanner, std::span<std::int32_t> values) {
    if (values.empty())
        return true;
    if (!scanner.integer(values[0]))
        return false;
    return readCommaIntegers(scanner, values.subspan(1)) == values.size() - 1;
}

} // namespace

toolkit::CRect SkinElement::rectangle() const {
    const int x2 = x + width;
    const int y2 = y + height;
    return {std::min<int>(x, x2), std::min<int>(y, y2), std::max<int>(x, x2), std::max<int>(y, y2)};
}

SkinDefinition::SkinDefinition() : tags(TagTable), fileReader(readWholeFile) {
    elementList.reserve(elementCapacity);
}

void SkinDefinition::reset() {
    offsetX = 0;
    offsetY = 0;
    elementList.clear();
    name = "Default";
    blendMode = 0;
}

bool SkinDefinition::read(const std::string& path) {
    reset();
    filesBeingRead.clear();
    filesRead = 0;
    return readFile(path);
}

void SkinDefinition::readText(std::string_view text) {
    reset();
    filesBeingRead.clear();
    filesRead = 0;
    parse(text);
}

bool SkinDefinition::mayRead(const std::string& path) const {
    // A chain that comes back to a file it is still reading would never end, and a fan of
    // INCLUDEs could read without bound; both are stopped here.
    if (filesRead >= includeLimit)
        return false;
    const std::string key = resolvedPath(path);
    return std::none_of(filesBeingRead.begin(), filesBeingRead.end(),
                        [&](const std::string& open) { return equalIgnoringCase(open, key); });
}

bool SkinDefinition::readFile(const std::string& path) {
    if (!mayRead(path))
        return false;
    std::string text;
    if (!fileReader(path, text))
        return false;
    ++filesRead;
    filesBeingRead.push_back(resolvedPath(path));
    parse(text);
    filesBeingRead.pop_back();
    return true;
}

void SkinDefinition::appendElement(SkinElement element) {
    if (elementList.size() < elementCapacity)
        elementList.push_back(std::move(element));
}

void SkinDefinition::parse(std::string_view text) {
    TextScanner scanner(text);
    std::string word;
    for (;;) {
        scanner.skipSpace();
        if (scanner.atEnd())
            return;
        if (scanner.character(';')) {
            scanner.skipLine();
            continue;
        }
        scanner.word(word, textCapacity);

        // Each statement takes effect only when all of its numbers are there; an element line
        // with numbers missing still places its element, the missing numbers read as 0.
        if (equalIgnoringCase(word, "NAME")) {
            readQuoted(scanner, name);
        } else if (equalIgnoringCase(word, "CROSSFADE") || equalIgnoringCase(word, "BLENDMODE")) {
            std::int32_t value[1]{};
            if (readIntegers(scanner, value))
                blendMode = value[0];
        } else if (equalIgnoringCase(word, "TRANSPARENTCOLOR")) {
            std::int32_t rgb[3]{};
            if (readIntegers(scanner, rgb)) {
                for (std::size_t c = 0; c < 3; ++c)
                    transparentColour[c] = colourByte(rgb[c]);
            }
        } else if (equalIgnoringCase(word, "OFFSET")) {
            std::int32_t xy[2]{};
            if (readIntegers(scanner, xy)) {
                offsetX = xy[0];
                offsetY = xy[1];
            }
        } else if (equalIgnoringCase(word, "CABLETYPE")) {
            std::int32_t value[1]{};
            if (readIntegers(scanner, value))
                cableType = value[0];
        } else if (equalIgnoringCase(word, "CABLETINT")) {
            std::int32_t rgb[3]{};
            if (readIntegers(scanner, rgb)) {
                for (std::size_t c = 0; c < 3; ++c)
                    cableTint[c] = colourByte(rgb[c]);
            }
        } else if (equalIgnoringCase(word, "INCLUDE")) {
            std::string path;
            if (!readQuoted(scanner, path))
                continue;
            // An INCLUDE that would come back to a file still being read, or go beyond the
            // limit, is left out whole: its reset would lose what was read so far.
            if (!mayRead(path))
                continue;
            reset();
            readFile(path);
            // The included file's OFFSET was its own; this file goes on from the reset.
            offsetX = 0;
            offsetY = 0;
        } else if (equalIgnoringCase(word, "LEDCOLOR")) {
            std::int32_t index = 0;
            float rgb[3]{};
            if (!scanner.integer(index))
                continue;
            bool complete = true;
            for (float& channel : rgb) {
                scanner.skipSpace();
                if (!scanner.character(',') || !scanner.number(channel)) {
                    complete = false;
                    break;
                }
            }
            if (complete && index >= 0 && index < static_cast<std::int32_t>(ledColourCount))
                ledColours[static_cast<std::size_t>(index)] = {rgb[0], rgb[1], rgb[2]};
        } else if (equalIgnoringCase(word, "VERSION")) {
            std::int32_t value[1]{};
            if (readIntegers(scanner, value))
                version = value[0];
        } else {
            readElementLine(scanner, word);
        }
    }
}

void SkinDefinition::readElementLine(TextScanner& scanner, const std::string& word) {
    SkinElement element;
    element.tag = tagOf(word);
    std::size_t numberCount = 4;
    if (element.tag < 0 && version >= 2) {
        // Second form: a free word names the element, the tag follows. A second word
        // that is no tag is read again as a statement of its own.
        TextScanner probe = scanner;
        std::string tagWord;
        probe.word(tagWord, textCapacity);
        element.tag = tagOf(tagWord);
        if (element.tag >= 0) {
            scanner = probe;
            element.instanceName = word;
            numberCount = 7;
        }
    }
    if (element.tag < 0)
        return; // not a statement: skipped word by word
    readQuoted(scanner, element.imageFile);
    std::int32_t numbers[7]{};
    readCommaIntegers(scanner, std::span(numbers, numberCount));
    element.x = saturate<std::int16_t>(std::int64_t{numbers[0]} + offsetX);
    element.y = saturate<std::int16_t>(std::int64_t{numbers[1]} + offsetY);
    element.width = saturate<std::int16_t>(numbers[2]);
    element.height = saturate<std::int16_t>(numbers[3]);
    element.extra = {numbers[4], numbers[5], numbers[6]};
    appendElement(std::move(element));
}

bool SkinDefinition::loadImages(const std::string& folder, SkinImageLoader& loader) {
    images.clear();
    std::string prefix = folder;
    if (!prefix.empty() && !platform::isPathSeparator(prefix.back()))
        prefix += platform::pathSeparator;
    for (const SkinElement& element : elementList) {
        if (element.imageFile.empty() || images.size() >= imageCapacity)
            continue;
        const bool loaded = std::any_of(images.begin(), images.end(), [&](const SkinImage& image) {
            return equalIgnoringCase(image.fileName, element.imageFile);
        });
        if (loaded)
            continue;
        std::string path = prefix + element.imageFile;
        // Skins written on Windows name subfolders with backslashes.
        std::replace_if(path.begin() + static_cast<std::ptrdiff_t>(prefix.size()), path.end(),
                        platform::isPathSeparator, platform::pathSeparator);
        images.push_back({element.imageFile, loader.load(path)});
    }
    return true;
}

const SkinElement* SkinDefinition::elementOf(std::int32_t tag) const {
    for (const SkinElement& element : elementList) {
        if (element.tag == tag)
            return &element;
    }
    return nullptr;
}

toolkit::CRect SkinDefinition::rectangleOf(std::int32_t tag) const {
    const SkinElement* element = elementOf(tag);
    return element ? element->rectangle() : toolkit::CRect{};
}

std::shared_ptr<toolkit::CBitmap> SkinDefinition::imageOf(std::int32_t tag) const {
    const SkinElement* element = elementOf(tag);
    if (!element || element->imageFile.empty())
        return nullptr;
    for (const SkinImage& image : images) {
        if (equalIgnoringCase(image.fileName, element->imageFile))
            return image.bitmap;
    }
    return nullptr;
}

// A skin without a background has the empty rectangle; its window is empty rather than of a
// negative size.
int SkinDefinition::editorWidth() const {
    return std::max(rectangleOf(SkinTag::BACKGROUND).right - 2, 0);
}

int SkinDefinition::editorHeight() const {
    return std::max(rectangleOf(SkinTag::BACKGROUND).bottom - 1, 0);
}

toolkit::CRect SkinDefinition::panelRectangle() const {
    const toolkit::CRect background = rectangleOf(SkinTag::BACKGROUND);
    return {background.left + 1, background.top + 1, background.right - 1, background.bottom};
}

} // namespace treskpro
