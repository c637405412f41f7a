// The modal boxes the programs show: a message box with OK alone or Yes and No, and the
// input box. The game only ever talks to this interface; the programs pass QtDialogs,
// the tests a ScriptedDialogs that records every box and answers from a script.
#pragma once

#include <QString>

class Dialogs
{
public:
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Dialogs() = default;

    // An empty title shows the program's default title. The text may hold CR LF.
    virtual Answer MsgBox(const QString &text, Buttons buttons = Buttons::Ok,
                          const QString &title = {}) = 0;
    // Returns the typed text, or the empty string when the player cancels.
    virtual QString InputBox(const QString &prompt, const QString &title = {},
                             const QString &defaultText = {}) = 0;
    // The input box for a host's address, offering in it the hosts that announce the
    // DNS-SD `serviceType` on the local network while it is open. What the player picks
    // or types is returned as from InputBox; where nothing can be offered, it is InputBox.
    virtual QString AddressBox(const QString &prompt, const QString &title,
                               const QString &serviceType)
    {
        (void)serviceType;
        return InputBox(prompt, title);
    }
};
