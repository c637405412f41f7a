// The boxes and the end of the program as the computer meets them. The game core asks
// the computer's questions and tells it its results through the same Dialogs interface
// a person's boxes use; here no box opens and the answer comes from the player that
// drives that game (see cpu/player.h). The computer's program exit ends its match: in
// a network match that is the process, in a match on this machine the person's side
// hears that its opponent left.
#pragma once

#include "platform/dialogs.h"
#include "platform/programexit.h"

#include <functional>

class ComputerDialogs : public Dialogs
{
public:
    using Answerer = std::function<Answer(const QString &text, Buttons buttons)>;
    // Without an answerer, questions are answered No and notices are taken as read.
    void setAnswerer(Answerer answerer) { m_answerer = std::move(answerer); }

    Answer MsgBox(const QString &text, Buttons buttons = Buttons::Ok,
                  const QString &title = {}) override;
    // The computer is never asked to type: it is given its peer's address.
    QString InputBox(const QString &prompt, const QString &title = {},
                     const QString &defaultText = {}) override;

private:
    Answerer m_answerer;
};

class MatchExit : public ProgramExit
{
public:
    explicit MatchExit(std::function<void(int status)> ended) : m_ended(std::move(ended)) {}
    void End(int status = 0) override
    {
        if (m_ended)
            m_ended(status);
    }

private:
    std::function<void(int)> m_ended;
};
