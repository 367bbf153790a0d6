// The MIDI controller map: defaults, map files written and read by people, and MIDI learn.
#include "files/ControllerMap.h"
#include "engine/Parameters.h"

#include <gtest/gtest.h>

#include <map>

namespace treskpro {
namespace {

int lineCount(const std::string& text, const std::string& needle) {
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + 1))
        ++count;
    return count;
}

TEST(ControllerMap, DefaultsAndTheWrittenFile) {
    // Without MidiCC.ini these eleven controllers move parameters, and no other does.
    const std::map<int, int> defaults = {
        {7, Parameter::MasterVolume},     {70, Parameter::Vco2Mod},
        {71, Parameter::MasterTuning},    {74, Parameter::FilterCutoff},
        {76, Parameter::FilterResonance}, {77, Parameter::EnvelopeMod},
        {78, Parameter::VcfTracking},     {79, Parameter::AccentAmount},
        {80, Parameter::Reserved},        {91, Parameter::VcoShaper},
        {92, Parameter::VcoBoost}};
    ControllerMap map;
    for (int controller = 0; controller < ControllerMap::controllerCount; ++controller) {
        const auto found = defaults.find(controller);
        EXPECT_EQ(map.parameterFor(controller), found == defaults.end() ? -1 : found->second)
            << "controller " << controller;
    }
    EXPECT_EQ(map.findController(Parameter::VcoBoost), 92);
    const std::string text = map.writeText();
    EXPECT_EQ(text.rfind(";Value of -1 means not assigned\r\nMidiCC.Master_Tuning = 71\r\n", 0),
              0u);
    EXPECT_NE(text.find("MidiCC.VCO-1&2_Shaper = 91\r\n"), std::string::npos);
    EXPECT_EQ(lineCount(text, "\r\n"), 74);
    EXPECT_EQ(lineCount(text, " = -1\r\n"), 62); // 73 lines, eleven of them assigned
}

TEST(ControllerMap, FilesChangeOnlyWhatTheyName) {
    ControllerMap map;
    map.readText("; my map\r\n"
                 "MidiCC.Filter_Cutoff = 20\r\n"
                 "MidiCC.Master_Tuning = 0\r\n"
                 "MidiCC.Inverter_2_Mode = 127\r\n"
                 "midicc.vco-1_level = 0x15\r\n"
                 "MidiCC.Master_Volume = -1\r\n"
                 "MidiCC.Output_Variable = 30\r\n"
                 "MidiCC.No_Such_Knob = 40\r\n"
                 "MidiCC.Envelope_Mod = 300\r\n");
    EXPECT_EQ(map.parameterFor(20), Parameter::FilterCutoff);
    EXPECT_EQ(map.parameterFor(74), -1); // released
    EXPECT_EQ(map.parameterFor(21), Parameter::Vco1Level);
    EXPECT_EQ(map.findController(Parameter::MasterVolume), -1);
    // Two parameters share the name "Output Variable": the first line addresses the first.
    EXPECT_EQ(map.parameterFor(30), Parameter::OutputVariable1);
    EXPECT_EQ(map.parameterFor(40), -1);
    EXPECT_EQ(map.findController(Parameter::EnvelopeMod), 77); // 300 is no controller
    EXPECT_EQ(map.parameterFor(76), Parameter::FilterResonance);
    // The first and the last parameter and controller of the table are assignable too.
    EXPECT_EQ(map.parameterFor(0), Parameter::MasterTuning);
    EXPECT_EQ(map.parameterFor(71), -1);
    EXPECT_EQ(map.parameterFor(127), Parameter::Inverter2Mode);

    // A second line of that name addresses the second, so a written map reads back whole.
    map.assignController(31, Parameter::OutputVariable2);
    ControllerMap copy;
    copy.readText(map.writeText());
    EXPECT_EQ(copy.parameterFor(30), Parameter::OutputVariable1);
    EXPECT_EQ(copy.parameterFor(31), Parameter::OutputVariable2);
    EXPECT_EQ(copy.writeText(), map.writeText());

    // A later line for the same parameter wins, as for every other setting; a map written
    // twice into one file reads as the second.
    ControllerMap twice;
    twice.readText("MidiCC.Filter_Cutoff = 20\r\nMidiCC.Filter_Cutoff = 21\r\n" + copy.writeText() +
                   "MidiCC.Output_Variable = 40\r\n"
                   "MidiCC.Output_Variable = 41\r\n"
                   "MidiCC.Filter_Cutoff = 22\r\n");
    EXPECT_EQ(twice.findController(Parameter::FilterCutoff), 22);
    EXPECT_EQ(twice.findController(Parameter::OutputVariable1), 40);
    EXPECT_EQ(twice.findController(Parameter::OutputVariable2), 41);
    EXPECT_EQ(twice.findController(Parameter::Vco1Level), 21);
}

TEST(ControllerMap, ValuesAndLearning) {
    EXPECT_EQ(controllerValue(64), 0.5f);
    EXPECT_EQ(controllerValue(127), 1.0f);
    EXPECT_EQ(controllerValue(0), 0.0f);

    ControllerMap map;
    auto change = map.controlChange(74, 127);
    ASSERT_TRUE(change.has_value());
    EXPECT_EQ(change->parameter, Parameter::FilterCutoff);
    EXPECT_FALSE(map.controlChange(3, 10).has_value());

    // Learning without a touched control drives parameters through the map as usual.
    map.toggleLearn();
    EXPECT_TRUE(map.learnMode());
    EXPECT_EQ(map.controlChange(74, 64)->parameter, Parameter::FilterCutoff);

    map.setLearnTarget(Parameter::DelayFeedback);
    change = map.controlChange(16, 64);
    EXPECT_EQ(change->parameter, Parameter::DelayFeedback);
    EXPECT_EQ(change->value, 0.5f);
    // Another controller re-binds the same target and releases the first.
    map.controlChange(17, 1);
    EXPECT_EQ(map.parameterFor(17), Parameter::DelayFeedback);
    EXPECT_EQ(map.parameterFor(16), -1);

    map.toggleLearn(); // off, the target forgotten
    EXPECT_FALSE(map.learnMode());
    EXPECT_EQ(map.learnTarget(), -1);
    EXPECT_EQ(map.controlChange(17, 0)->parameter, Parameter::DelayFeedback);
    map.setLearnTarget(5000); // a target outside the table learns nothing
    map.toggleLearn();
    map.setLearnTarget(5000);
    EXPECT_FALSE(map.controlChange(18, 0).has_value());
}

TEST(ControllerMap, Names) {
    EXPECT_STREQ(ControllerMap::controllerName(74), "Cut-off");
    EXPECT_STREQ(ControllerMap::controllerName(3), "#3");
    EXPECT_STREQ(ControllerMap::controllerName(84), "Porta ");
    EXPECT_STREQ(ControllerMap::controllerName(127), "Poly ON");
    EXPECT_EQ(ControllerMap::controllerName(128), nullptr);
    EXPECT_EQ(ControllerMap::controllerName(-1), nullptr);
}

} // namespace
} // namespace treskpro
