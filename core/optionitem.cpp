// The option item leaves its grouping to the model and fits its circle to its size.
#include "core/optionitem.h"

#include "core/accessiblebutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

class AccessibleOptionItem : public AccessibleButton
{
public:
    explicit AccessibleOptionItem(OptionItem *item) : AccessibleButton(item, QAccessible::RadioButton) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return item()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = item()->isChecked();
        return s;
    }

private:
    OptionItem *item() const { return static_cast<OptionItem *>(widget()); }
};

QAccessibleInterface *accessibleOptionItem(const QString &className, QObject *object)
{
    if (className != QLatin1String("OptionItem") || !object->isWidgetType())
        return nullptr;
    return new AccessibleOptionItem(static_cast<OptionItem *>(object));
}

} // namespace

OptionItem::OptionItem(const QString &caption, QWidget *parent) : QRadioButton(caption, parent)
{
    static const bool factoryInstalled = (QAccessible::installFactory(accessibleOptionItem), true);
    Q_UNUSED(factoryInstalled);
    setAutoExclusive(false);
}

bool OptionItem::circleOnly() const
{
    const int circle = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this);
    const int spacing = style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, this);
    return width() < circle + spacing + fontMetrics().horizontalAdvance(text());
}

void OptionItem::paintEvent(QPaintEvent *event)
{
    if (!circleOnly()) {
        QRadioButton::paintEvent(event);
        return;
    }
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const int circle = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this);
    const int side = std::min({width(), height(), circle});
    opt.rect = QRect(0, (height() - side) / 2, side, side);
    p.drawPrimitive(QStyle::PE_IndicatorRadioButton, opt);
}

bool OptionItem::hitButton(const QPoint &pos) const
{
    // The whole item takes the click, as the circle fills it.
    return circleOnly() ? rect().contains(pos) : QRadioButton::hitButton(pos);
}
