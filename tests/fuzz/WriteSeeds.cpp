// Writes the fuzz targets' seed corpora with the project's own writers, so the fuzzers start
// from files the plug-in really produces.
#include "engine/WavetableSet.h"
#include "files/ConfigSettings.h"
#include "files/ControllerMap.h"
#include "files/PatchFile.h"
#include "plugin/HostChunk.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace {

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

    ChunkBuffer chunk;
    writeChunk(patch, "C:\\Patches\\Seed.tpro", chunk);
    write(root / "chunk", "chunk.bin", std::string(chunk.begin(), chunk.end()));

    ConfigSettings settings;
    write(root / "config", "Config.ini", writeConfigText(settings, patch));
    write(root / "controllers", "MidiCC.ini", ControllerMap().writeText());

    std::string tun;
    for (int k = 0; k < 128; ++k)
        tun += std::to_string(8.0 + k) + "\r\n";
    write(root / "tuning", "Seed.tun", tun);
    write(root / "tuning", "Seed.scl", "! seed\nSeed scale\n 3\n3/2\n700.0\n2\n");

    write(root / "wavetable", "small.dat", [] {
        const auto bytes = WavetableSet::encode({1, 0}, {{0.0f, 1.0f, -1.0f}, {0.5f}});
        return std::string(bytes.begin(), bytes.end());
    }());
    return 0;
}
