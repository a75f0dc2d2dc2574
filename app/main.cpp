// The window program: creates the main window, runs the message loop, and
// destroys the window (which saves the settings) before ending with the exit
// code the window decided.
#include "platform/Hardening.h"
#include "platform/Signals.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QSocketNotifier>

#include <memory>

int main(int argc, char* argv[]) {
    // Before any password or plain text is in memory.
    quillock::platform::DisableCoreDumps();
    quillock::platform::InstallSignalHandling();
    QApplication application(argc, argv);
    // The window hides itself while the editor runs; only the window says
    // when the program ends.
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/quillock-48.png"));
    icon.addFile(QStringLiteral(":/icons/quillock-256.png"));
    QApplication::setWindowIcon(icon);

    // The arguments as the file system spells them (the toolkit has taken its own out).
    QStringList arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.append(QFile::decodeName(argv[index]));
    }

    int exitCode = 0;
    {
        auto form = std::make_unique<quillock::ui::TForm1>(arguments);
        QObject::connect(form.get(), &quillock::ui::TForm1::ProgramEnded, &application,
                         [](int code) { QCoreApplication::exit(code); });
        // The handler only writes to a pipe; the window acts on it in its loop.
        std::unique_ptr<QSocketNotifier> signalWatch;
        if (quillock::platform::SignalPipe() >= 0) {
            signalWatch = std::make_unique<QSocketNotifier>(quillock::platform::SignalPipe(), QSocketNotifier::Read);
            QObject::connect(signalWatch.get(), &QSocketNotifier::activated, form.get(),
                             &quillock::ui::TForm1::SignalArrived);
        }
        form->show();
        exitCode = QApplication::exec();
        if (form->ExitCode()) {
            exitCode = *form->ExitCode();
        }
    } // FormDestroy: the settings are saved here, at every end
    return exitCode;
}
