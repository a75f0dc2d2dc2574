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

#include <cstdio>
#include <memory>
#include <span>
#include <string_view>

namespace {

constexpr std::string_view Usage = "usage: quillock [FILE]\n"
                                   "       quillock -h | --help | -V | --version\n"
                                   "Opens the window on FILE (a sealed .qlx data file, or a plain editor file to "
                                   "import).\n"
                                   "The terminal tool is quillock-cli; see quillock(1) and quillock-cli(1).\n";

// --help and --version are answered on standard output before the toolkit
// starts, so they need no display. Returns the exit code then; -1 to start
// the window. Qt's own options (-platform NAME, ...) may stand before them.
int AnswerWithoutWindow(std::span<char*> arguments) {
    if (arguments.empty()) {
        return -1;
    }
    for (std::string_view argument : arguments.subspan(1)) {
        if (argument == "--") {
            break;
        }
        if (argument == "--help" || argument == "-h") {
            std::fwrite(Usage.data(), 1, Usage.size(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (argument == "--version" || argument == "-V") {
            std::printf("quillock %s\n", QUILLOCK_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    // Before any password or plain text is in memory.
    quillock::platform::DisableCoreDumps();
    quillock::platform::InstallSignalHandling();
    if (const int code = AnswerWithoutWindow(std::span<char*>(argv, static_cast<std::size_t>(argc))); code >= 0) {
        return code;
    }
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
