#include "platform/servicepublisher.h"

#include "platform/avahi.h"

#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QList>
#include <QSysInfo>

namespace {

const QString groupInterface = QStringLiteral("org.freedesktop.Avahi.EntryGroup");
constexpr int collision = 3;    // AVAHI_ENTRY_GROUP_COLLISION
constexpr int maxRenames = 20;  // a network that takes every name gets no announcement

} // namespace

QString ServicePublisher::instanceName()
{
    QString name = QSysInfo::machineHostName();
    if (name.isEmpty())
        name = QStringLiteral("Kelvaro");
    while (name.toUtf8().size() > 63)
        name.chop(1);
    return name;
}

ServicePublisher::ServicePublisher(QObject *parent)
    : QObject(parent), m_avahi(std::make_unique<Avahi>())
{
    qDBusRegisterMetaType<QList<QByteArray>>(); // the TXT record: no strings
    // Listened to before the group exists, so that no change of its state is missed.
    m_avahi->listen(groupInterface, QStringLiteral("StateChanged"));
    connect(m_avahi.get(), &Avahi::received, this, [this](const QDBusMessage &signal) {
        const QVariantList a = signal.arguments();
        if (signal.path() == m_group && !a.isEmpty() && a.constFirst().toInt() == collision)
            rename();
    });
    connect(m_avahi.get(), &Avahi::appeared, this, [this] {
        if (m_wanted)
            createGroup();
    });
    connect(m_avahi.get(), &Avahi::gone, this, &ServicePublisher::forgetGroup);
}

ServicePublisher::~ServicePublisher()
{
    if (!m_group.isEmpty())
        m_avahi->send(m_group, groupInterface, QStringLiteral("Free"));
}

void ServicePublisher::publish(const QString &type, quint16 port)
{
    m_wanted = true;
    ++m_round;
    m_type = type;
    m_port = port;
    m_name = instanceName();
    m_renames = 0;
    if (!m_group.isEmpty())
        addService();
    else if (!m_creating && !m_avahi->owner().isEmpty())
        createGroup();
}

void ServicePublisher::withdraw()
{
    m_wanted = false;
    ++m_round;
    // The group stays, empty, for the next publish; its records leave the network.
    if (!m_group.isEmpty())
        m_avahi->send(m_group, groupInterface, QStringLiteral("Reset"));
}

void ServicePublisher::createGroup()
{
    m_creating = true;
    m_avahi->makeObject(QStringLiteral("EntryGroupNew"), {}, this, [this] { m_creating = false; },
                        [this](const QString &path) {
                            m_group = path;
                            if (m_wanted)
                                addService();
                        });
}

void ServicePublisher::addService()
{
    m_avahi->send(m_group, groupInterface, QStringLiteral("Reset"));
    // A name that another service of this machine holds already is refused at once.
    auto *added = new QDBusPendingCallWatcher(
        m_avahi->call(m_group, groupInterface, QStringLiteral("AddService"),
                      {Avahi::unspecified, Avahi::unspecified, 0u, m_name, m_type, QString(),
                       QString(), QVariant::fromValue(m_port),
                       QVariant::fromValue(QList<QByteArray>())}),
        this);
    connect(added, &QDBusPendingCallWatcher::finished, this,
            [this, round = m_round](QDBusPendingCallWatcher *c) {
                c->deleteLater();
                if (round == m_round && c->isError()
                    && c->error().name() == QStringLiteral("org.freedesktop.Avahi.CollisionError"))
                    rename();
            });
    m_avahi->send(m_group, groupInterface, QStringLiteral("Commit"));
}

void ServicePublisher::rename()
{
    if (!m_wanted || m_group.isEmpty())
        return;
    if (++m_renames > maxRenames)
        return;
    auto *call = new QDBusPendingCallWatcher(
        m_avahi->callServer(QStringLiteral("GetAlternativeServiceName"), {m_name}), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, round = m_round](QDBusPendingCallWatcher *c) {
                c->deleteLater();
                const QDBusPendingReply<QString> reply = *c;
                if (reply.isError() || round != m_round || !m_wanted || m_group.isEmpty())
                    return;
                m_name = reply.value();
                addService();
            });
}

void ServicePublisher::forgetGroup()
{
    // The old daemon's entry group died with it.
    m_creating = false;
    m_group.clear();
}
