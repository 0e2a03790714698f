// Screenshot mode: renders the main window on each tab (with FILE open and
// its first user table chosen), the password prompt and the splash window
// to PNG files, at 1280x800 and 1920x1080. The environment variable
// GLIMMER_FONT_SIZE (8, 10, 12) sets the grids' font size.
#pragma once

#include <QString>

namespace app {

int runScreenshots(const QString& dir, const QString& file);

}  // namespace app
