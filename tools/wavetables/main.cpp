// treskpro-wavetables FOLDER: writes the five wavetable data files into FOLDER (created if
// missing). The output is the same on every run and every platform.
#include "engine/WavetableSet.h"
#include "tools/wavetables/WavetableGenerator.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    using treskpro::wavetables::Waveform;
    if (argc != 2) {
        std::fprintf(stderr, "usage: treskpro-wavetables FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const struct {
        Waveform waveform;
        const char* file;
    } sets[] = {{Waveform::Saw, "wtsaw.dat"},
                {Waveform::Square, "wtsquare.dat"},
                {Waveform::Triangle, "wttri.dat"},
                {Waveform::MgSaw, "mgsaw.dat"},
                {Waveform::MgSquare, "mgsqu.dat"}};
    for (const auto& entry : sets) {
        const treskpro::wavetables::GeneratedSet set =
            treskpro::wavetables::generate(entry.waveform);
        const std::vector<std::uint8_t> bytes =
            treskpro::WavetableSet::encode(set.periodMap, set.tables);
        // Written beside the target and renamed, so an interrupted build leaves no torn file.
        const std::filesystem::path target = folder / entry.file;
        const std::filesystem::path temporary = folder / (std::string(entry.file) + ".tmp");
        {
            std::ofstream out(temporary, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            if (!out) {
                std::fprintf(stderr, "treskpro-wavetables: cannot write %s\n",
                             temporary.string().c_str());
                return 1;
            }
        }
        std::filesystem::rename(temporary, target, error);
        if (error) {
            std::fprintf(stderr, "treskpro-wavetables: cannot write %s\n", target.string().c_str());
            return 1;
        }
    }
    return 0;
}
