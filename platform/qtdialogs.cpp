#include "platform/qtdialogs.h"

#include "platform/addressdialog.h"
#include "platform/servicebrowser.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

QString QtDialogs::defaultTitle()
{
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QCoreApplication::applicationName() : name;
}

Dialogs::Answer QtDialogs::MsgBox(const QString &text, Buttons buttons, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title.isEmpty() ? defaultTitle() : title,
                    QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                    QMessageBox::NoButton, QApplication::activeWindow());
    if (buttons == Buttons::Ok) {
        QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
        return Answer::Ok;
    }
    QPushButton *yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? Answer::Yes : Answer::No;
}

QString QtDialogs::InputBox(const QString &prompt, const QString &title,
                            const QString &defaultText)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title.isEmpty() ? defaultTitle() : title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("キャンセル"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

QString QtDialogs::AddressBox(const QString &prompt, const QString &title,
                              const QString &serviceType)
{
    ServiceBrowser browser(serviceType);
    if (!browser.available())
        return InputBox(prompt, title);
    AddressDialog dialog(title.isEmpty() ? defaultTitle() : title, prompt,
                         QApplication::activeWindow());
    QObject::connect(&browser, &ServiceBrowser::offersChanged, &dialog,
                     [&] { dialog.setOffers(browser.offers().shown()); });
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}
