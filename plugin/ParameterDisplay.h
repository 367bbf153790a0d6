// The text shown for a parameter value: by the host beside its automation lanes and by the
// editor's value display. Every parameter has one display rule; the texts are fixed formats.
#pragma once

#include <string>

namespace treskpro {

struct TreskproPatch;

// What a display text depends on besides the value itself.
struct DisplayContext {
    const TreskproPatch& patch; // for rules that show other parameters' or states' values
    double tempo;               // sequencer tempo, BPM
    double samplesPerStep;      // samples in one sixteenth note at that tempo
    double sampleRate;
};

// The display text of `value` for parameter `index`; "N/A" for an index outside 0..72, and
// the empty string for a value that a list rule has no entry for. Editor or host thread.
std::string displayParameter(int index, float value, const DisplayContext& context);

} // namespace treskpro
