// A dark colour scheme as desktops ship it (light texts on dark grey), to show
// and check the window under one: the picture tool and the window's tests
// use it.
#pragma once

#include <QPalette>

namespace quillock::ui {

[[nodiscard]] QPalette DarkPalette();

} // namespace quillock::ui
