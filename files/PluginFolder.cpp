#include "files/PluginFolder.h"

#include "files/SafeFile.h"
#include "files/TextScanner.h"
#include "platform/Platform.h"

#include <algorithm>

namespace treskpro {

std::string PluginFolder::path(const std::string& name) const {
    return folder + platform::pathSeparator + name;
}

void PluginFolder::readConfig(ConfigSettings& settings, TreskproPatch& patch,
                              const std::string& name) const {
    if (const auto text = readWholeFile(path(name)))
        readConfigText(settings, patch, *text);
}

bool PluginFolder::writeConfig(const ConfigSettings& settings, const TreskproPatch& patch,
                               const std::string& name) const {
    return writeFileSafely(path(name), writeConfigText(settings, patch));
}

bool PluginFolder::setStartPatch(const std::string& current) const {
    const std::string patches = patchFolder() + platform::pathSeparator;
    if (current.compare(0, patches.size(), patches) != 0)
        return false;
    const std::string name = current.substr(patches.size());
    return writeFileSafely(path("StartupPatch.ini"), "\"" + name + "\"");
}

std::optional<std::string> PluginFolder::startupPatchName() const {
    const auto text = readWholeFile(path("StartupPatch.ini"));
    if (!text)
        return std::nullopt;
    TextScanner scanner(*text);
    return scanner.quoted();
}

std::string PluginFolder::patchPath(const std::string& name) const {
    std::string result = patchFolder() + platform::pathSeparator + name;
    if (platform::pathSeparator == '\\')
        std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

} // namespace treskpro
