// One item of an option-button selector. The game model decides which items are on
// (the ship selector may have none on), so a click does not change the item's state by
// itself: it only reports the click, and the window sets the state from the model.
#pragma once

#include <QRadioButton>

class OptionItem : public QRadioButton
{
    Q_OBJECT
public:
    explicit OptionItem(const QString &caption, QWidget *parent = nullptr);

protected:
    void nextCheckState() override {}
};
