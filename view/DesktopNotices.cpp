#include "view/DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace tamsel {

void SendDesktopNotice(const TaskNotice& notice) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    QDBusMessage call = QDBusMessage::createMethodCall(
        name, QStringLiteral("/org/freedesktop/Notifications"), name, QStringLiteral("Notify"));
    // The body may be read as markup; a file name comes from a page title, so it is
    // escaped rather than trusted.
    call << QStringLiteral("Tamsel") << 0u << QStringLiteral("tamsel")
         << QString::fromStdString(notice.summary)
         << QString::fromStdString(notice.body).toHtmlEscaped() << QStringList() << QVariantMap()
         << -1;
    bus.send(call);  // no reply awaited: a missing service costs nothing
}

}  // namespace tamsel
