// A push button whose caption wraps onto several lines inside the button, as the
// launcher's long Japanese captions need. The lines are balanced (the narrowest width
// that still needs the same number of lines) so that a caption does not end in a lone
// character, and the font shrinks only when even the full width cannot hold the text.
// The caption stays the button's text(), unchanged.
#pragma once

#include <QPushButton>
#include <QStringList>

class WrappingButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    // Room the style leaves for a caption inside the bevel.
    QRect captionSpace() const;
    // The font the caption is drawn in: the button's own, or smaller if it must be.
    QFont captionFont() const;
    // The caption as it is drawn, one entry a line.
    QStringList captionLines() const;
    // Where those lines are drawn, in widget coordinates.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Wrapped
    {
        QStringList lines;
        QSize size; // of the widest line by the height of all lines
    };
    Wrapped wrap(const QFont &font, int width) const;
    Wrapped balanced() const;
};
