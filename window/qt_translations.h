// Qt's own texts (the folder dialog's buttons, the text boxes' context menu)
// in German, like the rest of the window.
#pragma once

class QCoreApplication;

namespace zentrel::window {

// Installs Qt's German translations into app; false when the installed Qt
// has none (the texts then stay English).
bool Load_Qt_Translations(QCoreApplication& app);

}  // namespace zentrel::window
