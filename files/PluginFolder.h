// The folder of the plug-in file and the files the plug-in keeps there: Config.ini (and the
// settings dialog's snapshot "Config.bak"), StartupPatch.ini and the patch folder. Paths are
// built with the system's separator.
#pragma once

#include "files/ConfigSettings.h"
#include "files/TreskproPatch.h"

#include <optional>
#include <string>
#include <utility>

namespace treskpro {

class PluginFolder {
public:
    PluginFolder() = default;
    explicit PluginFolder(std::string location) : folder(std::move(location)) {}

    const std::string& path() const { return folder; }
    // The file `name` in the folder.
    std::string path(const std::string& name) const;
    std::string patchFolder() const { return path("Tresk Pro Patches"); }

    // Config.ini or another name in the folder: reading sets `settings` and the five configured
    // states of `patch`; a missing file changes nothing. Writing fails quietly (false) in a
    // read-only folder.
    void readConfig(ConfigSettings& settings, TreskproPatch& patch,
                    const std::string& name = "Config.ini") const;
    bool writeConfig(const ConfigSettings& settings, const TreskproPatch& patch,
                     const std::string& name = "Config.ini") const;

    // "Set start patch": remembers `current` in StartupPatch.ini when it lies in the patch
    // folder; a patch elsewhere leaves the file as it was. True when written.
    bool setStartPatch(const std::string& current) const;
    // The name StartupPatch.ini holds (relative to the patch folder; empty for a file without
    // one), or nothing without the file.
    std::optional<std::string> startupPatchName() const;
    // The full path of a patch named relative to the patch folder, either separator accepted.
    std::string patchPath(const std::string& name) const;

private:
    std::string folder;
};

} // namespace treskpro
