// Where the window stands: centred on the screen's work area with the frame the
// window manager gives it, moved by the user only, kept on the screen when the
// options open.
#include "ui/Placement.h"

#include "ui/Unit1.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <memory>

// The frame is read where both the toolkit and this build have xcb.
#if defined(QUILLOCK_WITH_XCB) && QT_CONFIG(xcb)
#define QUILLOCK_READS_X_FRAME 1
#include <xcb/xcb.h>
#else
#define QUILLOCK_READS_X_FRAME 0
#endif

namespace quillock::ui {

#if QUILLOCK_READS_X_FRAME
namespace {

// The X connection of the xcb platform; none on any other.
xcb_connection_t* XConnection() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t FrameExtentsAtom(xcb_connection_t* connection) {
    static const xcb_atom_t atom = [connection] {
        constexpr char name[] = "_NET_FRAME_EXTENTS";
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr),
            &std::free);
        return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }();
    return atom;
}

} // namespace
#endif

std::optional<QMargins> ReportedFrameMargins(const QWidget& window) {
#if QUILLOCK_READS_X_FRAME
    xcb_connection_t* connection = XConnection();
    const QWindow* handle = window.windowHandle();
    if (connection == nullptr || handle == nullptr || window.internalWinId() == 0) {
        return std::nullopt;
    }
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.internalWinId()),
                                                FrameExtentsAtom(connection), XCB_ATOM_CARDINAL, 0, 4),
                               nullptr),
        &std::free);
    if (reply == nullptr || reply->type != XCB_ATOM_CARDINAL || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) != 4 * 4) {
        return std::nullopt;
    }
    // Left, right, top, bottom, in the screen's device pixels.
    const auto* edges = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    const qreal ratio = handle->devicePixelRatio();
    const auto logical = [ratio](uint32_t edge) { return qRound(edge / ratio); };
    return QMargins(logical(edges[0]), logical(edges[2]), logical(edges[1]), logical(edges[3]));
#else
    (void)window;
    return std::nullopt;
#endif
}

bool TForm1::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
#if QUILLOCK_READS_X_FRAME
    // The window manager sets the frame's extents once it has framed the
    // window; only then can the frame be centred, and only then can the user
    // drag it, so this is the last placement the program makes by itself.
    if (FCentring && eventType == "xcb_generic_event_t") {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        constexpr uint8_t SentByAClient = 0x80;
        if ((event->response_type & ~SentByAClient) == XCB_PROPERTY_NOTIFY &&
            static_cast<const xcb_property_notify_event_t*>(message)->atom == FrameExtentsAtom(XConnection()) &&
            ReportedFrameMargins(*this).has_value()) {
            CentreOnScreen();
            FCentring = false;
        }
    }
#endif
    return QDialog::nativeEvent(eventType, message, result);
}

QMargins FrameMargins(const QWidget& window) {
    if (const std::optional<QMargins> reported = ReportedFrameMargins(window)) {
        return *reported;
    }
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

void TForm1::MoveFrameTo(QPoint topLeft) {
    // The client area's place, which the toolkit passes on as it stands, so
    // that a frame it does not know yet cannot shift it.
    const QMargins margins = FrameMargins(*this);
    setGeometry(QRect(topLeft + QPoint(margins.left(), margins.top()), size()));
}

namespace {

// The work area of the window's screen (the screen less panels and docks);
// empty while the window has no screen.
QRect WorkArea(const QWidget& window) {
    const QScreen* screen = window.screen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

} // namespace

void TForm1::CentreOnScreen() {
    const QRect area = WorkArea(*this);
    if (area.isEmpty()) {
        return;
    }
    const QSize frame = size().grownBy(FrameMargins(*this));
    MoveFrameTo(
        QPoint(area.left() + (area.width() - frame.width()) / 2, area.top() + (area.height() - frame.height()) / 2));
}

void TForm1::KeepOnScreen() {
    // The whole frame within the work area; the title bar wins where both
    // edges cannot fit.
    const QRect area = WorkArea(*this);
    if (area.isEmpty()) {
        return;
    }
    const QRect frame = geometry().marginsAdded(FrameMargins(*this));
    int top = frame.top();
    if (frame.bottom() > area.bottom()) {
        top -= frame.bottom() - area.bottom();
    }
    top = std::max(top, area.top());
    const int left = std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() - frame.width() + 1));
    if (top != frame.top() || left != frame.left()) {
        MoveFrameTo(QPoint(left, top));
    }
}

} // namespace quillock::ui
