#pragma once

#include <QWidget>

namespace zentrel::window {

class Main_Window : public QWidget {
    Q_OBJECT
public:
    explicit Main_Window(QWidget* parent = nullptr);
};

}  // namespace zentrel::window
