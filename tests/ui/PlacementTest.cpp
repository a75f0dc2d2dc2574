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

namespace quillock::ui::test {

class TPlacementTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void FrameIsCentredAndADragStays();
    void ExpandingNearAnEdgeKeepsTheWindowOnScreen();
    void WaitingForTheEditorKeepsATaskbarEntry();
};

namespace {

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
// user first sees it, and the toolkit knows that frame. The limit only ends a
// run whose window manager never answers.
bool ShowPlaced(QWidget& window) {
    constexpr int GiveUpMs = 30000;
    const auto placed = [&window] {
        const bool framed = QGuiApplication::platformName() != "xcb" ||
                            (ReportedFrameMargins(window).has_value() && window.frameGeometry() == Frame(window));
        return framed && std::abs(OffCentre(window).x()) <= 1 && std::abs(OffCentre(window).y()) <= 1;
    };
    window.show();
    return QTest::qWaitForWindowExposed(&window, GiveUpMs) && QTest::qWaitFor(placed, GiveUpMs);
}

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
