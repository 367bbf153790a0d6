// Which MIDI controller drives which parameter: 128 entries, controller number to parameter
// index or -1. Global to the instance, not part of patches; read from MidiCC.ini at start-up,
// exchangeable as .map files, and changed by MIDI learn.
//
// The editor thread loads maps; the audio thread learns and reads. Entries are single 16-bit
// words written whole.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace treskpro {

class ControllerMap {
public:
    static constexpr int controllerCount = 128;

    // A new map holds the default assignments (volume on 7, cutoff on 74, ...).
    ControllerMap();

    // Gives `parameter` to `controller`, releasing the parameter's previous controller. A
    // controller of -1 only releases; other controllers outside 0..127 and parameters outside
    // the table are ignored.
    void assignController(int controller, int parameter);

    // The lowest controller driving `parameter`, or -1.
    int findController(int parameter) const;

    // The parameter `controller` drives, or -1.
    int parameterFor(int controller) const;

    // The display name of a controller ("Cut-off", "#3"), or null outside 0..127.
    static const char* controllerName(int controller);

    // The text of a .map file, CR LF line ends: a comment, then one line per parameter.
    std::string writeText() const;
    // Reads .map text; only the parameters it names change.
    void readText(std::string_view text);

    // MidiCC.ini and the .map files the editor loads and saves. Reading a file that does not
    // open changes nothing; writing goes through a temporary file, so a failed save keeps the
    // old map file.
    void readFile(const std::string& path);
    bool writeFile(const std::string& path) const;

    // A control change (controller and value 0..127) as the map turns it into a parameter
    // value: learns the controller for the learn target while learning. Nothing for a
    // controller that drives no parameter. Audio thread.
    struct ParameterChange {
        int parameter;
        float value;
    };
    std::optional<ParameterChange> controlChange(int controller, int value);

    // MIDI learn: the editor's command toggles it and forgets the target; moving a control
    // makes its parameter the target.
    void toggleLearn();
    bool learnMode() const { return learning.load(std::memory_order_relaxed); }
    void setLearnTarget(int parameter) { target.store(parameter, std::memory_order_relaxed); }
    int learnTarget() const { return target.load(std::memory_order_relaxed); }

private:
    std::array<std::int16_t, controllerCount> entries{};
    std::atomic<bool> learning{false};
    std::atomic<int> target{-1};
};

// A controller value as a parameter value: v / 127, with 64 exactly the middle.
float controllerValue(int value);

} // namespace treskpro
