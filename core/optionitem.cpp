// The option item leaves its grouping to the model.
#include "core/optionitem.h"

OptionItem::OptionItem(const QString &caption, QWidget *parent) : QRadioButton(caption, parent)
{
    setAutoExclusive(false);
}
