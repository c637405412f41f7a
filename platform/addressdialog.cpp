#include "platform/addressdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

AddressDialog::AddressDialog(const QString &title, const QString &prompt, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    auto *label = new QLabel(prompt, this);
    m_field = new QComboBox(this);
    m_field->setEditable(true);
    // What is typed stays as typed: no completion from the entries, no entry made of it.
    m_field->setCompleter(nullptr);
    m_field->setInsertPolicy(QComboBox::NoInsert);
    m_field->setMaxVisibleItems(HostOffers::maxShown);
    m_field->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_field->setMinimumContentsLength(24);
    m_field->setAccessibleName(prompt);
    m_field->lineEdit()->setAccessibleName(prompt);
    label->setBuddy(m_field);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_field, &QComboBox::currentIndexChanged, this, &AddressDialog::picked);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    layout->addWidget(label);
    layout->addWidget(m_field);
    layout->addWidget(buttons);
    m_field->setFocus();
}

QString AddressDialog::textValue() const
{
    return m_field->currentText();
}

void AddressDialog::picked(int index)
{
    if (index < 0)
        return;
    m_field->setEditText(m_field->itemData(index).toString());
    m_field->lineEdit()->selectAll();
}

void AddressDialog::setOffers(const QList<HostOffers::Offer> &offers)
{
    QLineEdit *edit = m_field->lineEdit();
    QString text = edit->text();
    const bool untouched = !m_prefilled.isEmpty() && text == m_prefilled;
    const int cursor = edit->cursorPosition();
    const int selStart = edit->selectionStart();
    const int selLength = edit->selectedText().size();
    {
        // Rebuilding the entries must not change the field: the player may be typing.
        const QSignalBlocker blocker(m_field);
        m_field->clear();
        for (const HostOffers::Offer &o : offers)
            m_field->addItem(o.text(), o.address);
        m_field->setCurrentIndex(-1);
    }
    const bool stillOffered = std::any_of(offers.begin(), offers.end(),
                                          [&](const HostOffers::Offer &o) { return o.address == text; });
    if (untouched && !stillOffered)
        text.clear(); // the box put it there, and that host has gone
    if ((text.isEmpty() || untouched) && offers.size() == 1) {
        m_prefilled = offers.constFirst().address;
        edit->setText(m_prefilled);
        edit->selectAll();
        return;
    }
    if (text.isEmpty())
        m_prefilled.clear();
    edit->setText(text);
    if (selStart >= 0)
        edit->setSelection(selStart, selLength);
    else
        edit->setCursorPosition(cursor);
}
