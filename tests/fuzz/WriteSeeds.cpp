// Writes the fuzz targets' seed corpora with the project's own writers, so the fuzzers start
// from files the plug-in really produces.
#include "editor/GuiSettings.h"
#include "engine/WavetableSet.h"
#include "files/ConfigSettings.h"
#include "files/ControllerMap.h"
#include "files/PatchFile.h"
#include "files/PatternExchange.h"
#include "plugin/HostChunk.h"
#include "toolkit/CBitmap.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string bigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

// An IFF-style chunk: identifier, big-endian size, data, padded to an even size.
std::string iffChunk(const std::string& identifier, const std::string& data) {
    std::string bytes = identifier + bigEndian(static_cast<std::uint32_t>(data.size())) + data;
    if (data.size() % 2 != 0)
        bytes += '\0';
    return bytes;
}

void write(const std::filesystem::path& folder, const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

} // namespace

int main(int argc, char** argv) {
    using namespace treskpro;
    const std::filesystem::path root = argc > 1 ? argv[1] : "seeds";
    TreskproPatch patch;
    patch.connections.append({4, 34});
    patch.patterns[0].steps[0] = {12, StepFlags::gate | StepFlags::accent};
    write(root / "patch", "initial.tpro", writePatchText(TreskproPatch{}));
    write(root / "patch", "patched.tpro", writePatchText(patch));
    // Headers that promise far more lines than follow, each before a line that matches nothing:
    // reading must cost time in proportion to the text, never to the counts.
    std::string promises = "Version: 1.04\r\n";
    for (const char* section :
         {"Sockets", "Connections", "States", "Parameters", "Patterns", "PatchInfo", "Patch"})
        promises += std::string("[2147483647 ") + section + "]\r\n#\r\n";
    promises += "[2147483647 Connections]\r\n4, 34\r\n34, 4\r\n4, 34\r\n-2147483648, 99\r\n";
    write(root / "patch", "promises.tpro", promises);

    ChunkBuffer chunk;
    writeChunk(patch, "C:\\Patches\\Seed.tpro", chunk);
    write(root / "chunk", "chunk.bin", std::string(chunk.begin(), chunk.end()));

    ConfigSettings settings;
    write(root / "config", "Config.ini", writeConfigText(settings, patch));
    // Every integer key at the ends of the 32-bit range and beyond, in each base the reader takes.
    std::string extremes;
    for (const char* key :
         {"MaxPolyphony", "BendRange", "Retrigger", "AutoRun", "FilterMode", "SyncMode", "MidiMode",
          "TuningMode", "OscModel", "ClearNotes", "AccentVelocity", "ParameterSmoothing",
          "ClockSync", "GuiKnobMode", "MidiOutput", "MidiOutputChannel"}) {
        for (const char* value : {"-2147483648", "2147483647", "-0x80000000", "-020000000000",
                                  "-99999999999999999999", "99999999999999999999"})
            extremes += std::string(key) + " = " + value + "\r\n";
    }
    write(root / "config", "extremes.ini", extremes);
    GuiSettings gui;
    write(root / "gui", "Gui.ini", writeGuiSettingsText(gui));
    gui.skin = "C:\\Skins\\Night.skn";
    gui.cableTension = 2.0f;
    gui.functionButton1 = -2;
    gui.keymap[0].character = 'Q';
    gui.keymap[13].virtualKey = 11;
    write(root / "gui", "changed.ini", writeGuiSettingsText(gui));
    write(root / "gui", "extremes.ini",
          "Skin = \"unterminated\r\nCableTension = 1e39\r\nStickToValue = -2147483648\r\n"
          "FunctionButton1 = 99999999999\r\nKeymap.note1 = '\xff'\r\nKeymap.up = tab\r\n");
    write(root / "controllers", "MidiCC.ini", ControllerMap().writeText());
    write(root / "controllers", "extremes.ini",
          "MidiCC.Filter_Cutoff = -2147483648\r\nMidiCC.Filter_Cutoff = 2147483647\r\n"
          "MidiCC.Output_Variable = 0x7f\r\nMidiCC.Output_Variable = -1\r\n"
          "MidiCC.Output_Variable = 5\r\n");

    std::string tun;
    for (int k = 0; k < 128; ++k)
        tun += std::to_string(8.0 + k) + "\r\n";
    write(root / "tuning", "Seed.tun", tun);
    write(root / "tuning", "Seed.scl", "! seed\nSeed scale\n 3\n3/2\n700.0\n2\n");

    PatternRecord pattern = PatternRecord::fresh();
    pattern.steps[0] = {7, StepFlags::gate | StepFlags::accent};
    pattern.steps[1] = {12, StepFlags::gate | StepFlags::up | StepFlags::slide};
    write(root / "pattern", "seed.pat", writePatternText(pattern));
    PatternRecord octaves = PatternRecord::fresh();
    for (int i = 0; i < 36; ++i)
        octaves.steps[i] = {static_cast<std::uint8_t>(i),
                            static_cast<std::uint8_t>(StepFlags::gate | (i % 3) * StepFlags::up)};
    octaves.length = 36;
    write(root / "pattern", "octaves.pat", writePatternText(octaves));
    std::string unit(1097, '\0');
    for (std::size_t k = 0; k < 32; ++k) {
        unit[10 + 34 * k] = 16;
        for (std::size_t j = 0; j < 16; ++j)
            unit[10 + 34 * k + 2 + 2 * j] = static_cast<char>(j % 13);
    }
    write(root / "song", "seed.rbs",
          iffChunk("CAT ", "RB38" + iffChunk("HEAD", "abc") + iffChunk("303 ", unit) +
                               iffChunk("303 ", unit)));

    // Standard MIDI files: type 0 with running status and a system-exclusive message, type 1
    // with a tempo track that changes the tempo.
    auto track = [](const std::string& events) {
        return "MTrk" + bigEndian(static_cast<std::uint32_t>(events.size())) + events;
    };
    auto midiHeader = [](char format, char tracks) {
        return std::string("MThd\0\0\0\x06\0", 9) + format + std::string(1, '\0') + tracks +
               std::string("\0\x60", 2);
    };
    const std::string endOfTrack("\0\xFF\x2F\0", 4);
    const std::string notes =
        std::string("\0\x90\x24\x64\x30\x24\0\0\xF0\x02\x7E\xF7\x30\x30\x50", 15) +
        std::string("\0\xC1\x05\0\xE1\0\x40\x60\x80\x30\0", 11) + endOfTrack;
    write(root / "midi", "type0.mid", midiHeader('\x00', '\x01') + track(notes));
    const std::string tempos = std::string("\0\xFF\x51\x03\x07\xA1\x20\x81\x00\xFF\x51\x03"
                                           "\x0F\x42\x40",
                                           15) +
                               endOfTrack;
    write(root / "midi", "type1.mid", midiHeader('\x01', '\x02') + track(tempos) + track(notes));

    write(root / "wavetable", "small.dat", [] {
        const auto bytes = WavetableSet::encode({1, 0}, {{0.0f, 1.0f, -1.0f}, {0.5f}});
        return std::string(bytes.begin(), bytes.end());
    }());

    toolkit::CBitmap picture(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            picture.setColorAt(
                x, y,
                {std::uint8_t(40 * x), std::uint8_t(60 * y), 200, std::uint8_t(255 - 40 * x)});
    const auto png = picture.encodePng();
    write(root / "png", "picture.png", std::string(png.begin(), png.end()));

    write(root / "skin", "statements.skn",
          "; every statement once\r\nNAME \"Seed\"\r\nCROSSFADE 1\r\nBLENDMODE 2\r\n"
          "TRANSPARENTCOLOR 255, 0, 255\r\nCABLETYPE 1\r\nCABLETINT 10, 20, 30\r\n"
          "LEDCOLOR 3, 0.5, 1.0, 0.25\r\nOFFSET 4, 8\r\n"
          "BACKGROUND \"back.png\", 0, 0, 724, 526\r\nCUTOFFKNOB \"knob.png\", 40, 50, -30, 30\r\n"
          "VERSION 2\r\nfirst VOLUMEKNOB \"knob.png\", 1, 2, 3, 4, 5, 6, 7\r\n"
          "INCLUDE \"other.skn\"\r\nSOCKET1 \"socket.png\", 9, 9, 16, 16 ; last\r\n");
    std::ifstream skin(TRESKPRO_DEFAULT_SKIN, std::ios::binary);
    if (skin) {
        std::string text((std::istreambuf_iterator<char>(skin)), std::istreambuf_iterator<char>());
        write(root / "skin", "TreskPro.skn", text);
    }
    return 0;
}
