// What the panel is made of and what each of its controls means: the controls in the order they
// are built (later ones draw on top), the kind of control each skin tag becomes, and the binding
// of control tags to the plug-in's parameters and lamps. Tables only; the editor acts on them.
#pragma once

#include <span>

namespace treskpro {

enum class ControlKind {
    knob,            // film strip, h / eh frames
    momentary,       // two frames: up, down
    onOff,           // two frames: off, on
    lamp,            // two frames: off, on; takes no input
    rocker,          // three frames: down, rest, up
    fourPosition,    // four frames
    digits,          // ten glyphs
    patchName,       // the patch name field
    invisibleButton, // a momentary button without a picture
    menu,            // a pop-up menu's place
    triplet,         // the triplet button
    keyboard,        // the pitch keyboard
    floatingDisplay, // the value read-out
    indicator,       // the small indicator
    sockets,         // the 42 patch sockets and the socket menu
    cables,          // the 64 patch cables (their plug picture, when the skin has one)
};

struct PanelControl {
    int tag;
    ControlKind kind;
    bool optional = false; // built only when the skin has the tag
};

// Every control of the panel in build order.
std::span<const PanelControl> panelBuildOrder();
// Tags a skin must define for the panel to be built.
extern const std::span<const int> requiredPanelTags;

// Knobs that hold at their centre while StickToValue is on.
bool isStickyKnob(int tag);

int digitCountOf(int tag);
struct DigitRange {
    float minimum;
    float maximum;
    float defaultValue;
};
DigitRange digitRangeOf(int tag);

enum class BindingKind {
    continuous, // the control's value 0..1 is the parameter's
    direct,     // an on/off button or a momentary one: the value passes unchanged
    toggled,    // a press turns the parameter over
    range,      // a press steps the octave range 0, 0.5, 1 and round again
};

struct ParameterBinding {
    int tag;
    int parameter;
    BindingKind kind;
    // The control follows the parameter when the host changes it (the rest show it in lamps).
    bool mapped;
};

std::span<const ParameterBinding> parameterBindings();
const ParameterBinding* bindingOf(int tag);
// The control tag that shows a parameter directly, or -1.
int mappedTagOf(int parameter);

// A lamp lit by a switch parameter: above one half, or (lightAbove false) at or below it.
struct ParameterLamp {
    int tag;
    int parameter;
    bool lightAbove;
};
std::span<const ParameterLamp> parameterLamps();

// The filter model's name as the panel shows it.
const char* filterModeName(int mode);

} // namespace treskpro
