#include "launcher/wrappingbutton.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextLayout>
#include <cmath>

namespace {

// Below this nothing is readable any more; a caption that still does not fit is clipped.
constexpr int smallestPixelSize = 8;

} // namespace

QRect WrappingButton::captionSpace() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    // The style's contents rectangle is where its own single line would go; the focus
    // frame is drawn just inside it, so keep one pixel clear of that.
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this)
        .adjusted(1, 1, -1, -1);
}

WrappingButton::Wrapped WrappingButton::wrap(const QFont &font, int width) const
{
    Wrapped out;
    const QString caption = text();
    QTextLayout layout(caption, font);
    const int lineHeight = QFontMetrics(font).height();
    qreal widest = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        out.lines << caption.mid(line.textStart(), line.textLength()).trimmed();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    out.size = QSize(int(std::ceil(widest)), lineHeight * int(out.lines.size()));
    return out;
}

QFont WrappingButton::captionFont() const
{
    const QRect space = captionSpace();
    QFont f = font();
    // Work in pixels: a font given in points is turned into its pixel size first.
    if (f.pixelSize() <= 0)
        f.setPixelSize(QFontInfo(f).pixelSize());
    while (f.pixelSize() > smallestPixelSize) {
        const Wrapped w = wrap(f, space.width());
        if (w.size.height() <= space.height() && w.size.width() <= space.width())
            break;
        f.setPixelSize(f.pixelSize() - 1);
    }
    return f;
}

WrappingButton::Wrapped WrappingButton::balanced() const
{
    const QFont f = captionFont();
    const int full = captionSpace().width();
    const qsizetype lines = wrap(f, full).lines.size();
    // The narrowest width that needs no more lines than the full width does.
    int narrow = 1;
    int wide = full;
    while (narrow < wide) {
        const int mid = (narrow + wide) / 2;
        const Wrapped w = wrap(f, mid);
        if (w.lines.size() <= lines && w.size.width() <= mid)
            wide = mid;
        else
            narrow = mid + 1;
    }
    return wrap(f, wide);
}

QStringList WrappingButton::captionLines() const
{
    return balanced().lines;
}

QRect WrappingButton::captionRect() const
{
    QRect r(QPoint(), balanced().size);
    r.moveCenter(captionSpace().center());
    return r;
}

void WrappingButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The bevel and the focus frame come from the style; the caption is drawn here.
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const Wrapped w = balanced();
    QRect r(QPoint(), w.size);
    r.moveCenter(captionSpace().center());
    painter.setFont(captionFont());
    painter.drawItemText(r, Qt::AlignCenter, palette(), isEnabled(),
                         w.lines.join(QLatin1Char('\n')), QPalette::ButtonText);
}
