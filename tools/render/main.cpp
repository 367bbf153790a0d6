// treskpro-render: the project's command-line VST 2.x host. It loads a plug-in binary through
// its entry point, hands it a patch, plays a pattern or a standard MIDI file through it and
// writes the result to a WAV file (see renderUsage() for the options).
#include "tools/render/RenderCommand.h"
#include "tools/render/RenderOptions.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    treskpro::RenderOptions options;
    std::string error;
    if (!treskpro::parseRenderOptions(arguments, options, error)) {
        std::fprintf(stderr, "treskpro-render: %s\n%s", error.c_str(), treskpro::renderUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(treskpro::renderUsage(), stdout);
        return 0;
    }
    return treskpro::runRenderCommand(options);
}
