// The default skin as the build puts it into the bundle: the panel finds every tag it requires,
// every picture decodes, and each picture has the frames its control cuts it into.
#include "editor/SkinBitmapLoader.h"
#include "editor/SkinDefinition.h"
#include "platform/Platform.h"
#include "toolkit/CBitmap.h"

#include <gtest/gtest.h>

#include <vector>

namespace treskpro {
namespace {

std::vector<std::int32_t> range(std::int32_t first, std::int32_t last) {
    std::vector<std::int32_t> tags;
    for (std::int32_t tag = first; tag <= last; ++tag)
        tags.push_back(tag);
    return tags;
}

std::vector<std::int32_t> join(std::initializer_list<std::vector<std::int32_t>> parts) {
    std::vector<std::int32_t> tags;
    for (const auto& part : parts)
        tags.insert(tags.end(), part.begin(), part.end());
    return tags;
}

using T = SkinTag;

const std::vector<std::int32_t> knobs =
    join({range(T::TUNINGKNOB, T::VOLUMEKNOB),
          {T::VCO1WAVE, T::VCO1PW, T::VCO1FM, T::VCO1FINE, T::VCO2WAVE, T::VCO2PW, T::VCO2FM,
           T::VCO2FINE, T::GLIDEKNOB, T::GATEKNOB},
          range(T::VCO1LEVEL, T::AUXLEVEL),
          {T::MGWAVE, T::MGFREQ, T::MGAMOUNT, T::NGCOLOR, T::ACCDECAY, T::ACCVOLUME},
          range(T::VCAATTACK, T::VCARELEASE),
          range(T::VCFATTACK, T::VCFRELEASE),
          range(T::DELAYAMOUNT, T::DELAYRIGHT),
          range(T::VCKNOB1, T::VCKNOB6)});

// Buttons (momentary and on/off), LEDs, two-position switches: two frames each.
const std::vector<std::int32_t> twoFrames =
    join({range(T::B_PATTERNCLEAR, T::B_AUTOADV),
          range(T::B_TIMEMODE, T::B_NEXT),
          {T::OPTIONFILTER, T::OPTIONPANIC, T::PATTERNMENU, T::OPTIONMENU, T::FUNCTIONBUTTON1,
           T::FUNCTIONBUTTON2, T::NEXTPATCHBUTTON, T::PREVPATCHBUTTON, T::VCO1RANGE, T::VCO2RANGE,
           T::TRIGGERBUTTON, T::MGRETRIG, T::MGAUDIO},
          range(T::MGVCO1DEST, T::MGPW1DEST),
          {T::SYNC12, T::SYNC21, T::ACCMANUAL, T::DISTORTIONSWITCH, T::OPTIONCABLES,
           T::OPTIONMIDILEARN, T::OPTIONAUX, T::OPTIONINFO, T::PATTERNLOCK, T::PATTERNWRITEPROTECT,
           T::VCO2MODSWITCH, T::MGBPMSYNC, T::DELAYBPMSYNC, T::MIDILED},
          range(T::NOTELED1, T::NOTELED36),
          range(T::RUNSTOPLED, T::SLIDELED),
          {T::FUNCTIONLED1, T::FUNCTIONLED2},
          range(T::VCO1LED16, T::VCO1LED4),
          range(T::VCO2LED16, T::VCO2LED4),
          {T::GATEACTIVELED, T::TRIGGERSINGLE, T::TRIGGERMULTI, T::MGRETRIGLED, T::MGAUDIOLED},
          range(T::MGVCO1LED, T::MGPW1LED),
          {T::SYNC12LED, T::SYNC21LED, T::ACCEXTLED, T::VCATRIGGERLED, T::VCFTRIGGERLED,
           T::DELAYLED, T::SYNCSWITCH, T::MODESWITCH, T::NOTESWITCH, T::SOCKET1}});

const std::vector<std::int32_t> rockers = {T::PATTERNROCKER, T::TEMPOROCKER, T::STEPSROCKER};

struct DigitDisplay {
    std::int32_t tag;
    int digits;
};
const DigitDisplay displays[] = {
    {T::PATTERNDIGITS, 3}, {T::TEMPODIGITS, 3}, {T::STEPSDIGITS, 2}, {T::STEPDISPLAY, 2}};

class DefaultSkin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = platform::executableDirectory() + "/../bundle";
        skin = new SkinDefinition;
        readable = skin->read(folder + "/TreskPro.skn");
        SkinBitmapLoader loader;
        skin->loadImages(folder, loader);
    }
    static void TearDownTestSuite() { delete skin; }

    static int frames(std::int32_t tag) {
        const auto image = skin->imageOf(tag);
        const int height = skin->rectangleOf(tag).height();
        if (!image || height <= 0 || image->height() % height != 0)
            return 0;
        return image->height() / height;
    }

    static inline std::string folder;
    static inline SkinDefinition* skin = nullptr;
    static inline bool readable = false;
};

TEST_F(DefaultSkin, DefinesEveryTagThePanelRequires) {
    ASSERT_TRUE(readable);
    std::vector<std::int32_t> required = join({knobs, twoFrames, rockers});
    for (const DigitDisplay& display : displays)
        required.push_back(display.tag);
    required.push_back(T::PRESCALESWITCH);
    required.push_back(T::DISPBACKGROUND);
    for (std::int32_t tag : required) {
        const SkinElement* element = skin->elementOf(tag);
        ASSERT_NE(element, nullptr) << nameOfTag(TagTable, tag);
        EXPECT_FALSE(element->imageFile.empty()) << nameOfTag(TagTable, tag);
    }
    for (std::int32_t tag = T::SOCKET1; tag < T::SOCKET1 + panelSocketCount; ++tag)
        EXPECT_GT(skin->rectangleOf(tag).width(), 0) << nameOfTag(TagTable, tag);
    for (std::int32_t tag : {T::PATCHBUTTON, T::PATTERNDROPDOWN, T::OPTIONDROPDOWN})
        EXPECT_GT(skin->rectangleOf(tag).width(), 0) << nameOfTag(TagTable, tag);
    for (std::int32_t tag : {T::CORDPLUG, T::SHADOWBITMAP, T::PITCHKEYBOARD, T::TRIPLETBUTTON})
        EXPECT_NE(skin->imageOf(tag), nullptr) << nameOfTag(TagTable, tag);
}

TEST_F(DefaultSkin, EveryPictureLoads) {
    ASSERT_FALSE(skin->loadedImages().empty());
    for (const SkinImage& image : skin->loadedImages()) {
        ASSERT_NE(image.bitmap, nullptr) << image.fileName;
        EXPECT_FALSE(image.bitmap->empty()) << image.fileName;
    }
}

TEST_F(DefaultSkin, PicturesHoldTheFramesTheirControlsCut) {
    for (std::int32_t tag : knobs) {
        // enough frames that a turn looks smooth
        EXPECT_GE(frames(tag), 64) << nameOfTag(TagTable, tag);
        EXPECT_EQ(skin->imageOf(tag)->width(), skin->rectangleOf(tag).width());
    }
    for (std::int32_t tag : twoFrames)
        EXPECT_EQ(frames(tag), 2) << nameOfTag(TagTable, tag);
    for (std::int32_t tag : rockers)
        EXPECT_EQ(frames(tag), 3) << nameOfTag(TagTable, tag);
    EXPECT_EQ(frames(T::PRESCALESWITCH), 4);
    EXPECT_EQ(frames(T::PITCHKEYBOARD), 4);
    EXPECT_GE(frames(T::DISPBACKGROUND), 1);
    EXPECT_GE(frames(T::TRIPLETBUTTON), 2);
    for (const DigitDisplay& display : displays) {
        const auto glyphs = skin->imageOf(display.tag);
        const toolkit::CRect area = skin->rectangleOf(display.tag);
        EXPECT_EQ(glyphs->height(), 10 * area.height()) << nameOfTag(TagTable, display.tag);
        EXPECT_EQ(area.width(), display.digits * glyphs->width());
    }
    // The keyboard's keys are found by fixed octaves of 133 pixels.
    EXPECT_EQ(skin->rectangleOf(T::PITCHKEYBOARD).width() % 133, 0);
    EXPECT_GT(skin->rectangleOf(T::PITCHKEYBOARD).height(), 68);
}

TEST_F(DefaultSkin, ControlsLieApartOnTheBackground) {
    const auto background = skin->imageOf(T::BACKGROUND);
    ASSERT_NE(background, nullptr);
    // The window shows the whole background picture.
    EXPECT_EQ(skin->editorWidth(), background->width());
    EXPECT_EQ(skin->editorHeight(), background->height());
    const toolkit::CRect panel{0, 0, background->width(), background->height()};

    std::vector<const SkinElement*> drawn;
    for (const SkinElement& element : skin->elements()) {
        const bool pictureOnly = element.tag == T::BACKGROUND || element.tag == T::CORDPLUG ||
                                 element.tag == T::SHADOWBITMAP || element.tag == T::DISPBACKGROUND;
        if (pictureOnly || element.imageFile.empty())
            continue;
        EXPECT_EQ(element.rectangle().intersection(panel), element.rectangle())
            << nameOfTag(TagTable, element.tag);
        drawn.push_back(&element);
    }
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        for (std::size_t j = i + 1; j < drawn.size(); ++j) {
            EXPECT_FALSE(drawn[i]->rectangle().overlaps(drawn[j]->rectangle()))
                << nameOfTag(TagTable, drawn[i]->tag) << " and "
                << nameOfTag(TagTable, drawn[j]->tag);
        }
    }
}

} // namespace
} // namespace treskpro
