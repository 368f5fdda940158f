// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace tickora::gui {

bool NotifyDesktop(const QString& summary, const QString& body) {
    static const QString kService = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr ||
        !bus.interface()->isServiceRegistered(kService).value()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/org/freedesktop/Notifications"), kService,
        QStringLiteral("Notify"));
    // app name, replaces id, icon, summary, body, actions, hints, timeout (-1: the server's)
    call << QStringLiteral("Tickora") << 0u << QStringLiteral("tickora") << summary << body
         << QStringList() << QVariantMap() << -1;
    // Not waited for: a slow service must not hold the window.
    return bus.send(call);
}

}  // namespace tickora::gui
