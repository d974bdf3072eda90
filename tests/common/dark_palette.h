// A dark theme as GNOME's gives it to Qt applications: dark grey window, a
// dark blue selection and a light link colour.
#pragma once

#include <QColor>
#include <QPalette>

namespace zentrel::testing {

inline QPalette dark_palette() {
    const QColor window(0x35, 0x35, 0x35), text(0xee, 0xee, 0xec);
    QPalette palette(window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Base, QColor(0x2d, 0x2d, 0x2d));
    palette.setColor(QPalette::Highlight, QColor(0x15, 0x53, 0x9e));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x78, 0xae, 0xed));
    return palette;
}

}  // namespace zentrel::testing
