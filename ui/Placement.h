// The frame a window manager draws around a window, as it reports it.
#pragma once

#include <QMargins>

#include <optional>

class QWidget;

namespace quillock::ui {

// The frame's edges around the top-level window, in the window's own
// coordinates, from the window manager's _NET_FRAME_EXTENTS: nothing before
// it framed the window, without one, or on a platform other than xcb.
[[nodiscard]] std::optional<QMargins> ReportedFrameMargins(const QWidget& window);
// The frame's edges as the window manager reports them where it does, else
// as the toolkit knows them (none before the window is framed, none without a
// window manager).
[[nodiscard]] QMargins FrameMargins(const QWidget& window);

} // namespace quillock::ui
