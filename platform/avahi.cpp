#include "platform/avahi.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QStringList>

namespace {

const QString service = QStringLiteral("org.freedesktop.Avahi");
const QString defaultSystemBus = QStringLiteral("unix:path=/var/run/dbus/system_bus_socket");
constexpr qint64 maxAnswerLength = 256;

} // namespace

// Qt connects to the system bus on the first QDBusConnection::systemBus(), and that
// call waits for the bus's answers to its greeting, on the calling thread and on Qt's
// one D-Bus thread, under a lock that every other bus of the program shares (the
// session bus, the accessibility bus). Against a bus socket that takes the connection
// and then says nothing it waits without end (a window still missing after two
// minutes), and doing the connect on a helper thread would stall every other bus of
// the program instead.
// So the bus is asked first, here on the event loop: one line of its handshake over a
// socket of our own ("AUTH" without a mechanism, which every D-Bus server answers at
// once with the mechanisms it takes). Only a bus that answered so is then connected
// through Qt, whose greeting the same daemon answers as it did ours; one that never
// answers is simply not used. The answer is not timed: a daemon slow under load still
// answers, and refusing it would leave the host unannounced for its whole run.
Avahi::Avahi(QObject *parent) : QObject(parent)
{
    QLocalSocket::SocketOptions options;
    const QString socket = busSocket(&options);
    if (socket.isEmpty())
        return;
    connect(&m_probe, &QLocalSocket::connected, this,
            [this] { m_probe.write(QByteArrayLiteral("\0AUTH\r\n")); });
    connect(&m_probe, &QLocalSocket::readyRead, this, &Avahi::probeAnswered);
    m_probe.setSocketOptions(options);
    // A local socket's connect is settled at once: refused, missing or taken.
    m_probe.connectToServer(socket);
    m_busPresent = m_probe.state() != QLocalSocket::UnconnectedState;
}

Avahi::~Avahi() = default;

// The socket of the system bus as libdbus finds it: the first Unix socket entry of
// DBUS_SYSTEM_BUS_ADDRESS, or the well-known path. A bus reached any other way is not
// used, as it could not be asked first.
QString Avahi::busSocket(QLocalSocket::SocketOptions *options)
{
    QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (address.isEmpty())
        address = defaultSystemBus;
    for (const QString &entry : address.split(u';', Qt::SkipEmptyParts)) {
        if (!entry.startsWith(QStringLiteral("unix:")))
            continue;
        for (const QString &pair : entry.mid(5).split(u',')) {
            const QString key = pair.section(u'=', 0, 0);
            const QString value = QString::fromUtf8(
                QByteArray::fromPercentEncoding(pair.section(u'=', 1).toUtf8()));
            if (value.isEmpty())
                continue;
            if (key == QStringLiteral("path")) {
                *options = QLocalSocket::NoOptions;
                return value;
            }
            if (key == QStringLiteral("abstract")) {
                *options = QLocalSocket::AbstractNamespaceOption;
                return value;
            }
        }
    }
    return {};
}

void Avahi::probeAnswered()
{
    if (!m_probe.canReadLine()) {
        if (m_probe.bytesAvailable() > maxAnswerLength)
            m_probe.abort(); // not a bus
        return;
    }
    const QByteArray line = m_probe.readLine(maxAnswerLength);
    m_probe.abort();
    if (line.startsWith("REJECTED "))
        connectBus();
}

void Avahi::connectBus()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    m_connected = true;
    for (const auto &[interface, member] : m_listened)
        bus.connect(QString(), QString(), interface, member, this, SLOT(onSignal(QDBusMessage)));
    // Watched before the owner is asked for, so that no change after the answer is
    // missed; the bus sends both in the order they happened.
    auto *watcher = new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) { setOwner(newOwner); });
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ask.setArguments({service});
    auto *asked = new QDBusPendingCallWatcher(bus.asyncCall(ask, callTimeoutMs), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *c) {
        c->deleteLater();
        const QDBusPendingReply<QString> reply = *c;
        if (!reply.isError())
            setOwner(reply.value()); // an error is the daemon not running: no owner
    });
}

void Avahi::setOwner(const QString &owner)
{
    if (owner == m_owner)
        return;
    if (!m_owner.isEmpty()) {
        m_owner.clear();
        emit gone();
    }
    m_owner = owner;
    if (!m_owner.isEmpty())
        emit appeared();
}

void Avahi::listen(const QString &interface, const QString &member)
{
    m_listened.emplace_back(interface, member);
    if (m_connected)
        QDBusConnection::systemBus().connect(QString(), QString(), interface, member, this,
                                             SLOT(onSignal(QDBusMessage)));
}

void Avahi::onSignal(const QDBusMessage &signal)
{
    // Anyone on the bus may send a signal; only the running daemon's count.
    if (!m_owner.isEmpty() && signal.service() == m_owner)
        emit received(signal);
}

QDBusMessage Avahi::message(const QString &path, const QString &interface, const QString &method,
                            const QVariantList &arguments) const
{
    // Addressed to the daemon that runs now, never by its well-known name: a daemon
    // started since knows nothing of the objects of the one before.
    QDBusMessage m = QDBusMessage::createMethodCall(m_owner, path, interface, method);
    m.setArguments(arguments);
    m.setAutoStartService(false);
    return m;
}

QDBusPendingCall Avahi::call(const QString &path, const QString &interface, const QString &method,
                             const QVariantList &arguments) const
{
    if (m_owner.isEmpty())
        return QDBusPendingCall::fromError(QDBusError(QDBusError::ServiceUnknown, service));
    return QDBusConnection::systemBus().asyncCall(message(path, interface, method, arguments),
                                                  callTimeoutMs);
}

void Avahi::send(const QString &path, const QString &interface, const QString &method,
                 const QVariantList &arguments) const
{
    if (!m_owner.isEmpty())
        QDBusConnection::systemBus().send(message(path, interface, method, arguments));
}

QDBusPendingCall Avahi::callServer(const QString &method, const QVariantList &arguments) const
{
    return call(QStringLiteral("/"), QStringLiteral("org.freedesktop.Avahi.Server"), method, arguments);
}

void Avahi::makeObject(const QString &method, const QVariantList &arguments, QObject *context,
                       std::function<void()> answered, std::function<void(const QString &path)> made)
{
    auto *call = new QDBusPendingCallWatcher(callServer(method, arguments), context);
    connect(call, &QDBusPendingCallWatcher::finished, context,
            [this, daemon = m_owner, answered = std::move(answered),
             made = std::move(made)](QDBusPendingCallWatcher *c) {
                c->deleteLater();
                if (daemon != m_owner)
                    return;
                answered();
                const QDBusPendingReply<QDBusObjectPath> reply = *c;
                if (!reply.isError())
                    made(reply.value().path());
            });
}
