// What the accessible interfaces of the game's own buttons share (the grid cells, the
// option items): a press action that clicks the button, as a screen reader or a test
// presses it, beside the actions the toolkit gives every widget.
#pragma once

#include <QAbstractButton>
#include <QAccessibleWidget>

class AccessibleButton : public QAccessibleWidget
{
public:
    AccessibleButton(QAbstractButton *button, QAccessible::Role role) : QAccessibleWidget(button, role) {}

    QStringList actionNames() const override
    {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(action);
    }

protected:
    QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }
};
