// The message texts as the exact bytes that travel, the shot texts, and the Shift-JIS
// conversions the programs use for what they show and send.
#include "protocol/messages.h"

#include <QTest>

class TestMessages : public QObject
{
    Q_OBJECT

private slots:
    void messageBytes_data();
    void messageBytes();
    void shotText_data();
    void shotText();
    void shiftJisBytes_data();
    void shiftJisBytes();
    void undecodableBytesAreReplaced_data();
    void undecodableBytesAreReplaced();
    void conversionsKeepNoState();
};

void TestMessages::messageBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("0hello") << wire::hello() << QByteArray::fromHex("3068656c6c6f");
    QTest::newRow("0busy") << wire::busy() << QByteArray::fromHex("3062757379");
    QTest::newRow("1配置完了") << wire::placed() << QByteArray::fromHex("31947A92758AAE97B9");
    QTest::newRow("1s") << wire::youFirst() << QByteArray::fromHex("3173");
    QTest::newRow("1k") << wire::meFirst() << QByteArray::fromHex("316b");
    QTest::newRow("3a") << wire::hit() << QByteArray::fromHex("3361");
    QTest::newRow("3b") << wire::miss() << QByteArray::fromHex("3362");
    QTest::newRow("4Make") << wire::make() << QByteArray::fromHex("344d616b65");
    QTest::newRow("4Kati") << wire::kati() << QByteArray::fromHex("344b617469");
}

void TestMessages::messageBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(text.toHex(' '), bytes.toHex(' '));
}

void TestMessages::shotText_data()
{
    QTest::addColumn<int>("cell");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("cell 0") << 0 << QByteArray("20");
    QTest::newRow("cell 7") << 7 << QByteArray("27");
    QTest::newRow("cell 9") << 9 << QByteArray("29");
    QTest::newRow("cell 10") << 10 << QByteArray("210");
    QTest::newRow("cell 63") << 63 << QByteArray("263");
}

void TestMessages::shotText()
{
    QFETCH(int, cell);
    QFETCH(QByteArray, text);
    QCOMPARE(wire::shot(cell), text);
}

void TestMessages::shiftJisBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ASCII untouched") << QString("Bob") << QByteArray("Bob");
    QTest::newRow("full-width greater-than") << QString("＞") << QByteArray::fromHex("8184");
    QTest::newRow("katakana") << QString("ア") << QByteArray::fromHex("8341");
    QTest::newRow("placement notice") << QString("1配置完了") << QByteArray::fromHex("31947A92758AAE97B9");
    QTest::newRow("CR LF") << QString("a\r\n") << QByteArray("a\r\n");
}

void TestMessages::shiftJisBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(wire::encode(text).toHex(' '), bytes.toHex(' '));
    QCOMPARE(wire::decode(bytes), text);
}

// The converter's substitute character differs between backends (U+FFFD, U+001A);
// what matters is one per bad byte, the good characters kept, nothing invented.
void TestMessages::undecodableBytesAreReplaced_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("byte that is never Shift-JIS") << QByteArray("a\xFF") << QString("a?");
    QTest::newRow("lead byte before a NUL") << QByteArray("\x94\x00z", 3) << QString("?") + QChar(0) + u'z';
    QTest::newRow("lead byte cut off at the end") << QByteArray("1\x94") << QString("1");
    QTest::newRow("only a lead byte") << QByteArray("\x94") << QString();
}

void TestMessages::undecodableBytesAreReplaced()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QString text = wire::decode(bytes);
    text.replace(QChar(0xFFFD), u'?').replace(QChar(0x1A), u'?');
    QCOMPARE(text, shown);
}

// A character cut in half by one conversion must not be completed by the next.
void TestMessages::conversionsKeepNoState()
{
    const QString first = wire::decode("\x94");
    QCOMPARE(first + wire::decode("\x7A"), QString("z"));
    QCOMPARE(wire::decode(QByteArray::fromHex("947A")), QString("配"));
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
