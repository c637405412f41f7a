// Cuts the bytes received on one connection into message texts. See messagestream.cpp
// for the grammar and the rules for bytes that form no message.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class MessageStream
{
public:
    // Appends received bytes and returns the texts that are now whole, in order.
    QList<QByteArray> feed(QByteArrayView bytes);
    // Bytes held back because they are a strict prefix of a known message.
    QByteArray pending() const { return m_pending; }

    // Bytes thrown away by the stream itself: texts that match no message and run
    // longer than maxOtherText.
    qint64 dropped() const { return m_dropped; }

    // The most that is ever held back: a strict prefix of the longest message text
    // ("1配置完了", 9 bytes). A whole message is always handed on, never held.
    static constexpr int maxPending = 8;
    // The longest text that matches no message and is still handed on.
    static constexpr int maxOtherText = 64;

private:
    QByteArray m_pending;
    qint64 m_dropped = 0;
};
