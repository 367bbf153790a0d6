// treskpro-render: the project's command-line VST 2.x host.
//
//   treskpro-render --info PLUGIN   prints what the plug-in tells a host about itself
#include "tools/render/PluginHost.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int usage() {
    std::fputs("usage: treskpro-render --info PLUGIN\n"
               "  --info PLUGIN   load a VST 2.x plug-in binary and print its description\n",
               stderr);
    return 2;
}

int printInfo(const char* path) {
    treskpro::PluginHost host;
    std::string error;
    if (!host.load(path, error)) {
        std::fprintf(stderr, "treskpro-render: %s\n", error.c_str());
        return 1;
    }
    std::printf("plug-in:  %s\n%s", path, treskpro::describePlugin(host).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0)
        return printInfo(argv[2]);
    return usage();
}
