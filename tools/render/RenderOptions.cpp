#include "tools/render/RenderOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace treskpro {

namespace {

bool parseInteger(const std::string& text, int minimum, int maximum, int& value) {
    int parsed = 0;
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, parsed);
    if (status != std::errc() || stop != end || parsed < minimum || parsed > maximum)
        return false;
    value = parsed;
    return true;
}

bool parseNumber(const std::string& text, double minimum, double maximum, double& value) {
    if (text.empty())
        return false;
    char* stop = nullptr;
    const double parsed = std::strtod(text.c_str(), &stop);
    if (stop != text.c_str() + text.size() || !std::isfinite(parsed) || parsed < minimum ||
        parsed > maximum)
        return false;
    value = parsed;
    return true;
}

} // namespace

const char* renderUsage() {
    return "usage: treskpro-render [--plugin FILE] [--patch FILE.tpro]\n"
           "                       [--midi FILE.mid | --pattern N --bars B] [--tempo BPM]\n"
           "                       [--rate HZ] [--block FRAMES] [--input FILE.wav] [--tail S]\n"
           "                       [--pcm16] [-o OUT.wav | --bench [--repeat R]]\n"
           "       treskpro-render --info [PLUGIN]\n"
           "  --plugin FILE    the VST 2.x plug-in to load (default: the bundle's Treskpro)\n"
           "  --patch FILE     a .tpro patch, handed over as a host restores a project\n"
           "                   (default: Tresk Pro Patches/Tresk Pro Patch.tpro beside the\n"
           "                   plug-in, or the plug-in's own start-up state without it)\n"
           "  --midi FILE      play a standard MIDI file (type 0 or 1); the render lasts until\n"
           "                   its last event plus the tail\n"
           "  --pattern N      send MIDI note N, which starts pattern N (default: the patch's\n"
           "                   current pattern), and its note off after B bars (default 8)\n"
           "  --tempo BPM      the tempo the host reports (default: the MIDI file's tempo map,\n"
           "                   or the patch's tempo)\n"
           "  --rate HZ        sample rate (default 44100, or the input file's rate)\n"
           "  --block FRAMES   host block size (default 512)\n"
           "  --input FILE     audio fed to the plug-in's two inputs (for TreskproFX)\n"
           "  --tail S         seconds rendered after the last event (default 1)\n"
           "  --pcm16          write 16-bit PCM instead of 32-bit float samples\n"
           "  -o FILE          the WAV file to write (default demo.wav)\n"
           "  --bench          render without writing a file, --repeat times (default 5),\n"
           "                   and report the real-time factor\n"
           "  --info [PLUGIN]  print what the plug-in tells a host about itself\n";
}

bool parseRenderOptions(const std::vector<std::string>& arguments, RenderOptions& options,
                        std::string& error) {
    options = RenderOptions{};
    bool barsGiven = false;
    bool patternGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        auto value = [&]() -> const std::string& { return arguments[++i]; };
        auto integer = [&](int minimum, int maximum, int& target) {
            if (hasValue && parseInteger(value(), minimum, maximum, target))
                return true;
            error = word + " takes a whole number from " + std::to_string(minimum) + " to " +
                    std::to_string(maximum);
            return false;
        };
        auto number = [&](double minimum, double maximum, const char* range, double& target) {
            if (hasValue && parseNumber(value(), minimum, maximum, target))
                return true;
            error = word + " takes a number " + range;
            return false;
        };
        auto text = [&](std::string& target) {
            if (hasValue && !arguments[i + 1].empty()) {
                target = value();
                return true;
            }
            error = word + " takes a file name";
            return false;
        };

        bool ok = true;
        if (word == "-h" || word == "--help") {
            options.help = true;
        } else if (word == "--info") {
            options.info = true;
            if (hasValue && arguments[i + 1].rfind("-", 0) != 0)
                options.plugin = value();
        } else if (word == "--plugin") {
            ok = text(options.plugin);
        } else if (word == "--patch") {
            ok = text(options.patch);
        } else if (word == "--midi") {
            ok = text(options.midi);
        } else if (word == "--pattern") {
            ok = integer(0, 127, options.pattern);
            patternGiven = true;
        } else if (word == "--bars") {
            ok = integer(1, 10000, options.bars);
            barsGiven = true;
        } else if (word == "--tempo") {
            ok = number(1.0, 1000.0, "of beats per minute from 1 to 1000", options.tempo);
        } else if (word == "--rate") {
            ok = integer(1000, 768000, options.sampleRate);
        } else if (word == "--block") {
            ok = integer(1, 65536, options.blockSize);
        } else if (word == "--input") {
            ok = text(options.input);
        } else if (word == "--tail") {
            ok = number(0.0, 600.0, "of seconds from 0 to 600", options.tail);
        } else if (word == "--pcm16") {
            options.format = SampleFormat::Pcm16;
        } else if (word == "-o" || word == "--output") {
            ok = text(options.output);
        } else if (word == "--bench") {
            options.bench = true;
        } else if (word == "--repeat") {
            ok = integer(1, 1000, options.repeat);
        } else {
            error = "unknown argument " + word;
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (!options.midi.empty() && (patternGiven || barsGiven)) {
        error = "--midi plays a MIDI file; --pattern and --bars belong to pattern mode";
        return false;
    }
    return true;
}

} // namespace treskpro
