// Cuts the bytes of one connection into message texts. TCP keeps no boundaries and the
// sender adds no separators, so a read may hold several messages ("3a4Make", the
// placement notice followed by "1k") or part of one, cut anywhere, even inside a
// Shift-JIS character. The stream hands on whole texts only, in order.
//
// What travels, one message after another with nothing between them:
//
//   stream  = *message
//   message = "0hello" | "0busy"
//           | placed | "1s" | "1k"
//           | shot
//           | "3a" | "3b"
//           | "4Make" | "4Kati"
//   placed  = %x31 %x94.7A %x92.75 %x8A.AE %x97.B9   ; "1配置完了" in Shift-JIS, 9 bytes
//   shot    = "2" 1*3DIGIT                           ; sent as shortest decimal, 0..63
//
// No fixed text is a prefix of another, and Shift-JIS trail bytes (0x40-0x7E,
// 0x80-0xFC) are never digits, so a type digit inside a double-byte character cannot
// be mistaken for the start of a message.
//
// Cutting, at each position in the received bytes:
//   1. A fixed text begins here: hand it on.
//   2. "2" and a run of 1 to 3 digits begins here, and the run is followed by the end
//      of the data, a fixed text, or a strict prefix of one at the end: hand on "2" and
//      the whole run. The digits that have arrived are taken as the whole index. This
//      is the one split the stream cannot see: "26" followed later by "3" reads as
//      cell 26. No sender splits there in practice (a shot is a few bytes handed to
//      the kernel at once), and holding "26" back would stall the game, since its
//      sender sends nothing more until it has the answer.
//   3. The rest is a strict prefix of a fixed text, or "2" alone: hold it back until
//      more bytes arrive. Only such a prefix is ever held, so at most 8 bytes wait.
//   4. Anything else is an other text. It runs up to the next position where 1, 2 or 3
//      applies, and is handed on as one text so that dispatch applies its rules (a
//      type-3 other text is a miss; everything else matching nothing is ignored). A
//      shot whose run is followed by anything else ("20x") or runs longer than 3
//      digits is no shot but part of the other text, and a shot never starts right
//      after a digit: a digit run is read whole. An other text longer than
//      maxOtherText bytes is dropped here and counted in dropped(); the limit applies
//      to the part within one read, since an other text ends with the data.
// Every step consumes at least one byte or stops the scan, and no step yields an empty
// text. Nothing is ever changed in the bytes handed on.
#include "protocol/messagestream.h"

#include "protocol/messages.h"

#include <array>

namespace {

constexpr int maxShotDigits = 3;

const std::array<QByteArray, 9> &fixedTexts()
{
    static const std::array<QByteArray, 9> texts{
        wire::hello(), wire::busy(),  wire::placed(), wire::youFirst(), wire::meFirst(),
        wire::hit(),   wire::miss(), wire::make(),   wire::kati(),
    };
    return texts;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Every message starts with a type digit 0 to 4; junk is passed over at one test a byte.
bool mayStartMessage(char c)
{
    return c >= '0' && c <= '4';
}

qsizetype fixedAt(QByteArrayView data, qsizetype at)
{
    const QByteArrayView rest = data.sliced(at);
    for (const QByteArray &text : fixedTexts()) {
        if (rest.startsWith(text))
            return text.size();
    }
    return 0;
}

bool isFixedPrefix(QByteArrayView rest)
{
    for (const QByteArray &text : fixedTexts()) {
        if (rest.size() < text.size() && QByteArrayView(text).startsWith(rest))
            return true;
    }
    return false;
}

// Length of the shot that begins at `at`, or 0 (rule 2).
qsizetype shotAt(QByteArrayView data, qsizetype at)
{
    if (data[at] != '2')
        return 0;
    qsizetype end = at + 1;
    while (end < data.size() && end - at <= maxShotDigits + 1 && isDigit(data[end]))
        ++end;
    const qsizetype digits = end - at - 1;
    if (digits == 0 || digits > maxShotDigits)
        return 0;
    if (end == data.size() || fixedAt(data, end) || isFixedPrefix(data.sliced(end)))
        return end - at;
    return 0;
}

qsizetype messageAt(QByteArrayView data, qsizetype at)
{
    if (const qsizetype length = fixedAt(data, at))
        return length;
    return shotAt(data, at);
}

// Rule 3, for the bytes from `at` to the end.
bool isHeldPrefix(QByteArrayView data, qsizetype at)
{
    const QByteArrayView rest = data.sliced(at);
    return isFixedPrefix(rest) || rest == "2";
}

// Where an other text that starts at `at` ends (rule 4).
qsizetype otherTextEnd(QByteArrayView data, qsizetype at)
{
    qsizetype end = at + 1;
    for (; end < data.size(); ++end) {
        if (!mayStartMessage(data[end]))
            continue;
        const bool shotMayStart = !isDigit(data[end - 1]);
        if (fixedAt(data, end) || isFixedPrefix(data.sliced(end)))
            break;
        if (shotMayStart && (shotAt(data, end) || data.sliced(end) == "2"))
            break;
    }
    return end;
}

} // namespace

QList<QByteArray> MessageStream::feed(QByteArrayView bytes)
{
    QByteArray buffer = m_pending;
    buffer.append(bytes);
    const QByteArrayView data(buffer);
    QList<QByteArray> texts;
    qsizetype at = 0;
    while (at < data.size()) {
        if (const qsizetype length = messageAt(data, at)) {
            texts.append(data.sliced(at, length).toByteArray());
            at += length;
            continue;
        }
        if (isHeldPrefix(data, at))
            break;
        const qsizetype end = otherTextEnd(data, at);
        if (end - at > maxOtherText)
            m_dropped += end - at;
        else
            texts.append(data.sliced(at, end - at).toByteArray());
        at = end;
    }
    m_pending = data.sliced(at).toByteArray();
    return texts;
}
