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

namespace {

std::optional<quint16> portOf(QStringView digits)
{
    // Five digits at most, so that the value cannot overflow before it is judged.
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

} // namespace

std::optional<Target> splitPort(const QString &folded, quint16 defaultPort)
{
    if (folded.startsWith(u'[')) {
        const qsizetype close = folded.indexOf(u']');
        if (close < 0)
            return Target{folded, defaultPort}; // judged, and refused, as a host
        const QString host = folded.mid(1, close - 1);
        const QStringView rest = QStringView(folded).mid(close + 1);
        if (rest.isEmpty())
            return Target{host, defaultPort};
        if (!rest.startsWith(u':'))
            return std::nullopt;
        const std::optional<quint16> port = portOf(rest.mid(1));
        return port ? std::optional<Target>(Target{host, *port}) : std::nullopt;
    }
    // Two colons or more: an IPv6 address written without brackets, which has no port.
    const qsizetype colon = folded.indexOf(u':');
    if (colon < 0 || folded.indexOf(u':', colon + 1) >= 0)
        return Target{folded, defaultPort};
    const std::optional<quint16> port = portOf(QStringView(folded).mid(colon + 1));
    if (!port)
        return std::nullopt;
    return Target{folded.left(colon), *port};
}

} // namespace hostname
