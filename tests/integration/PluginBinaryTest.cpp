// The real plug-in binaries of the bundle, loaded through their entry point as a host loads
// them: the host record, every dispatcher answer a host relies on, both builds.
#include "platform/Platform.h"
#include "toolkit/CPlatformWindow.h"
#include "tools/render/PluginHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace treskpro {
namespace {

using namespace vst;

using platform::pluginSuffix;

std::string builtPlugin(const std::string& name) {
    return platform::executableDirectory() + platform::pathSeparator + ".." +
           platform::pathSeparator + "bundle" + platform::pathSeparator + name + pluginSuffix;
}

// The plug-ins run from a folder of their own: closing an instance keeps its patch in the
// plug-in folder, and the bundle the build made stays as a user would install it.
std::string pluginPath(const std::string& name) {
    namespace fs = std::filesystem;
    static const fs::path folder = [] {
        const fs::path path = fs::path(testing::TempDir()) / "treskpro-plugins";
        fs::remove_all(path);
        fs::create_directories(path);
        for (const char* file : {"Treskpro", "TreskproFX"})
            fs::copy_file(builtPlugin(file), path / (std::string(file) + pluginSuffix));
        // The panel's default skin, which gives the editor its size.
        const fs::path bundle = fs::path(builtPlugin("Treskpro")).parent_path();
        fs::copy_file(bundle / "TreskPro.skn", path / "TreskPro.skn");
        fs::copy(bundle / "Tresk Pro Skin", path / "Tresk Pro Skin");
        return path;
    }();
    return (folder / (name + pluginSuffix)).string();
}

struct Build {
    const char* file;
    bool isEffect;
    const char* name;
    int32 uniqueID;
    int32 flags;
    intptr category;
};

const Build instrument{"Treskpro", false,          "Tresk Pro", fourCharacters('V', 'k', '7', 'p'),
                       0x130,      kPlugCategSynth};
const Build effectBuild{
    "TreskproFX", true, "Tresk Pro FX", fourCharacters('J', 'd', '4', 'q'), 0x30, kPlugCategEffect};

class PluginBinary : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(host.load(pluginPath(GetParam().file), error)) << error;
    }
    AEffect& effect() { return *host.effect(); }

    PluginHost host;
};

TEST_P(PluginBinary, HostRecord) {
    const Build& build = GetParam();
    EXPECT_EQ(effect().magic, kEffectMagic);
    EXPECT_EQ(effect().uniqueID, build.uniqueID);
    // The panel is announced where it can open a window: on Windows, and on Linux when an X
    // display answers; otherwise a host would show an empty window.
    EXPECT_EQ(effect().flags,
              build.flags | (toolkit::platformHasWindows() ? effFlagsHasEditor : 0));
    EXPECT_EQ(effect().flags & effFlagsCanDoubleReplacing, 0);
    EXPECT_EQ(effect().numPrograms, 1);
    EXPECT_EQ(effect().numParams, 73);
    EXPECT_EQ(effect().numInputs, 2);
    EXPECT_EQ(effect().numOutputs, 2);
    EXPECT_EQ(effect().initialDelay, 0);
    EXPECT_EQ(effect().version, 1);
    EXPECT_EQ(effect().ioRatio, 1.0f);
    EXPECT_NE(effect().processReplacing, nullptr);
    EXPECT_NE(effect().processDoubleReplacing, nullptr);
    EXPECT_NE(effect().process, nullptr);
    EXPECT_EQ(host.countCalls(audioMasterVersion), 1);
}

TEST_P(PluginBinary, IdentityStrings) {
    const Build& build = GetParam();
    EXPECT_EQ(host.dispatchString(effGetEffectName, 0, 32), build.name);
    EXPECT_EQ(host.dispatchString(effGetProductString, 0, 64), build.name);
    EXPECT_EQ(host.dispatchString(effGetVendorString, 0, 64), "Halvor");
    char text[64];
    EXPECT_EQ(host.dispatch(effGetEffectName, 0, 0, text), 1);
    EXPECT_EQ(host.dispatch(effGetVendorString, 0, 0, text), 1);
    EXPECT_EQ(host.dispatch(effGetProductString, 0, 0, text), 1);
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 1);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), build.category);
}

TEST_P(PluginBinary, CanDoListsPerBuild) {
    const bool effectOnly = GetParam().isEffect;
    auto canDo = [&](const char* what) {
        return host.dispatch(effCanDo, 0, 0, const_cast<char*>(what));
    };
    for (const char* yes :
         {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo", "1in2out", "2in2out"})
        EXPECT_EQ(canDo(yes), 1) << yes;
    for (const char* effectYes :
         {"plugAsChannelInsert", "plugAsSend", "mixDryWet", "metapass", "multipass"})
        EXPECT_EQ(canDo(effectYes), effectOnly ? 1 : -1) << effectYes;
    EXPECT_EQ(canDo("sendVstMidiEvent"), -1);
    EXPECT_EQ(canDo("ReceiveVstEvents"), -1); // the comparison is case-sensitive
    EXPECT_EQ(canDo(""), -1);
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, nullptr), -1);
}

TEST_P(PluginBinary, PinsProgramsAndNeutralAnswers) {
    VstPinProperties pin;
    std::memset(&pin, 0, sizeof pin);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Tresk Pro 2");
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Tresk Pro 1");
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(host.dispatch(effGetInputProperties, 0, 0, &pin), 0);

    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    host.dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    host.dispatch(effSetProgram, 0, 5); // only program 0 exists
    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    host.dispatch(effSetProgramName, 0, 0, const_cast<char*>("ignored"));
    EXPECT_EQ(host.dispatchString(effGetProgramName, 0, 24), "Tresk Pro Patch");
    char indexedName[64] = "unchanged";
    EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, 0, 0, indexedName), 0);

    EXPECT_EQ(host.dispatch(effGetTailSize), 0);
    EXPECT_EQ(host.dispatch(effHasMidiProgramsChanged), 1);
    EXPECT_EQ(host.dispatch(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(host.dispatch(effGetNumMidiOutputChannels), 0);
    EXPECT_EQ(host.dispatch(effOpen), 0);
    EXPECT_EQ(host.dispatch(effString2Parameter, 0, 0, const_cast<char*>("1")), 0);
    EXPECT_EQ(host.dispatch(999), 0);

    ERect* rect = reinterpret_cast<ERect*>(0x1);
    if (toolkit::platformHasWindows()) {
        // The panel's size is known before it opens: the default skin's, from the bundle.
        ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right - rect->left, 1300);
        EXPECT_EQ(rect->bottom - rect->top, 880);
    } else {
        // No editor where the toolkit has no window: the editor opcodes answer neutrally and leave
        // the host's pointer alone.
        EXPECT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 0);
        EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1));
        EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, nullptr), 0);
        EXPECT_EQ(host.dispatch(effEditIdle), 0);
        EXPECT_EQ(host.dispatch(effEditKeyDown, 'a', 0, nullptr, 0.0f), 0);
        EXPECT_EQ(host.dispatch(effEditClose), 0);
    }
}

TEST_P(PluginBinary, MidiKeyNamesNamePatternsInPatternMode) {
    MidiKeyName key{};
    key.thisKeyNumber = 36;
    EXPECT_EQ(host.dispatch(effGetMidiKeyName, 0, 0, &key), 1);
    EXPECT_STREQ(key.keyName, "Pattern 36");
    key.thisKeyNumber = -2147483647 - 1; // whatever the host sends, the name fits
    EXPECT_EQ(host.dispatch(effGetMidiKeyName, 0, 0, &key), 1);
    EXPECT_STREQ(key.keyName, "Pattern -2147483648");
    EXPECT_EQ(host.dispatch(effGetMidiKeyName, 0, 0, nullptr), 0);
}

TEST_P(PluginBinary, ParametersThroughTheRecord) {
    EXPECT_EQ(host.dispatchString(effGetParamName, 1, 64), "Filter Cutoff");
    EXPECT_EQ(host.dispatchString(effGetParamName, 73, 64), "");
    EXPECT_EQ(host.dispatchString(effGetParamLabel, 5, 64), " ");
    EXPECT_EQ(host.dispatchString(effGetParamDisplay, 0, 64), "+0.00 Semitones");
    EXPECT_EQ(host.dispatchString(effGetParamDisplay, 73, 64), "N/A");

    effect().setParameter(&effect(), 8, 0.5f);
    EXPECT_EQ(effect().getParameter(&effect(), 8), 0.5f);
    EXPECT_EQ(host.dispatchString(effGetParamDisplay, 8, 64), "50% (-0.02dB)");
    effect().setParameter(&effect(), 9, 0.42222223f);
    EXPECT_EQ(effect().getParameter(&effect(), 9), 0.42222223f);
    effect().setParameter(&effect(), 9, 3.0f); // beyond 500 BPM: clamped into the slot
    EXPECT_NEAR(effect().getParameter(&effect(), 9), 2.1111111f, 1e-6);

    for (int32 i = -1; i <= 74; ++i)
        EXPECT_EQ(host.dispatch(effCanBeAutomated, i), 1);
}

TEST_P(PluginBinary, TextsNeverOverrunHostBuffers) {
    // Each string opcode gets a buffer of the interface's size followed by a guard area.
    struct Case {
        int32 opcode;
        int32 index;
        std::size_t capacity;
    };
    std::vector<Case> cases = {{effGetEffectName, 0, 32},
                               {effGetVendorString, 0, 64},
                               {effGetProductString, 0, 64},
                               {effGetProgramName, 0, 24}};
    for (int32 i = 0; i < 73; ++i) {
        cases.push_back({effGetParamName, i, 64});
        cases.push_back({effGetParamDisplay, i, 64});
        cases.push_back({effGetParamLabel, i, 64});
    }
    for (const Case& c : cases) {
        std::vector<char> buffer(c.capacity + 16, '#');
        host.dispatch(c.opcode, c.index, 0, buffer.data());
        EXPECT_LT(strnlen(buffer.data(), c.capacity), c.capacity) << c.opcode << " " << c.index;
        for (std::size_t k = c.capacity; k < buffer.size(); ++k)
            ASSERT_EQ(buffer[k], '#') << "opcode " << c.opcode << " index " << c.index;
    }
}

TEST_P(PluginBinary, ProcessEntries) {
    std::vector<float> inLeft(256, 0.5f), inRight(256, 0.5f), left(256, 0.25f), right(256, 0.25f);
    float* inputs[] = {inLeft.data(), inRight.data()};
    float* outputs[] = {left.data(), right.data()};

    // The old accumulating entry and the double-precision one leave the outputs as they were.
    effect().process(&effect(), inputs, outputs, 256);
    EXPECT_EQ(left[100], 0.25f);
    std::vector<double> doubleLeft(256, 0.25), doubleRight(256, 0.25);
    double* doubleOutputs[] = {doubleLeft.data(), doubleRight.data()};
    effect().processDoubleReplacing(&effect(), nullptr, doubleOutputs, 256);
    EXPECT_EQ(doubleLeft[100], 0.25);

    host.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    host.dispatch(effSetBlockSize, 0, 256);
    host.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.countCalls(audioMasterWantMidi), 1);
    host.calls.clear();
    effect().processReplacing(&effect(), inputs, outputs, 256);
    EXPECT_EQ(host.countCalls(audioMasterPinConnected), 2);
    EXPECT_EQ(host.countCalls(audioMasterGetTime), 1);
    for (float sample : left)
        ASSERT_TRUE(sample == 0.0f); // silent: nothing plays yet
    host.dispatch(effMainsChanged, 0, 0);
}

TEST_P(PluginBinary, ChunkComesBackAsTheHostGaveIt) {
    effect().setParameter(&effect(), 1, 0.875f);
    void* data = nullptr;
    const intptr size = host.dispatch(effGetChunk, 0, 0, &data);
    ASSERT_EQ(size, 25112);
    const std::vector<char> saved(static_cast<char*>(data), static_cast<char*>(data) + size);

    PluginHost other;
    std::string error;
    ASSERT_TRUE(other.load(pluginPath(GetParam().file), error)) << error;
    EXPECT_EQ(other.dispatch(effSetChunk, 0, size, const_cast<char*>(saved.data())), size);
    EXPECT_EQ(other.effect()->getParameter(other.effect(), 1), 0.875f);
    // A host that has no chunk to give is refused, and the restored patch stays.
    EXPECT_EQ(other.dispatch(effSetChunk, 0, size, nullptr), 0);
    EXPECT_EQ(other.dispatch(effSetChunk, 0, -1, const_cast<char*>(saved.data())), 0);
    EXPECT_EQ(other.effect()->getParameter(other.effect(), 1), 0.875f);
    void* again = nullptr;
    ASSERT_EQ(other.dispatch(effGetChunk, 0, 0, &again), size);
    EXPECT_EQ(std::memcmp(again, saved.data(), saved.size()), 0);
}

// A host that sends no numbers, infinities and absurd values: by automation, in a chunk and on
// its audio inputs. What it reads back is a parameter value, and the output stays finite.
TEST_P(PluginBinary, HostileValuesNeverReachTheOutput) {
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    host.dispatch(effSetBlockSize, 0, 256);
    host.dispatch(effMainsChanged, 0, 1);
    const float hostile[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), 1e30f, -1e30f};
    std::vector<float> in(256), left(256), right(256);
    float* inputs[] = {in.data(), in.data()};
    float* outputs[] = {left.data(), right.data()};
    const auto processFinite = [&] {
        effect().processReplacing(&effect(), inputs, outputs, 256);
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (!std::isfinite(left[i]) || !std::isfinite(right[i]))
                return false;
        }
        return true;
    };
    for (int32 index = 0; index < 73; ++index) {
        for (float value : hostile) {
            std::fill(in.begin(), in.end(), value);
            effect().setParameter(&effect(), index, value);
            const float stored = effect().getParameter(&effect(), index);
            EXPECT_TRUE(stored >= 0.0f && stored <= (index == 9 ? 2.1111112f : 1.0f))
                << index << " = " << value << " read back as " << stored;
            ASSERT_TRUE(processFinite()) << index << " = " << value;
        }
    }

    void* data = nullptr;
    const intptr size = host.dispatch(effGetChunk, 0, 0, &data);
    std::vector<char> chunk(static_cast<char*>(data), static_cast<char*>(data) + size);
    const float notANumber = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t slot = 0; slot < 73; ++slot) // the parameters follow the program's name
        std::memcpy(&chunk[16912 + 24 + 4 * slot], &notANumber, 4);
    host.dispatch(effSetChunk, 0, size, chunk.data());
    for (int32 index = 0; index < 73; ++index)
        EXPECT_FALSE(std::isnan(effect().getParameter(&effect(), index))) << index;
    EXPECT_TRUE(processFinite());
    host.dispatch(effMainsChanged, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(Builds, PluginBinary, ::testing::Values(instrument, effectBuild),
                         [](const auto& parameter) { return std::string(parameter.param.file); });

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(PluginFolder, SettingsAndTheStartPatchComeFromThePluginsOwnFolder) {
    namespace fs = std::filesystem;
    for (const char* file : {"Treskpro", "TreskproFX"}) {
        const fs::path folder = fs::path(testing::TempDir()) / (std::string("folder-") + file);
        fs::remove_all(folder);
        fs::create_directories(folder / "Tresk Pro Patches");
        const std::string plugin = std::string(file) + pluginSuffix;
        fs::copy_file(builtPlugin(file), folder / plugin);
        writeText(folder / "Config.ini", "; test settings\r\nMidiMode = 1\r\nFilterMode = 2\r\n");
        writeText(folder / "MidiCC.ini", "MidiCC.Filter_Cutoff = 20\r\n");

        MidiKeyName key{};
        {
            PluginHost host;
            std::string error;
            ASSERT_TRUE(host.load((folder / plugin).string(), error)) << error;
            // Keyboard mode from Config.ini: no pattern names for the keys.
            EXPECT_EQ(host.dispatch(effGetMidiKeyName, 0, 0, &key), 0);
            EXPECT_EQ(host.dispatchString(effGetProgramName, 0, 24), "Tresk Pro Patch");
            host.effect()->setParameter(host.effect(), 0, 0.75f);
        }
        // Closing kept the patch in the plug-in folder.
        const std::string kept = readText(folder / "Tresk Pro Patch.tpro");
        EXPECT_EQ(
            kept.rfind("Version: 1.04\r\n[73 Parameters]\r\n\"Master Tuning\" = 0.75000000", 0),
            0u);
        EXPECT_NE(kept.find("MidiMode = 1\r\n"), std::string::npos);
        // And the controller map, the file's assignment laid over the defaults.
        const std::string map = readText(folder / "MidiCC.ini");
        EXPECT_NE(map.find("MidiCC.Filter_Cutoff = 20\r\n"), std::string::npos);
        EXPECT_NE(map.find("MidiCC.Master_Volume = 7\r\n"), std::string::npos);

        // A start patch brings its own states, replacing what Config.ini set.
        writeText(folder / "Tresk Pro Patches" / "Start Line.tpro",
                  "Version: 1.04\r\n[1 Parameters]\r\n\"Master Tuning\" = 0.125\r\n");
        writeText(folder / "StartupPatch.ini", "\"Start Line.tpro\"");
        {
            PluginHost host;
            std::string error;
            ASSERT_TRUE(host.load((folder / plugin).string(), error)) << error;
            EXPECT_EQ(host.dispatchString(effGetProgramName, 0, 24), "Start Line");
            EXPECT_EQ(host.effect()->getParameter(host.effect(), 0), 0.125f);
            key.thisKeyNumber = 3;
            EXPECT_EQ(host.dispatch(effGetMidiKeyName, 0, 0, &key), 1);
        }
        fs::remove_all(folder);
    }
}

TEST(PluginEntry, HostWithoutVersionGetsNoPlugin) {
    for (const char* file : {"Treskpro", "TreskproFX"}) {
        PluginHost host;
        host.versionAnswer = 0;
        std::string error;
        EXPECT_FALSE(host.load(pluginPath(file), error)) << file;
        EXPECT_EQ(host.effect(), nullptr);
    }
}

TEST(PluginEntry, LoadAndCloseManyTimes) {
    // Hosts create and close instances freely; each close frees its whole object (the
    // sanitizer build's leak check watches this).
    for (const char* file : {"Treskpro", "TreskproFX"}) {
        for (int round = 0; round < 100; ++round) {
            PluginHost host;
            std::string error;
            ASSERT_TRUE(host.load(pluginPath(file), error)) << error;
            host.dispatch(effMainsChanged, 0, 1);
            host.dispatch(effMainsChanged, 0, 0);
        }
    }
}

TEST(PluginEntry, SeveralInstancesAtOnceKeepTheirOwnParameters) {
    PluginHost first, second;
    std::string error;
    ASSERT_TRUE(first.load(pluginPath("Treskpro"), error)) << error;
    ASSERT_TRUE(second.load(pluginPath("Treskpro"), error)) << error;
    first.effect()->setParameter(first.effect(), 1, 0.9f);
    EXPECT_EQ(second.effect()->getParameter(second.effect(), 1), 0.5f);
    EXPECT_EQ(first.effect()->getParameter(first.effect(), 1), 0.9f);
}

} // namespace
} // namespace treskpro
