// Painting and pointer reporting of the flat colour button.
#include "core/cellbutton.h"

#include <QMouseEvent>
#include <QPainter>

CellButton::CellButton(QWidget *parent) : QAbstractButton(parent)
{
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
