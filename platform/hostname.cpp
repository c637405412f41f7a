// The rules by which a typed remote host is folded and judged; no socket is involved.
#include "platform/hostname.h"

#include <QHostAddress>
#include <QList>
#include <QStringView>
#include <algorithm>

namespace {

bool isLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
        return false;
    for (const QChar c : label) {
        const bool ascii = c.unicode() < 128;
        if (!ascii || !(c.isLetterOrNumber() || c == u'-'))
            return false;
    }
    return true;
}

} // namespace

namespace hostname {

QString fold(const QString &typed)
{
    return typed.normalized(QString::NormalizationForm_KC).trimmed();
}

// White space left inside is refused: QHostAddress would drop it. A name made of
// digits alone in its last label ("1.2.3.4.5.6", "999.1.1.1") is a mistyped address,
// not a name, and would only fail later after a pointless lookup.
bool isValid(const QString &folded)
{
    if (folded.isEmpty())
        return false;
    for (const QChar c : folded) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return false;
    }
    if (QHostAddress().setAddress(folded))
        return true;
    if (folded.size() > 253)
        return false;
    const QList<QStringView> labels = QStringView(folded).split(u'.');
    for (const QStringView label : labels) {
        if (!isLabel(label))
            return false;
    }
    const QStringView last = labels.back();
    return std::any_of(last.begin(), last.end(), [](QChar c) { return !c.isDigit(); });
}

} // namespace hostname
