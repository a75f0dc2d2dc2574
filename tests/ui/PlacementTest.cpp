// Where the window stands: centred on the work area, moved by the user only,
// kept on the screen when the options open, minimised while the editor runs
// where no tray shows an icon.
#include "UiTestSupport.h"
#include "ui/Unit1.h"

#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

namespace quillock::ui::test {

class TPlacementTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void FrameIsCentredAndADragStays();
    void ExpandingNearAnEdgeKeepsTheWindowOnScreen();
    void WaitingForTheEditorKeepsATaskbarEntry();
};

void TPlacementTest::FrameIsCentredAndADragStays() {
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // A window manager frames the window meanwhile, sooner or later.
    const QRect area = form.screen()->availableGeometry();
    QTRY_VERIFY2(std::abs(form.frameGeometry().center().x() - area.center().x()) <= 1,
                 qPrintable(QString::number(form.frameGeometry().x())));
    QTRY_VERIFY2(std::abs(form.frameGeometry().center().y() - area.center().y()) <= 1,
                 qPrintable(QString::number(form.frameGeometry().y())));
    // The user's first move stays where it was put.
    const QPoint dragged = form.pos() + QPoint(-40, 30);
    form.move(dragged);
    QTest::qWait(200);
    QCOMPARE(form.pos(), dragged);
}

void TPlacementTest::ExpandingNearAnEdgeKeepsTheWindowOnScreen() {
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QRect area = form.screen()->availableGeometry();
    auto* options = Find<QPushButton>(&form, "OptionsButton");
    for (const int top : {area.top(), area.bottom() - form.frameGeometry().height()}) {
        form.move(form.x(), top);
        QTest::qWait(50);
        options->click();
        QTRY_VERIFY2(area.contains(form.frameGeometry()), qPrintable(QString::number(form.frameGeometry().top())));
        options->click();
    }
}

void TPlacementTest::WaitingForTheEditorKeepsATaskbarEntry() {
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
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
