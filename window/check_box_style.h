// How the option check boxes are drawn: the desktop's style, with an outline
// that shows on light and dark backgrounds alike and an indicator that fits
// the boxes' fixed size.
#pragma once

class QStyle;

namespace zentrel::window {

// One style for every option box, living as long as the application.
QStyle* Check_Box_Style();

}  // namespace zentrel::window
