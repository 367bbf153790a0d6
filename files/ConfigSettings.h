// The global settings of Config.ini: what is not part of a patch. Five keys of the file
// ("BendRange", "Retrigger", "FilterMode", "SyncMode", "MidiMode") are states of the current
// patch instead: reading them sets the patch's states and writing them writes the patch's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace treskpro {

struct TreskproPatch;

struct ConfigSettings {
    int maxPolyphony = 6;
    int autoRun = 1;
    int tuningMode = 1; // 1 standard tuning, 0 the custom tuning table
    float bassBoost = 0.0f;
    int oscModel = 1; // non-zero: band-limited wavetable oscillators
    int clearNotes = 1;
    int accentVelocity = 100;
    std::int32_t parameterSmoothing = 1048575;
    int clockSync = 0;
    int guiKnobMode = 2;
    int midiOutput = 0;
    int midiOutputChannel = 0; // zero-based; the file counts from 1
    std::string tuning;        // tuning file to load, at most 255 characters
    std::string startupPatch;  // relative to the patch folder

    static constexpr std::size_t tuningNameLimit = 255;

    // The number of voices polyphonic play may use, bounded to the voices that exist.
    int polyphony() const;
};

// Sets the settings and the patch's states to the values a start without Config.ini gets.
void applyDefaultSettings(ConfigSettings& settings, TreskproPatch& patch);

// The text of Config.ini, CR LF line ends.
std::string writeConfigText(const ConfigSettings& settings, const TreskproPatch& patch);

// Reads Config.ini text: blanks skipped, ";" comments, keys without regard to case, unknown
// keys ignored; the reading stops where the text stops making sense, keeping what it read.
void readConfigText(ConfigSettings& settings, TreskproPatch& patch, std::string_view text);

} // namespace treskpro
