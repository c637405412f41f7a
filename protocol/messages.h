// Every message text of the game, as the bytes that travel (Shift-JIS), and the one
// place that converts between the game's strings and the wire encoding.
#pragma once

#include <QByteArray>
#include <QString>

namespace wire {

// The DNS-SD service type under which a host announces itself on the local network.
inline const QString serviceType = QStringLiteral("_kelvaro._tcp");

// Shift-JIS through Qt's maintained converter.
QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);

const QByteArray &hello();   // "0hello"  host -> client greeting
const QByteArray &busy();    // "0busy"   host -> turned-away caller
const QByteArray &placed();  // "1配置完了" fleet confirmed (both)
const QByteArray &youFirst(); // "1s"     host -> client: the client fires first
const QByteArray &meFirst();  // "1k"     host -> client: the host fires first
const QByteArray &hit();     // "3a"
const QByteArray &miss();    // "3b"
const QByteArray &make();    // "4Make"   the sender has lost
const QByteArray &kati();    // "4Kati"   the sender has won

// "2" followed by the cell index in shortest decimal: "20" for 0, "263" for 63.
QByteArray shot(int cell);

} // namespace wire
