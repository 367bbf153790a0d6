// The two plug-ins built from this tree differ only in the points of this table: the
// instrument (TRESKPRO_EFFECT_BUILD 0) and the effect (TRESKPRO_EFFECT_BUILD 1).
#pragma once

#include "plugin/VstInterface.h"

#include <array>
#include <span>
#include <string_view>

#ifndef TRESKPRO_EFFECT_BUILD
#error "TRESKPRO_EFFECT_BUILD must be defined to 0 (instrument) or 1 (effect)"
#endif

namespace treskpro {

struct BuildVariant {
    bool isEffect;
    vst::int32 uniqueID;
    vst::int32 flags; // editor flag excluded: it is set when the editor exists
    vst::int32 category;
    const char* effectName;
    const char* productName;
    const char* moduleFileName;              // the plug-in's own file, by which its folder is found
    std::span<const std::string_view> canDo; // the canDo strings answered "yes"
};

inline constexpr std::array<std::string_view, 10> commonCanDo = {
    "receiveVstEvents",    "receiveVstMidiEvent", "receiveVstTimeInfo", "1in2out",  "2in2out",
    "plugAsChannelInsert", "plugAsSend",          "mixDryWet",          "metapass", "multipass"};

inline constexpr BuildVariant instrumentBuild = {
    false,
    vst::fourCharacters('V', 'k', '7', 'p'),
    vst::effFlagsCanReplacing | vst::effFlagsProgramChunks | vst::effFlagsIsSynth,
    vst::kPlugCategSynth,
    "Tresk Pro",
    "Tresk Pro",
    "Treskpro.dll",
    std::span(commonCanDo).first(5), // the instrument answers only the first five
};

inline constexpr BuildVariant effectBuild = {
    true,
    vst::fourCharacters('J', 'd', '4', 'q'),
    vst::effFlagsCanReplacing | vst::effFlagsProgramChunks,
    vst::kPlugCategEffect,
    "Tresk Pro FX",
    "Tresk Pro FX",
    "TreskproFX.dll",
    std::span(commonCanDo),
};

inline constexpr const BuildVariant& buildVariant =
    TRESKPRO_EFFECT_BUILD ? effectBuild : instrumentBuild;

inline constexpr const char* vendorName = "Halvor";
inline constexpr vst::int32 vendorVersion = 1;
inline constexpr vst::int32 pluginVersion = 1;
inline constexpr vst::intptr vstVersion = 2400;

} // namespace treskpro
