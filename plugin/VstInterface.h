// The host's VST 2.x binary interface: record layouts, opcode numbers and calling rules, written
// from the published facts of the interface. Only plugin/ and the command-line host include this
// header; the engine knows nothing of the host.
//
// Every record here is shared byte for byte with a host compiled by someone else, so each layout is
// pinned with static_asserts for both 32-bit and 64-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

namespace vst {

using int16 = std::int16_t;
using int32 = std::int32_t;
using intptr = std::intptr_t;

struct AEffect;

using HostCallback = intptr(VSTCALLBACK*)(AEffect* effect, int32 opcode, int32 index, intptr value,
                                          void* ptr, float opt);
using DispatcherProc = intptr(VSTCALLBACK*)(AEffect* effect, int32 opcode, int32 index,
                                            intptr value, void* ptr, float opt);
using ProcessProc = void(VSTCALLBACK*)(AEffect* effect, float** inputs, float** outputs,
                                       int32 sampleFrames);
using ProcessDoubleProc = void(VSTCALLBACK*)(AEffect* effect, double** inputs, double** outputs,
                                             int32 sampleFrames);
using SetParameterProc = void(VSTCALLBACK*)(AEffect* effect, int32 index, float value);
using GetParameterProc = float(VSTCALLBACK*)(AEffect* effect, int32 index);

// Four characters packed with the first one in the highest byte, as IDs are written.
constexpr int32 fourCharacters(char a, char b, char c, char d) {
    return static_cast<int32>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                              (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                              (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                              static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

constexpr int32 kEffectMagic = fourCharacters('V', 's', 't', 'P');

struct AEffect {
    int32 magic;
    DispatcherProc dispatcher;
    ProcessProc process;
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    int32 numPrograms;
    int32 numParams;
    int32 numInputs;
    int32 numOutputs;
    int32 flags;
    intptr resvd1;
    intptr resvd2;
    int32 initialDelay;
    int32 realQualities;
    int32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    int32 uniqueID;
    int32 version;
    ProcessProc processReplacing;
    ProcessDoubleProc processDoubleReplacing;
    char future[56];
};

enum EffectFlags : int32 {
    effFlagsHasEditor = 1,
    effFlagsCanReplacing = 16,
    effFlagsProgramChunks = 32,
    effFlagsIsSynth = 256,
    effFlagsNoSoundInStop = 512,
    effFlagsCanDoubleReplacing = 4096,
};

enum DispatcherOpcode : int32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetProgramNameIndexed = 29,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effGetParameterProperties = 56,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79,
};

enum HostOpcode : int32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterIOChanged = 13,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterCanDo = 37,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
};

enum PlugCategory : int32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
    kPlugCategAnalysis = 3,
    kPlugCategMastering = 4,
    kPlugCategGenerator = 11,
};

enum EventType : int32 {
    kVstMidiType = 1,
    kVstSysExType = 6,
};

struct VstEvent {
    int32 type;
    int32 byteSize;
    int32 deltaFrames;
    int32 flags;
    char data[16];
};

struct VstMidiEvent {
    int32 type;
    int32 byteSize;
    int32 deltaFrames;
    int32 flags;
    int32 noteLength;
    int32 noteOffset;
    char midiData[4];
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstEvents {
    int32 numEvents;
    intptr reserved;
    VstEvent* events[2]; // really numEvents entries
};

enum TimeInfoFlags : int32 {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 2,
    kVstTransportCycleActive = 4,
    kVstTransportRecording = 8,
    kVstNanosValid = 256,
    kVstPpqPosValid = 512,
    kVstTempoValid = 1024,
    kVstBarsValid = 2048,
    kVstCyclePosValid = 4096,
    kVstTimeSigValid = 8192,
    kVstSmpteValid = 16384,
    kVstClockValid = 32768,
};

struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    int32 timeSigNumerator;
    int32 timeSigDenominator;
    int32 smpteOffset;
    int32 smpteFrameRate;
    int32 samplesToNextClock;
    int32 flags;
};

enum PinPropertiesFlags : int32 {
    kVstPinIsActive = 1,
    kVstPinIsStereo = 2,
    kVstPinUseSpeaker = 4,
};

struct VstPinProperties {
    char label[64];
    int32 flags;
    int32 arrangementType;
    char shortLabel[8];
    char future[48];
};

struct MidiKeyName {
    int32 thisProgramIndex;
    int32 thisKeyNumber;
    char keyName[64];
    int32 reserved;
    int32 flags;
};

struct ERect {
    int16 top;
    int16 left;
    int16 bottom;
    int16 right;
};

enum VirtualKey : int32 {
    VKEY_BACK = 1,
    VKEY_TAB = 2,
    VKEY_CLEAR = 3,
    VKEY_RETURN = 4,
    VKEY_PAUSE = 5,
    VKEY_ESCAPE = 6,
    VKEY_SPACE = 7,
    VKEY_NEXT = 8,
    VKEY_END = 9,
    VKEY_HOME = 10,
    VKEY_LEFT = 11,
    VKEY_UP = 12,
    VKEY_RIGHT = 13,
    VKEY_DOWN = 14,
    VKEY_PAGEUP = 15,
    VKEY_PAGEDOWN = 16,
};

enum KeyModifier : int32 {
    MODIFIER_SHIFT = 1,
    MODIFIER_ALTERNATE = 2,
    MODIFIER_COMMAND = 4,
    MODIFIER_CONTROL = 8,
};

// Capacities of the strings the host hands us. The interface's letter says 8 for parameter
// texts, but every current host provides at least 64; we write at most 63 characters there.
constexpr std::size_t kProgramNameCapacity = 24;
constexpr std::size_t kParameterTextCapacity = 64;
constexpr std::size_t kEffectNameCapacity = 32;
constexpr std::size_t kVendorStringCapacity = 64;
constexpr std::size_t kProductStringCapacity = 64;
constexpr std::size_t kPinLabelCapacity = 64;
constexpr std::size_t kKeyNameCapacity = 64;

constexpr intptr kCanDoYes = 1;
constexpr intptr kCanDoUnknown = 0;
constexpr intptr kCanDoNo = -1;

// The layouts a host compiled elsewhere expects, at the offsets it reads them: a field that
// moved (a pointer-sized value declared as 32 bits, a missing padding) would pass a size check in
// one build and fail only in the other, so both word sizes are pinned field by field.
constexpr std::size_t wordSized(std::size_t offset32, std::size_t offset64) {
    return sizeof(void*) == 4 ? offset32 : offset64;
}
// Every value, result and answer that may carry a pointer or a size (dispatcher `value` and
// result, host callback answers, resvd fields) is intptr, at full width.
static_assert(sizeof(intptr) == sizeof(void*), "intptr is pointer-sized");
static_assert(sizeof(AEffect) == wordSized(144, 192), "AEffect layout");
static_assert(offsetof(AEffect, dispatcher) == wordSized(4, 8), "AEffect layout");
static_assert(offsetof(AEffect, numPrograms) == wordSized(20, 40), "AEffect layout");
static_assert(offsetof(AEffect, flags) == wordSized(36, 56), "AEffect layout");
static_assert(offsetof(AEffect, resvd1) == wordSized(40, 64), "AEffect layout");
static_assert(offsetof(AEffect, resvd2) == wordSized(44, 72), "AEffect layout");
static_assert(offsetof(AEffect, initialDelay) == wordSized(48, 80), "AEffect layout");
static_assert(offsetof(AEffect, ioRatio) == wordSized(60, 92), "AEffect layout");
static_assert(offsetof(AEffect, object) == wordSized(64, 96), "AEffect layout");
static_assert(offsetof(AEffect, user) == wordSized(68, 104), "AEffect layout");
static_assert(offsetof(AEffect, uniqueID) == wordSized(72, 112), "AEffect layout");
static_assert(offsetof(AEffect, version) == wordSized(76, 116), "AEffect layout");
static_assert(offsetof(AEffect, processReplacing) == wordSized(80, 120), "AEffect layout");
static_assert(offsetof(AEffect, processDoubleReplacing) == wordSized(84, 128), "AEffect layout");
static_assert(offsetof(AEffect, future) == wordSized(88, 136), "AEffect layout");
static_assert(sizeof(VstEvent) == 32 && sizeof(VstMidiEvent) == 32, "event layout");
static_assert(offsetof(VstMidiEvent, midiData) == 24 && offsetof(VstMidiEvent, detune) == 28,
              "VstMidiEvent layout");
static_assert(offsetof(VstEvents, reserved) == wordSized(4, 8), "VstEvents layout");
static_assert(offsetof(VstEvents, events) == wordSized(8, 16), "VstEvents layout");
static_assert(sizeof(VstEvents) == wordSized(16, 32), "VstEvents layout");
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64 && offsetof(VstTimeInfo, flags) == 84,
              "VstTimeInfo layout");
static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties layout");
static_assert(offsetof(VstPinProperties, flags) == 64 &&
                  offsetof(VstPinProperties, shortLabel) == 72,
              "VstPinProperties layout");
static_assert(sizeof(MidiKeyName) == 80, "MidiKeyName layout");
static_assert(offsetof(MidiKeyName, keyName) == 8 && offsetof(MidiKeyName, flags) == 76,
              "MidiKeyName layout");
static_assert(sizeof(ERect) == 8 && offsetof(ERect, right) == 6, "ERect layout");

} // namespace vst
