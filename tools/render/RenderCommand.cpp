#include "tools/render/RenderCommand.h"

#include "engine/Parameters.h"
#include "files/PatchFile.h"
#include "platform/Platform.h"
#include "plugin/HostChunk.h"
#include "tools/render/AudioFile.h"
#include "tools/render/MidiFile.h"
#include "tools/render/PluginHost.h"
#include "tools/render/Renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace treskpro {

namespace {

using namespace vst;

using platform::pluginSuffix;

// Longer renders would pass the 4 GB a WAV file can hold.
constexpr double longestRenderSeconds = 3.0 * 3600.0;

int fail(const std::string& message) {
    std::fprintf(stderr, "treskpro-render: %s\n", message.c_str());
    return 1;
}

std::string folderOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? "." : path.substr(0, separator);
}

bool fileExists(const std::string& path) {
    return static_cast<bool>(std::ifstream(path, std::ios::binary));
}

std::string join(const std::string& folder, const std::string& name) {
    return folder + platform::pathSeparator + name;
}

// The patch the plug-in holds now, read back through its chunk as a host would save it.
bool currentPatch(PluginHost& host, TreskproPatch& patch) {
    void* data = nullptr;
    const intptr size = host.dispatch(effGetChunk, 0, 0, &data);
    if (size <= 0 || !data)
        return false;
    std::string path;
    readChunk(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size), patch, path);
    return true;
}

// Restores `path` into the plug-in the way a host restores a project: the patch reader turns the
// file into the chunk image, which goes in through effSetChunk.
bool restorePatch(PluginHost& host, const std::string& path) {
    auto patch = std::make_unique<TreskproPatch>();
    if (!readPatchFile(*patch, path))
        return false;
    auto chunk = std::make_unique<ChunkBuffer>();
    writeChunk(*patch, path, *chunk);
    host.dispatch(effSetChunk, 0, static_cast<intptr>(chunk->size()), chunk->data());
    // A restored chunk leaves the sequencer at its old tempo until the Tempo parameter next
    // changes; the host sets it to its own value, as automation would, so the pattern plays at
    // the patch's tempo from the first block.
    AEffect* effect = host.effect();
    effect->setParameter(effect, Parameter::Tempo, effect->getParameter(effect, Parameter::Tempo));
    return true;
}

class ProgressBar {
public:
    explicit ProgressBar(double rate) : sampleRate(rate) {}
    ~ProgressBar() {
        if (shown) // clear the line, so the report that follows stands alone
            std::fprintf(stderr, "\r%*s\r", lineWidth, "");
    }
    void update(std::int64_t done, std::int64_t total) {
        const int percent = total > 0 ? static_cast<int>(100 * done / total) : 100;
        if (percent == lastPercent)
            return;
        lastPercent = percent;
        shown = true;
        constexpr int width = 30;
        char bar[width + 1];
        for (int i = 0; i < width; ++i)
            bar[i] = i < percent * width / 100 ? '#' : '.';
        bar[width] = '\0';
        std::fprintf(stderr, "\r[%s] %3d%%  %.1f / %.1f s", bar, percent,
                     static_cast<double>(done) / sampleRate,
                     static_cast<double>(total) / sampleRate);
        std::fflush(stderr);
    }

private:
    static constexpr int lineWidth = 64;
    double sampleRate;
    int lastPercent = -1;
    bool shown = false;
};

// The process's resident memory in KiB as the system reports it (VmRSS), or -1 where the system
// has no /proc: enough to show what loading the first instance costs.
long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

double realTimeFactor(double audioSeconds, double pluginSeconds) {
    return audioSeconds / std::max(pluginSeconds, 1e-9);
}

} // namespace

std::string defaultPluginPath() {
    return join(join(join(platform::executableDirectory(), ".."), "bundle"),
                std::string("Treskpro") + pluginSuffix);
}

int runRenderCommand(const RenderOptions& options) {
    const std::string pluginPath = options.plugin.empty() ? defaultPluginPath() : options.plugin;
    if (options.info) {
        PluginHost host;
        std::string error;
        if (!host.load(pluginPath, error))
            return fail(error);
        std::printf("plug-in:  %s\n%s", pluginPath.c_str(), describePlugin(host).c_str());
        return 0;
    }

    std::string error;
    MidiFile midi;
    if (!options.midi.empty() && !midi.load(options.midi, error))
        return fail(error);

    int sampleRate = options.sampleRate > 0 ? options.sampleRate : defaultSampleRate;
    AudioFileReader input;
    if (!options.input.empty()) {
        if (!input.open(options.input, error))
            return fail(error);
        if (options.sampleRate > 0 && options.sampleRate != input.sampleRate()) {
            return fail(options.input + " is at " + std::to_string(input.sampleRate()) +
                        " Hz and the render at " + std::to_string(options.sampleRate) +
                        " Hz; this program does not resample: leave out --rate or give --rate " +
                        std::to_string(input.sampleRate()));
        }
        sampleRate = input.sampleRate();
    }
    const double rate = sampleRate;

    // The first instance of the process: opening the library and its entry point, which reads
    // the wavetables and the plug-in folder's files, until the plug-in can render.
    const long residentBefore = residentKilobytes();
    const auto loadStart = std::chrono::steady_clock::now();
    PluginHost host;
    if (!host.load(pluginPath, error))
        return fail(error);
    const double loadSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - loadStart).count();
    const long residentAfter = residentKilobytes();
    host.recordCalls = false;

    if (!options.patch.empty()) {
        if (!restorePatch(host, options.patch))
            return fail("cannot read the patch " + options.patch);
    } else {
        const std::string defaultPatch =
            join(join(folderOf(pluginPath), "Tresk Pro Patches"), "Tresk Pro Patch.tpro");
        if (!fileExists(defaultPatch) || !restorePatch(host, defaultPatch)) {
            std::fprintf(stderr,
                         "treskpro-render: no default patch at %s; rendering the plug-in's "
                         "start-up state\n",
                         defaultPatch.c_str());
        }
    }
    auto patch = std::make_unique<TreskproPatch>();
    if (!currentPatch(host, *patch))
        return fail(pluginPath + " gives no state through effGetChunk");
    const double patchTempo = std::clamp(tempoFromParameter(patch->getParameter(Parameter::Tempo)),
                                         tempoMinimum, tempoMaximum);

    RenderJob job;
    job.sampleRate = rate;
    job.blockSize = options.blockSize;
    const double limitFrames = longestRenderSeconds * rate;
    const double tailFrames = std::round(options.tail * rate);
    double contentFrames = 0.0;
    if (!options.midi.empty()) {
        for (const MidiFile::Event& event : midi.events()) {
            const double frame = std::round(midi.secondsAt(event.tick) * rate);
            if (frame > limitFrames)
                return fail(options.midi + " plays for longer than this program renders (3 hours)");
            job.events.push_back(
                {static_cast<std::int64_t>(frame), event.status, event.data1, event.data2});
            contentFrames = frame;
        }
        if (options.tempo > 0.0) {
            job.tempoAt = [tempo = options.tempo](std::int64_t) { return tempo; };
        } else if (midi.hasTempoEvents()) {
            job.tempoAt = [&midi, rate](std::int64_t frame) {
                return midi.beatsPerMinuteAt(static_cast<double>(frame) / rate);
            };
        } else {
            job.tempoAt = [patchTempo](std::int64_t) { return patchTempo; };
        }
    } else {
        const double hostTempo = options.tempo > 0.0 ? options.tempo : patchTempo;
        job.tempoAt = [hostTempo](std::int64_t) { return hostTempo; };
        // The sequencer follows the host's tempo only when the patch says so; otherwise it keeps
        // its own, and the bars are counted at that.
        const bool followsHost = patch->getState(State::SyncMode) == 1;
        const double sequencerTempo =
            followsHost ? std::clamp(hostTempo, tempoMinimum, tempoMaximum) : patchTempo;
        if (options.tempo > 0.0 && !followsHost) {
            std::fprintf(stderr,
                         "treskpro-render: the patch plays at its own tempo (%.2f BPM, SyncMode "
                         "0); --tempo only sets the tempo the host reports\n",
                         patchTempo);
        }
        const int note = options.pattern >= 0 ? options.pattern : patch->currentPatternIndex();
        const double barFrames = rate * 60.0 / sequencerTempo * 4.0; // 16 sixteenths in 4/4
        contentFrames = std::round(options.bars * barFrames);
        if (contentFrames > limitFrames)
            return fail("the pattern plays for longer than this program renders (3 hours)");
        const auto noteOff = static_cast<std::int64_t>(contentFrames);
        job.events.push_back({0, 0x90, static_cast<std::uint8_t>(note), 100});
        job.events.push_back({noteOff, 0x80, static_cast<std::uint8_t>(note), 0});
    }
    if (!options.input.empty()) {
        contentFrames = std::max(contentFrames, static_cast<double>(input.frames()));
        job.input = [&input](float* left, float* right, int count) {
            input.read(left, right, count);
        };
    }
    if (contentFrames + tailFrames > limitFrames)
        return fail("the render would last longer than this program renders (3 hours)");
    job.frames = static_cast<std::int64_t>(contentFrames + tailFrames);
    const double audioSeconds = static_cast<double>(job.frames) / rate;

    if (options.bench) {
        std::printf("load: %.2f ms to a ready first instance, resident memory %ld KiB -> %ld KiB\n",
                    loadSeconds * 1e3, residentBefore, residentAfter);
        std::vector<double> factors;
        for (int run = 1; run <= options.repeat; ++run) {
            if (run > 1 && !options.input.empty() && !input.open(options.input, error))
                return fail(error);
            const RenderResult result = render(host, job);
            if (!result.ok)
                return fail(result.error);
            factors.push_back(realTimeFactor(audioSeconds, result.pluginSeconds));
            std::printf("run %d: %.3f s of plug-in time, %.1fx real time\n", run,
                        result.pluginSeconds, factors.back());
        }
        std::sort(factors.begin(), factors.end());
        std::printf("bench: %.2f s of audio, median %.1fx real time, best %.1fx, %d runs\n",
                    audioSeconds, factors[factors.size() / 2], factors.back(), options.repeat);
        return 0;
    }

    AudioFileWriter output;
    if (!output.open(options.output, sampleRate, options.format, error))
        return fail(error);
    job.output = [&output](const float* left, const float* right, int count) {
        return output.write(left, right, count);
    };
    RenderResult result;
    {
        ProgressBar bar(rate);
        if (platform::standardErrorIsTerminal())
            job.progress = [&bar](std::int64_t done, std::int64_t total) {
                bar.update(done, total);
            };
        result = render(host, job);
    }
    if (!result.ok)
        return fail(result.error + " to " + options.output);
    if (!output.finish(error))
        return fail(error);
    std::printf("wrote %s: %lld frames, 2 channels, %d Hz, %s\n", options.output.c_str(),
                static_cast<long long>(result.frames), sampleRate,
                options.format == SampleFormat::Float32 ? "32-bit float" : "16-bit PCM");
    std::printf("rendered %.2f s of audio in %.3f s of plug-in time: %.1fx real time\n",
                audioSeconds, result.pluginSeconds,
                realTimeFactor(audioSeconds, result.pluginSeconds));
    return 0;
}

} // namespace treskpro
