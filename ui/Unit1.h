// The main window: choosing the data file, the password, the options area, and
// the window operations the editing session runs through. Its members live in
// Unit1.cpp (creation, settings, handlers), Layout.cpp (controls, geometry),
// Placement.cpp (where the window stands), ViewOperations.cpp (the session's
// view) and Prompts.cpp (questions, prompts).
#pragma once

#include "session/Preferences.h"
#include "session/SessionView.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSystemTrayIcon;

namespace quillock::ui {

class TForm1 final : public QDialog, public session::SessionView {
    Q_OBJECT

public:
    // The client width, the collapsed and expanded outer heights, and the frame
    // (title bar and borders) counted into the outer height.
    static constexpr int ClientWidth = 286;
    static constexpr int CollapsedHeight = 160;
    static constexpr int FrameHeight = 20;
    static constexpr int OptionsSteps = 46;

    // Creates the window (FormCreate); arguments are the command-line arguments
    // after the program's name.
    explicit TForm1(const QStringList& arguments = {}, QWidget* parent = nullptr);
    // Saves the preferences (FormDestroy).
    ~TForm1() override;

    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The window's height with its frame.
    [[nodiscard]] int OuterHeight() const;
    // How much larger than its 8-point pixel layout the window is drawn: at
    // least the desktop font's size over 8 points, more where a text needs it.
    [[nodiscard]] double Scale() const noexcept { return FScale; }
    // A length or a rectangle of the layout, as drawn.
    [[nodiscard]] int Scaled(int design) const;
    [[nodiscard]] QRect Scaled(const QRect& design) const;
    [[nodiscard]] bool OptionsShown() const noexcept { return FOptionsShown; }
    [[nodiscard]] const std::array<std::string, session::EditionCount>& EditionPaths() const noexcept {
        return FEditionPaths;
    }
    // The exit code the program ends with, once it is decided.
    [[nodiscard]] std::optional<int> ExitCode() const noexcept { return FExitCode; }

    void UpdateCaptions();

    // SessionView
    datafile::TModalResult AskLeftOver(const std::string& text) override;
    bool ConfirmEditingFinished(const std::string& text) override;
    void LockWindow() override;
    void SetStatus(const std::string& text) override;
    void SetPanelText(const std::string& text) override;
    void PumpMessages() override;
    void HideMainWindow() override;
    void ShowMainWindow() override;
    void WarnBox(const std::string& text) override;
    void TickCompress() override;
    void ClearPassword() override;
    void SavePreferences() override;
    void EndProgram() override;
    void ShowTrayIcon() override;
    void HideTrayIcon() override;
    void SetDataFileName(const std::string& path) override;
    [[nodiscard]] bool UseCompression() const override;
    [[nodiscard]] bool Decompress() const override;
    [[nodiscard]] bool DoubleBackup() const override;
    [[nodiscard]] std::string ExeName() const override;
    // Shows how far a long step is in the progress line, a few times a
    // second, and handles the window's pending messages there.
    void Progress(std::uint64_t done, std::uint64_t total) override;
    [[nodiscard]] std::string EditorHint() const override;
    // The stored setting (the window has no control for it).
    [[nodiscard]] platform::TPrivateTemp PrivateTemp() const override { return FPrivateTemp; }
    // A wrong password ends the run, not the program: the window asks again.
    [[nodiscard]] bool TriesAnotherPassword() const override { return true; }
    // A local event loop of a twentieth of a second: the window paints and
    // answers while the editor runs.
    [[nodiscard]] std::function<void()> EditorWaitStep() override;
    [[nodiscard]] bool CancelRequested() const override { return FCancelRequested; }
    [[nodiscard]] std::string DataFileName() const override;
    [[nodiscard]] platform::TSecretText Password() const override;
    void SetPassword(std::string_view password) override;
    [[nodiscard]] int AlgorithmIndex() const override;
    void SetAlgorithmIndex(int index) override;
    [[nodiscard]] int HashIndex() const override;
    void SetHashIndex(int index) override;
    [[nodiscard]] bool ChangePass() const override;
    [[nodiscard]] bool ChangeAlgorithm() const override;
    [[nodiscard]] std::string Caption() const override;
    datafile::TModalResult AskUser(const std::string& text, datafile::TMsgDlgType kind,
                                   datafile::TMsgDlgButtons buttons) override;
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override;
    bool QuestionBox(const std::string& text) override;
    void PostPrivateMessage(datafile::TPromptKind prompt) override;
    [[noreturn]] void ExitWithError() override;

signals:
    // The program is to end with this exit code: Cancel, the close box, the
    // end of the editing session or a fatal failure in it.
    void ProgramEnded(int exitCode);

public slots:
    // A signal came (SIGINT, SIGTERM, SIGHUP, SIGQUIT): with no session
    // running the program ends at once with 128 + its number; a session
    // acts on it itself (see session::BitBtn1Click) and the program ends with
    // that code once it is over.
    void SignalArrived();
    void BitBtn1Click();
    void BitBtn2Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void OptionsButtonClick();
    void ProgVerBottomClick();
    void Label3Click();
    void Label4Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The window manager's word that it framed the window (xcb only).
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    void changeEvent(QEvent* event) override;
    void customEvent(QEvent* event) override;
    // Escape reaches the window while a session keeps it disabled.
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape presses the Cancel button.
    void reject() override;

private:
    // The one line on standard error that says why the program ends.
    static void ReportSignalEnd(int signal);

    void CreateControls();
    // After a wrong password: the window as before OK, the password box
    // empty and focused for another try.
    void UnlockForAnotherTry();
    // What LockWindow disables while a session runs.
    [[nodiscard]] std::array<QWidget*, 14> LockedControls() const;
    void SetTabOrder();
    // The default button for the control that has the focus now.
    void FollowFocus(QWidget* focused);
    // The application's focus changes reach FollowFocus only while the form
    // is whole: the destructor breaks the link before the form is taken apart.
    QMetaObject::Connection FFocusFollower;
    // Colours from the desktop's scheme, at creation and when it changes.
    void ApplyPalette();
    // Fonts narrowed where a text would not fit its control.
    void FitTexts();
    void SetAccessibility();
    void HideCoveredControls();
    // Puts the frame's top left corner at the given point.
    void MoveFrameTo(QPoint topLeft);
    void CentreOnScreen();
    // Moves the window back into the screen's work area where it leaves it.
    void KeepOnScreen();
    // The progress line's text without a percentage.
    void SetNotify(const QString& text);
    // Shows the status text with suffix (a percentage, or nothing) after it.
    void ShowNotify(const QString& suffix);
    void FormCreate(const QStringList& arguments);
    void FormShow();
    void FormDestroy();
    // The client area's height in the layout's pixels.
    void SetDesignHeight(int clientHeight);
    void ChooseScale();
    void ScaleLayout(double scale);
    // Every text whole, nothing in a group box over its frame or title, the
    // bottom strip's labels apart.
    [[nodiscard]] bool LayoutFits() const;
    // The focus rule of the handlers: the password box, when the window can take it.
    void FocusPassword();
    void EndWith(int exitCode);
    // Escape or the close box while a session runs: before the editor started
    // the session is cancelled, afterwards it is finishing.
    void AskToStop();
    [[nodiscard]] int SelectedEdition() const;
    void SelectEdition(int index);
    QMessageBox* FindOwnQuestionBox() const;

    void MaskEdit1Change(const QString& text);
    void RadioGroup1Click();
    void ExeNameChange(const QString& text);
    void UseCompressionClick(bool checked);
    void DecompressClick(bool checked);
    void DoubleBackupClick(bool checked);
    void ChangePassClick();
    void AlgorithmCBChange();
    void ProgVerBottomMouseEnter();
    void ProgVerBottomMouseLeave();
    void Label4MouseEnter();
    void Label4MouseLeave();
    void Label3MouseEnter();
    void Label3MouseLeave();
    void MaskPasswordPrompt();
    void RelabelAlgorithmButtons();
    void RelabelHashButtons();

    // Controls, by their object names (the option boxes and the editor path
    // box carry a suffix here because the view's getters bear their names).
    QLabel* Label2 = nullptr;
    QLineEdit* FName = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* MaskEdit1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* OptionsButton = nullptr;
    QFrame* Bevel2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* AlgorithmCB = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* HashCB = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    QButtonGroup* RadioGroup1Items = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* UseCompressionBox = nullptr;
    QCheckBox* DecompressBox = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QCheckBox* DoubleBackupBox = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QCheckBox* ChangePassBox = nullptr;
    QCheckBox* ChangeAlgorithmBox = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* ExeNameEdit = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* Panel1 = nullptr;
    QLabel* CompressedNotify = nullptr;
    QWidget* Panel2 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* ProgVerBottom = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QPlainTextEdit* VersionsHistory = nullptr;
    QPlainTextEdit* LicenseInfo = nullptr;

    QSystemTrayIcon* FTrayIcon = nullptr;

    std::string FProgramVersion;
    std::string FCaption;
    // The editor path remembered for each edition, kept in step with ExeName.
    std::array<std::string, session::EditionCount> FEditionPaths;
    bool FEditionPathsLoaded = false;
    platform::TPrivateTemp FPrivateTemp = platform::TPrivateTemp::ptWhereNeeded;
    bool FOptionsShown = false;
    double FScale = 1.0;
    int FDesignHeight = 324;
    // Each control's place in the layout's pixels, in the window's
    // coordinates, and where its parent stands there.
    struct TDesignPlace {
        QWidget* Control;
        QRect Rect;
        QPoint ParentAt;
    };
    std::vector<TDesignPlace> FDesignRects;
    bool FShownBefore = false;
    // Centred at the first showing, and once more with the frame a window
    // manager reports once it has framed the window; never after that, nor
    // once the options or a session moved it, so that a drag is never undone.
    bool FCentring = false;
    QString FStatusText;
    qint64 FSchemeKey = 0;
    QElapsedTimer FProgressClock;
    bool FSessionRunning = false;
    bool FEditorStarted = false;
    bool FCancelRequested = false;
    bool FEndRequested = false;
    std::optional<int> FExitCode;
};

} // namespace quillock::ui
