#include "tools/render/Renderer.h"

#include "tools/render/MidiEventList.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace treskpro {

using namespace vst;

std::int64_t blockEnd(const RenderJob& job, std::int64_t start, std::size_t first) {
    const std::int64_t end = std::min(start + job.blockSize, job.frames);
    const auto& events = job.events;
    const std::size_t limit = first + static_cast<std::size_t>(eventsThePluginTakes);
    if (limit >= events.size() || events[limit].frame >= end)
        return end;
    if (events[limit].frame > start)
        return events[limit].frame;
    // More events than the plug-in takes share the block's first frame: the block ends right
    // after that frame's events.
    for (std::size_t i = limit; i < events.size(); ++i) {
        if (events[i].frame > start)
            return std::min(events[i].frame, end);
    }
    return end;
}

namespace {

// The largest number of events one block will carry: blocks are cut so that they hold at most
// the number the plug-in takes, except where more than that share one frame.
std::size_t eventCapacity(const RenderJob& job) {
    const auto& events = job.events;
    std::size_t largest = std::min<std::size_t>(events.size(), eventsThePluginTakes);
    for (std::size_t first = 0; first < events.size();) {
        std::size_t last = first;
        while (last < events.size() && events[last].frame == events[first].frame)
            ++last;
        largest = std::max(largest, last - first);
        first = last;
    }
    return largest;
}

} // namespace

RenderResult render(PluginHost& host, const RenderJob& job) {
    RenderResult result;
    AEffect* effect = host.effect();
    if (!effect) {
        result.error = "no plug-in is loaded";
        return result;
    }
    if (job.blockSize < 1 || job.sampleRate <= 0.0 || job.frames < 0) {
        result.error = "invalid render settings";
        return result;
    }

    // Everything the loop needs is made here, so rendering itself allocates nothing.
    const auto blockSize = static_cast<std::size_t>(job.blockSize);
    std::vector<float> buffers(4 * blockSize, 0.0f);
    float* inputs[2] = {buffers.data(), buffers.data() + blockSize};
    float* outputs[2] = {buffers.data() + 2 * blockSize, buffers.data() + 3 * blockSize};
    const std::size_t capacity = eventCapacity(job);
    MidiEventList midi(capacity);

    host.timeInfo.sampleRate = job.sampleRate;
    host.timeInfo.flags = kVstTempoValid;
    host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(job.sampleRate));
    host.dispatch(effSetBlockSize, 0, job.blockSize);
    host.dispatch(effMainsChanged, 0, 1);

    using Clock = std::chrono::steady_clock;
    Clock::duration inPlugin{};
    std::size_t next = 0;
    while (next < job.events.size() && job.events[next].frame < 0)
        ++next; // nothing plays before the render starts
    std::int64_t start = 0;
    while (start < job.frames) {
        const std::int64_t end = blockEnd(job, start, next);
        const int count = static_cast<int>(end - start);
        midi.clear();
        while (next < job.events.size() && job.events[next].frame < end) {
            const TimedMidiEvent& source = job.events[next++];
            midi.add(static_cast<int>(std::max<std::int64_t>(source.frame - start, 0)),
                     source.status, source.data1, source.data2);
        }
        const int eventCount = midi.size();

        host.timeInfo.samplePos = static_cast<double>(start);
        if (job.tempoAt)
            host.timeInfo.tempo = job.tempoAt(start);
        if (job.input) {
            job.input(inputs[0], inputs[1], count);
        }
        std::fill(outputs[0], outputs[0] + count, 0.0f);
        std::fill(outputs[1], outputs[1] + count, 0.0f);

        const Clock::time_point before = Clock::now();
        if (eventCount > 0)
            host.dispatch(effProcessEvents, 0, 0, midi.record());
        effect->processReplacing(effect, inputs, outputs, count);
        inPlugin += Clock::now() - before;

        result.eventsDelivered += eventCount;
        ++result.blocks;
        result.frames = end;
        if (job.output && !job.output(outputs[0], outputs[1], count)) {
            result.error = "cannot write the rendered audio";
            break;
        }
        if (job.progress)
            job.progress(end, job.frames);
        start = end;
    }
    host.dispatch(effMainsChanged, 0, 0);
    result.pluginSeconds = std::chrono::duration<double>(inPlugin).count();
    result.ok = result.error.empty();
    return result;
}

} // namespace treskpro
