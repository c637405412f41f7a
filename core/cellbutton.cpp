// Painting, pointer reporting and the accessible presentation of the flat colour button.
#include "core/cellbutton.h"

#include "core/accessiblebutton.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

// The toolkit's own button interface reads the focused state from the widget's focus,
// which a cell never has; this one reads it from the keyboard cursor.
class AccessibleCellButton : public AccessibleButton
{
public:
    explicit AccessibleCellButton(CellButton *cell) : AccessibleButton(cell, QAccessible::Button) {}

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.focusable = true;
        s.focused = cell()->cursorShown();
        s.pressed = cell()->isDown();
        return s;
    }

private:
    CellButton *cell() const { return static_cast<CellButton *>(widget()); }
};

QAccessibleInterface *accessibleCellButton(const QString &className, QObject *object)
{
    if (className != QLatin1String("CellButton") || !object->isWidgetType())
        return nullptr;
    return new AccessibleCellButton(static_cast<CellButton *>(object));
}

} // namespace

CellButton::CellButton(QWidget *parent) : QAbstractButton(parent)
{
    static const bool factoryInstalled = (QAccessible::installFactory(accessibleCellButton), true);
    Q_UNUSED(factoryInstalled);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CellButton::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void CellButton::setCursorShown(bool shown)
{
    if (shown == m_cursorShown)
        return;
    m_cursorShown = shown;
    update();
    // A screen reader announces the cell that gains the focus, and the toolkit's bridge
    // withdraws the focused state from the cell it reported before.
    if (shown) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    } else {
        QAccessible::State changed;
        changed.focused = true;
        QAccessibleStateChangeEvent left(this, changed);
        QAccessible::updateAccessibility(&left);
    }
}

bool CellButton::event(QEvent *event)
{
    // The style asks for hover events on buttons and repaints on each; a cell has no
    // hover look, and the pointer sweeps over the board all the time during placement.
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::HoverMove:
        return true;
    default:
        return QAbstractButton::event(event);
    }
}

void CellButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, m_color);

    // One-pixel bevel: light at the top left, dark at the bottom right; swapped while
    // the button is held down.
    const QPalette &pal = palette();
    QColor topLeft = pal.color(QPalette::Light);
    QColor bottomRight = pal.color(QPalette::Dark);
    if (isDown())
        std::swap(topLeft, bottomRight);
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());

    if (m_cursorShown) {
        // Two dark lines edged with a light one, so that the frame stands out on every
        // cell colour, inside the bevel; as dark on a cell that is closed to shots.
        p.setPen(pal.color(QPalette::Active, QPalette::Light));
        p.drawRect(r.adjusted(1, 1, -2, -2));
        p.setPen(pal.color(QPalette::Active, QPalette::WindowText));
        p.drawRect(r.adjusted(2, 2, -4, -4));
        p.drawRect(r.adjusted(3, 3, -6, -6));
    }

    if (text().isEmpty())
        return;
    // A disabled caption is drawn embossed in the classic grey, as the system draws a
    // disabled button's text: the marks of fired-at cells stay readable on every cell
    // colour, where the style's lighter disabled grey all but vanishes on white.
    if (isEnabled()) {
        p.setPen(pal.color(QPalette::Active, QPalette::ButtonText));
        p.drawText(r, Qt::AlignCenter, text());
    } else {
        p.setPen(pal.color(QPalette::Light));
        p.drawText(r.translated(1, 1), Qt::AlignCenter, text());
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawText(r, Qt::AlignCenter, text());
    }
}

void CellButton::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved();
    QAbstractButton::mouseMoveEvent(event);
    // The base ignores moves with no button held; ignored, they would travel on to the
    // frame underneath as if the pointer were over the frame itself.
    event->accept();
}

void CellButton::mousePressEvent(QMouseEvent *event)
{
    emit mouseDown();
    QAbstractButton::mousePressEvent(event);
    // Any button counts as a press on the cell, not only the left one.
    event->accept();
}
