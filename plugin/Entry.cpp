// The plug-in's only entry point. Windows hosts look it up as VSTPluginMain or, the older ones,
// as main (Treskpro.def exports both names).
#include "plugin/TreskproPlugin.h"

#include <new>

#if defined(_WIN32)
#define TRESKPRO_EXPORT
#else
#define TRESKPRO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" TRESKPRO_EXPORT vst::AEffect* VSTCALLBACK VSTPluginMain(vst::HostCallback host) {
    // A host that cannot tell its interface version cannot load us.
    if (!host || host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    try {
        auto* plugin = new (std::nothrow) treskpro::TreskproPlugin(host);
        return plugin ? plugin->effect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
