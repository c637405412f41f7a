// Announces one DNS-SD service of this machine on the local network, on every
// interface, through the system's Avahi daemon on the D-Bus system bus, under the
// machine's host name (or the daemon's next free variant of it, when another machine
// has that name). The announcement lasts while it is published and the program runs:
// the daemon drops it when the program's bus connection closes, however the program
// ended. Without a system bus or a daemon nothing happens and nothing is said; every
// call is asynchronous. A daemon that restarts gets the announcement again.
#pragma once

#include <QDBusMessage>
#include <QObject>
#include <memory>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

class ServicePublisher : public QObject
{
    Q_OBJECT
public:
    explicit ServicePublisher(QObject *parent = nullptr);
    ~ServicePublisher() override;

    void publish(const QString &type, quint16 port);
    void withdraw();

    // The name the service goes by: the host name, at most one DNS label of 63 bytes.
    static QString instanceName();

private slots:
    void onStateChanged(const QDBusMessage &signal);

private:
    void createGroup();
    void groupCreated(QDBusPendingCallWatcher *call);
    void addService();
    void rename();
    void forgetGroup();
    QDBusMessage groupCall(const QString &method, const QVariantList &arguments = {}) const;

    bool m_wanted = false;
    QString m_type;
    quint16 m_port = 0;
    QString m_name;
    int m_renames = 0;
    QString m_owner;  // the daemon's unique name, from its answer
    QString m_group;  // the entry group's object path, once known
    std::unique_ptr<QDBusPendingCallWatcher> m_creating;
    QDBusServiceWatcher *m_daemon = nullptr;
};
