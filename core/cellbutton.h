// A square push button of the game's graphical style: it shows its background colour
// as a flat, solid fill with a thin raised border and its caption ("●", "×") centred.
// The grid cells and the submarine pictures are made of it. A styled button would
// shade the colour (white would look like water), so it paints itself.
//
// It reports every pointer movement over it (mouse tracking is on) and every press of
// any mouse button; a click (left press and release inside) comes as clicked(). It
// never takes the keyboard focus. While disabled it delivers nothing, as every widget.
//
// The window's keyboard cursor stands on a cell without giving it the focus: such a
// cell draws a focus frame and tells assistive technology that it is the focused one,
// so that a screen reader follows the cursor. Presented as a push button with its
// press action, as before.
#pragma once

#include <QAbstractButton>
#include <QColor>

class CellButton : public QAbstractButton
{
    Q_OBJECT
    // The colour the button shows, read back by tests.
    Q_PROPERTY(QColor color READ color WRITE setColor)
public:
    explicit CellButton(QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    // Repaints only when the colour differs from the one shown.
    void setColor(const QColor &color);

    bool cursorShown() const { return m_cursorShown; }
    // Draws or removes the keyboard cursor's frame; the cell then reads as focused.
    void setCursorShown(bool shown);

    QSize sizeHint() const override { return {19, 19}; }

signals:
    void mouseMoved();
    void mouseDown();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QColor m_color;
    bool m_cursorShown = false;
};
