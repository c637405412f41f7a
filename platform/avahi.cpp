#include "platform/avahi.h"

QDBusMessage avahi::serverCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, QStringLiteral("/"),
                                                    QStringLiteral("org.freedesktop.Avahi.Server"),
                                                    method);
    m.setArguments(arguments);
    m.setAutoStartService(false);
    return m;
}
