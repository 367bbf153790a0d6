// The host callback of the in-process tests and benchmarks: a VST 2.4 host that reports a
// tempo through its time info and answers everything else with 0.
#pragma once

#include "engine/WavetableSet.h"
#include "platform/Platform.h"
#include "plugin/VstInterface.h"

namespace treskpro::testhost {

// What audioMasterGetTime answers; tests set the tempo.
inline vst::VstTimeInfo& hostTime() {
    static vst::VstTimeInfo time = [] {
        vst::VstTimeInfo initial{};
        initial.tempo = 120.0;
        initial.sampleRate = 44100.0;
        initial.flags = vst::kVstTempoValid;
        return initial;
    }();
    return time;
}

inline vst::intptr VSTCALLBACK testHost(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr,
                                        void*, float) {
    if (opcode == vst::audioMasterVersion)
        return 2400;
    if (opcode == vst::audioMasterGetTime)
        return reinterpret_cast<vst::intptr>(&hostTime());
    return 0;
}

// The oscillators need their tables: the build's bundle, beside the test programs, has them.
inline void loadBundleWavetables() {
    static const bool loaded = [] {
        WavetableLibrary::shared().loadMissing(
            platform::executableDirectory() + platform::pathSeparator + ".." +
            platform::pathSeparator + "bundle" + platform::pathSeparator +
            WavetableLibrary::folderName);
        return true;
    }();
    (void)loaded;
}

} // namespace treskpro::testhost
