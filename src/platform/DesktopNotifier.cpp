#include "DesktopNotifier.h"

#include "DesktopIdentity.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

void DesktopNotifier::notify(const QString& title, const QString& body) const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), DesktopIdentity::id}};
    const uint replacesNone = 0;
    const int serverDefaultTimeout = -1;
    call << DesktopIdentity::appName << replacesNone << DesktopIdentity::id << title << body
         << QStringList() << hints << serverDefaultTimeout;
    // The id the service answers with is of no use to us, so nobody waits for it.
    bus.send(call);
}
