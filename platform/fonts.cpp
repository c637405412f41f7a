#include "platform/fonts.h"

#include <QStringList>

namespace {

const QStringList standIns = {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                              QStringLiteral("Noto Sans CJK JP")};

} // namespace

QFont fonts::window()
{
    QFont f;
    f.setFamilies(QStringList{QStringLiteral("MS UI Gothic")} + standIns);
    f.setPixelSize(12);
    return f;
}

QFont fonts::statusLabel()
{
    QFont f;
    f.setFamilies(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic")} + standIns);
    f.setPointSizeF(14.25);
    f.setWeight(QFont::Normal);
    return f;
}
