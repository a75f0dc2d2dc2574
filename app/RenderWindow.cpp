// Renders the main window, collapsed and with its options shown, and once more
// with its options shown in a dark colour scheme, to three PNG pictures:
// quillock-render OUTPUT-FOLDER [DATA-FILE]. Runs on the offscreen
// platform with settings and association kept in a temporary folder, so the
// user's own are neither read nor written.
#include "ui/DarkPalette.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// The client area inside a drawn tool-window frame: a 2-pixel border and a
// 16-pixel title bar, which together make the 20 pixels the window counts
// into its outer height.
QImage Framed(QWidget& window) {
    const QPixmap client = window.grab();
    const int border = 2;
    const int titleHeight = quillock::ui::TForm1::FrameHeight - 2 * border;
    QImage image(client.width() + 2 * border, client.height() + quillock::ui::TForm1::FrameHeight,
                 QImage::Format_ARGB32);
    image.fill(window.palette().color(QPalette::Window));
    QPainter painter(&image);
    painter.setPen(QColor(255, 255, 255));
    painter.drawLine(0, 0, image.width() - 1, 0);
    painter.drawLine(0, 0, 0, image.height() - 1);
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(image.width() - 1, 0, image.width() - 1, image.height() - 1);
    painter.drawLine(0, image.height() - 1, image.width() - 1, image.height() - 1);
    const QRect title(border, border, image.width() - 2 * border, titleHeight);
    QLinearGradient gradient(title.topLeft(), title.topRight());
    gradient.setColorAt(0, QColor(10, 36, 106));
    gradient.setColorAt(1, QColor(166, 202, 240));
    painter.fillRect(title, gradient);
    QFont font = window.font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(title.adjusted(3, 0, -18, 0), Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
    const QRect closeBox(title.right() - 14, title.top() + 2, 12, 11);
    painter.fillRect(closeBox, window.palette().color(QPalette::Window));
    painter.setPen(window.palette().color(QPalette::WindowText));
    painter.drawLine(closeBox.topLeft() + QPoint(3, 2), closeBox.bottomRight() - QPoint(3, 2));
    painter.drawLine(closeBox.topRight() + QPoint(-3, 2), closeBox.bottomLeft() + QPoint(3, -2));
    painter.drawPixmap(border, border + titleHeight, client);
    return image;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillock-render OUTPUT-FOLDER [DATA-FILE]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "quillock-render: cannot create a temporary folder\n");
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("share"))));

    QApplication application(argc, argv);
    const QDir output(QFile::decodeName(argv[1]));
    QStringList arguments;
    if (argc > 2) {
        arguments.append(QFile::decodeName(argv[2]));
    }

    quillock::ui::TForm1 form(arguments);
    form.show();
    QCoreApplication::processEvents();
    const QString collapsed = output.filePath(QStringLiteral("window-collapsed.png"));
    const QString expanded = output.filePath(QStringLiteral("window-options.png"));
    bool saved = Framed(form).save(collapsed);
    form.findChild<QPushButton*>(QStringLiteral("OptionsButton"))->click();
    QCoreApplication::processEvents();
    saved = Framed(form).save(expanded) && saved;
    const QString dark = output.filePath(QStringLiteral("window-dark.png"));
    QApplication::setPalette(quillock::ui::DarkPalette());
    QCoreApplication::processEvents();
    saved = Framed(form).save(dark) && saved;
    if (!saved) {
        std::fprintf(stderr, "quillock-render: cannot write the pictures into %s\n", argv[1]);
        return 1;
    }
    std::printf("%s\n%s\n%s\n", qPrintable(collapsed), qPrintable(expanded), qPrintable(dark));
    return 0;
}
