// The editor's three dialogs: the preferences, the patch info and the advanced randomizer. Each
// is a handler for a dialog of the resource script in resources/dialogs; the handler keeps no
// copy of what it edits: every control reads its value from, and writes it straight into, the
// plug-in (through EditorHost) or the editor's settings, at the moment the user changes it.
#pragma once

#include "toolkit/CDialog.h"

namespace treskpro {

// The dialog `name` ("IDD_PREFERENCES", "IDD_PATCHINFO", "IDD_RANDOMIZER") of the resource
// script built into the plug-in; read once.
const toolkit::CDialogTemplate& editorDialogTemplate(const char* name);

} // namespace treskpro
