#include "platform/servicepublisher.h"

#include "platform/avahi.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QList>
#include <QSysInfo>

namespace {

const QString groupInterface = QStringLiteral("org.freedesktop.Avahi.EntryGroup");
constexpr int collision = 3;    // AVAHI_ENTRY_GROUP_COLLISION
constexpr int maxRenames = 20;  // a network that takes every name gets no announcement

} // namespace

using avahi::callTimeoutMs;
using avahi::serverCall;
using avahi::unspecified;

QString ServicePublisher::instanceName()
{
    QString name = QSysInfo::machineHostName();
    if (name.isEmpty())
        name = QStringLiteral("Kelvaro");
    while (name.toUtf8().size() > 63)
        name.chop(1);
    return name;
}

ServicePublisher::ServicePublisher(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    qDBusRegisterMetaType<QList<QByteArray>>(); // the TXT record: no strings
    m_daemon = new QDBusServiceWatcher(avahi::service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_daemon, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                // The old daemon's entry group died with it.
                forgetGroup();
                if (!newOwner.isEmpty() && m_wanted)
                    createGroup();
            });
}

ServicePublisher::~ServicePublisher()
{
    if (!m_group.isEmpty())
        QDBusConnection::systemBus().send(groupCall(QStringLiteral("Free")));
}

void ServicePublisher::publish(const QString &type, quint16 port)
{
    if (!m_daemon)
        return; // no system bus
    m_wanted = true;
    m_type = type;
    m_port = port;
    m_name = instanceName();
    m_renames = 0;
    if (!m_group.isEmpty())
        addService();
    else if (!m_creating)
        createGroup();
}

void ServicePublisher::withdraw()
{
    m_wanted = false;
    if (!m_group.isEmpty())
        QDBusConnection::systemBus().send(groupCall(QStringLiteral("Reset")));
}

void ServicePublisher::createGroup()
{
    m_creating = std::make_unique<QDBusPendingCallWatcher>(QDBusConnection::systemBus().asyncCall(
        serverCall(QStringLiteral("EntryGroupNew"), {}), callTimeoutMs));
    connect(m_creating.get(), &QDBusPendingCallWatcher::finished, this, &ServicePublisher::groupCreated);
}

void ServicePublisher::groupCreated(QDBusPendingCallWatcher *call)
{
    m_creating.release()->deleteLater(); // not from within its own signal
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError())
        return; // no daemon: nothing to announce through
    m_group = reply.value().path();
    m_owner = reply.reply().service();
    // Subscribed before anything is committed, so no change of state is missed; the
    // sender is checked in the slot, as naming the daemon here would ask the bus who
    // it is and wait for the answer.
    QDBusConnection::systemBus().connect(QString(), m_group, groupInterface,
                                         QStringLiteral("StateChanged"), this,
                                         SLOT(onStateChanged(QDBusMessage)));
    if (m_wanted)
        addService();
}

void ServicePublisher::addService()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    bus.send(groupCall(QStringLiteral("Reset")));
    // A name that another service of this machine holds already is refused at once.
    auto *added = new QDBusPendingCallWatcher(
        bus.asyncCall(groupCall(QStringLiteral("AddService"),
                                {unspecified, unspecified, 0u, m_name, m_type, QString(),
                                 QString(), QVariant::fromValue(m_port),
                                 QVariant::fromValue(QList<QByteArray>())}),
                      callTimeoutMs),
        this);
    connect(added, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *c) {
        c->deleteLater();
        if (c->isError() && c->error().name() == QStringLiteral("org.freedesktop.Avahi.CollisionError"))
            rename();
    });
    bus.send(groupCall(QStringLiteral("Commit")));
}

void ServicePublisher::onStateChanged(const QDBusMessage &signal)
{
    if (signal.service() != m_owner || signal.path() != m_group || signal.arguments().isEmpty())
        return;
    if (signal.arguments().constFirst().toInt() == collision)
        rename();
}

void ServicePublisher::rename()
{
    if (!m_wanted || m_group.isEmpty())
        return;
    if (++m_renames > maxRenames)
        return;
    auto *call = new QDBusPendingCallWatcher(
        QDBusConnection::systemBus().asyncCall(
            serverCall(QStringLiteral("GetAlternativeServiceName"), {m_name}), callTimeoutMs),
        this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *c) {
        c->deleteLater();
        const QDBusPendingReply<QString> reply = *c;
        if (reply.isError() || !m_wanted || m_group.isEmpty())
            return;
        m_name = reply.value();
        addService();
    });
}

void ServicePublisher::forgetGroup()
{
    m_creating.reset();
    if (!m_group.isEmpty())
        QDBusConnection::systemBus().disconnect(QString(), m_group, groupInterface,
                                                QStringLiteral("StateChanged"), this,
                                                SLOT(onStateChanged(QDBusMessage)));
    m_group.clear();
    m_owner.clear();
}

QDBusMessage ServicePublisher::groupCall(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage m = QDBusMessage::createMethodCall(m_owner, m_group, groupInterface, method);
    m.setArguments(arguments);
    return m;
}
