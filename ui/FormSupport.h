// What the main window's source files share: the window's font, and colours
// that read on the window's face.
#pragma once

#include <QColor>
#include <QFont>

namespace quillock::ui {

// The desktop's font at its size, neither bold, italic nor underlined: every
// control starts from it.
[[nodiscard]] QFont WindowFont();

// A font's size in points, also for one given in pixels.
[[nodiscard]] double PointSize(const QFont& font);

// The colour wanted, darkened on a light background or lightened on a dark
// one until its contrast with the background is at least 4.5:1.
[[nodiscard]] QColor ReadableOn(const QColor& wanted, const QColor& background);

} // namespace quillock::ui
