// A small VST 2.x host: loads any plug-in binary through its entry point, as a host does, and
// answers the host callbacks a plug-in asks. treskpro-render and the integration tests drive
// the real plug-in binaries through it.
#pragma once

#include "platform/Platform.h"
#include "plugin/VstInterface.h"

#include <string>
#include <vector>

namespace treskpro {

class PluginHost {
public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Opens the library, finds VSTPluginMain (or the older name main) and calls it. False with
    // a reason when the file does not load, has no entry point or the entry point refuses.
    bool load(const std::string& path, std::string& error);

    // Takes a plug-in that is already created (one linked into the program, as the tests' fake
    // plug-ins are) as if it had been loaded: its callbacks reach this host from now on.
    void attach(vst::AEffect* effect);

    // Closes the plug-in with effClose (which destroys it) and unloads the library.
    void unload();

    vst::AEffect* effect() const { return plugin; }
    vst::intptr dispatch(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                         void* ptr = nullptr, float opt = 0.0f) const;

    // A string opcode's answer read into a buffer of `capacity` bytes (filled with a marker
    // first, so tests can see how far the plug-in wrote).
    std::string dispatchString(vst::int32 opcode, vst::int32 index = 0,
                               std::size_t capacity = 256) const;

    // What the host answers.
    vst::intptr versionAnswer = 2400; // audioMasterVersion
    vst::VstTimeInfo timeInfo{};      // audioMasterGetTime; tempo 120 unless changed
    bool answerTime = true;
    bool inputsConnected = true; // audioMasterPinConnected

    // What the plug-in asked, in order: each callback's opcode, index, value and opt. A long
    // render turns the record off (`recordCalls`), so that it does not grow with every block.
    struct Call {
        vst::int32 opcode;
        vst::int32 index;
        vst::intptr value;
        float opt;
    };
    std::vector<Call> calls;
    bool recordCalls = true;
    int countCalls(vst::int32 opcode) const;

private:
    static vst::intptr VSTCALLBACK hostCallback(vst::AEffect* effect, vst::int32 opcode,
                                                vst::int32 index, vst::intptr value, void* ptr,
                                                float opt);
    vst::intptr answer(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                       float opt);

    platform::SharedLibrary library;
    vst::AEffect* plugin = nullptr;
};

// The plug-in's description as treskpro-render --info prints it: name, vendor, product,
// version, category, flags, inputs and outputs, then every parameter's name and display text.
std::string describePlugin(const PluginHost& host);

} // namespace treskpro
