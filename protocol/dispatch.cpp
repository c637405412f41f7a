// Dispatch of one received text: its first byte selects the type, then the whole text
// is compared byte for byte with the messages of that type. Texts that match nothing
// change nothing, whatever they hold, except in type 3, where every text other than
// "3a" counts as a miss.
#include "protocol/dispatch.h"

#include "protocol/messages.h"

namespace {

bool dispatchType0(QByteArrayView text, Side side, MessageHandler &handler)
{
    // "0busy" arrives at a turned-away client and changes nothing; the close after it
    // does. The host has no type-0 handling at all.
    if (side == Side::Client && text == wire::hello()) {
        handler.onHello();
        return true;
    }
    return false;
}

bool dispatchType1(QByteArrayView text, Side side, MessageHandler &handler)
{
    if (text == wire::placed()) {
        handler.onPlaced();
        return true;
    }
    if (side != Side::Client)
        return false;
    if (text == wire::youFirst()) {
        handler.onFirstShot(true);
        return true;
    }
    if (text == wire::meFirst()) {
        handler.onFirstShot(false);
        return true;
    }
    return false;
}

bool dispatchType2(QByteArrayView text, MessageHandler &handler)
{
    const int cell = shotIndex(text);
    if (cell < 0)
        return false;
    handler.onShot(cell);
    return true;
}

bool dispatchType4(QByteArrayView text, MessageHandler &handler)
{
    if (text == wire::make()) {
        handler.onMake();
        return true;
    }
    if (text == wire::kati()) {
        handler.onKati();
        return true;
    }
    return false;
}

} // namespace

bool dispatch(QByteArrayView text, Side side, MessageHandler &handler)
{
    if (text.isEmpty())
        return false;
    switch (text.front()) {
    case '0':
        return dispatchType0(text, side, handler);
    case '1':
        return dispatchType1(text, side, handler);
    case '2':
        return dispatchType2(text, handler);
    case '3':
        handler.onResult(text == wire::hit());
        return true;
    case '4':
        return dispatchType4(text, handler);
    default:
        return false;
    }
}

// One or two digits after the "2", in the shortest form the senders write: "0", or a
// first digit 1-9. A leading zero ("205") is refused, because the stream cannot tell it
// from a shot "20" with the start of the next message behind it; acting on it would
// fire at a cell nobody chose. Anything longer, signed, spaced or above 63 would have
// indexed past the board.
int shotIndex(QByteArrayView text)
{
    if (text.size() < 2 || text.size() > 3 || text.front() != '2')
        return -1;
    const QByteArrayView digits = text.sliced(1);
    if (digits.size() == 2 && digits.front() == '0')
        return -1;
    int cell = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        cell = cell * 10 + (c - '0');
    }
    return cell <= 63 ? cell : -1;
}
