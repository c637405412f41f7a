// Painting of the frame and the test for "over the frame itself".
#include "core/framebox.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A plain widget reads as an unnamed filler; the frame is a named group, as the
// toolkit's own group box is.
QAccessibleInterface *accessibleFrame(const QString &className, QObject *object)
{
    if (className != QLatin1String("FrameBox") || !object->isWidgetType())
        return nullptr;
    auto *frame = static_cast<FrameBox *>(object);
    return new QAccessibleWidget(frame, QAccessible::Grouping, frame->caption());
}

} // namespace

FrameBox::FrameBox(const QString &caption, QWidget *parent) : QWidget(parent), m_caption(caption)
{
    static const bool factoryInstalled = (QAccessible::installFactory(accessibleFrame), true);
    Q_UNUSED(factoryInstalled);
    setMouseTracking(true);
    setAutoFillBackground(true);
}

void FrameBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics fm(font());
    const int lineY = fm.height() / 2;
    const QRect box(0, lineY, width() - 2, height() - lineY - 2);

    // Etched: a shadow line with a light line one pixel below and to the right.
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(box.translated(1, 1));
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(box);

    if (m_caption.isEmpty())
        return;
    const int textLeft = 8;
    const QRect textRect(textLeft, 0, fm.horizontalAdvance(m_caption) + 4, fm.height());
    p.fillRect(textRect, palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(textRect, Qt::AlignCenter, m_caption);
}

void FrameBox::mouseMoveEvent(QMouseEvent *event)
{
    // A move that a child passes on (one that ignores it, or a disabled widget that is
    // not a button) reaches the frame too; it happened over that child, not over the
    // frame itself.
    if (childAt(event->position().toPoint()) == nullptr)
        emit mouseMovedOverSelf();
    event->accept();
}
