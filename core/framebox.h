// A frame of the game window: a container with an etched border and a caption in the
// window's font, drawn like the system's frame control. It reports pointer movement
// over the frame itself, that is over its margin and caption and not over any control
// inside it, which is what the host's own-board frame reacts to. Assistive technology
// reads it as a group named by its caption.
#pragma once

#include <QString>
#include <QWidget>

class FrameBox : public QWidget
{
    Q_OBJECT
public:
    explicit FrameBox(const QString &caption, QWidget *parent = nullptr);

    QString caption() const { return m_caption; }

signals:
    void mouseMovedOverSelf();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QString m_caption;
};
