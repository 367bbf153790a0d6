// The instrument as a host plays it: the real plug-in binaries, loaded from a folder of their own
// that holds their wavetable data and settings, fed time-stamped MIDI and processed block by
// block into our own buffers. Sounds come from patches restored through the host chunk, as a
// project brings them back. Everything is judged on the rendered audio: onsets and gate ends to
// the sample, pitch in cents, and renders compared for identity.
//
// Two sounds serve as probes. A steady level on both audio inputs, passed through the auxiliary
// input with the oscillators silent and the filter open, turns the amplitude envelope into a
// clean step: a trigger lifts the output from silence on its very sample and a falling gate
// lowers it on its very sample, so step lengths and gate times are read exactly. A sine
// oscillator through the open filter gives the pitch by interpolated zero crossings.
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "files/PatchFile.h"
#include "files/TreskproPatch.h"
#include "platform/Platform.h"
#include "plugin/HostChunk.h"
#include "tools/render/MidiEventList.h"
#include "tools/render/PluginHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace treskpro {
namespace {

using namespace vst;

using platform::pluginSuffix;

constexpr float sampleRate = 44100.0f;
constexpr int blockSize = 512;
// Samples in one sixteenth note at the initial 120 BPM.
constexpr double stepSamples = 5512.5;

// A plug-in folder of its own: both builds, the oscillators' wavetable data beside them and a
// Config.ini of `config`.
std::filesystem::path installFolder(const std::string& name, const std::string& config) {
    namespace fs = std::filesystem;
    const fs::path bundle = fs::path(platform::executableDirectory()) / ".." / "bundle";
    const fs::path path = fs::path(testing::TempDir()) / name;
    fs::remove_all(path);
    fs::create_directories(path);
    for (const char* file : {"Treskpro", "TreskproFX"}) {
        const std::string plugin = std::string(file) + pluginSuffix;
        fs::copy_file(bundle / plugin, path / plugin);
    }
    fs::copy(bundle / "Tresk Pro Data", path / "Tresk Pro Data", fs::copy_options::recursive);
    std::ofstream(path / "Config.ini", std::ios::binary) << config;
    return path;
}

// The installed plug-in folder of most tests, with a Config.ini that names the polyphony the
// tests rely on.
std::string pluginPath(const std::string& name) {
    static const std::filesystem::path folder =
        installFolder("treskpro-instrument", "MaxPolyphony = 6\r\n");
    return (folder / (name + pluginSuffix)).string();
}

struct Midi {
    int frame; // from the start of the render call
    int status;
    int data1;
    int data2;
};

Midi noteOn(int frame, int note, int velocity = 100) {
    return {frame, 0x90, note, velocity};
}
Midi noteOff(int frame, int note) {
    return {frame, 0x80, note, 0};
}
Midi controller(int frame, int number, int value) {
    return {frame, 0xB0, number, value};
}

// One plug-in instance driven as a host drives it; every rendered sample of the left output is
// kept in `recorded`, of the right output in `recordedRight`.
class Instrument {
public:
    // `file` is a build's name in the common folder or the path of a plug-in binary.
    [[nodiscard]] bool open(const std::string& file, const TreskproPatch& patch) {
        std::string error;
        const bool path = file.find_first_of("/\\") != std::string::npos;
        if (!host.load(path ? file : pluginPath(file), error)) {
            ADD_FAILURE() << error;
            return false;
        }
        host.dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
        host.dispatch(effSetBlockSize, 0, blockSize);
        host.dispatch(effMainsChanged, 0, 1);
        restore(patch);
        return true;
    }

    // Restores a patch through the chunk, then lets the smoothed values (cutoff, volume) arrive
    // at the patch's settings before anything is measured: a restored chunk does not make them
    // jump.
    void restore(const TreskproPatch& patch) {
        static ChunkBuffer chunk;
        writeChunk(patch, "", chunk);
        host.dispatch(effSetChunk, 0, static_cast<intptr>(chunk.size()), chunk.data());
        render(16384);
        recorded.clear();
        recordedRight.clear();
    }

    TreskproPatch state() const {
        void* data = nullptr;
        const intptr size = host.dispatch(effGetChunk, 0, 0, &data);
        TreskproPatch patch;
        std::string path;
        if (size > 0 && data)
            readChunk(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size), patch,
                      path);
        return patch;
    }

    // Renders `frames` samples in host blocks of `block`, each event delivered with the block
    // that contains it.
    void render(int frames, const std::vector<Midi>& events = {}, int block = blockSize) {
        for (int start = 0; start < frames; start += block) {
            const int count = std::min(block, frames - start);
            std::vector<Midi> inBlock;
            for (const Midi& event : events) {
                if (event.frame >= start && event.frame < start + count)
                    inBlock.push_back(
                        {event.frame - start, event.status, event.data1, event.data2});
            }
            processBlock(count, inBlock);
        }
    }

    // One host block: the events exactly in the given order, then processReplacing.
    void processBlock(int frames, const std::vector<Midi>& events) {
        if (!events.empty()) {
            MidiEventList list(events.size());
            for (const Midi& event : events)
                list.add(event.frame, event.status, event.data1, event.data2);
            host.dispatch(effProcessEvents, 0, 0, list.record());
        }
        std::vector<float> inLeft(static_cast<std::size_t>(frames), input);
        std::vector<float> inRight(inLeft);
        // Whatever the host's buffers held is replaced.
        std::vector<float> left(static_cast<std::size_t>(frames), 1234.0f);
        std::vector<float> right(left);
        float* inputs[] = {inLeft.data(), inRight.data()};
        float* outputs[] = {left.data(), right.data()};
        host.effect()->processReplacing(host.effect(), inputs, outputs, frames);
        for (int i = 0; i < frames; ++i) {
            const std::size_t k = static_cast<std::size_t>(i);
            if (!std::isfinite(left[k]) || !std::isfinite(right[k]) ||
                (channelsAlike && left[k] != right[k])) {
                ADD_FAILURE() << "sample " << recorded.size() + k << ": " << left[k] << " "
                              << right[k];
                break;
            }
        }
        recorded.insert(recorded.end(), left.begin(), left.end());
        recordedRight.insert(recordedRight.end(), right.begin(), right.end());
    }

    void suspendAndResume() {
        host.dispatch(effMainsChanged, 0, 0);
        host.dispatch(effMainsChanged, 0, 1);
    }

    float parameter(int index) { return host.effect()->getParameter(host.effect(), index); }

    PluginHost host;
    std::vector<float> recorded;
    std::vector<float> recordedRight;
    float input = 0.0f; // the level on both audio inputs
    // Both outputs carry the same voice signal; only the delay makes them differ.
    bool channelsAlike = true;
};

// A quiet sound with a plain amplitude envelope: no oscillator, the filter wide open and
// unmodulated, instant attack, full sustain, the shortest release, gate time 0.5. The sequencer
// follows the host's tempo, exactly 120 BPM (the "Tempo" parameter's 0.42222223 is 120.0000017).
TreskproPatch basePatch(int midiMode) {
    TreskproPatch patch;
    patch.setState(State::MidiMode, midiMode);
    patch.setState(State::SyncMode, 1);
    patch.setState(State::BendRange, 2);
    const std::pair<int, float> values[] = {
        {Parameter::FilterCutoff, 1.0f}, {Parameter::FilterResonance, 0.0f},
        {Parameter::EnvelopeMod, 0.0f},  {Parameter::MasterVolume, 1.0f},
        {Parameter::Vco1Level, 0.0f},    {Parameter::GlideTime, 0.0f},
        {Parameter::VcaAttack, 0.0f},    {Parameter::VcaDecay, 0.5f},
        {Parameter::VcaSustain, 1.0f},   {Parameter::VcaRelease, 0.0f},
        {Parameter::VcfAttack, 0.0f},    {Parameter::VcfDecay, 0.5f},
        {Parameter::VcfSustain, 1.0f},   {Parameter::AccentDecay, 0.5f},
        {Parameter::GateTime, 0.5f},
    };
    for (const auto& [index, value] : values)
        patch.setParameter(index, value);
    return patch;
}

// The host's inputs through the auxiliary input: with a steady input level the output follows
// the amplitude envelope alone.
TreskproPatch steadyPatch(int midiMode) {
    TreskproPatch patch = basePatch(midiMode);
    patch.setState(State::AuxInput, 1);
    patch.setParameter(Parameter::AuxLevel, 0.5f);
    return patch;
}

TreskproPatch sinePatch(int midiMode) {
    TreskproPatch patch = basePatch(midiMode);
    patch.setParameter(Parameter::Vco1Level, 1.0f);
    patch.setParameter(Parameter::Vco1Waveform, 1.0f); // trunc(4 x 1.0) = 4: sine
    return patch;
}

TreskproPatch polyPatch() {
    TreskproPatch patch = sinePatch(1);
    patch.setState(State::NoteMode, 1);
    patch.setParameter(Parameter::Vco1Level, 0.3f);
    return patch;
}

void setSteps(PatternRecord& pattern, std::initializer_list<PatternStep> steps) {
    pattern.length = static_cast<std::uint8_t>(steps.size());
    std::copy(steps.begin(), steps.end(), pattern.steps);
}

PatternRecord everyStepPlays(std::uint8_t prescale = 0, bool triplet = false) {
    PatternRecord pattern = PatternRecord::fresh();
    for (PatternStep& step : pattern.steps)
        step = {0, StepFlags::gate};
    pattern.prescale = prescale;
    pattern.patternFlags = triplet ? PatternRecord::tripletFlag : 0;
    return pattern;
}

// Where the output of the steady-input sound rises out of silence (a trigger or a note-on) and
// where it leaves its plateau (a falling gate).
struct Edges {
    std::vector<int> onsets;
    std::vector<int> gateEnds;
};

Edges findEdges(const std::vector<float>& x) {
    float peak = 0.0f;
    for (float v : x)
        peak = std::max(peak, std::fabs(v));
    const float silent = 1e-3f * peak;
    const float plateau = (1.0f - 1e-3f) * peak;
    Edges edges;
    // Every render begins in silence.
    for (std::size_t i = 0; i < x.size(); ++i) {
        const float before = i > 0 ? std::fabs(x[i - 1]) : 0.0f;
        const float now = std::fabs(x[i]);
        if (before <= silent && now > silent)
            edges.onsets.push_back(static_cast<int>(i));
        if (before >= plateau && now < plateau)
            edges.gateEnds.push_back(static_cast<int>(i));
    }
    return edges;
}

// The first sample of the note that starts `steps` exact step lengths after a note that began
// on sample 0: the clock carries the fraction, so the note begins on the first sample past the
// exact time.
int noteStart(double exact) {
    return exact <= 0.0 ? 0 : static_cast<int>(std::floor(exact)) + 1;
}

// Upward zero crossings, interpolated between samples.
std::vector<double> crossings(const std::vector<float>& x, int from, int to) {
    std::vector<double> found;
    for (int i = std::max(from, 1); i < to; ++i) {
        const double a = x[static_cast<std::size_t>(i - 1)];
        const double b = x[static_cast<std::size_t>(i)];
        if (a < 0.0 && b >= 0.0)
            found.push_back(i - 1 + a / (a - b));
    }
    return found;
}

// Mean frequency over whole cycles between `from` and `to`. An even number of cycles is taken:
// the oscillators run alternate cycles a little fast and slow.
double frequency(const std::vector<float>& x, int from, int to) {
    std::vector<double> at = crossings(x, from, to);
    if (at.size() < 3)
        return 0.0;
    if ((at.size() - 1) % 2 != 0)
        at.pop_back();
    return static_cast<double>(at.size() - 1) * sampleRate / (at.back() - at.front());
}

double noteFrequency(double note) {
    return 440.0 * std::exp2((note - 69.0) / 12.0);
}

double cents(double measured, double expected) {
    return 1200.0 * std::log2(measured / expected);
}

double rms(const std::vector<float>& x, int from, int to) {
    double sum = 0.0;
    for (int i = from; i < to; ++i)
        sum += double(x[static_cast<std::size_t>(i)]) * x[static_cast<std::size_t>(i)];
    return std::sqrt(sum / (to - from));
}

// The level of the first difference against the level of the signal: rises with the share of
// high frequencies.
double brightness(const std::vector<float>& x, int from, int to) {
    double difference = 0.0;
    for (int i = from + 1; i < to; ++i) {
        const double d =
            double(x[static_cast<std::size_t>(i)]) - x[static_cast<std::size_t>(i - 1)];
        difference += d * d;
    }
    return std::sqrt(difference / (to - from - 1)) / rms(x, from, to);
}

bool silentFrom(const std::vector<float>& x, std::size_t from) {
    return std::all_of(x.begin() + static_cast<std::ptrdiff_t>(from), x.end(),
                       [](float v) { return v == 0.0f; });
}

// --- Block processing ---------------------------------------------------------------------

TEST(InstrumentBlocks, SlicesEndAtTheTimeStampsAndEqualStampsKeepTheHostsOrder) {
    // Note-on at 0; at 100 a note-off and a note-on of the same key, in that order: the note
    // ends and starts again on sample 100.
    const std::vector<Midi> events = {noteOn(0, 60), noteOff(100, 60), noteOn(100, 60)};
    Instrument whole, split, swapped;
    for (Instrument* instrument : {&whole, &split, &swapped}) {
        instrument->input = 0.25f;
        ASSERT_TRUE(instrument->open("Treskpro", steadyPatch(1)));
    }
    whole.render(512, events);
    // The same slices from two host blocks that end at the time stamp: the same samples.
    split.processBlock(100, {events[0]});
    split.processBlock(412, {noteOff(0, 60), noteOn(0, 60)});
    ASSERT_EQ(whole.recorded, split.recorded);

    const std::vector<float>& x = whole.recorded;
    const Edges edges = findEdges(x);
    ASSERT_EQ(edges.onsets, std::vector<int>{0});
    EXPECT_LT(std::fabs(x[100]), 0.95f * std::fabs(x[99])); // restarted from level 0
    EXPECT_GT(std::fabs(x[511]), 0.99f * std::fabs(x[99]));

    // In the other order the second note-on meets a held key and the note-off then ends it.
    swapped.render(512, {noteOn(0, 60), noteOn(100, 60), noteOff(100, 60)});
    EXPECT_LT(std::fabs(swapped.recorded[511]), 1e-3f * std::fabs(x[99]));
}

TEST(InstrumentBlocks, OnlyTheHostsFirst64EventsOfABlockCount) {
    // 64 harmless pressure messages late in the block, then a note-on early in the block as the
    // 65th event: it is cut before the events are put in time order.
    auto pressureRun = [](int count) {
        std::vector<Midi> events;
        for (int k = 0; k < count; ++k)
            events.push_back({200 + k, 0xD0, 0, 0});
        return events;
    };
    Instrument overfull, full;
    for (Instrument* instrument : {&overfull, &full}) {
        instrument->input = 0.25f;
        ASSERT_TRUE(instrument->open("Treskpro", steadyPatch(1)));
    }
    std::vector<Midi> seventy = pressureRun(64);
    seventy.push_back(noteOn(10, 60));
    for (int k = 0; k < 5; ++k)
        seventy.push_back({300 + k, 0xD0, 0, 0});
    overfull.processBlock(512, seventy);
    overfull.processBlock(512, {});
    EXPECT_TRUE(silentFrom(overfull.recorded, 0)) << "a dropped note-on played";

    std::vector<Midi> sixtyFour = pressureRun(63);
    sixtyFour.push_back(noteOn(10, 60));
    full.processBlock(512, sixtyFour);
    EXPECT_EQ(findEdges(full.recorded).onsets, std::vector<int>{10});
}

// --- Pattern mode -------------------------------------------------------------------------

struct Build {
    const char* file;
    bool isEffect;
};

class PatternNotes : public ::testing::TestWithParam<Build> {};

TEST_P(PatternNotes, NotesSelectRestartAndStopPatterns) {
    TreskproPatch patch = steadyPatch(0);
    patch.patterns[5] = everyStepPlays();
    patch.patterns[9] = everyStepPlays();
    Instrument instrument;
    instrument.input = 0.25f;
    ASSERT_TRUE(instrument.open(GetParam().file, patch));

    // Each event falls where the gate of the playing step is already closed, so every restart
    // shows as an onset of its own.
    const int pressFive = 1000;
    const int pressNine = pressFive + noteStart(2 * stepSamples) + 4000;
    const int releaseNine = pressNine + noteStart(stepSamples) + 4000;
    const int releaseFive = pressNine + noteStart(2 * stepSamples) + 4000;
    const int end = releaseFive + 12000;

    instrument.render(pressFive);
    instrument.render(pressNine - pressFive, {noteOn(0, 5)});
    TreskproPatch now = instrument.state();
    EXPECT_EQ(now.getState(State::CurrentPattern), 5);
    EXPECT_EQ(now.getState(State::RunStop), 1);
    instrument.render(releaseNine - pressNine, {noteOn(0, 9)});
    EXPECT_EQ(instrument.state().getState(State::CurrentPattern), 9);
    instrument.render(releaseFive - releaseNine, {noteOff(0, 9)});
    now = instrument.state();
    EXPECT_EQ(now.getState(State::CurrentPattern), 5); // back to the highest held note
    EXPECT_EQ(now.getState(State::RunStop), 1);
    instrument.render(end - releaseFive, {noteOff(0, 5)});
    // The instrument stops with the last key; the effect keeps playing with the host's audio.
    EXPECT_EQ(instrument.state().getState(State::RunStop), GetParam().isEffect ? 1 : 0);

    std::vector<int> expected;
    for (int k = 0; pressFive + noteStart(k * stepSamples) < pressNine; ++k)
        expected.push_back(pressFive + noteStart(k * stepSamples));
    // Releasing 9 switches back to pattern 5 without a restart: the clock goes on from 9's.
    const int last = GetParam().isEffect ? end : releaseFive;
    for (int k = 0; pressNine + noteStart(k * stepSamples) < last; ++k)
        expected.push_back(pressNine + noteStart(k * stepSamples));
    EXPECT_EQ(findEdges(instrument.recorded).onsets, expected);
    if (!GetParam().isEffect) {
        EXPECT_TRUE(silentFrom(instrument.recorded, static_cast<std::size_t>(releaseFive + 4000)));
    }
}

TEST_P(PatternNotes, PatternLockKeepsThePatternButStillStartsAndSuspendStopsOnlyTheInstrument) {
    TreskproPatch patch = steadyPatch(0);
    patch.setState(State::PatternLock, 1);
    patch.setState(State::CurrentPattern, 2);
    patch.patterns[2] = everyStepPlays();
    Instrument instrument;
    instrument.input = 0.25f;
    ASSERT_TRUE(instrument.open(GetParam().file, patch));

    instrument.render(7000, {noteOn(500, 5)});
    TreskproPatch now = instrument.state();
    EXPECT_EQ(now.getState(State::CurrentPattern), 2);
    EXPECT_EQ(now.getState(State::RunStop), 1);

    instrument.suspendAndResume();
    EXPECT_EQ(instrument.state().getState(State::RunStop), GetParam().isEffect ? 1 : 0);
    instrument.render(12000);
    std::vector<int> expected = {500, 500 + noteStart(stepSamples)};
    if (GetParam().isEffect) {
        // The sequencer was left where it was and goes on.
        expected.push_back(500 + noteStart(2 * stepSamples));
        expected.push_back(500 + noteStart(3 * stepSamples));
    }
    EXPECT_EQ(findEdges(instrument.recorded).onsets, expected);
    if (!GetParam().isEffect) {
        EXPECT_TRUE(silentFrom(instrument.recorded, 7000));
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, PatternNotes,
                         ::testing::Values(Build{"Treskpro", false}, Build{"TreskproFX", true}),
                         [](const auto& parameter) { return std::string(parameter.param.file); });

// --- Step clock ---------------------------------------------------------------------------

// Plays pattern 0 of `patch` from a note-on at sample 0 for `frames` samples; the edges of the
// steady-input sound.
Edges playPattern(TreskproPatch patch, int frames) {
    Instrument instrument;
    instrument.input = 0.25f;
    if (!instrument.open("Treskpro", patch))
        return {};
    instrument.render(frames, {noteOn(0, 0)});
    return findEdges(instrument.recorded);
}

TEST(InstrumentStepClock, StepsAt120BpmCarryTheHalfSample) {
    TreskproPatch patch = steadyPatch(0);
    patch.patterns[0] = everyStepPlays();
    const Edges edges = playPattern(patch, 12 * 5513);
    ASSERT_GE(edges.onsets.size(), 12u);
    std::vector<int> lengths;
    for (std::size_t k = 1; k < 12; ++k)
        lengths.push_back(edges.onsets[k] - edges.onsets[k - 1]);
    EXPECT_EQ(lengths,
              (std::vector<int>{5513, 5513, 5512, 5513, 5512, 5513, 5512, 5513, 5512, 5513, 5512}));
    EXPECT_EQ(edges.onsets[0], 0);
}

TEST(InstrumentStepClock, PrescaleAndTripletSetTheStepLength) {
    struct Case {
        std::uint8_t prescale;
        bool triplet;
        double length;
    };
    for (const Case& c : {Case{1, false, 2756.25}, Case{2, false, 7350.0}, Case{3, false, 3675.0},
                          Case{0, true, 7350.0}, Case{1, true, 3675.0}}) {
        SCOPED_TRACE(testing::Message()
                     << "prescale " << int(c.prescale) << " triplet " << c.triplet);
        TreskproPatch patch = steadyPatch(0);
        patch.patterns[0] = everyStepPlays(c.prescale, c.triplet);
        const int steps = 6;
        const Edges edges = playPattern(patch, static_cast<int>(steps * c.length) + 100);
        ASSERT_EQ(edges.onsets.size(), std::size_t(steps + 1));
        for (int k = 0; k <= steps; ++k)
            EXPECT_EQ(edges.onsets[std::size_t(k)], noteStart(k * c.length)) << "step " << k;
    }
}

TEST(InstrumentStepClock, TiesAndGateTime) {
    // A note tied over three steps, then a one-step note; the gate time closes each in its last
    // step after 0.999 x "Gate time" of a step.
    for (float gateTime : {0.25f, 0.5f, 0.9f}) {
        SCOPED_TRACE(gateTime);
        TreskproPatch patch = steadyPatch(0);
        patch.setParameter(Parameter::GateTime, gateTime);
        setSteps(
            patch.patterns[0],
            {{0, StepFlags::gate}, {0, StepFlags::tie}, {0, StepFlags::tie}, {0, StepFlags::gate}});
        const Edges edges = playPattern(patch, static_cast<int>(8 * stepSamples) + 100);
        const double gate = 0.999 * double(gateTime) * stepSamples;
        struct Note {
            double start;
            double steps;
        };
        const Note notes[] = {{0, 3}, {3, 1}, {4, 3}, {7, 1}, {8, 3}};
        std::vector<int> onsets, gateEnds;
        for (const Note& note : notes) {
            const double start = note.start * stepSamples;
            onsets.push_back(noteStart(start));
            // The gate closes on the first sample whose clock passes the gate time.
            const double end = start + (note.steps - 1) * stepSamples + gate;
            if (end < 8 * stepSamples)
                gateEnds.push_back(noteStart(end) - 1);
        }
        EXPECT_EQ(edges.onsets, onsets);
        EXPECT_EQ(edges.gateEnds, gateEnds);
    }
}

// --- Slide, rests and accent ----------------------------------------------------------------

// Pitch ratios 2 (step 0) sliding into 8 (step 1), then 4 (step 2) sliding into a rest whose
// own note would be lower.
TreskproPatch slidePatch(TreskproPatch patch) {
    using namespace StepFlags;
    setSteps(patch.patterns[0],
             {{12, gate | slide}, {24, gate | up}, {12, gate | up | slide}, {5, 0}});
    patch.setParameter(Parameter::GlideTime, 1.0f); // 90 % of an interval in one second
    return patch;
}

TEST(InstrumentSlide, ASlidNoteIsNotRetriggeredAndHoldsItsGateIntoARest) {
    const Edges edges = playPattern(slidePatch(steadyPatch(0)), static_cast<int>(8 * stepSamples));
    const double gate = 0.4995 * stepSamples;
    std::vector<int> onsets, gateEnds;
    for (int pair = 0; pair < 4; ++pair) {
        onsets.push_back(noteStart(2 * pair * stepSamples));
        gateEnds.push_back(noteStart((2 * pair + 1) * stepSamples + gate) - 1);
    }
    EXPECT_EQ(edges.onsets, onsets);
    EXPECT_EQ(edges.gateEnds, gateEnds);
}

TEST(InstrumentSlide, PitchGlidesIntoTheSlidNoteAndARestKeepsThePitch) {
    Instrument instrument;
    ASSERT_TRUE(instrument.open("Treskpro", slidePatch(sinePatch(0))));
    instrument.render(static_cast<int>(4 * stepSamples), {noteOn(0, 0)});
    const std::vector<float>& x = instrument.recorded;
    const auto at = [](double steps) { return static_cast<int>(steps * stepSamples); };
    const double base = noteFrequency(36); // the patterns' base note

    EXPECT_NEAR(cents(frequency(x, at(0.1), at(0.97)), 2.0 * base), 0.0, 3.0);

    // Into step 1 the pitch ratio glides from 2 towards 8: r(t) = 8 - 6 x 10^-t, t in seconds,
    // until the gate closes halfway through the step.
    const std::vector<double> step1 = crossings(x, at(1.0), at(1.48));
    ASSERT_GT(step1.size(), 6u);
    double previous = 0.0;
    for (std::size_t k = 1; k < step1.size(); ++k) {
        const double measured = sampleRate / (step1[k] - step1[k - 1]);
        const double t = (0.5 * (step1[k] + step1[k - 1]) - stepSamples) / sampleRate;
        const double model = base * (8.0 - 6.0 * std::pow(10.0, -t));
        EXPECT_NEAR(measured / model, 1.0, 0.01) << "cycle " << k;
        EXPECT_GT(measured, previous * 0.995) << "cycle " << k;
        previous = measured;
    }
    EXPECT_LT(previous, 0.5 * 8.0 * base);

    // Step 2 is not slid into: its pitch is there at once. The rest after it keeps that pitch.
    EXPECT_NEAR(cents(frequency(x, at(2.02), at(2.45)), 4.0 * base), 0.0, 3.0);
    EXPECT_NEAR(cents(frequency(x, at(3.02), at(3.45)), 4.0 * base), 0.0, 3.0);
}

TEST(InstrumentAccent, AnAccentedStepIsLouderAndBrighter) {
    TreskproPatch patch = basePatch(0);
    patch.setParameter(Parameter::Vco1Level, 1.0f); // saw
    patch.setParameter(Parameter::FilterCutoff, 0.3f);
    patch.setParameter(Parameter::EnvelopeMod, 0.5f);
    patch.setParameter(Parameter::VcfSustain, 0.0f);
    patch.setParameter(Parameter::AccentAmount, 1.0f);
    patch.setParameter(Parameter::AccentVolume, 0.5f);
    setSteps(patch.patterns[0], {{12, StepFlags::gate}, {12, StepFlags::gate | StepFlags::accent}});
    Instrument instrument;
    ASSERT_TRUE(instrument.open("Treskpro", patch));
    instrument.render(static_cast<int>(2 * stepSamples), {noteOn(0, 0)});
    const std::vector<float>& x = instrument.recorded;
    const int from = 100, to = 2700;
    const int accented = noteStart(stepSamples);
    const double plainLevel = rms(x, from, to);
    const double accentLevel = rms(x, accented + from, accented + to);
    const double plainBrightness = brightness(x, from, to);
    const double accentBrightness = brightness(x, accented + from, accented + to);
    EXPECT_GT(accentLevel, 1.2 * plainLevel);
    EXPECT_GT(accentBrightness, 1.1 * plainBrightness);
    RecordProperty("accent_level_ratio", std::to_string(accentLevel / plainLevel));
    RecordProperty("accent_brightness_ratio", std::to_string(accentBrightness / plainBrightness));
}

// --- Keyboard mode ------------------------------------------------------------------------

TEST(InstrumentKeyboard, NotesSoundAtTheirEqualTemperedPitch) {
    Instrument instrument;
    ASSERT_TRUE(instrument.open("Treskpro", sinePatch(1)));
    const int second = static_cast<int>(sampleRate);
    instrument.render(second, {noteOn(0, 36)});
    instrument.render(second / 2, {noteOff(0, 36), noteOn(0, 57)});
    instrument.render(second / 2, {noteOff(0, 57), noteOn(0, 69)});
    const std::vector<float>& x = instrument.recorded;
    const double c36 = cents(frequency(x, 2000, second), noteFrequency(36));
    const double c57 = cents(frequency(x, second + 2000, 3 * second / 2), noteFrequency(57));
    const double c69 = cents(frequency(x, 3 * second / 2 + 2000, 2 * second), noteFrequency(69));
    EXPECT_NEAR(c36, 0.0, 0.5);
    EXPECT_NEAR(c57, 0.0, 0.5);
    EXPECT_NEAR(c69, 0.0, 0.5);
    RecordProperty("cents_36_57_69",
                   std::to_string(c36) + " " + std::to_string(c57) + " " + std::to_string(c69));
}

// Each oscillator alone, with master tuning, its own fine tune and range and the pitch bend
// set; the other oscillator's settings differ, so a mix-up of the two shows.
TEST(InstrumentKeyboard, EachOscillatorFollowsTuningFineTuneRangeAndBend) {
    struct Case {
        int vco;
        float master, fine1, fine2, range1, range2;
        int bend; // 14-bit, 8192 = centre; bend range 2 semitones
        int semitones;
    };
    const float semitone = 1.0f / 96.0f; // fine tunes span +-48 semitones
    const Case cases[] = {
        {2, 0.5f, 0.5f + 3 * semitone, 0.5f + 7 * semitone, 1.0f, 0.0f, 8192, 7},
        {2, 0.75f, 0.5f, 0.5f - 5 * semitone, 0.0f, 1.0f, 16383, 6 - 5 + 24 + 2},
        {1, 0.25f, 0.5f - 5 * semitone, 0.5f + 7 * semitone, 0.5f, 0.0f, 0, -6 - 5 + 12 - 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "VCO-" << c.vco << " " << c.semitones);
        TreskproPatch patch = sinePatch(1);
        patch.setParameter(Parameter::Vco1Level, c.vco == 1 ? 1.0f : 0.0f);
        patch.setParameter(Parameter::Vco2Level, c.vco == 2 ? 1.0f : 0.0f);
        patch.setParameter(Parameter::Vco2Waveform, 1.0f); // sine
        patch.setParameter(Parameter::MasterTuning, c.master);
        patch.setParameter(Parameter::Vco1FineTune, c.fine1);
        patch.setParameter(Parameter::Vco2FineTune, c.fine2);
        patch.setParameter(Parameter::Vco1Range, c.range1);
        patch.setParameter(Parameter::Vco2Range, c.range2);
        Instrument instrument;
        ASSERT_TRUE(instrument.open("Treskpro", patch));
        instrument.render(22050, {{0, 0xE0, c.bend & 127, c.bend >> 7}, noteOn(0, 57)});
        const double measured = frequency(instrument.recorded, 2000, 22050);
        EXPECT_NEAR(cents(measured, noteFrequency(57 + c.semitones)), 0.0, 3.0);
    }
}

// A custom tuning named by Config.ini: keys take their frequency from its table, and pattern
// steps their ratio from its entry 36 (the note voice 0 holds in pattern mode). With the
// standard tuning selected the file changes nothing.
TEST(InstrumentTuning, TheCustomTableSetsThePitchOfKeysAndPatternSteps) {
    namespace fs = std::filesystem;
    const fs::path tables = fs::path(testing::TempDir()) / "treskpro-tunings";
    fs::create_directories(tables);
    const fs::path file = tables / "linear.tun";
    {
        std::ofstream out(file, std::ios::binary);
        for (int k = 0; k < 128; ++k)
            out << 20 + 5 * k << "\n"; // entry 36: 200 Hz, 57: 305 Hz, 60: 320 Hz
    }
    const std::string tuning = "Tuning = \"" + file.string() + "\"\r\n";
    const fs::path custom = installFolder("treskpro-tuned", "TuningMode = 0\r\n" + tuning);
    const fs::path standard = installFolder("treskpro-standard", "TuningMode = 1\r\n" + tuning);
    const std::string plugin = std::string("Treskpro") + pluginSuffix;

    struct Case {
        const fs::path* folder;
        int midiMode;
        int note;
        double hertz;
    };
    const Case cases[] = {
        {&custom, 1, 57, 305.0},
        {&custom, 1, 60, 320.0},
        {&custom, 0, 0, 2 * 200.0}, // step note 12: an octave over entry 36
        {&standard, 1, 57, noteFrequency(57)},
        {&standard, 0, 0, 2 * noteFrequency(36)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.folder->filename() << " mode " << c.midiMode << " note " << c.note);
        TreskproPatch patch = sinePatch(c.midiMode);
        setSteps(patch.patterns[0], {{12, StepFlags::gate}});
        patch.setParameter(Parameter::GateTime, 1.0f);
        Instrument instrument;
        ASSERT_TRUE(instrument.open((*c.folder / plugin).string(), patch));
        instrument.render(5000, {noteOn(0, c.note)});
        EXPECT_NEAR(cents(frequency(instrument.recorded, 500, 5000), c.hertz), 0.0, 3.0);
    }
}

TEST(InstrumentKeyboard, MonoPlaysTheLatestHeldKeyLegatoAndFallsSilentAfterRelease) {
    TreskproPatch patch = sinePatch(1);
    patch.setParameter(Parameter::VcaAttack, 0.5f); // 82 ms: a restarted envelope would show
    Instrument instrument;
    ASSERT_TRUE(instrument.open("Treskpro", patch));
    const int segment = 8820; // 0.2 s
    instrument.render(5 * segment + 4410, {noteOn(0, 67), noteOn(segment, 60),
                                           noteOn(2 * segment, 64), noteOff(3 * segment, 64),
                                           noteOff(4 * segment, 60), noteOff(5 * segment, 67)});
    const std::vector<float>& x = instrument.recorded;
    // 67, then 60 and 64 legato; releasing 64 returns to 60 (pressed later than 67), releasing 60
    // to 67.
    const int heard[] = {67, 60, 64, 60, 67};
    for (int k = 0; k < 5; ++k) {
        const int from = k * segment + 2205;
        EXPECT_NEAR(cents(frequency(x, from, (k + 1) * segment), noteFrequency(heard[k])), 0.0, 2.0)
            << "segment " << k;
    }
    // Legato notes keep the envelope running: no dip anywhere after the attack.
    float peak = 0.0f;
    for (int i = 4410; i < 5 * segment; ++i)
        peak = std::max(peak, std::fabs(x[std::size_t(i)]));
    for (int start = 4410; start + 400 <= 5 * segment; start += 200) {
        float local = 0.0f;
        for (int i = start; i < start + 400; ++i)
            local = std::max(local, std::fabs(x[std::size_t(i)]));
        ASSERT_GT(local, 0.9f * peak) << "at sample " << start;
    }
    EXPECT_TRUE(silentFrom(x, 5 * segment + 2205));
}

TEST(InstrumentKeyboard, SuspendSilencesAHeldNote) {
    Instrument instrument;
    ASSERT_TRUE(instrument.open("Treskpro", sinePatch(1)));
    instrument.render(2048, {noteOn(0, 48)});
    ASSERT_GT(rms(instrument.recorded, 1024, 2048), 0.01);
    instrument.suspendAndResume();
    instrument.render(2048);
    EXPECT_TRUE(silentFrom(instrument.recorded, 2048));
}

// Fresh instances given the same patch and events render the same samples (noise stays off:
// it is seeded from the clock).
std::vector<float> renderFresh(const TreskproPatch& patch, const std::vector<Midi>& events,
                               int frames) {
    Instrument instrument;
    if (!instrument.open("Treskpro", patch))
        return {};
    instrument.render(frames, events);
    return instrument.recorded;
}

TEST(InstrumentKeyboard, PolyphonyUsesSixVoicesAndDropsTheSeventhNote) {
    std::vector<Midi> six;
    for (int note : {48, 52, 55, 59, 62, 65})
        six.push_back(noteOn(static_cast<int>(six.size()) * 10, note));
    const TreskproPatch patch = polyPatch();
    const std::vector<float> sixNotes = renderFresh(patch, six, 8192);
    std::vector<Midi> five(six.begin(), six.end() - 1);
    EXPECT_NE(renderFresh(patch, five, 8192), sixNotes) << "the sixth note did not sound";

    std::vector<Midi> seven = six;
    seven.push_back(noteOn(1000, 69));
    EXPECT_EQ(renderFresh(patch, seven, 8192), sixNotes) << "a seventh voice sounded";

    // A key that is already sounding takes its own voice again: its envelope restarts.
    std::vector<Midi> repeated = six;
    repeated.push_back(noteOn(1000, 55));
    const std::vector<float> retriggered = renderFresh(patch, repeated, 8192);
    ASSERT_EQ(retriggered.size(), sixNotes.size());
    EXPECT_TRUE(std::equal(sixNotes.begin(), sixNotes.begin() + 1000, retriggered.begin()));
    EXPECT_NE(retriggered, sixNotes);
}

TEST(InstrumentKeyboard, SustainPedalHoldsPolyNotesUntilItIsReleased) {
    // Held by the pedal, a released key sounds exactly as if it had been released when the pedal
    // went up.
    const TreskproPatch poly = polyPatch();
    const std::vector<float> pedalled = renderFresh(
        poly,
        {noteOn(0, 60), controller(100, 64, 127), noteOff(5000, 60), controller(15000, 64, 0)},
        20000);
    EXPECT_EQ(pedalled, renderFresh(poly, {noteOn(0, 60), noteOff(15000, 60)}, 20000));
    EXPECT_GT(rms(pedalled, 10000, 15000), 0.01);
    EXPECT_TRUE(silentFrom(pedalled, 17000));

    // In mono mode the pedal does nothing.
    const TreskproPatch mono = sinePatch(1);
    EXPECT_EQ(renderFresh(mono, {noteOn(0, 60), controller(100, 64, 127), noteOff(5000, 60)}, 8000),
              renderFresh(mono, {noteOn(0, 60), noteOff(5000, 60)}, 8000));
}

TEST(InstrumentControllers, Controller7MovesMasterVolumeAsHostAutomation) {
    Instrument instrument;
    instrument.input = 0.25f;
    ASSERT_TRUE(instrument.open("Treskpro", steadyPatch(1)));
    instrument.host.calls.clear();
    // The volume follows its knob smoothly; after 20000 samples it has arrived.
    std::vector<double> levels;
    instrument.render(100, {noteOn(0, 60)});
    for (int value : {127, 64, 0}) {
        instrument.render(20000, {controller(0, 7, value)});
        levels.push_back(instrument.recorded.back());
    }
    EXPECT_EQ(instrument.parameter(Parameter::MasterVolume), 0.0f);
    std::vector<std::pair<int, float>> automated;
    for (const PluginHost::Call& call : instrument.host.calls) {
        if (call.opcode == audioMasterAutomate)
            automated.emplace_back(call.index, call.opt);
    }
    const std::vector<std::pair<int, float>> expected = {{Parameter::MasterVolume, 1.0f},
                                                         {Parameter::MasterVolume, 0.5f},
                                                         {Parameter::MasterVolume, 0.0f}};
    EXPECT_EQ(automated, expected);
    EXPECT_NEAR(levels[1] / levels[0], 0.5, 1e-4);
    EXPECT_LT(std::fabs(levels[2]), 1e-4 * std::fabs(levels[0]));
}

TEST(InstrumentControllers, ResetAllControllersCentresTheBendAndAllSoundOffIsIgnored) {
    Instrument instrument;
    ASSERT_TRUE(instrument.open("Treskpro", sinePatch(1))); // bend range 2 semitones
    const int segment = 11025;
    instrument.render(3 * segment, {{0, 0xE0, 127, 127},
                                    noteOn(0, 69),
                                    controller(segment, 120, 0),
                                    controller(2 * segment, 121, 0)});
    const std::vector<float>& x = instrument.recorded;
    const double up = cents(frequency(x, 1000, segment), noteFrequency(71));
    const double ignored = cents(frequency(x, segment + 1000, 2 * segment), noteFrequency(71));
    const double reset = cents(frequency(x, 2 * segment + 2000, 3 * segment), noteFrequency(69));
    EXPECT_NEAR(up, 0.0, 1.0);
    EXPECT_NEAR(ignored, 0.0, 1.0);
    EXPECT_NEAR(reset, 0.0, 1.0);
}

TEST(InstrumentControllers, EveryChannelIsHandledAlike) {
    auto messages = [](int channel) {
        const std::vector<Midi> base = {
            noteOn(0, 60),          noteOn(500, 64),           controller(1000, 7, 100),
            {1500, 0xE0, 0, 80},    controller(2000, 64, 127), noteOff(2500, 60),
            {2700, 0x90, 64, 0},    controller(3500, 64, 0),   {4000, 0xD0, 90, 0},
            controller(4000, 1, 64)};
        std::vector<Midi> events;
        for (Midi event : base) {
            event.status |= channel;
            events.push_back(event);
        }
        return events;
    };
    const TreskproPatch patch = polyPatch();
    const std::vector<float> first = renderFresh(patch, messages(0), 8192);
    ASSERT_GT(rms(first, 0, 3000), 0.01);
    EXPECT_EQ(renderFresh(patch, messages(9), 8192), first);
    EXPECT_EQ(renderFresh(patch, messages(15), 8192), first);
}

// --- Modulation generator -------------------------------------------------------------------

// The MG's square on the VCA gates the steady input on and off: its cycles are counted at the
// rises through half the level, free-running and following the tempo (by "MG Bpm Sync" or by
// the "DelaySync" option).
TEST(InstrumentMg, RateFreeAndTempoSyncedHeardThroughTheVca) {
    struct Case {
        const char* name;
        float frequency, bpmSync;
        int delaySync;
        double hertz;
    };
    const Case cases[] = {
        {"free", 0.5f, 0.0f, 0, 0.1 * std::exp2(7.0)},      // 12.8 Hz
        {"MG Bpm Sync", 0.6f, 1.0f, 0, 2.0 * 120.0 / 60.0}, // ratio 2 of trunc(14 v)
        {"DelaySync", 0.75f, 0.0f, 1, 4.0 * 120.0 / 60.0},  // ratio 4
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TreskproPatch patch = steadyPatch(1);
        patch.setParameter(Parameter::MgWave, 0.25f); // square
        patch.setParameter(Parameter::MgAmount, 1.0f);
        patch.setParameter(Parameter::MgVcaDest, 1.0f);
        patch.setParameter(Parameter::MgFrequency, c.frequency);
        patch.setParameter(Parameter::MgBpmSync, c.bpmSync);
        patch.setState(State::DelaySync, c.delaySync);
        Instrument instrument;
        instrument.input = 0.25f;
        ASSERT_TRUE(instrument.open("Treskpro", patch));
        const int frames = 2 * static_cast<int>(sampleRate);
        instrument.render(frames, {noteOn(0, 60)});
        const std::vector<float>& x = instrument.recorded;
        float peak = 0.0f;
        for (float v : x)
            peak = std::max(peak, std::fabs(v));
        std::vector<int> rises;
        for (int i = 1; i < frames; ++i) {
            if (std::fabs(x[std::size_t(i - 1)]) < 0.5f * peak &&
                std::fabs(x[std::size_t(i)]) >= 0.5f * peak)
                rises.push_back(i);
        }
        ASSERT_GE(rises.size(), 3u);
        const double period =
            double(rises.back() - rises[1]) / double(rises.size() - 2); // the first may be cut
        EXPECT_NEAR(sampleRate / period, c.hertz, 0.005 * c.hertz);
        // Fully off in the low half of each cycle.
        EXPECT_LT(std::fabs(*std::min_element(
                      x.begin() + rises[1], x.end(),
                      [](float a, float b) { return std::fabs(a) < std::fabs(b); })),
                  0.01f * peak);
    }
}

// --- Stereo delay -------------------------------------------------------------------------

// The first sample at or after `from` that rises out of silence.
int firstSoundFrom(const std::vector<float>& x, int from, float silent) {
    for (std::size_t i = static_cast<std::size_t>(from); i < x.size(); ++i) {
        if (std::fabs(x[i]) > silent)
            return static_cast<int>(i);
    }
    return -1;
}

// A short burst of the steady input; each side echoes it after its own time, free or following
// the tempo (by the "Delay Bpm Sync" button or by the "DelaySync" option), and each echo comes
// back once more through the feedback.
TEST(InstrumentDelay, EachSideEchoesAfterItsOwnTime) {
    struct Case {
        const char* name;
        float left, right;
        float bpmSync;
        int delaySync;
        double leftSamples, rightSamples;
    };
    const Case cases[] = {
        // 65536 x (0.99 v + 0.01) samples.
        {"free", 0.05f, 0.08f, 0.0f, 0, 65536 * 0.0595, 65536 * 0.0892},
        // Steps of 5512.5 samples at 120 BPM times the ratio of trunc(14 v): 1 and 1/4.
        {"Delay Bpm Sync", 0.5f, 0.3f, 1.0f, 0, stepSamples, stepSamples / 4},
        // Ratios 2 and 1/2.
        {"DelaySync", 0.6f, 0.45f, 0.0f, 1, 2 * stepSamples, stepSamples / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TreskproPatch patch = steadyPatch(1);
        patch.setParameter(Parameter::DelayAmount, 0.5f);
        patch.setParameter(Parameter::DelayFeedback, 0.5f);
        patch.setParameter(Parameter::DelayLeft, c.left);
        patch.setParameter(Parameter::DelayRight, c.right);
        patch.setParameter(Parameter::DelayBpmSync, c.bpmSync);
        patch.setState(State::DelaySync, c.delaySync);
        Instrument instrument;
        instrument.input = 0.25f;
        instrument.channelsAlike = false;
        ASSERT_TRUE(instrument.open("Treskpro", patch));
        // The read positions glide to their targets like tape; let them arrive.
        instrument.render(60000);
        instrument.recorded.clear();
        instrument.recordedRight.clear();
        const int burst = 200;
        instrument.render(static_cast<int>(2 * std::max(c.leftSamples, c.rightSamples)) + 2000,
                          {noteOn(0, 60), noteOff(burst, 60)});

        const auto echoes = [&](const std::vector<float>& x, double delay, const char* side) {
            SCOPED_TRACE(side);
            const float level = std::fabs(x[burst / 2]);
            ASSERT_GT(level, 0.01f);
            EXPECT_EQ(firstSoundFrom(x, 0, 1e-3f * level), 0);
            // The burst is over long before its first echo.
            const int echo = firstSoundFrom(x, burst + 500, 1e-3f * level);
            EXPECT_NEAR(echo, delay, 1.0);
            const auto at = [&](double i) { return std::fabs(x[static_cast<std::size_t>(i)]); };
            EXPECT_NEAR(at(delay + burst / 2), 0.5f * level, 0.01f * level);
            EXPECT_NEAR(at(2 * delay + burst / 2), 0.25f * level, 0.01f * level);
        };
        echoes(instrument.recorded, c.leftSamples, "left");
        echoes(instrument.recordedRight, c.rightSamples, "right");
    }
}

// --- One render against its reference ----------------------------------------------------

// A busy sound: both oscillators, a resonant filter swept by its envelope and the MG, accents,
// slides, ties and the delay, over a pattern in the sequencer.
TreskproPatch busyPatch() {
    TreskproPatch patch = basePatch(0);
    const std::pair<int, float> values[] = {
        {Parameter::Vco1Level, 0.8f},     {Parameter::Vco2Level, 0.4f},
        {Parameter::Vco2Waveform, 0.25f}, {Parameter::Vco2FineTune, 0.51f},
        {Parameter::FilterCutoff, 0.35f}, {Parameter::FilterResonance, 0.8f},
        {Parameter::EnvelopeMod, 0.6f},   {Parameter::VcfSustain, 0.0f},
        {Parameter::VcfDecay, 0.4f},      {Parameter::AccentAmount, 0.7f},
        {Parameter::AccentVolume, 0.5f},  {Parameter::MgVcfDest, 0.3f},
        {Parameter::MgFrequency, 0.4f},   {Parameter::MgAmount, 0.5f},
        {Parameter::GlideTime, 0.3f},     {Parameter::DelayAmount, 0.3f},
        {Parameter::DelayFeedback, 0.4f}, {Parameter::DelayLeft, 0.05f},
        {Parameter::DelayRight, 0.08f},   {Parameter::MasterVolume, 0.75f},
    };
    for (const auto& [index, value] : values)
        patch.setParameter(index, value);
    using namespace StepFlags;
    setSteps(patch.patterns[0], {{0, gate | accent},
                                 {12, gate | slide},
                                 {3, gate},
                                 {0, tie},
                                 {7, gate | accent | slide},
                                 {10, gate | down},
                                 {0, 0},
                                 {5, gate | up | accent}});
    return patch;
}

// The reference was rendered by the native build; every build must agree with it within a
// tolerance. All of them (Linux, 32-bit and 64-bit Windows) compute in single and double
// precision with SSE2, so only the mathematical library's last bits may differ: today the
// renders are identical, and a difference of 1e-5 of the peak means a build computes otherwise.
// Both outputs are kept, frame by frame (left, right): the delay's two sides differ.
// TRESKPRO_WRITE_REFERENCE=1 writes a new reference into the source tree.
TEST(InstrumentReference, APatternRenderAgreesWithTheReference) {
    Instrument instrument;
    instrument.channelsAlike = false;
    ASSERT_TRUE(instrument.open("Treskpro", busyPatch()));
    instrument.render(16384, {noteOn(0, 0)});
    std::vector<float> x;
    for (std::size_t i = 0; i < instrument.recorded.size(); ++i) {
        x.push_back(instrument.recorded[i]);
        x.push_back(instrument.recordedRight[i]);
    }
    const std::size_t bytes = x.size() * sizeof(float);

    if (std::getenv("TRESKPRO_WRITE_REFERENCE")) {
        std::ofstream(TRESKPRO_REFERENCE_SOURCE "/acid-line.f32", std::ios::binary)
            .write(reinterpret_cast<const char*>(x.data()), static_cast<std::streamsize>(bytes));
        GTEST_SKIP() << "reference written";
    }
    const std::filesystem::path file = std::filesystem::path(platform::executableDirectory()) /
                                       ".." / "reference" / "acid-line.f32";
    std::vector<float> reference(x.size());
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(reference.data()), static_cast<std::streamsize>(bytes));
    ASSERT_EQ(static_cast<std::size_t>(in.gcount()), bytes) << file;

    for (std::size_t side = 0; side < 2; ++side) {
        SCOPED_TRACE(side == 0 ? "left" : "right");
        float peak = 0.0f;
        double largest = 0.0, squares = 0.0, sideDifference = 0.0;
        for (std::size_t i = side; i < x.size(); i += 2) {
            peak = std::max(peak, std::fabs(reference[i]));
            const double difference = std::fabs(double(x[i]) - reference[i]);
            largest = std::max(largest, difference);
            squares += difference * difference;
            sideDifference = std::max(sideDifference, std::fabs(double(x[i]) - x[i ^ 1]));
        }
        ASSERT_GT(peak, 0.05f);
        // The two delay times tell the sides apart.
        EXPECT_GT(sideDifference, 0.05 * peak);
        const double rmsDifference = std::sqrt(squares / double(x.size() / 2));
        const std::string name = side == 0 ? "left" : "right";
        RecordProperty("largest_difference_of_peak_" + name,
                       testing::PrintToString(largest / peak));
        RecordProperty("rms_difference_of_peak_" + name,
                       testing::PrintToString(rmsDifference / peak));
        EXPECT_LT(largest, 1e-5 * peak);
        EXPECT_LT(rmsDifference, 1e-6 * peak);
    }
}

// --- State saved by one build, restored by another ------------------------------------------

std::string referencePath(const char* name) {
    return (std::filesystem::path(platform::executableDirectory()) / ".." / "reference" / name)
        .string();
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where two byte strings first differ (the shorter one's end when one is a prefix of the
// other); npos when they are equal.
std::size_t firstDifference(const std::string& a, const std::string& b) {
    const auto [left, right] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (left == a.end() && right == b.end())
        return std::string::npos;
    return static_cast<std::size_t>(left - a.begin());
}

// The chunk a fresh instance saves after the host restored `chunk`.
std::string savedAfterRestoring(const std::string& chunk) {
    PluginHost host;
    std::string error;
    if (!host.load(pluginPath("Treskpro"), error)) {
        ADD_FAILURE() << error;
        return {};
    }
    const auto size = static_cast<intptr>(chunk.size());
    EXPECT_EQ(host.dispatch(effSetChunk, 0, size, const_cast<char*>(chunk.data())), size);
    EXPECT_EQ(host.effect()->getParameter(host.effect(), Parameter::FilterResonance), 0.8f);
    void* saved = nullptr;
    const intptr savedSize = host.dispatch(effGetChunk, 0, 0, &saved);
    if (savedSize <= 0 || !saved)
        return {};
    return {static_cast<const char*>(saved), static_cast<std::size_t>(savedSize)};
}

// A project saved by the Linux plug-in opens in the 64-bit Windows one, and back: every build
// writes its chunk and patch file with the same bytes for the same patch, and gives back the
// native build's chunk and patch file unchanged. The references hold every block of the patch
// (patterns, parameters, states, cables, patch info with a Windows path);
// TRESKPRO_WRITE_REFERENCE=1 writes them anew into the source tree.
TEST(InstrumentReference, SavedStateComesBackByteForByteInEveryBuild) {
    TreskproPatch patch = busyPatch();
    patch.setState(State::FilterMode, 5);
    patch.connections.append({Socket::MgCvOutput, Socket::VcfCvInput});
    patch.connections.append({Socket::Inverter1Output, Socket::Vco2CvInput});
    std::strcpy(patch.info.text, "Saved by one build,\r\nopened by another");
    patch.info.showFlag = 1;
    std::strcpy(patch.info.patchName, "Portable Line");
    ChunkBuffer given;
    writeChunk(patch, "C:\\Patches\\Portable Line.tpro", given);
    const std::string chunk =
        savedAfterRestoring(std::string(reinterpret_cast<const char*>(given.data()), given.size()));
    const std::string text = writePatchText(patch);

    if (std::getenv("TRESKPRO_WRITE_REFERENCE")) {
        std::ofstream(TRESKPRO_REFERENCE_SOURCE "/portable.chunk", std::ios::binary) << chunk;
        std::ofstream(TRESKPRO_REFERENCE_SOURCE "/portable.tpro", std::ios::binary) << text;
        GTEST_SKIP() << "reference written";
    }
    const std::string referenceChunk = fileBytes(referencePath("portable.chunk"));
    const std::string referenceText = fileBytes(referencePath("portable.tpro"));
    ASSERT_EQ(referenceChunk.size(), 25112u);
    ASSERT_FALSE(referenceText.empty());
    constexpr std::size_t same = std::string::npos;

    // This build saves what the native build saved...
    EXPECT_EQ(firstDifference(chunk, referenceChunk), same) << "chunk";
    EXPECT_EQ(firstDifference(text, referenceText), same) << "patch file";
    // ...and the native build's state, restored here, is saved again unchanged.
    EXPECT_EQ(firstDifference(savedAfterRestoring(referenceChunk), referenceChunk), same);
    TreskproPatch read;
    ASSERT_TRUE(readPatchFile(read, referencePath("portable.tpro")));
    EXPECT_EQ(firstDifference(writePatchText(read), referenceText), same);
    EXPECT_EQ(read.connections.size(), 2);
    EXPECT_EQ(read.getState(State::FilterMode), 5);
}

} // namespace
} // namespace treskpro
