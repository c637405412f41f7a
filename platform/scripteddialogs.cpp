#include "platform/scripteddialogs.h"

#include <QtGlobal>

Dialogs::Answer ScriptedDialogs::MsgBox(const QString &text, Buttons buttons,
                                        const QString &title)
{
    Shown s;
    s.kind = Shown::Kind::MessageBox;
    s.text = text;
    s.title = title;
    s.buttons = buttons;
    if (buttons == Buttons::Ok) {
        s.answer = Answer::Ok;
    } else if (!m_answers.empty()) {
        s.answer = m_answers.front();
        m_answers.pop_front();
    } else {
        qFatal("ScriptedDialogs: no answer scripted for the box \"%s\" (title \"%s\")",
               qUtf8Printable(text), qUtf8Printable(title));
    }
    m_shown.append(s);
    if (m_hook)
        m_hook(s);
    return s.answer;
}

QString ScriptedDialogs::InputBox(const QString &prompt, const QString &title,
                                  const QString &defaultText)
{
    Shown s;
    s.kind = Shown::Kind::InputBox;
    s.text = prompt;
    s.title = title;
    if (!m_typed.empty()) {
        s.typed = m_typed.front();
        m_typed.pop_front();
    } else {
        s.typed = QString();
        Q_UNUSED(defaultText);
    }
    m_shown.append(s);
    if (m_hook)
        m_hook(s);
    return s.typed;
}

QStringList ScriptedDialogs::texts() const
{
    QStringList out;
    for (const Shown &s : m_shown)
        out << s.text;
    return out;
}
