// The render loop of the command-line host: drives a loaded plug-in block by block as a host's
// audio thread does. Each block's MIDI events are handed over through effProcessEvents with
// their offsets in the block, the host's tempo is answered through audioMasterGetTime, the
// input is fed to the two inputs and the two outputs go to a sink.
#pragma once

#include "tools/render/PluginHost.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace treskpro {

// A MIDI message that the host delivers at an absolute frame of the render.
struct TimedMidiEvent {
    std::int64_t frame;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
};

struct RenderJob {
    double sampleRate = 44100.0;
    int blockSize = 512;
    std::int64_t frames = 0;
    // Sorted by frame; events at or beyond `frames` are not delivered.
    std::vector<TimedMidiEvent> events;
    // The tempo the host reports at the start of a block (beats per minute).
    std::function<double(std::int64_t frame)> tempoAt;
    // Fills the two inputs for a block; without it the inputs are silent.
    std::function<void(float* left, float* right, int count)> input;
    // Takes the two outputs of a block; false stops the render with a write error.
    std::function<bool(const float* left, const float* right, int count)> output;
    // Told the frames done after every block.
    std::function<void(std::int64_t done, std::int64_t total)> progress;
};

struct RenderResult {
    bool ok = false;
    std::string error;
    std::int64_t frames = 0;
    std::int64_t blocks = 0;
    std::int64_t eventsDelivered = 0;
    // Wall-clock time spent inside the plug-in's effProcessEvents and processReplacing calls.
    double pluginSeconds = 0.0;
};

// The plug-in reads at most this many events of one block.
constexpr int eventsThePluginTakes = 64;

// Where the block that starts at `start` ends, given the events from index `first` on (sorted):
// the block size, unless the block would hold more events than the plug-in takes; it is then
// cut at the first of those events that lies later than `start`, so no event is lost (events
// that share one frame beyond that number all go in one block).
std::int64_t blockEnd(const RenderJob& job, std::int64_t start, std::size_t first);

// Sets the sample rate and block size, resumes the plug-in, renders `job.frames` frames and
// suspends it again.
RenderResult render(PluginHost& host, const RenderJob& job);

} // namespace treskpro
