// One item of an option-button selector. The game model decides which items are on
// (the ship selector may have none on), so a click does not change the item's state by
// itself: it only reports the click, and the window sets the state from the model.
//
// The orientation items are narrower than the style's circle with its caption; such an
// item shows only the circle, shrunk to fit, so that it is never cut off.
//
// Since its group is not exclusive to the toolkit, the toolkit would present it to
// assistive technology as a check box; it is presented as the option (radio) button it
// is, named by its caption, with its state and a press action.
#pragma once

#include <QRadioButton>

class OptionItem : public QRadioButton
{
    Q_OBJECT
public:
    explicit OptionItem(const QString &caption, QWidget *parent = nullptr);

protected:
    void nextCheckState() override {}
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    bool circleOnly() const;
};
