#include "editor/PanelBindings.h"

#include "editor/TagTable.h"

#include <algorithm>
#include <array>
#include <vector>

namespace treskpro {

namespace {

using K = ControlKind;
using T = SkinTag;

std::vector<PanelControl> makeBuildOrder() {
    std::vector<PanelControl> order;
    const auto add = [&](int tag, ControlKind kind, bool optional = false) {
        order.push_back({tag, kind, optional});
    };
    const auto range = [&](int first, int last, ControlKind kind) {
        for (int tag = first; tag <= last; ++tag)
            add(tag, kind);
    };
    range(T::TUNINGKNOB, T::VOLUMEKNOB, K::knob);
    add(T::B_PATTERNCLEAR, K::momentary);
    add(T::B_RUNSTOP, K::momentary);
    add(T::B_AUTOADV, K::momentary);
    range(T::B_TIMEMODE, T::B_NEXT, K::momentary);
    range(T::NOTELED1, T::NOTELED36, K::lamp);
    range(T::RUNSTOPLED, T::SLIDELED, K::lamp);
    add(T::DISTORTIONSWITCH, K::onOff);
    add(T::OPTIONCABLES, K::onOff);
    add(T::OPTIONMIDILEARN, K::onOff);
    add(T::OPTIONFILTER, K::momentary);
    add(T::OPTIONAUX, K::onOff);
    add(T::OPTIONPANIC, K::momentary);
    add(T::OPTIONINFO, K::onOff);
    add(T::PATTERNLOCK, K::onOff);
    add(T::PATTERNWRITEPROTECT, K::onOff);
    add(T::VCO2MODSWITCH, K::onOff);
    add(T::PATCHBUTTON, K::patchName);
    add(T::PATCHBUTTON, K::menu);
    add(T::PATCHBUTTON, K::invisibleButton);
    add(T::NEXTPATCHBUTTON, K::momentary);
    add(T::PREVPATCHBUTTON, K::momentary);
    add(T::PATTERNMENU, K::momentary);
    add(T::PATTERNDROPDOWN, K::menu);
    add(T::OPTIONMENU, K::momentary);
    add(T::OPTIONDROPDOWN, K::menu);
    add(T::PATTERNROCKER, K::rocker);
    add(T::PATTERNDIGITS, K::digits);
    add(T::TEMPOROCKER, K::rocker);
    add(T::TEMPODIGITS, K::digits);
    add(T::STEPSROCKER, K::rocker);
    add(T::STEPSDIGITS, K::digits);
    add(T::STEPDISPLAY, K::digits);
    add(T::PRESCALESWITCH, K::fourPosition);
    add(T::MIDILED, K::lamp);
    add(T::SYNCSWITCH, K::onOff);
    add(T::MODESWITCH, K::onOff);
    add(T::NOTESWITCH, K::onOff);
    add(T::FUNCTIONBUTTON1, K::momentary);
    add(T::FUNCTIONBUTTON2, K::momentary);
    add(T::FUNCTIONLED1, K::lamp);
    add(T::FUNCTIONLED2, K::lamp);
    add(T::TRIPLETBUTTON, K::triplet, true);
    // The synth's sections, each with its lamps.
    range(T::VCO1WAVE, T::VCO1FINE, K::knob);
    add(T::VCO1RANGE, K::momentary);
    range(T::VCO1LED16, T::VCO1LED4, K::lamp);
    range(T::VCO2WAVE, T::VCO2FINE, K::knob);
    add(T::VCO2RANGE, K::momentary);
    range(T::VCO2LED16, T::VCO2LED4, K::lamp);
    add(T::GLIDEKNOB, K::knob);
    add(T::GATEKNOB, K::knob);
    add(T::GATEACTIVELED, K::lamp);
    add(T::TRIGGERBUTTON, K::momentary);
    add(T::TRIGGERSINGLE, K::lamp);
    add(T::TRIGGERMULTI, K::lamp);
    range(T::VCO1LEVEL, T::AUXLEVEL, K::knob);
    range(T::MGWAVE, T::MGAMOUNT, K::knob);
    add(T::MGRETRIG, K::momentary);
    add(T::MGAUDIO, K::momentary);
    add(T::MGRETRIGLED, K::lamp);
    add(T::MGAUDIOLED, K::lamp);
    range(T::MGVCO1DEST, T::MGPW1DEST, K::momentary);
    range(T::MGVCO1LED, T::MGPW1LED, K::lamp);
    add(T::MGBPMSYNC, K::onOff);
    add(T::NGCOLOR, K::knob);
    add(T::SYNC12, K::momentary);
    add(T::SYNC21, K::momentary);
    add(T::SYNC12LED, K::lamp);
    add(T::SYNC21LED, K::lamp);
    add(T::ACCDECAY, K::knob);
    add(T::ACCVOLUME, K::knob);
    add(T::ACCMANUAL, K::momentary);
    add(T::ACCEXTLED, K::lamp);
    range(T::VCAATTACK, T::VCARELEASE, K::knob);
    add(T::VCATRIGGERLED, K::lamp);
    range(T::VCFATTACK, T::VCFRELEASE, K::knob);
    add(T::VCFTRIGGERLED, K::lamp);
    range(T::DELAYAMOUNT, T::DELAYRIGHT, K::knob);
    add(T::DELAYBPMSYNC, K::onOff);
    add(T::DELAYLED, K::lamp);
    add(T::PITCHKEYBOARD, K::keyboard, true);
    // The 42 sockets (on SOCKET1 .. SOCKET42, all with SOCKET1's picture) and their menu.
    add(T::SOCKET1, K::sockets);
    range(T::VCKNOB1, T::VCKNOB6, K::knob);
    // The 64 cables hang over everything but the read-out.
    add(T::CORDPLUG, K::cables);
    add(T::DISPBACKGROUND, K::floatingDisplay);
    add(T::SMALLARROW, K::indicator, true);
    return order;
}

const std::vector<PanelControl>& buildOrder() {
    static const std::vector<PanelControl> order = makeBuildOrder();
    return order;
}

std::vector<int> makeRequiredTags() {
    std::vector<int> tags;
    for (const PanelControl& control : buildOrder()) {
        const bool placeOnly = control.kind == K::menu || control.kind == K::patchName ||
                               control.kind == K::invisibleButton || control.kind == K::sockets ||
                               control.kind == K::cables;
        if (!control.optional && !placeOnly)
            tags.push_back(control.tag);
    }
    // Every socket draws SOCKET1's picture.
    tags.push_back(T::SOCKET1);
    return tags;
}

const std::vector<int> requiredTags = makeRequiredTags();

using B = BindingKind;
constexpr std::array<ParameterBinding, 66> bindings{{
    {T::TUNINGKNOB, 0, B::continuous, true},
    {T::CUTOFFKNOB, 1, B::continuous, true},
    {T::RESONANCEKNOB, 2, B::continuous, true},
    {T::ENVMODKNOB, 3, B::continuous, true},
    {T::VCFTRACKINGKNOB, 4, B::continuous, true},
    {T::ACCENTKNOB, 5, B::continuous, true},
    {T::BOOSTKNOB, 6, B::continuous, true},
    {T::DISTORTKNOB, 7, B::continuous, true},
    {T::VOLUMEKNOB, 8, B::continuous, true},
    {T::VCO2MODSWITCH, 10, B::direct, true},
    {T::DISTORTIONSWITCH, 11, B::direct, false},
    {T::VCO1WAVE, 12, B::continuous, true},
    {T::VCO1PW, 13, B::continuous, true},
    {T::VCO1FM, 14, B::continuous, true},
    {T::VCO1FINE, 15, B::continuous, true},
    {T::VCO1RANGE, 16, B::range, false},
    {T::VCO2WAVE, 17, B::continuous, true},
    {T::VCO2PW, 18, B::continuous, true},
    {T::VCO2FM, 19, B::continuous, true},
    {T::VCO2FINE, 20, B::continuous, true},
    {T::VCO2RANGE, 21, B::range, false},
    {T::NGCOLOR, 22, B::continuous, true},
    {T::GLIDEKNOB, 23, B::continuous, true},
    {T::GATEKNOB, 24, B::continuous, true},
    {T::VCO1LEVEL, 25, B::continuous, true},
    {T::VCO2LEVEL, 26, B::continuous, true},
    {T::NOISELEVEL, 27, B::continuous, true},
    {T::AUXLEVEL, 28, B::continuous, true},
    {T::MGWAVE, 29, B::continuous, true},
    {T::MGFREQ, 30, B::continuous, true},
    {T::MGAMOUNT, 31, B::continuous, true},
    {T::MGVCO1DEST, 33, B::toggled, false},
    {T::MGVCO2DEST, 34, B::toggled, false},
    {T::MGVCFDEST, 35, B::toggled, false},
    {T::MGVCADEST, 36, B::toggled, false},
    {T::MGPW1DEST, 37, B::toggled, false},
    {T::SYNC12, 38, B::toggled, false},
    {T::SYNC21, 39, B::toggled, false},
    {T::ACCDECAY, 40, B::continuous, true},
    {T::ACCVOLUME, 41, B::continuous, true},
    {T::ACCMANUAL, 43, B::direct, false},
    {T::VCAATTACK, 44, B::continuous, true},
    {T::VCADECAY, 45, B::continuous, true},
    {T::VCASUSTAIN, 46, B::continuous, true},
    {T::VCARELEASE, 47, B::continuous, true},
    {T::VCFATTACK, 48, B::continuous, true},
    {T::VCFDECAY, 49, B::continuous, true},
    {T::VCFSUSTAIN, 50, B::continuous, true},
    {T::VCFRELEASE, 51, B::continuous, true},
    {T::DELAYAMOUNT, 52, B::continuous, true},
    {T::DELAYFEEDBACK, 53, B::continuous, true},
    {T::DELAYLEFT, 54, B::continuous, true},
    {T::DELAYRIGHT, 55, B::continuous, true},
    {T::MGRETRIG, 58, B::toggled, false},
    {T::MGAUDIO, 59, B::toggled, false},
    {T::VCKNOB1, 60, B::continuous, true},
    {T::VCKNOB2, 61, B::continuous, true},
    {T::VCKNOB3, 62, B::continuous, true},
    {T::VCKNOB4, 63, B::continuous, true},
    {T::VCKNOB5, 64, B::continuous, true},
    {T::VCKNOB6, 65, B::continuous, true},
    // On/off buttons: the button's own value is the parameter's, which turns it over as
    // a toggle would without losing a click on a button that shows on.
    {T::MGBPMSYNC, 66, B::direct, true},
    {T::DELAYBPMSYNC, 67, B::direct, true},
    {T::TRIGGERBUTTON, 68, B::toggled, false},
    {T::ATTENUATOR1SWITCH, 71, B::toggled, false},
    {T::ATTENUATOR2SWITCH, 72, B::toggled, false},
}};

constexpr std::array<ParameterLamp, 14> lamps{{
    {T::TRIGGERSINGLE, 68, false},
    {T::TRIGGERMULTI, 68, true},
    {T::MGRETRIGLED, 58, true},
    {T::MGAUDIOLED, 59, true},
    {T::MGVCO1LED, 33, true},
    {T::MGVCO2LED, 34, true},
    {T::MGVCFLED, 35, true},
    {T::MGVCALED, 36, true},
    {T::MGPW1LED, 37, true},
    {T::SYNC12LED, 38, true},
    {T::SYNC21LED, 39, true},
    {T::ACCEXTLED, 42, true},
    {T::VCATRIGGERLED, 69, true},
    {T::VCFTRIGGERLED, 70, true},
}};

} // namespace

std::span<const PanelControl> panelBuildOrder() {
    return buildOrder();
}

const std::span<const int> requiredPanelTags = requiredTags;

bool isStickyKnob(int tag) {
    return tag == T::VCFTRACKINGKNOB || tag == T::VCO1FINE || tag == T::VCO2FINE ||
           tag == T::VCKNOB4;
}

int digitCountOf(int tag) {
    return tag == T::PATTERNDIGITS || tag == T::TEMPODIGITS ? 3 : 2;
}

DigitRange digitRangeOf(int tag) {
    switch (tag) {
    case T::PATTERNDIGITS:
        return {0.0f, 127.0f, 0.0f};
    case T::TEMPODIGITS:
        return {25.0f, 500.0f, 120.0f};
    case T::STEPSDIGITS:
        return {1.0f, 64.0f, 16.0f};
    default:
        return {1.0f, 64.0f, 1.0f};
    }
}

std::span<const ParameterBinding> parameterBindings() {
    return bindings;
}

const ParameterBinding* bindingOf(int tag) {
    const auto found = std::find_if(bindings.begin(), bindings.end(),
                                    [tag](const ParameterBinding& b) { return b.tag == tag; });
    return found == bindings.end() ? nullptr : &*found;
}

int mappedTagOf(int parameter) {
    for (const ParameterBinding& binding : bindings)
        if (binding.parameter == parameter && binding.mapped)
            return binding.tag;
    return -1;
}

std::span<const ParameterLamp> parameterLamps() {
    return lamps;
}

const char* filterModeName(int mode) {
    static constexpr const char* names[] = {"TB-303 24dB", "TB-303 18dB",
                                            "18dB/octave", "24dBSO/octave",
                                            "Euler",       "24dBSO/octave 2x oversampled"};
    return mode >= 0 && mode < 6 ? names[mode] : "";
}

} // namespace treskpro
