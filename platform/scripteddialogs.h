// A Dialogs for tests: records every box shown and answers from a script, so that a
// whole game can run without a display. A hook runs while a box is "open", which is
// how tests deliver events that arrive while the player looks at a box.
#pragma once

#include "platform/dialogs.h"

#include <QList>
#include <QStringList>
#include <deque>
#include <functional>

class ScriptedDialogs : public Dialogs
{
public:
    struct Shown
    {
        enum class Kind { MessageBox, InputBox } kind = Kind::MessageBox;
        QString text;
        QString title;
        Buttons buttons = Buttons::Ok;
        Answer answer = Answer::Ok;
        QString typed;
    };

    Answer MsgBox(const QString &text, Buttons buttons = Buttons::Ok,
                  const QString &title = {}) override;
    QString InputBox(const QString &prompt, const QString &title = {},
                     const QString &defaultText = {}) override;

    // Answers for the Yes/No boxes, in order; OK boxes take none. A Yes/No box with no
    // scripted answer left is a fault of the test: it ends the test program with the
    // box's text, rather than answering in silence.
    void answer(Answer a) { m_answers.push_back(a); }
    void answer(std::initializer_list<Answer> as) { m_answers.insert(m_answers.end(), as); }
    // Texts for the input boxes, in order; none left means the player cancelled.
    void type(const QString &text) { m_typed.push_back(text); }
    // Called with each box while it is open, before its answer is returned.
    void onShow(std::function<void(const Shown &)> hook) { m_hook = std::move(hook); }

    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    QList<Shown> m_shown;
    std::deque<Answer> m_answers;
    std::deque<QString> m_typed;
    std::function<void(const Shown &)> m_hook;
};
