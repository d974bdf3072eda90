#include "window/display_text.h"

namespace zentrel::window {

QString to_display(const std::string& bytes) {
    QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::string from_display(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace zentrel::window
