// Skin definitions: statements, element lines, INCLUDE chains and image loading, read from text
// the way skin authors write it.
#include "editor/SkinDefinition.h"
#include "engine/Parameters.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace treskpro {
namespace {

// Skin files in memory: INCLUDE reads from here.
struct MemoryFiles {
    std::map<std::string, std::string> files;
    std::vector<std::string> reads;

    SkinDefinition::FileReader reader() {
        return [this](const std::string& path, std::string& text) {
            reads.push_back(path);
            const auto found = files.find(path);
            if (found == files.end())
                return false;
            text = found->second;
            return true;
        };
    }
};

class CountingLoader : public SkinImageLoader {
public:
    std::shared_ptr<toolkit::CBitmap> load(const std::string& path) override {
        paths.push_back(path);
        return nullptr;
    }
    std::vector<std::string> paths;
};

SkinDefinition readSkin(std::string_view text) {
    SkinDefinition skin;
    skin.readText(text);
    return skin;
}

TEST(TagTable, HoldsEveryTagOnceInItsOrder) {
    ASSERT_EQ(TagTable.size(), 265u);
    std::set<std::string> names;
    std::set<std::int32_t> tags;
    for (const TagTableRow& row : TagTable) {
        names.insert(row.name);
        tags.insert(row.tag);
        EXPECT_LE(std::string(row.name).size(), 39u);
    }
    EXPECT_EQ(names.size(), 265u);
    EXPECT_EQ(tags.size(), 265u);
    EXPECT_STREQ(TagTable.front().name, "SPLASH");
    EXPECT_STREQ(TagTable.back().name, "PREVPATCHBUTTON");
    EXPECT_EQ(tagOfName(TagTable, "noteled36"), 455);
    EXPECT_EQ(tagOfName(TagTable, "ILLUBUTTON14"), 714);
    EXPECT_EQ(tagOfName(TagTable, "SOCKET43"), 652);
    EXPECT_EQ(tagOfName(TagTable, "VCKNOB9"), 908);
    EXPECT_EQ(tagOfName(TagTable, "ILLUBUTTON25"), -1);
    EXPECT_EQ(nameOfTag(TagTable, 713), nullptr);
}

TEST(TagTable, NamesTheControlOfEveryParameterWithOne) {
    for (const ParameterDefinition& parameter : parameterDefinitions) {
        // Tempo (603) has no control of its own: the tempo digits show it.
        if (parameter.tag == 0 || parameter.tag == 603)
            continue;
        EXPECT_NE(nameOfTag(TagTable, parameter.tag), nullptr) << parameter.name;
    }
}

TEST(SkinDefinition, StartsWithItsDefaults) {
    const SkinDefinition skin;
    EXPECT_EQ(skin.name, "Default");
    EXPECT_EQ(skin.version, 1);
    EXPECT_EQ(skin.transparentColour, (std::array<std::uint8_t, 4>{255, 255, 0, 255}));
    EXPECT_EQ(skin.cableTint, (std::array<std::uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(skin.ledColours[255][2], 0.0f);
    EXPECT_TRUE(skin.elements().empty());
    EXPECT_EQ(skin.rectangleOf(SkinTag::CUTOFFKNOB), toolkit::CRect{});
    EXPECT_EQ(skin.imageOf(SkinTag::CUTOFFKNOB), nullptr);
}

TEST(SkinDefinition, ReadsStatementsAndElementsWithoutRegardToCase) {
    const SkinDefinition skin = readSkin("; a skin\n"
                                         "name \"Night Shift\" ; named\n"
                                         "CableType 1\n"
                                         "cabletint 10 ,\n 20, 30\n"
                                         "TransparentColor 1, 2, 3\n"
                                         "blendmode 4\n"
                                         "cutoffknob \"Knob.png\", 10, 20, 30, 40\n"
                                         "\tBACKGROUND\t\"Back.png\",0,0,800,600\r\n");
    EXPECT_EQ(skin.name, "Night Shift");
    EXPECT_EQ(skin.cableType, 1);
    EXPECT_EQ(skin.cableTint, (std::array<std::uint8_t, 3>{10, 20, 30}));
    EXPECT_EQ(skin.transparentColour, (std::array<std::uint8_t, 4>{1, 2, 3, 255}));
    EXPECT_EQ(skin.blendMode, 4);
    ASSERT_EQ(skin.elements().size(), 2u);
    EXPECT_EQ(skin.rectangleOf(SkinTag::CUTOFFKNOB), (toolkit::CRect{10, 20, 40, 60}));
    EXPECT_EQ(skin.elementOf(SkinTag::CUTOFFKNOB)->imageFile, "Knob.png");
    EXPECT_EQ(skin.rectangleOf(SkinTag::BACKGROUND), (toolkit::CRect{0, 0, 800, 600}));

    SkinDefinition crossfaded;
    crossfaded.readText("CROSSFADE 7");
    EXPECT_EQ(crossfaded.blendMode, 7);
}

TEST(SkinDefinition, CommentsAloneDefineNothing) {
    const SkinDefinition skin = readSkin("; only\n   ;comments\n;");
    EXPECT_TRUE(skin.elements().empty());
    EXPECT_EQ(skin.name, "Default");
}

TEST(SkinDefinition, OffsetMovesTheElementsAfterIt) {
    const SkinDefinition skin = readSkin("CUTOFFKNOB \"k.png\", 5, 5, 30, 30\n"
                                         "OFFSET 10, 20\n"
                                         "VOLUMEKNOB \"k.png\", 5, 5, 30, 30\n");
    EXPECT_EQ(skin.rectangleOf(SkinTag::CUTOFFKNOB), (toolkit::CRect{5, 5, 35, 35}));
    EXPECT_EQ(skin.rectangleOf(SkinTag::VOLUMEKNOB), (toolkit::CRect{15, 25, 45, 55}));
}

TEST(SkinDefinition, NegativeSizesNormaliseTheRectangle) {
    const SkinDefinition skin = readSkin("VOLUMEKNOB \"k.png\", 50, 60, -30, -10\n");
    const SkinElement& element = skin.elements().front();
    EXPECT_EQ(element.width, -30);
    EXPECT_EQ(skin.rectangleOf(SkinTag::VOLUMEKNOB), (toolkit::CRect{20, 50, 50, 60}));
}

TEST(SkinDefinition, LedColoursTakeIndexesZeroTo255) {
    const SkinDefinition skin = readSkin("LEDCOLOR 256, 1, 1, 1\n"
                                         "LEDCOLOR -1, 1, 1, 1\n"
                                         "LEDCOLOR 255, 0.25, 0.5, 1e1\n"
                                         "LEDCOLOR 0, 3, 4\n");
    EXPECT_EQ(skin.ledColours[255], (std::array<float, 3>{0.25f, 0.5f, 10.0f}));
    EXPECT_EQ(skin.ledColours[0], (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(skin.ledColours[1], (std::array<float, 3>{0, 0, 0}));
}

TEST(SkinDefinition, VersionTwoLinesNameTheirElement) {
    const std::string line = "knob1 CUTOFFKNOB \"k.png\", 1, 2, 3, 4, 5, 6, 7\n"
                             "VOLUMEKNOB \"v.png\", 8, 9, 10, 11\n";
    const SkinDefinition second = readSkin("VERSION 2\n" + line);
    ASSERT_EQ(second.elements().size(), 2u);
    const SkinElement& named = second.elements()[0];
    EXPECT_EQ(named.instanceName, "knob1");
    EXPECT_EQ(named.tag, SkinTag::CUTOFFKNOB);
    EXPECT_EQ(named.extra, (std::array<std::int32_t, 3>{5, 6, 7}));
    EXPECT_EQ(second.rectangleOf(SkinTag::CUTOFFKNOB), (toolkit::CRect{1, 2, 4, 6}));
    EXPECT_EQ(second.elements()[1].instanceName, "");

    // In version 1 the free word is skipped and the extra numbers with it.
    const SkinDefinition first = readSkin(line);
    ASSERT_EQ(first.elements().size(), 2u);
    EXPECT_EQ(first.elements()[0].instanceName, "");
    EXPECT_EQ(first.elements()[0].extra, (std::array<std::int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(first.rectangleOf(SkinTag::CUTOFFKNOB), (toolkit::CRect{1, 2, 4, 6}));
    EXPECT_EQ(first.rectangleOf(SkinTag::VOLUMEKNOB), (toolkit::CRect{8, 9, 18, 20}));

    // The background's tag is 0, a tag like any other.
    const SkinDefinition background = readSkin("VERSION 2\npanel BACKGROUND \"b.png\", 0, 0, "
                                               "724, 526, 0, 0, 0\n");
    ASSERT_EQ(background.elements().size(), 1u);
    EXPECT_EQ(background.elements()[0].instanceName, "panel");
    EXPECT_EQ(background.editorWidth(), 722);
}

TEST(SkinDefinition, ReadingAgainForgetsTheNameOffsetAndElementsOnly) {
    // A skin chosen from the menu is read into the same definition: its elements must not be
    // moved by the last skin's offset nor shown under its name, while the cable look, colours
    // and version stay until the new file sets them.
    SkinDefinition skin;
    skin.readText("NAME \"Old\"\nOFFSET 10, 10\nBLENDMODE 2\nCABLETYPE 3\nCABLETINT 1, 2, 3\n"
                  "TRANSPARENTCOLOR 4, 5, 6\nLEDCOLOR 7, 0.5, 0.5, 0.5\nVERSION 2\n"
                  "CUTOFFKNOB \"k.png\", 1, 1, 1, 1\n");
    skin.readText("knob VOLUMEKNOB \"v.png\", 1, 1, 1, 1, 0, 0, 0\n");
    EXPECT_EQ(skin.name, "Default");
    EXPECT_EQ(skin.blendMode, 0);
    ASSERT_EQ(skin.elements().size(), 1u);
    EXPECT_EQ(skin.elements()[0].instanceName, "knob");
    EXPECT_EQ(skin.rectangleOf(SkinTag::VOLUMEKNOB), (toolkit::CRect{1, 1, 2, 2}));
    EXPECT_EQ(skin.cableType, 3);
    EXPECT_EQ(skin.cableTint, (std::array<std::uint8_t, 3>{1, 2, 3}));
    EXPECT_EQ(skin.transparentColour, (std::array<std::uint8_t, 4>{4, 5, 6, 255}));
    EXPECT_EQ(skin.ledColours[7][0], 0.5f);
}

TEST(SkinDefinition, VersionTwoStatementsTakeOnlyTheirOwnArguments) {
    const SkinDefinition skin = readSkin("VERSION 2\n"
                                         "NAME \"Two\"\nCROSSFADE 3\nCABLETYPE 1\n"
                                         "stray NAME \"Three\"\n"
                                         "VOLUMEKNOB \"v.png\", 1, 1, 1, 1\n");
    EXPECT_EQ(skin.name, "Three");
    EXPECT_EQ(skin.blendMode, 3);
    EXPECT_EQ(skin.cableType, 1);
    EXPECT_EQ(skin.elements().size(), 1u);
}

TEST(SkinDefinition, FirstDefinitionOfATagWins) {
    const SkinDefinition skin = readSkin("CUTOFFKNOB \"a.png\", 1, 1, 1, 1\n"
                                         "CUTOFFKNOB \"b.png\", 2, 2, 2, 2\n");
    EXPECT_EQ(skin.elements().size(), 2u);
    EXPECT_EQ(skin.elementOf(SkinTag::CUTOFFKNOB)->imageFile, "a.png");
    EXPECT_EQ(skin.rectangleOf(SkinTag::CUTOFFKNOB), (toolkit::CRect{1, 1, 2, 2}));
}

TEST(SkinDefinition, MalformedLinesKeepWhatTheyHold) {
    // Missing numbers read as 0; the element is still placed.
    SkinDefinition skin = readSkin("CUTOFFKNOB \"k.png\", 10, 20\nVOLUMEKNOB \"v.png\" 3, 4\n");
    EXPECT_EQ(skin.rectangleOf(SkinTag::CUTOFFKNOB), (toolkit::CRect{10, 20, 10, 20}));
    EXPECT_EQ(skin.rectangleOf(SkinTag::VOLUMEKNOB), toolkit::CRect{});
    EXPECT_EQ(skin.elementOf(SkinTag::VOLUMEKNOB)->imageFile, "v.png");

    // Unquoted text leaves the name; a statement missing a number changes nothing.
    skin.readText("NAME \"First\"\nNAME Second\nCABLETYPE 2\nCABLETYPE x\nOFFSET 5 6\n"
                  "TUNINGKNOB \"t.png\", 1, 1, 1, 1");
    EXPECT_EQ(skin.name, "First");
    EXPECT_EQ(skin.cableType, 2);
    EXPECT_EQ(skin.rectangleOf(SkinTag::TUNINGKNOB), (toolkit::CRect{1, 1, 2, 2}));

    // Colours are bytes: out-of-range values take the nearest end.
    skin.readText("CABLETINT 300, -5, 128");
    EXPECT_EQ(skin.cableTint, (std::array<std::uint8_t, 3>{255, 0, 128}));

    // Positions are 16-bit and saturate.
    skin.readText("OFFSET 40000, 0\nTUNINGKNOB \"t.png\", 1, -70000, 1, 1");
    EXPECT_EQ(skin.elements().front().x, 32767);
    EXPECT_EQ(skin.elements().front().y, -32768);

    // A quote left open runs to the end of the text.
    skin.readText("NAME \"open to the end");
    EXPECT_EQ(skin.name, "open to the end");
}

TEST(SkinDefinition, TextsAndCountsStayWithinTheirLimits) {
    const std::string longName(400, 'n');
    SkinDefinition skin;
    skin.readText("NAME \"" + longName + "\"\nVERSION 2\n" + std::string(300, 'w') +
                  " TUNINGKNOB \"" + longName + "\", 1, 1, 1, 1, 0, 0, 0\n");
    EXPECT_EQ(skin.name, longName.substr(0, 255));
    ASSERT_EQ(skin.elements().size(), 1u);
    EXPECT_EQ(skin.elements()[0].instanceName.size(), 255u);
    EXPECT_EQ(skin.elements()[0].imageFile.size(), 255u);

    std::string many;
    for (int i = 0; i < 1100; ++i)
        many += "SOCKET1 \"s.png\", " + std::to_string(i) + ", 0, 1, 1\n";
    skin.readText(many);
    EXPECT_EQ(skin.elements().size(), 1024u);

    // And at most 1024 distinct images are loaded.
    std::string images;
    for (int i = 0; i < 1100; ++i)
        images += "SOCKET1 \"s" + std::to_string(i) + ".png\", 0, 0, 1, 1\n";
    skin.readText(images);
    CountingLoader loader;
    skin.loadImages("skins", loader);
    EXPECT_EQ(loader.paths.size(), 1024u);
    EXPECT_EQ(skin.loadedImages().size(), 1024u);
}

TEST(SkinDefinition, IncludeStartsAfreshAndAppendsWhatFollows) {
    MemoryFiles files;
    files.files["base.skn"] = "NAME \"Base\"\nOFFSET 100, 100\n"
                              "CUTOFFKNOB \"base.png\", 1, 1, 1, 1\n";
    files.files["top.skn"] = "NAME \"Top\"\nCABLETYPE 1\nBLENDMODE 2\nOFFSET 7, 7\n"
                             "VOLUMEKNOB \"top.png\", 0, 0, 5, 5\n"
                             "INCLUDE \"base.skn\"\n"
                             "CUTOFFKNOB \"top.png\", 3, 3, 3, 3\n"
                             "TUNINGKNOB \"top.png\", 3, 3, 3, 3\n";
    SkinDefinition skin;
    skin.setFileReader(files.reader());
    ASSERT_TRUE(skin.read("top.skn"));
    EXPECT_EQ(skin.name, "Base");
    EXPECT_EQ(skin.cableType, 1);
    EXPECT_EQ(skin.blendMode, 0);
    EXPECT_EQ(skin.elementOf(SkinTag::VOLUMEKNOB), nullptr);
    ASSERT_EQ(skin.elements().size(), 3u);
    EXPECT_EQ(skin.elementOf(SkinTag::CUTOFFKNOB)->imageFile, "base.png");
    EXPECT_EQ(skin.rectangleOf(SkinTag::CUTOFFKNOB), (toolkit::CRect{101, 101, 102, 102}));
    // The included file's offset stays in that file.
    EXPECT_EQ(skin.rectangleOf(SkinTag::TUNINGKNOB), (toolkit::CRect{3, 3, 6, 6}));
}

TEST(SkinDefinition, IncludeChainsEndWhereTheyComeBack) {
    MemoryFiles files;
    files.files["a.skn"] = "CUTOFFKNOB \"a.png\", 1, 1, 1, 1\nINCLUDE \"b.skn\"\n"
                           "TUNINGKNOB \"a.png\", 1, 1, 1, 1\n";
    files.files["b.skn"] = "VOLUMEKNOB \"b.png\", 2, 2, 2, 2\nINCLUDE \"a.skn\"\n"
                           "INCLUDE \"b.skn\"\nRESONANCEKNOB \"b.png\", 2, 2, 2, 2\n";
    files.files["self.skn"] = "NAME \"Self\"\nCUTOFFKNOB \"s.png\", 1, 1, 1, 1\n"
                              "INCLUDE \"self.skn\"\n";
    SkinDefinition skin;
    skin.setFileReader(files.reader());
    ASSERT_TRUE(skin.read("a.skn"));
    EXPECT_EQ(files.reads, (std::vector<std::string>{"a.skn", "b.skn"}));
    ASSERT_EQ(skin.elements().size(), 3u);
    EXPECT_EQ(skin.elements()[0].tag, SkinTag::VOLUMEKNOB);
    EXPECT_EQ(skin.elements()[1].tag, SkinTag::RESONANCEKNOB);
    EXPECT_EQ(skin.elements()[2].tag, SkinTag::TUNINGKNOB);

    ASSERT_TRUE(skin.read("self.skn"));
    EXPECT_EQ(skin.name, "Self");
    EXPECT_EQ(skin.elements().size(), 1u);

    // A fan of includes is bounded too.
    std::string fan;
    for (int i = 0; i < 200; ++i)
        fan += "INCLUDE \"leaf" + std::to_string(i) + ".skn\"\n";
    files.files["fan.skn"] = fan;
    for (int i = 0; i < 200; ++i)
        files.files["leaf" + std::to_string(i) + ".skn"] = "CUTOFFKNOB \"k.png\", 1, 1, 1, 1\n";
    files.reads.clear();
    ASSERT_TRUE(skin.read("fan.skn"));
    EXPECT_EQ(static_cast<int>(files.reads.size()), SkinDefinition::includeLimit);
}

TEST(SkinDefinition, ReadsFilesAndReportsThoseItCannotOpen) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "treskpro-skin-test";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "Test.skn").string();
    std::ofstream(path, std::ios::binary) << "BACKGROUND \"back.png\", 0, 0, 724, 526\r\n"
                                          << "INCLUDE \"" << (folder / "missing.skn").string()
                                          << "\"\r\nVOLUMEKNOB \"k.png\", 1, 1, 1, 1\r\n";
    SkinDefinition skin;
    ASSERT_TRUE(skin.read(path));
    // The include that cannot be opened still starts afresh.
    EXPECT_EQ(skin.elementOf(SkinTag::BACKGROUND), nullptr);
    EXPECT_NE(skin.elementOf(SkinTag::VOLUMEKNOB), nullptr);

    EXPECT_FALSE(skin.read((folder / "absent.skn").string()));
    EXPECT_TRUE(skin.elements().empty());
    std::filesystem::remove_all(folder);
}

TEST(SkinDefinition, LoadsEachImageFileOnce) {
    SkinDefinition skin;
    skin.readText("BACKGROUND \"Back.png\", 0, 0, 10, 10\n"
                  "CUTOFFKNOB \"Knob.png\", 0, 0, 10, 10\n"
                  "VOLUMEKNOB \"KNOB.PNG\", 0, 0, 10, 10\n"
                  "PATCHBUTTON \"\", 0, 0, 10, 10\n"
                  "SOCKET1 \"parts\\Socket.png\", 0, 0, 10, 10\n");
    CountingLoader loader;
    EXPECT_TRUE(skin.loadImages("skins", loader));
    const char separator = platform::pathSeparator;
    EXPECT_EQ(loader.paths, (std::vector<std::string>{std::string("skins") + separator + "Back.png",
                                                      std::string("skins") + separator + "Knob.png",
                                                      std::string("skins") + separator + "parts" +
                                                          separator + "Socket.png"}));
    ASSERT_EQ(skin.loadedImages().size(), 3u);
    EXPECT_EQ(skin.loadedImages()[1].fileName, "Knob.png");

    // Loading again starts from an empty list; releasing drops the skin's references.
    EXPECT_TRUE(skin.loadImages(std::string("skins") + separator, loader));
    EXPECT_EQ(loader.paths.size(), 6u);
    EXPECT_EQ(loader.paths[3], loader.paths[0]);
    skin.releaseImages();
    EXPECT_TRUE(skin.loadedImages().empty());
}

TEST(SkinDefinition, BackgroundSetsTheEditorWindow) {
    SkinDefinition skin;
    skin.readText("BACKGROUND \"b.png\", 0, 0, 724, 526\n");
    EXPECT_EQ(skin.editorWidth(), 722);
    EXPECT_EQ(skin.editorHeight(), 525);
    EXPECT_EQ(skin.panelRectangle(), (toolkit::CRect{1, 1, 723, 526}));

    skin.readText("CUTOFFKNOB \"k.png\", 0, 0, 10, 10\n");
    EXPECT_EQ(skin.editorWidth(), 0);
    EXPECT_EQ(skin.editorHeight(), 0);
}

} // namespace
} // namespace treskpro
