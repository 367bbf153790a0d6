// The factory patches that ship in the plug-in's "Tresk Pro Patches" folder, described in code:
// parameter values by name, states, patch cables and patterns in the step notation of
// PatternNotation.h. The build writes each one with the plug-in's own patch writer, so the
// files always match the format the plug-in reads.
#pragma once

#include "files/TreskproPatch.h"

#include <string>
#include <vector>

namespace treskpro::factory {

struct FactoryPatch {
    std::string name; // the file's base name; the file is name + ".tpro"
    TreskproPatch patch;
};

// Every factory patch, the default "Tresk Pro Patch" first. The same patches on every call.
std::vector<FactoryPatch> factoryPatches();

// The folder below the plug-in folder that holds them.
inline constexpr const char* patchFolderName = "Tresk Pro Patches";
inline constexpr const char* patchExtension = ".tpro";

} // namespace treskpro::factory
