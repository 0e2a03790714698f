// Accessible names for the controls of dialogs the program does not build
// itself (Qt's message box, input prompt, file and print dialogs, progress
// window) and for the parts Qt adds to the program's own windows (headings,
// scroll bars, the preview's page view): every control of root (root included) without a name gets one
// from its caption, its tooltip, the label that names it, or its role in the
// dialog, so that screen readers and desktop automation find it.
#pragma once

class QWidget;

namespace app {

// Names them now and once more when the event loop next runs (parts a
// dialog builds when it is shown).
void nameUnnamedControls(QWidget* root);

}  // namespace app
