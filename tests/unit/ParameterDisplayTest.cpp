// The texts a host and the panel show for parameter values. Formats, rounding and
// right-alignment are what a user reads, so they are checked to the character.
#include "plugin/ParameterDisplay.h"
#include "engine/Parameters.h"
#include "files/TreskproPatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace treskpro {
namespace {

class ParameterDisplay : public ::testing::Test {
protected:
    std::string show(int index, float value) {
        const DisplayContext context{patch, tempo, 44100.0 * 15.0 / tempo, 44100.0};
        return displayParameter(index, value, context);
    }

    TreskproPatch patch;
    double tempo = 120.0;
};

TEST_F(ParameterDisplay, ContinuousRules) {
    EXPECT_EQ(show(Parameter::MasterTuning, 0.5f), "+0.00 Semitones");
    EXPECT_EQ(show(Parameter::MasterTuning, 1.0f), "+12.00 Semitones");
    EXPECT_EQ(show(Parameter::MasterTuning, 0.0f), "-12.00 Semitones");
    EXPECT_EQ(show(Parameter::Vco1FineTune, 1.0f), "+48.00 Semitones");
    EXPECT_EQ(show(Parameter::FilterCutoff, 0.0f), "   38 Hz");
    EXPECT_EQ(show(Parameter::FilterCutoff, 1.0f), "20377 Hz");
    EXPECT_EQ(show(Parameter::FilterResonance, 0.5f), "50%");
    EXPECT_EQ(show(Parameter::FilterResonance, 0.0f), " 0%");
    EXPECT_EQ(show(Parameter::VcfTracking, 0.5f), "100%");
    EXPECT_EQ(show(Parameter::MasterVolume, 0.5f), "50% (-0.02dB)");
    EXPECT_EQ(show(Parameter::MasterVolume, 1.0f), "100% (+6.00dB)");
    EXPECT_EQ(show(Parameter::MasterVolume, 0.0f), " 0% (-inf dB)");
    EXPECT_EQ(show(Parameter::GlideTime, 0.0f), "   10 ms");
    EXPECT_EQ(show(Parameter::GlideTime, 1.0f), " 1000 ms");
    EXPECT_EQ(show(Parameter::DelayAmount, 0.25f), "25%");
    EXPECT_EQ(show(Parameter::DelayAmount, 0.0f), " 0% (Off)");
}

TEST_F(ParameterDisplay, GateShowsPercentAndLengthWithinTheStep) {
    // 120 BPM: a sixteenth lasts 125 ms, half of it 62.5 ms.
    EXPECT_EQ(show(Parameter::GateTime, 0.5f), "50%,    62 ms");
    tempo = 60.0;
    EXPECT_EQ(show(Parameter::GateTime, 1.0f), "100%,   250 ms");
}

TEST_F(ParameterDisplay, EnvelopeTimesRunFromExpAToFiftyFourSeconds) {
    EXPECT_EQ(show(Parameter::VcaAttack, 0.0f), "  0.1 ms");  // exp(-9) s
    EXPECT_EQ(show(Parameter::VcaDecay, 0.0f), "  0.3 ms");   // exp(-8) s
    EXPECT_EQ(show(Parameter::VcaRelease, 0.0f), "  0.9 ms"); // exp(-7) s
    EXPECT_EQ(show(Parameter::VcfRelease, 1.0f), " 54.6 s");
    EXPECT_EQ(show(Parameter::OutputLagTime, 0.6f), "449.3 ms");  // exp(-3.2 + 2.4) s
    EXPECT_EQ(show(Parameter::EnvFollowAttack, 0.7f), "  1.1 s"); // exp(-2.7 + 2.8) s
}

TEST_F(ParameterDisplay, ListRulesTruncateAndLeaveUnknownEntriesEmpty) {
    EXPECT_EQ(show(Parameter::Vco1Waveform, 0.0f), "Saw");
    EXPECT_EQ(show(Parameter::Vco1Waveform, 0.99f), "Triangle");
    EXPECT_EQ(show(Parameter::Vco1Waveform, 1.0f), "Sine");
    EXPECT_EQ(show(Parameter::Vco2Waveform, 0.5f), "Pulse");
    EXPECT_EQ(show(Parameter::MgWave, 0.75f), "Sample&Hold");
    EXPECT_EQ(show(Parameter::MgWave, 1.0f), "Decay");
    EXPECT_EQ(show(Parameter::Vco1Range, 0.0f), "16'");
    EXPECT_EQ(show(Parameter::Vco1Range, 0.5f), "8'");
    EXPECT_EQ(show(Parameter::Vco2Range, 1.0f), "4'");
    EXPECT_EQ(show(Parameter::Vco1Waveform, 1.5f), "");
    EXPECT_EQ(show(Parameter::Vco1Range, -0.5f), "");
    // Automation beyond 1.0: the first index past each list shows nothing either.
    EXPECT_EQ(show(Parameter::Vco2Waveform, 1.25f), "");
    EXPECT_EQ(show(Parameter::MgWave, 1.25f), "");
    EXPECT_EQ(show(Parameter::Vco2Range, 1.5f), "");
    EXPECT_EQ(show(Parameter::Vco1Waveform, std::numeric_limits<float>::quiet_NaN()), "");
}

TEST_F(ParameterDisplay, ColourBarMovesItsMarkInNineSteps) {
    EXPECT_EQ(show(Parameter::NgColor, 0.5f), "R -[    |    ]- W");
    EXPECT_EQ(show(Parameter::NgColor, 0.0f), "R -[|        ]- W");
    EXPECT_EQ(show(Parameter::NgColor, 1.0f), "R -[        |]- W");
    EXPECT_EQ(show(Parameter::NgColor, 3.0f), "R -[        |]- W");
    EXPECT_EQ(show(Parameter::NgColor, -1.0f), "R -[|        ]- W");
    // Between the marks the nearest one shows: each mark k covers (k - 1/2) / 8 .. (k + 1/2) / 8.
    for (int k = 0; k <= 8; ++k) {
        std::string expected = "R -[         ]- W";
        expected[static_cast<std::size_t>(4 + k)] = '|';
        for (float offset : {-0.06f, -0.03f, 0.03f, 0.06f}) {
            const float v = static_cast<float>(k) / 8.0f + offset;
            if (v >= 0.0f && v <= 1.0f) {
                EXPECT_EQ(show(Parameter::NgColor, v), expected) << v;
            }
        }
    }
    EXPECT_EQ(show(Parameter::NgColor, 0.0625f), "R -[ |       ]- W"); // halfway rounds up
}

TEST_F(ParameterDisplay, SwitchesShowOnAboveHalf) {
    EXPECT_EQ(show(Parameter::MgVcfDest, 0.5f), "Off");
    EXPECT_EQ(show(Parameter::MgVcfDest, 0.51f), "On");
    EXPECT_EQ(show(Parameter::Ring1x2, 1.0f), "On");
}

TEST_F(ParameterDisplay, ModeRulesReadTheStoredValueNotTheShownOne) {
    EXPECT_EQ(show(Parameter::Vco2Mod, 1.0f), "VCO-2 -> VCF");
    patch.setParameter(Parameter::Vco2Mod, 0.1f);
    EXPECT_EQ(show(Parameter::Vco2Mod, 0.0f), "VCO-1 -> VCO-2");

    EXPECT_EQ(show(Parameter::TriggerMode, 1.0f), "Single");
    patch.setParameter(Parameter::TriggerMode, 0.5f);
    EXPECT_EQ(show(Parameter::TriggerMode, 0.0f), "Multi");

    EXPECT_EQ(show(Parameter::VegTriggerSource, 1.0f), "Midi");
    patch.setParameter(Parameter::MegTriggerSource, 0.6f);
    EXPECT_EQ(show(Parameter::MegTriggerSource, 0.0f), "Sequencer");
    EXPECT_EQ(show(Parameter::VegTriggerSource, 1.0f), "Midi");

    patch.setParameter(Parameter::Inverter2Mode, 1.0f);
    EXPECT_EQ(show(Parameter::Inverter1Mode, 1.0f), "Inverter");
    EXPECT_EQ(show(Parameter::Inverter2Mode, 0.0f), "Voltage Converter");
}

TEST_F(ParameterDisplay, MgRateFreeAndTempoSynced) {
    EXPECT_EQ(show(Parameter::MgFrequency, 0.5f), "12.80 Hz");
    EXPECT_EQ(show(Parameter::MgFrequency, 0.0f), "0.10 Hz");
    patch.setParameter(Parameter::MgBpmSync, 1.0f);
    EXPECT_EQ(show(Parameter::MgFrequency, 0.5f), "Bpm*1.0 (2.00 Hz)");
    EXPECT_EQ(show(Parameter::MgFrequency, 1.0f), "Bpm*8.0 (16.00 Hz)");
    EXPECT_EQ(show(Parameter::MgFrequency, 0.0f), "Bpm/8.0 (0.25 Hz)");
    // The patch-wide sync state forces the tempo form too.
    patch.setParameter(Parameter::MgBpmSync, 0.0f);
    patch.setState(State::DelaySync, 1);
    EXPECT_EQ(show(Parameter::MgFrequency, 0.3f), "Bpm/4.0 (0.50 Hz)"); // trunc(4.2) = 4
}

TEST_F(ParameterDisplay, DelayTimeFreeAndTempoSynced) {
    EXPECT_EQ(show(Parameter::DelayLeft, 0.0f), "   15 ms");
    EXPECT_EQ(show(Parameter::DelayLeft, 1.0f), " 1486 ms");
    patch.setParameter(Parameter::DelayBpmSync, 1.0f);
    EXPECT_EQ(show(Parameter::DelayLeft, 0.0f), "Bpm / 8.00");
    EXPECT_EQ(show(Parameter::DelayLeft, 0.5f), "Bpm");
    EXPECT_EQ(show(Parameter::DelayRight, 1.0f), "Bpm * 8.00");
    EXPECT_EQ(show(Parameter::DelayRight, 0.45f), "Bpm / 2.00");
    // A value beyond 1.0 from automation stays on the table's last ratio.
    EXPECT_EQ(show(Parameter::DelayRight, 7.0f), "Bpm * 8.00");
}

// Every parameter shows the text of its own kind: a parameter given another's rule shows a
// plausible but wrong text, so each is checked at a value that tells the rules apart.
TEST_F(ParameterDisplay, EveryParameterShowsItsOwnKindOfText) {
    const struct {
        std::vector<int> parameters;
        float value;
        const char* text;
    } kinds[] = {
        {{2, 3, 5, 6, 7, 13, 14, 18, 19, 25, 26, 27, 28, 31, 41, 46, 50, 53, 62, 63, 64},
         0.0f,
         " 0%"},
        {{2, 3, 5, 6, 7, 13, 14, 18, 19, 25, 26, 27, 28, 31, 41, 46, 50, 53, 62, 63, 64},
         0.5f,
         "50%"},
        {{4}, 0.5f, "100%"},
        {{0}, 0.0f, "-12.00 Semitones"},
        {{15, 20}, 0.0f, "-48.00 Semitones"},
        {{1}, 0.0f, "   38 Hz"},
        {{8}, 0.0f, " 0% (-inf dB)"},
        {{9, 11, 56, 57}, 0.5f, "N/A"},
        {{10}, 0.5f, "VCO-2 -> VCF"},
        {{12, 17}, 0.5f, "Pulse"},
        {{29}, 0.5f, "Triangle"},
        {{16, 21}, 0.5f, "8'"},
        {{22}, 0.0f, "R -[|        ]- W"},
        {{23}, 0.0f, "   10 ms"},
        {{24}, 0.0f, " 0%,     0 ms"},
        {{44, 48, 60}, 0.0f, "  0.1 ms"},
        {{40, 45, 49, 61, 65}, 0.0f, "  0.3 ms"},
        {{47, 51}, 0.0f, "  0.9 ms"},
        {{32, 33, 34, 35, 36, 37, 38, 39, 42, 43, 58, 59, 66, 67}, 0.6f, "On"},
        {{32, 33, 34, 35, 36, 37, 38, 39, 42, 43, 58, 59, 66, 67}, 0.5f, "Off"},
        {{52}, 0.0f, " 0% (Off)"},
        {{30}, 0.0f, "0.10 Hz"},
        {{54, 55}, 0.0f, "   15 ms"},
        {{68}, 1.0f, "Single"},
        {{69, 70}, 1.0f, "Midi"},
        {{71, 72}, 1.0f, "Inverter"},
    };
    std::vector<int> checked;
    for (const auto& kind : kinds) {
        for (int parameter : kind.parameters) {
            EXPECT_EQ(show(parameter, kind.value), kind.text) << "parameter " << parameter;
            checked.push_back(parameter);
        }
    }
    std::sort(checked.begin(), checked.end());
    checked.erase(std::unique(checked.begin(), checked.end()), checked.end());
    EXPECT_EQ(checked.size(), static_cast<std::size_t>(Parameter::count));
}

TEST_F(ParameterDisplay, ParametersWithoutTextAndIndexesOutsideTheTable) {
    EXPECT_EQ(show(Parameter::Tempo, 0.4f), "N/A");
    EXPECT_EQ(show(Parameter::Reserved, 0.4f), "N/A");
    EXPECT_EQ(show(Parameter::Vco2Shape, 0.4f), "N/A");
    EXPECT_EQ(show(73, 0.5f), "N/A");
    EXPECT_EQ(show(-1, 0.5f), "N/A");
    EXPECT_EQ(show(100000, 0.5f), "N/A");
}

} // namespace
} // namespace treskpro
