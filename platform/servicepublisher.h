// Announces one DNS-SD service of this machine on the local network, on every
// interface, through the system's Avahi daemon on the D-Bus system bus, under the
// machine's host name (or the daemon's next free variant of it, when another machine
// has that name). The announcement lasts while it is published and the program runs:
// the daemon drops it when the program's bus connection closes, however the program
// ended. Withdrawn, it goes from the network, and a later publish announces it again.
// Without a system bus or a daemon nothing happens and nothing is said; nothing ever
// waits for the bus. A daemon that restarts gets the announcement again.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class Avahi;

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

private:
    void createGroup();
    void addService();
    void rename();
    void forgetGroup();

    const std::unique_ptr<Avahi> m_avahi;
    bool m_wanted = false;
    QString m_type;
    quint16 m_port = 0;
    QString m_name;
    int m_renames = 0;
    // Bumped by each publish and withdraw: the daemon's answers about an earlier
    // announcement (a collision, a free name) no longer apply to the one wanted now.
    quint64 m_round = 0;
    bool m_creating = false; // the entry group is asked for
    QString m_group;         // the entry group's object path, once known
};
