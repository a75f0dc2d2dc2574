// Helpers of the window tests.
#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace quillock::ui::test {

TModalAnswerer::TModalAnswerer() {
    FTimer.setInterval(10);
    QObject::connect(&FTimer, &QTimer::timeout, this, [this] { Poll(); });
    FTimer.start();
}

TModalAnswerer::~TModalAnswerer() = default;

void TModalAnswerer::Expect(TStep step) {
    FSteps.push_back(std::move(step));
}

void TModalAnswerer::Record(QMessageBox* box) {
    TSeenBox seen;
    seen.Title = box->windowTitle();
    seen.Text = box->text();
    seen.Icon = box->icon();
    seen.Parent = box->parentWidget();
    // The buttons by their role: Yes before No, whatever side the style puts them on.
    QList<QAbstractButton*> buttons = box->buttons();
    std::stable_sort(buttons.begin(), buttons.end(),
                     [box](QAbstractButton* a, QAbstractButton* b) { return box->buttonRole(a) < box->buttonRole(b); });
    for (QAbstractButton* button : buttons) {
        seen.Buttons.append(button->text());
    }
    if (box->defaultButton() != nullptr) {
        seen.DefaultButton = box->defaultButton()->text();
    }
    if (box->escapeButton() != nullptr) {
        seen.EscapeButton = box->escapeButton()->text();
    }
    FSeen.push_back(seen);
}

void TModalAnswerer::ExpectBox(const QString& buttonText) {
    Expect([this, buttonText](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            FUnexpected.append(QStringLiteral("not a message box: ") + modal->metaObject()->className());
            modal->close();
            return;
        }
        Record(box);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == buttonText) {
                button->click();
                return;
            }
        }
        FUnexpected.append(QStringLiteral("no button ") + buttonText + QStringLiteral(" in ") + box->text());
        box->close();
    });
}

void TModalAnswerer::ExpectBoxClosed() {
    Expect([this](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Record(box);
        }
        modal->close();
    });
}

void TModalAnswerer::ExpectBoxEscape() {
    Expect([this](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Record(box);
        }
        QTest::keyClick(modal, Qt::Key_Escape);
    });
}

void TModalAnswerer::ExpectBoxEnter() {
    Expect([this](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Record(box);
        }
        QTest::keyClick(modal, Qt::Key_Return);
    });
}

void TModalAnswerer::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (qEnvironmentVariableIsSet("UI_TEST_TRACE")) {
        qDebug() << "poll" << modal << (modal ? modal->isVisible() : false) << FLastModal.data() << FSteps.size();
    }
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    // Answer each dialog once; it may take a moment to go away. One that a
    // step did not close is recorded and closed, so the test fails instead of
    // hanging.
    if (modal == FLastModal) {
        if (++FPollsOnLast == 500) {
            FUnexpected.append(QStringLiteral("dialog left open: ") + modal->windowTitle());
            modal->close();
        }
        return;
    }
    FPollsOnLast = 0;
    FLastModal = modal;
    if (FSteps.empty()) {
        QString what = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            what += QStringLiteral(": ") + box->text();
        }
        FUnexpected.append(QStringLiteral("unexpected dialog ") + what);
        modal->close();
        return;
    }
    TStep step = std::move(FSteps.front());
    FSteps.pop_front();
    step(modal);
}

TPrivateHome::TPrivateHome() : FOldConfig(qgetenv("XDG_CONFIG_HOME")), FOldData(qgetenv("XDG_DATA_HOME")) {
    QDir(FFolder.path()).mkpath(QStringLiteral("config"));
    QDir(FFolder.path()).mkpath(QStringLiteral("share"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(Path(QStringLiteral("share"))));
}

TPrivateHome::~TPrivateHome() {
    qputenv("XDG_CONFIG_HOME", FOldConfig);
    qputenv("XDG_DATA_HOME", FOldData);
}

QString TPrivateHome::SettingsFile() const {
    return Path(QStringLiteral("config/quillock/settings.ini"));
}

void TypeText(QWidget* widget, const QString& text) {
    for (const QChar character : text) {
        if (character.unicode() < 0x80) {
            QTest::keyClick(widget, character.toLatin1());
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QApplication::sendEvent(widget, &release);
    }
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

void WriteSettings(const TPrivateHome& home, const QStringList& valueLines) {
    QByteArray text = "[Software\\Quillock]\n";
    for (const QString& line : valueLines) {
        text += line.toUtf8() + '\n';
    }
    WriteAll(home.SettingsFile(), text);
}

} // namespace quillock::ui::test
