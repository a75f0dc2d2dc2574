// Runs the window tests: every test class, or the one named first on the
// command line (the rest of the arguments go to Qt Test).
#include <QApplication>
#include <QObject>
#include <QTest>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace quillock::ui::test {
QObject* MakeLayoutTest();
QObject* MakeHandlersTest();
QObject* MakeSettingsTest();
QObject* MakePromptTest();
QObject* MakeSessionTest();
QObject* MakeDesktopTest();
QObject* MakeKeyboardTest();
QObject* MakePlacementTest();
} // namespace quillock::ui::test

int main(int argc, char* argv[]) {
    using namespace quillock::ui::test;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const std::vector<std::pair<const char*, std::function<QObject*()>>> classes = {
        {"layout", MakeLayoutTest},     {"handlers", MakeHandlersTest},   {"settings", MakeSettingsTest},
        {"prompts", MakePromptTest},    {"session", MakeSessionTest},     {"desktop", MakeDesktopTest},
        {"keyboard", MakeKeyboardTest}, {"placement", MakePlacementTest},
    };
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    QStringList arguments = QApplication::arguments();
    if (only != nullptr) {
        arguments.removeAt(1);
    }
    int failures = 0;
    bool ran = false;
    for (const auto& [name, make] : classes) {
        if (only != nullptr && std::strcmp(only, name) != 0) {
            continue;
        }
        ran = true;
        std::unique_ptr<QObject> test(make());
        failures += QTest::qExec(test.get(), arguments);
    }
    return ran ? (failures == 0 ? 0 : 1) : 2;
}
