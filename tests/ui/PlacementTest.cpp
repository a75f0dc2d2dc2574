// Where the window stands: centred on the work area, moved by the user only,
// kept on the screen when the options open, minimised while the editor runs
// where no tray shows an icon.
#include "ui/Placement.h"
#include "UiTestSupport.h"
#include "ui/Unit1.h"

#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

// The window manager is asked through xcb where both the toolkit and this
// build have it.
#if defined(QUILLOCK_WITH_XCB) && QT_CONFIG(xcb)
#define QUILLOCK_ASKS_X 1
#include <xcb/xcb.h>
#else
#define QUILLOCK_ASKS_X 0
#endif

namespace quillock::ui::test {

class TPlacementTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void FrameIsCentredAndADragStays();
    void AWindowManagersMoveStays();
    void ExpandingNearAnEdgeKeepsTheWindowOnScreen();
    void WaitingForTheEditorKeepsATaskbarEntry();
};

namespace {

// Ends only a run whose window manager never answers.
constexpr int GiveUpMs = 30000;

// The frame as the window manager reports it, else as the toolkit knows it.
QRect Frame(const QWidget& window) {
    return window.geometry().marginsAdded(FrameMargins(window));
}

// The frame's centre less the work area's.
QPoint OffCentre(const QWidget& window) {
    return Frame(window).center() - window.screen()->availableGeometry().center();
}

// Shows the window and waits until the program has placed it: its frame
// centred on the work area; on X once the window manager has framed it, as a
// user first sees it, and the toolkit knows that frame.
bool ShowPlaced(QWidget& window) {
    const auto placed = [&window] {
        const bool framed = QGuiApplication::platformName() != "xcb" ||
                            (ReportedFrameMargins(window).has_value() && window.frameGeometry() == Frame(window));
        return framed && std::abs(OffCentre(window).x()) <= 1 && std::abs(OffCentre(window).y()) <= 1;
    };
    window.show();
    return QTest::qWaitForWindowExposed(&window, GiveUpMs) && QTest::qWaitFor(placed, GiveUpMs);
}

#if QUILLOCK_ASKS_X
xcb_connection_t* X() {
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// A reply of the X server, freed when it goes.
template <typename T> std::unique_ptr<T, decltype(&std::free)> Reply(T* reply) {
    return {reply, &std::free};
}

xcb_atom_t Atom(const char* name) {
    const auto reply = Reply(xcb_intern_atom_reply(X(), xcb_intern_atom(X(), 0, std::strlen(name), name), nullptr));
    return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t Id(const QWidget& window) {
    return static_cast<xcb_window_t>(window.internalWinId());
}

// Asks the window manager for a change to the window as a pager or a user's
// drag does (source indication 2).
constexpr uint32_t FromUser = 2;
void AskWindowManager(const QWidget& window, const char* type, std::array<uint32_t, 5> data) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = Id(window);
    message.type = Atom(type);
    std::copy(data.begin(), data.end(), message.data.data32);
    xcb_send_event(X(), 0, xcb_setup_roots_iterator(xcb_get_setup(X())).data->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(X());
}

// The frame where the X server has it.
QRect ServerFrame(const QWidget& window) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(X())).data->root;
    const auto reply =
        Reply(xcb_translate_coordinates_reply(X(), xcb_translate_coordinates(X(), Id(window), root, 0, 0), nullptr));
    const qreal ratio = window.windowHandle()->devicePixelRatio();
    const QPoint client =
        reply != nullptr ? QPoint(qRound(reply->dst_x / ratio), qRound(reply->dst_y / ratio)) : QPoint();
    return QRect(client, window.size()).marginsAdded(FrameMargins(window));
}

// Asks the window manager to keep the window above others or not, and waits
// until it says so: a round trip through it that moves nothing, answered after
// all the program asked of it before.
bool KeepAbove(const QWidget& window, bool above) {
    const xcb_atom_t state = Atom("_NET_WM_STATE_ABOVE");
    AskWindowManager(window, "_NET_WM_STATE", {above ? 1U : 0U, state, 0, FromUser, 0});
    const auto said = [&] {
        const auto reply = Reply(xcb_get_property_reply(
            X(), xcb_get_property(X(), 0, Id(window), Atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 32), nullptr));
        const int count = reply != nullptr ? xcb_get_property_value_length(reply.get()) / 4 : 0;
        const auto* states = count > 0 ? static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get())) : &state;
        return std::find(states, states + count, state) != states + count;
    };
    return QTest::qWaitFor([&] { return said() == above; }, GiveUpMs);
}
#endif

} // namespace

void TPlacementTest::FrameIsCentredAndADragStays() {
    TForm1 form;
    QVERIFY2(ShowPlaced(form), qPrintable(QStringLiteral("%1,%2").arg(OffCentre(form).x()).arg(OffCentre(form).y())));
    // A move after that stays where it was put.
    const QPoint dragged = form.geometry().topLeft() + QPoint(-40, 30);
    form.move(form.pos() + QPoint(-40, 30));
    QTRY_COMPARE(form.frameGeometry(), Frame(form));
    QTest::qWait(300);
    QCOMPARE(form.geometry().topLeft(), dragged);
}

void TPlacementTest::AWindowManagersMoveStays() {
#if QUILLOCK_ASKS_X
    if (QGuiApplication::platformName() != "xcb") {
        QSKIP("only a window manager moves the frame as a drag does: ui_placement_wm runs this on X");
    }
    TForm1 form;
    QVERIFY(ShowPlaced(form));
    const QPoint target = Frame(form).topLeft() + QPoint(-40, 30);
    const qreal ratio = form.windowHandle()->devicePixelRatio();
    AskWindowManager(form, "_NET_MOVERESIZE_WINDOW",
                     {XCB_GRAVITY_NORTH_WEST | 1U << 8 | 1U << 9 | FromUser << 12,
                      static_cast<uint32_t>(qRound(target.x() * ratio)),
                      static_cast<uint32_t>(qRound(target.y() * ratio)), 0, 0});
    QVERIFY(QTest::qWaitFor([&] { return ServerFrame(form).topLeft() == target && Frame(form).topLeft() == target; },
                            GiveUpMs));
    QVERIFY(KeepAbove(form, true));
    QCOMPARE(ServerFrame(form).topLeft(), target);
    // Expanding where there is room grows the frame around its middle.
    const int middle = ServerFrame(form).center().y();
    Find<QPushButton>(&form, "OptionsButton")->click();
    QVERIFY(KeepAbove(form, false));
    QVERIFY(form.screen()->availableGeometry().contains(ServerFrame(form)));
    QCOMPARE(ServerFrame(form).left(), target.x());
    QVERIFY2(std::abs(ServerFrame(form).center().y() - middle) <= 1, qPrintable(QString::number(middle)));
#else
    QSKIP("built without libxcb (libxcb1-dev): the window manager cannot be asked to move the frame");
#endif
}

void TPlacementTest::ExpandingNearAnEdgeKeepsTheWindowOnScreen() {
    TForm1 form;
    QVERIFY(ShowPlaced(form));
    const QRect area = form.screen()->availableGeometry();
    auto* options = Find<QPushButton>(&form, "OptionsButton");
    for (const int top : {area.top(), area.bottom() + 1 - Frame(form).height()}) {
        form.move(form.x(), top);
        QTRY_COMPARE(Frame(form).top(), top);
        options->click();
        QTRY_VERIFY2(area.contains(Frame(form)), qPrintable(QString::number(Frame(form).top())));
        options->click();
    }
}

void TPlacementTest::WaitingForTheEditorKeepsATaskbarEntry() {
    TForm1 form;
    QVERIFY(ShowPlaced(form));
    form.LockWindow();
    form.HideMainWindow();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        QVERIFY(!form.isVisible()); // the tray icon shows the program waits
    } else {
        QVERIFY(form.isVisible());
        QTRY_VERIFY(form.isMinimized());
    }
    QCOMPARE(form.windowType(), Qt::Window);
    form.ShowMainWindow();
    QVERIFY(form.isVisible());
    QTRY_VERIFY(!form.isMinimized());
}

QObject* MakePlacementTest() {
    return new TPlacementTest;
}

} // namespace quillock::ui::test

#include "PlacementTest.moc"
