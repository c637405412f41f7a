#include "platform/colors.h"

#include <QGuiApplication>
#include <QPalette>

QColor colors::buttonFace()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
}
