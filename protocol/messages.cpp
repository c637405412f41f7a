// The message texts as the bytes that travel, built once through the Shift-JIS
// converter so that no code table is written out by hand, and the conversions the
// programs use for everything they show of the wire.
#include "protocol/messages.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace wire {

// Fresh converters per call: a text never carries half a character over into the next
// one. Bytes that are no Shift-JIS come out as the converter's substitute character,
// and a lead byte cut off at the very end is left out; neither happens with the game's
// own texts, which are always converted whole.
QByteArray encode(const QString &text)
{
    QStringEncoder encoder("Shift_JIS", QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder("Shift_JIS", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

const QByteArray &hello()
{
    static const QByteArray text("0hello");
    return text;
}

const QByteArray &busy()
{
    static const QByteArray text("0busy");
    return text;
}

const QByteArray &placed()
{
    static const QByteArray text = encode(QStringLiteral("1配置完了"));
    return text;
}

const QByteArray &youFirst()
{
    static const QByteArray text("1s");
    return text;
}

const QByteArray &meFirst()
{
    static const QByteArray text("1k");
    return text;
}

const QByteArray &hit()
{
    static const QByteArray text("3a");
    return text;
}

const QByteArray &miss()
{
    static const QByteArray text("3b");
    return text;
}

const QByteArray &make()
{
    static const QByteArray text("4Make");
    return text;
}

const QByteArray &kati()
{
    static const QByteArray text("4Kati");
    return text;
}

QByteArray shot(int cell)
{
    return '2' + QByteArray::number(cell);
}

} // namespace wire
