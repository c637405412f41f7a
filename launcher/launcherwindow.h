// The launcher's one window: a line saying the game is for two players over the
// network, and two buttons that start the host or the client program. Each click starts
// one more independent copy; the launcher keeps no link to what it started. A program
// that cannot be started is named in a box and the launcher carries on.
#pragma once

#include <QString>
#include <QWidget>

class Dialogs;
class QLabel;
class WrappingButton;

class LauncherWindow : public QWidget
{
    Q_OBJECT
public:
    // The command lines of the installed layout, resolved against the current
    // directory: the launcher sits beside the folders Orrin and Velk.
    static QString hostCommandLine();
    static QString clientCommandLine();

    explicit LauncherWindow(Dialogs &dialogs, QString hostCommand = hostCommandLine(),
                            QString clientCommand = clientCommandLine(),
                            QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    WrappingButton *Command1 = nullptr;
    WrappingButton *Command2 = nullptr;

private:
    void Command1_Click();
    void Command2_Click();
    void start(const QString &commandLine);

    Dialogs &m_dialogs;
    const QString m_hostCommand;
    const QString m_clientCommand;
};
