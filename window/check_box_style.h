// How the option check boxes are drawn: the desktop's style, with an outline
// that shows on light and dark backgrounds alike and an indicator that fits
// the boxes' fixed size.
#pragma once

#include <QPalette>

class QStyle;

namespace zentrel::window {

// One style for every option box, living as long as the application.
QStyle* Check_Box_Style();

// The palette with the list's text and selected text readable (at least
// 4.5:1) against their backgrounds: where a theme pairs them more weakly,
// the text becomes black or white, whichever stands out more.
QPalette Readable_List_Palette(QPalette palette);

}  // namespace zentrel::window
