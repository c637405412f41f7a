// The host window's line about being reached from elsewhere, below the submarine
// pictures where the window has room: a check box that lets the router's port be opened
// or kept closed (the choice is remembered between runs), and the text that says what
// a player should hand on and what the router made of the request. The text can be
// selected and copied, for a message to a friend. It mirrors the Reachability it is
// given and keeps no state of its own beyond the remembered choice.
#pragma once

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class Reachability;

class ReachLine : public QObject
{
    Q_OBJECT
public:
    // Builds the line in `window` and applies the remembered choice to `reach`.
    ReachLine(QWidget &window, Reachability &reach, quint16 port);

    QCheckBox *checkBox() const { return m_check; }
    QLabel *label() const { return m_label; }

    // The remembered choice, true unless the player turned it off.
    static bool savedChoice();

private:
    void show();

    Reachability &m_reach;
    quint16 m_port;
    QCheckBox *m_check = nullptr;
    QLabel *m_label = nullptr;
    QTimer m_update;
};
