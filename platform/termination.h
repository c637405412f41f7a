// SIGTERM, SIGINT and SIGHUP turned into an event of the program's event loop, so that
// a program asked to end (a logout, Ctrl+C, a closed terminal) still takes its last
// steps, such as removing the router's port mapping, instead of dying where it stands.
// The signal handler only writes the signal's number to a pipe; a socket notifier on
// the other end emits received() in the loop.
#pragma once

#include <QObject>

class QSocketNotifier;

class Termination : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers; one object per program.
    explicit Termination(QObject *parent = nullptr);
    ~Termination() override;

signals:
    void received(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
