// treskpro-patches FOLDER: writes the factory patches into FOLDER (created if missing) with the
// plug-in's own patch writer. The output is the same on every run and every platform.
#include "files/PatchFile.h"
#include "tools/patches/FactoryPatches.h"
#include "tools/patches/PatternNotation.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: treskpro-patches FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    try {
        for (const treskpro::factory::FactoryPatch& entry : treskpro::factory::factoryPatches()) {
            const std::string path =
                (folder / (entry.name + treskpro::factory::patchExtension)).string();
            if (!treskpro::writePatchFile(entry.patch, path)) {
                std::fprintf(stderr, "treskpro-patches: cannot write %s\n", path.c_str());
                return 1;
            }
        }
    } catch (const std::exception& fault) {
        std::fprintf(stderr, "treskpro-patches: %s\n", fault.what());
        return 1;
    }
    return 0;
}
