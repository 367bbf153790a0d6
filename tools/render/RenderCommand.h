// What treskpro-render does with its options: loads the plug-in, hands it the patch as a host
// restoring a project does, builds the MIDI events (a MIDI file, or the note that starts a
// pattern), renders, writes the WAV file and reports the real-time factor.
#pragma once

#include "tools/render/RenderOptions.h"

#include <string>

namespace treskpro {

// Exit codes: 0 done, 1 a failure (a file that cannot be read or written, a plug-in that does
// not load). Usage errors (2) are found before this by parseRenderOptions.
int runRenderCommand(const RenderOptions& options);

// The plug-in binary beside the program: ../bundle/Treskpro.so (Treskpro.dll on Windows).
std::string defaultPluginPath();

} // namespace treskpro
