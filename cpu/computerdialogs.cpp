#include "cpu/computerdialogs.h"

Dialogs::Answer ComputerDialogs::MsgBox(const QString &text, Buttons buttons, const QString &)
{
    if (m_answerer)
        return m_answerer(text, buttons);
    return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
}

QString ComputerDialogs::InputBox(const QString &, const QString &, const QString &)
{
    return {};
}
