// The desktop's notice that a run has ended, for a user who has turned to
// other work meanwhile.
#include "window/run_notice.h"

#include "window/display_text.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace zentrel::window {

void Send_Desktop_Notice(const std::string& summary, const std::string& body) {
    // The freedesktop notification service; without a session bus or a
    // service the notice is simply not shown.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Zentrel") << 0u << QStringLiteral("zentrel") << to_display(summary) << to_display(body)
         << QStringList() << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("zentrel")}} << -1;
    bus.call(call, QDBus::NoBlock);
}

}  // namespace zentrel::window
