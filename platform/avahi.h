// The Avahi daemon as the service publisher and the service browser share it: the
// system bus reached without ever making the event loop wait on a bus that does not
// answer, the daemon's owner on that bus watched so that both learn when it appears and
// when it goes, and the calls and signals of the daemon's objects. Only their .cpp files
// include this, so that nothing else builds against QtDBus.
#pragma once

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <functional>
#include <utility>
#include <vector>

class Avahi : public QObject
{
    Q_OBJECT
public:
    static constexpr int unspecified = -1;      // AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC
    static constexpr int callTimeoutMs = 10000; // the daemon gives up resolving after 5 s itself

    explicit Avahi(QObject *parent = nullptr);
    ~Avahi() override;

    // Whether a system bus took the connection at all, known at once. Without one the
    // daemon can never be reached; a bus that then says nothing is the same as no daemon.
    bool busPresent() const { return m_busPresent; }
    // The running daemon's unique name on the bus; empty while there is none.
    const QString &owner() const { return m_owner; }

    // Every signal named `member` of `interface` that the running daemon sends, from
    // any of its objects, comes through received(). Its signals go to their client
    // alone, so this sees only the objects this program made.
    void listen(const QString &interface, const QString &member);

    // Calls of the running daemon's object `path`; with no daemon they do nothing.
    QDBusPendingCall call(const QString &path, const QString &interface, const QString &method,
                          const QVariantList &arguments = {}) const;
    void send(const QString &path, const QString &interface, const QString &method,
              const QVariantList &arguments = {}) const;
    QDBusPendingCall callServer(const QString &method, const QVariantList &arguments) const;
    // Asks the server to make an object (an entry group, a browser) and hands its path to
    // `made` with `context` alive; `answered` runs first on any answer of the daemon that
    // is still the running one. Answers of a daemon that has gone since are dropped.
    void makeObject(const QString &method, const QVariantList &arguments, QObject *context,
                    std::function<void()> answered, std::function<void(const QString &path)> made);

signals:
    // The daemon runs, as a new daemon: none of the objects of an earlier one exist.
    void appeared();
    // The daemon went, and every object it made for this program with it.
    void gone();
    void received(const QDBusMessage &signal);

private slots:
    void onSignal(const QDBusMessage &signal);

private:
    static QString busSocket(QLocalSocket::SocketOptions *options);
    void probeAnswered();
    void connectBus();
    void setOwner(const QString &owner);
    QDBusMessage message(const QString &path, const QString &interface, const QString &method,
                         const QVariantList &arguments) const;

    bool m_busPresent = false;
    bool m_connected = false;
    QLocalSocket m_probe;
    QString m_owner;
    std::vector<std::pair<QString, QString>> m_listened; // interface, member
};
