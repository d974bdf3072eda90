#include "window/main_window.h"

namespace zentrel::window {

Main_Window::Main_Window(QWidget* parent) : QWidget(parent) { setWindowTitle("Zentrel"); }

}  // namespace zentrel::window
