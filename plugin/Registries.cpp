#include "plugin/Registries.h"

#include "plugin/HostStrings.h"

namespace treskpro {

bool ParameterRegistry::registerParameter(int tag, const char* name) {
    if (count >= capacity)
        return false;
    Entry& entry = entries[static_cast<std::size_t>(count)];
    entry.index = count;
    entry.tag = tag;
    copyString(entry.name, nameCapacity, name);
    ++count;
    return true;
}

const char* ParameterRegistry::name(int index) const {
    return index >= 0 && index < count ? entry(index).name : "";
}

bool StateRegistry::registerState(int* mirror, const char* name, int initialValue) {
    if (count >= capacity)
        return false;
    Entry& entry = entries[static_cast<std::size_t>(count)];
    entry.mirror = mirror;
    entry.initialValue = initialValue;
    copyString(entry.name, nameCapacity, name);
    if (mirror)
        *mirror = initialValue;
    ++count;
    return true;
}

const char* StateRegistry::name(int index) const {
    return index >= 0 && index < count ? entry(index).name : "";
}

} // namespace treskpro
