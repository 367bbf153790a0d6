#include "tools/render/PluginHost.h"

#include <cstdio>
#include <cstring>

namespace treskpro {

namespace {

using namespace vst;

using EntryPoint = AEffect*(VSTCALLBACK*)(HostCallback);

// During the entry point the plug-in has no AEffect yet to carry our pointer; this names the
// host that is loading on this thread.
thread_local PluginHost* loadingHost = nullptr;

} // namespace

PluginHost::~PluginHost() {
    unload();
}

bool PluginHost::load(const std::string& path, std::string& error) {
    unload();
    if (!library.open(path, error))
        return false;
    auto entry = reinterpret_cast<EntryPoint>(library.symbol("VSTPluginMain"));
    if (!entry)
        entry = reinterpret_cast<EntryPoint>(library.symbol("main"));
    if (!entry) {
        error = path + " has no VST 2.x entry point";
        library.close();
        return false;
    }
    timeInfo.tempo = timeInfo.tempo > 0.0 ? timeInfo.tempo : 120.0;
    timeInfo.sampleRate = 44100.0;
    timeInfo.flags = kVstTempoValid;
    loadingHost = this;
    plugin = entry(hostCallback);
    loadingHost = nullptr;
    if (!plugin || plugin->magic != kEffectMagic) {
        error = path + ": the entry point returned no plug-in";
        plugin = nullptr;
        library.close();
        return false;
    }
    plugin->user = this;
    return true;
}

void PluginHost::attach(AEffect* effect) {
    unload();
    plugin = effect;
    if (plugin)
        plugin->user = this;
}

void PluginHost::unload() {
    if (plugin) {
        plugin->dispatcher(plugin, effClose, 0, 0, nullptr, 0.0f);
        plugin = nullptr;
    }
    library.close();
}

intptr PluginHost::dispatch(int32 opcode, int32 index, intptr value, void* ptr, float opt) const {
    return plugin ? plugin->dispatcher(plugin, opcode, index, value, ptr, opt) : 0;
}

std::string PluginHost::dispatchString(int32 opcode, int32 index, std::size_t capacity) const {
    std::vector<char> buffer(capacity + 1, '\x7f');
    buffer[capacity] = '\0';
    buffer[0] = '\0';
    dispatch(opcode, index, 0, buffer.data());
    return std::string(buffer.data(), strnlen(buffer.data(), capacity));
}

int PluginHost::countCalls(int32 opcode) const {
    int count = 0;
    for (const Call& call : calls)
        count += call.opcode == opcode ? 1 : 0;
    return count;
}

intptr VSTCALLBACK PluginHost::hostCallback(AEffect* effect, int32 opcode, int32 index,
                                            intptr value, void* ptr, float opt) {
    PluginHost* host =
        effect && effect->user ? static_cast<PluginHost*>(effect->user) : loadingHost;
    if (!host)
        return opcode == audioMasterVersion ? 2400 : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

intptr PluginHost::answer(int32 opcode, int32 index, intptr value, void*, float opt) {
    if (recordCalls)
        calls.push_back({opcode, index, value, opt});
    switch (opcode) {
    case audioMasterVersion:
        return versionAnswer;
    case audioMasterPinConnected:
        return inputsConnected ? 0 : 1; // 0 means connected
    case audioMasterGetTime:
        return answerTime ? reinterpret_cast<intptr>(&timeInfo) : 0;
    case audioMasterGetSampleRate:
        return static_cast<intptr>(timeInfo.sampleRate);
    case audioMasterWantMidi:
    case audioMasterAutomate:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    case audioMasterUpdateDisplay:
    case audioMasterProcessEvents:
        return 1;
    default:
        return 0;
    }
}

namespace {

std::string categoryName(intptr category) {
    switch (category) {
    case kPlugCategEffect:
        return "effect";
    case kPlugCategSynth:
        return "synth";
    case kPlugCategAnalysis:
        return "analysis";
    case kPlugCategMastering:
        return "mastering";
    case kPlugCategGenerator:
        return "generator";
    default:
        return "unknown";
    }
}

std::string flagNames(int32 flags) {
    static constexpr struct {
        int32 flag;
        const char* name;
    } known[] = {{effFlagsHasEditor, "HasEditor"},
                 {effFlagsCanReplacing, "CanReplacing"},
                 {effFlagsProgramChunks, "ProgramChunks"},
                 {effFlagsIsSynth, "IsSynth"},
                 {effFlagsNoSoundInStop, "NoSoundInStop"},
                 {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
    std::string names;
    for (const auto& entry : known) {
        if (!(flags & entry.flag))
            continue;
        if (!names.empty())
            names += ' ';
        names += entry.name;
    }
    return names;
}

std::string uniqueIDText(int32 id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(id) >> shift) & 0xff);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

} // namespace

std::string describePlugin(const PluginHost& host) {
    const AEffect* effect = host.effect();
    if (!effect)
        return "";
    char line[512];
    std::string text;
    auto add = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        text += line;
    };
    add("name:     %s\n", host.dispatchString(effGetEffectName, 0, 32).c_str());
    add("vendor:   %s\n", host.dispatchString(effGetVendorString, 0, 64).c_str());
    add("product:  %s\n", host.dispatchString(effGetProductString, 0, 64).c_str());
    add("version:  %ld (plug-in %d, VST %ld)\n",
        static_cast<long>(host.dispatch(effGetVendorVersion)), effect->version,
        static_cast<long>(host.dispatch(effGetVstVersion)));
    add("unique:   %s (0x%08X)\n", uniqueIDText(effect->uniqueID).c_str(),
        static_cast<unsigned>(effect->uniqueID));
    add("category: %s (%ld)\n", categoryName(host.dispatch(effGetPlugCategory)).c_str(),
        static_cast<long>(host.dispatch(effGetPlugCategory)));
    add("flags:    0x%X %s\n", static_cast<unsigned>(effect->flags),
        flagNames(effect->flags).c_str());
    add("inputs:   %d\noutputs:  %d\n", effect->numInputs, effect->numOutputs);
    add("programs: %d\nparameters: %d\n", effect->numPrograms, effect->numParams);
    for (int32 i = 0; i < effect->numParams; ++i) {
        add("  %2d  %-20s %s\n", i, host.dispatchString(effGetParamName, i, 64).c_str(),
            host.dispatchString(effGetParamDisplay, i, 64).c_str());
    }
    return text;
}

} // namespace treskpro
