// Helpers of the window tests: answering modal dialogs from the test, private
// settings and data folders, and looking controls up by their names.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>

namespace quillock::ui::test {

// What a message box showed when it was answered.
struct TSeenBox {
    QString Title;
    QString Text;
    QStringList Buttons; // Yes before No, accelerators kept
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QString DefaultButton;
    QString EscapeButton;
    QWidget* Parent = nullptr;
};

// Answers the modal dialogs that open while a test runs, in the order they are
// expected. Each step receives the active modal widget and must close it. A
// modal widget that no step expects is recorded and rejected, so a test never
// hangs on it.
class TModalAnswerer final : public QObject {
public:
    using TStep = std::function<void(QWidget*)>;

    TModalAnswerer();
    ~TModalAnswerer() override;

    void Expect(TStep step);
    // A message box, answered by clicking the button labelled buttonText; what
    // it showed is appended to Seen().
    void ExpectBox(const QString& buttonText);
    // A message box closed by its close box.
    void ExpectBoxClosed();
    // A message box answered with the Escape key.
    void ExpectBoxEscape();
    // A message box answered with the Enter key.
    void ExpectBoxEnter();

    [[nodiscard]] const std::vector<TSeenBox>& Seen() const noexcept { return FSeen; }
    [[nodiscard]] const QStringList& Unexpected() const noexcept { return FUnexpected; }
    [[nodiscard]] std::size_t Pending() const noexcept { return FSteps.size(); }
    void Record(QMessageBox* box);

private:
    void Poll();

    QTimer FTimer;
    std::deque<TStep> FSteps;
    std::vector<TSeenBox> FSeen;
    QStringList FUnexpected;
    QPointer<QWidget> FLastModal;
    int FPollsOnLast = 0;
};

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at folders of their own for as long
// as it lives.
class TPrivateHome {
public:
    Q_DISABLE_COPY_MOVE(TPrivateHome)
    TPrivateHome();
    ~TPrivateHome();

    [[nodiscard]] QString Path(const QString& relative = {}) const { return FFolder.filePath(relative); }
    [[nodiscard]] QString SettingsFile() const;

private:
    QTemporaryDir FFolder;
    QByteArray FOldConfig;
    QByteArray FOldData;
};

// The base of the window test classes: every test function runs with settings
// and data folders of its own, FHome.
class TWindowTest : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<TPrivateHome> FHome;

private slots:
    void init() { FHome = std::make_unique<TPrivateHome>(); }
    void cleanup() { FHome.reset(); }
};

template <typename T> T* Find(QWidget* root, const char* name) {
    return root->findChild<T*>(QString::fromLatin1(name));
}

// Types text into a widget key by key; characters without a key of their own
// arrive as key events carrying the character.
void TypeText(QWidget* widget, const QString& text);

// Text of a file, or empty.
[[nodiscard]] QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& bytes);

// Writes a settings file holding the given value lines under the settings key.
void WriteSettings(const TPrivateHome& home, const QStringList& valueLines);

} // namespace quillock::ui::test
