// Config.ini: the defaults of a start without it, the exact text written, and the reader's
// rules for hand-edited files.
#include "files/ConfigSettings.h"
#include "engine/Parameters.h"
#include "files/TreskproPatch.h"

#include <gtest/gtest.h>

namespace treskpro {
namespace {

TEST(ConfigSettings, DefaultsWithoutAFile) {
    ConfigSettings settings;
    TreskproPatch patch;
    patch.setState(State::RunStop, 1);
    patch.setState(State::FilterMode, 0);
    applyDefaultSettings(settings, patch);
    EXPECT_EQ(settings.maxPolyphony, 6);
    EXPECT_EQ(settings.autoRun, 1);
    EXPECT_EQ(settings.tuningMode, 1);
    EXPECT_EQ(settings.guiKnobMode, 2);
    EXPECT_EQ(patch.getState(State::FilterMode), 3);
    EXPECT_EQ(patch.getState(State::BendRange), 12);
    EXPECT_EQ(patch.getState(State::RunStop), 0);
}

TEST(ConfigSettings, WrittenTextAndRoundTrip) {
    ConfigSettings settings;
    TreskproPatch patch;
    applyDefaultSettings(settings, patch);
    settings.maxPolyphony = 16;
    settings.bassBoost = 0.25f;
    settings.midiOutputChannel = 9;
    settings.tuning = "Werckmeister.scl";
    settings.startupPatch = "Acid\\Line 1.tpro";
    patch.setState(State::MidiMode, 1);
    const std::string text = writeConfigText(settings, patch);
    EXPECT_EQ(text.rfind("; Tresk Pro Configuration\r\nMaxPolyphony = 16\r\nBendRange = 12\r\n", 0),
              0u);
    EXPECT_NE(
        text.find("MidiMode = 1\r\nTuningMode = 1\r\nBassBoost = 0.250000\r\nOscModel = 1\r\n"),
        std::string::npos);
    EXPECT_NE(text.find("ActiveClocks = 44100\r\nGuiKnobMode = 2\r\nMidiOutput = 0\r\n"
                        "MidiOutputChannel = 10\r\nTuning = \"Werckmeister.scl\"\r\n"
                        "StartupPatch = \"Acid\\Line 1.tpro\"\r\n"),
              std::string::npos);

    ConfigSettings read;
    TreskproPatch readPatch;
    readConfigText(read, readPatch, text);
    EXPECT_EQ(writeConfigText(read, readPatch), text);
}

TEST(ConfigSettings, ReaderRules) {
    ConfigSettings settings;
    TreskproPatch patch;
    applyDefaultSettings(settings, patch);
    readConfigText(settings, patch,
                   "; a comment line\n"
                   "  ; another, indented\n"
                   "maxpolyphony = 0x10\n"
                   "BassBoost = 3.5\n"
                   "AccentVelocity = 300\n"
                   "ParameterSmoothing = off\n"
                   "MidiOutputChannel = 0\n"
                   "ActiveClocks = 12\n"
                   "Unknown = 5\n"
                   "OscModel = 010\n"
                   "Tuning = \"" +
                       std::string(300, 't') +
                       "\"\n"
                       "BendRange = 24\n");
    EXPECT_EQ(settings.maxPolyphony, 16);
    EXPECT_EQ(settings.bassBoost, 1.0f);
    EXPECT_EQ(settings.accentVelocity, 127);
    EXPECT_EQ(settings.parameterSmoothing, 0);
    EXPECT_EQ(settings.midiOutputChannel, 0);
    EXPECT_EQ(settings.oscModel, 8); // a leading 0 reads octal
    EXPECT_EQ(settings.tuning, "");  // longer than 255 characters: ignored
    EXPECT_EQ(patch.getState(State::BendRange), 24);
    readConfigText(settings, patch, "Tuning = \"" + std::string(256, 'u') + "\"\n");
    EXPECT_EQ(settings.tuning, "");
    readConfigText(settings, patch, "Tuning = \"" + std::string(255, 'u') + "\"\n");
    EXPECT_EQ(settings.tuning, std::string(255, 'u'));

    readConfigText(settings, patch,
                   "ParameterSmoothing = 0x10\nBassBoost = nan\nMidiOutputChannel = 99\n");
    EXPECT_EQ(settings.parameterSmoothing, 16);
    EXPECT_EQ(settings.bassBoost, 1.0f);
    EXPECT_EQ(settings.midiOutputChannel, 15); // bounded to the 16 MIDI channels
    // The lowest integer (and anything below it, clamped to it on reading) is channel 1.
    for (const char* lowest : {"-2147483648", "-99999999999", "-0x80000000"}) {
        readConfigText(settings, patch, std::string("MidiOutputChannel = ") + lowest + "\n");
        EXPECT_EQ(settings.midiOutputChannel, 0) << lowest;
    }

    // Without blanks around "=" the key swallows its value: the default stays.
    readConfigText(settings, patch, "FilterMode=5\n");
    EXPECT_EQ(patch.getState(State::FilterMode), 3);

    settings.maxPolyphony = 500;
    EXPECT_EQ(settings.polyphony(), 32);
    settings.maxPolyphony = -3;
    EXPECT_EQ(settings.polyphony(), 1);
}

} // namespace
} // namespace treskpro
