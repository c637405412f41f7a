// The box that asks for the host's address while offering the hosts the local network
// announces: the input box's title, prompt and buttons, with an editable list in place
// of its text field. Typing works as in the input box; an entry picked from the list
// puts its bare address in the field. A single host found before anything was typed
// is already in the field, selected, so that Return takes it and typing replaces it.
// Nothing here connects anywhere: the box only returns what its field holds on OK.
#pragma once

#include "platform/hostoffers.h"

#include <QDialog>

class QComboBox;

class AddressDialog : public QDialog
{
    Q_OBJECT
public:
    AddressDialog(const QString &title, const QString &prompt, QWidget *parent = nullptr);

    QString textValue() const;
    QComboBox *field() const { return m_field; }

public slots:
    void setOffers(const QList<HostOffers::Offer> &offers);

private:
    void picked(int index);

    QComboBox *m_field = nullptr;
    QString m_prefilled; // the single host's address put in the field by the box itself
};
