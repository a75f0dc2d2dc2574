// A dark colour scheme as desktops ship it.
#include "ui/DarkPalette.h"

namespace quillock::ui {

QPalette DarkPalette() {
    QPalette dark;
    const QColor grey(53, 53, 53);
    const QColor light(230, 230, 230);
    dark.setColor(QPalette::Window, grey);
    dark.setColor(QPalette::WindowText, light);
    dark.setColor(QPalette::Button, grey);
    dark.setColor(QPalette::ButtonText, light);
    dark.setColor(QPalette::Base, QColor(35, 35, 35));
    dark.setColor(QPalette::AlternateBase, grey);
    dark.setColor(QPalette::Text, light);
    dark.setColor(QPalette::Light, QColor(90, 90, 90));
    dark.setColor(QPalette::Midlight, QColor(70, 70, 70));
    dark.setColor(QPalette::Mid, QColor(40, 40, 40));
    dark.setColor(QPalette::Dark, QColor(25, 25, 25));
    dark.setColor(QPalette::Shadow, QColor(10, 10, 10));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(127, 127, 127));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(127, 127, 127));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(127, 127, 127));
    return dark;
}

} // namespace quillock::ui
