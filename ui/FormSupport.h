// What the main window's source files share: the window's font.
#pragma once

#include <QFont>

namespace quillock::ui {

// The desktop's general font at 8 points, a little narrowed, neither bold,
// italic nor underlined: every control starts from it.
[[nodiscard]] QFont WindowFont();

} // namespace quillock::ui
