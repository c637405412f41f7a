// Dialogs on Qt's QMessageBox and QInputDialog, with Japanese button texts and no icon;
// the address box offers the hosts found on the local network where a system bus is.
#pragma once

#include "platform/dialogs.h"

class QWidget;

class QtDialogs : public Dialogs
{
public:
    Answer MsgBox(const QString &text, Buttons buttons = Buttons::Ok,
                  const QString &title = {}) override;
    QString InputBox(const QString &prompt, const QString &title = {},
                     const QString &defaultText = {}) override;
    QString AddressBox(const QString &prompt, const QString &title,
                       const QString &serviceType) override;

    // The title shown when a box has none of its own: the program's display name.
    static QString defaultTitle();
};
