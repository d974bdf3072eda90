// Texts cross between the plain layers (bytes, UTF-8 normally) and Qt
// (QString) only for display.
#pragma once

#include <QtCore/qnamespace.h>
#include <QString>

#include <string>

namespace zentrel::window {

// Invalid UTF-8 shows as replacement characters; "\r\n" becomes a line break.
QString to_display(const std::string& bytes);

// The role under which an error-list entry keeps the reason it is there.
inline constexpr int Error_Reason_Role = Qt::UserRole + 1;
std::string from_display(const QString& text);

}  // namespace zentrel::window
