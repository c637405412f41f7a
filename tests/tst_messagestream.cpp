// Cutting received bytes into message texts: messages alone, back to back and cut at
// every byte, the one split the stream cannot see, junk around and between messages,
// and floods that must not make the held-back bytes grow.
#include "protocol/messagestream.h"

#include "protocol/messages.h"

#include <QTest>
#include <random>

namespace {

struct Outcome
{
    QByteArrayList texts;
    QByteArray pending;
    qint64 dropped = 0;
};

Outcome feedAll(const QByteArrayList &chunks)
{
    MessageStream stream;
    Outcome outcome;
    for (const QByteArray &chunk : chunks)
        outcome.texts += stream.feed(chunk);
    outcome.pending = stream.pending();
    outcome.dropped = stream.dropped();
    return outcome;
}

QByteArrayList fixedTexts()
{
    return {wire::hello(), wire::busy(),  wire::placed(), wire::youFirst(), wire::meFirst(),
            wire::hit(),   wire::miss(), wire::make(),   wire::kati()};
}

QByteArrayList shotTexts()
{
    return {wire::shot(0), wire::shot(7), wire::shot(10), wire::shot(63)};
}

bool isShot(const QByteArray &text)
{
    return text.startsWith('2');
}

QByteArray printable(const QByteArray &text)
{
    return text == wire::placed() ? QByteArray("1配置完了") : text;
}

} // namespace

class TestMessageStream : public QObject
{
    Q_OBJECT

private slots:
    void wholeMessage_data();
    void wholeMessage();
    void coalescedPair_data();
    void coalescedPair();
    void triplesCutAnywhere();
    void byteByByte_data();
    void byteByByte();
    void splitInsideShotDigits_data();
    void splitInsideShotDigits();
    void malformedInput_data();
    void malformedInput();
    void longOtherTextIsDropped_data();
    void longOtherTextIsDropped();
    void floodKeepsPendingBounded_data();
    void floodKeepsPendingBounded();
};

void TestMessageStream::wholeMessage_data()
{
    QTest::addColumn<QByteArray>("text");
    for (const QByteArray &text : fixedTexts() + shotTexts())
        QTest::newRow(printable(text).constData()) << text;
}

void TestMessageStream::wholeMessage()
{
    QFETCH(QByteArray, text);
    const Outcome outcome = feedAll({text});
    QCOMPARE(outcome.texts, QByteArrayList{text});
    QCOMPARE(outcome.pending, QByteArray());
}

// Two shots back to back are left out: a digit run is read whole, and no sender ever
// sends anything right behind its own shot (it waits for the answer).
void TestMessageStream::coalescedPair_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    const QByteArrayList all = fixedTexts() + shotTexts();
    for (const QByteArray &first : all) {
        for (const QByteArray &second : all) {
            if (isShot(first) && isShot(second))
                continue;
            const QByteArray name = printable(first) + " then " + printable(second);
            QTest::newRow(name.constData()) << first << second;
        }
    }
}

void TestMessageStream::coalescedPair()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const Outcome outcome = feedAll({first + second});
    QCOMPARE(outcome.texts, (QByteArrayList{first, second}));
    QCOMPARE(outcome.pending, QByteArray());
}

// Three messages in one stream, cut once at every byte. Cuts inside a shot's digits
// after the first one, and right after the first byte behind a shot, are the split
// the stream cannot see; splitInsideShotDigits pins down what happens there.
void TestMessageStream::triplesCutAnywhere()
{
    const QByteArrayList all = fixedTexts() + shotTexts();
    int checked = 0;
    for (const QByteArray &a : all) {
        for (const QByteArray &b : all) {
            for (const QByteArray &c : all) {
                if ((isShot(a) && isShot(b)) || (isShot(b) && isShot(c)))
                    continue;
                const QByteArrayList messages{a, b, c};
                const QByteArray joined = a + b + c;
                QList<bool> blind(joined.size() + 1, false);
                qsizetype start = 0;
                for (const QByteArray &m : messages) {
                    if (isShot(m)) {
                        for (qsizetype cut = start + 2; cut < start + m.size(); ++cut)
                            blind[cut] = true;
                        if (start + m.size() < joined.size())
                            blind[start + m.size() + 1] = true;
                    }
                    start += m.size();
                }
                for (qsizetype cut = 0; cut <= joined.size(); ++cut) {
                    if (blind[cut])
                        continue;
                    const Outcome outcome = feedAll({joined.left(cut), joined.mid(cut)});
                    const QByteArray where = printable(a) + " " + printable(b) + " "
                        + printable(c) + " cut at " + QByteArray::number(cut);
                    QVERIFY2(outcome.texts == messages, where.constData());
                    QVERIFY2(outcome.pending.isEmpty(), where.constData());
                    ++checked;
                }
            }
        }
    }
    QVERIFY(checked > 20000);
}

void TestMessageStream::byteByByte_data()
{
    QTest::addColumn<QByteArray>("text");
    for (const QByteArray &text : fixedTexts() + QByteArrayList{wire::shot(0), wire::shot(9)})
        QTest::newRow(printable(text).constData()) << text;
    QTest::newRow("3a then 4Make") << wire::hit() + wire::make();
    QTest::newRow("1配置完了 then 1k") << wire::placed() + wire::meFirst();
}

void TestMessageStream::byteByByte()
{
    QFETCH(QByteArray, text);
    QByteArrayList chunks;
    for (const char byte : text)
        chunks.append(QByteArray(1, byte));
    MessageStream stream;
    QByteArray out;
    for (const QByteArray &chunk : chunks) {
        for (const QByteArray &piece : stream.feed(chunk))
            out += piece;
        QVERIFY(stream.pending().size() <= MessageStream::maxPending);
    }
    QCOMPARE(out, text);
    QCOMPARE(stream.pending(), QByteArray());
}

void TestMessageStream::splitInsideShotDigits_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArrayList>("texts");
    QTest::addColumn<QByteArray>("pending");
    QTest::newRow("cell 63 cut after its 6") << QByteArrayList{"26", "3"} << QByteArrayList{"26"}
                                             << QByteArray("3");
    QTest::newRow("cell 10 cut after its 1") << QByteArrayList{"21", "0"} << QByteArrayList{"21"}
                                             << QByteArray("0");
    QTest::newRow("cell 63 byte by byte") << QByteArrayList{"2", "6", "3"} << QByteArrayList{"26"}
                                          << QByteArray("3");
    QTest::newRow("the 3 of 3a behind a shot")
        << QByteArrayList{"273", "a"} << QByteArrayList{"273", "a"} << QByteArray();
    QTest::newRow("two shots in one read") << QByteArrayList{"2021"} << QByteArrayList{"2021"}
                                           << QByteArray();
}

void TestMessageStream::splitInsideShotDigits()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArrayList, texts);
    QFETCH(QByteArray, pending);
    const Outcome outcome = feedAll(chunks);
    QCOMPARE(outcome.texts, texts);
    QCOMPARE(outcome.pending, pending);
}

void TestMessageStream::malformedInput_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArrayList>("texts");
    QTest::addColumn<QByteArray>("pending");
    const QByteArray nul(1, '\0');
    const QByteArray p = wire::placed();

    QTest::newRow("junk before") << QByteArrayList{"xyz0hello"} << QByteArrayList{"xyz", "0hello"} << QByteArray();
    QTest::newRow("junk after") << QByteArrayList{"0helloxyz"} << QByteArrayList{"0hello", "xyz"} << QByteArray();
    QTest::newRow("junk between") << QByteArrayList{"3ajunk4Make"} << QByteArrayList{"3a", "junk", "4Make"} << QByteArray();
    QTest::newRow("junk then a prefix") << QByteArrayList{"junk0he"} << QByteArrayList{"junk"} << QByteArray("0he");
    QTest::newRow("prefix spoilt later") << QByteArrayList{"0hel", "x"} << QByteArrayList{"0helx"} << QByteArray();
    QTest::newRow("prefix spoilt at once") << QByteArrayList{"0helx3b"} << QByteArrayList{"0helx", "3b"} << QByteArray();
    QTest::newRow("type 3 junk stays one text") << QByteArrayList{"3c"} << QByteArrayList{"3c"} << QByteArray();
    QTest::newRow("lone 3 before a hit") << QByteArrayList{"33a"} << QByteArrayList{"3", "3a"} << QByteArray();
    QTest::newRow("lone 2 held") << QByteArrayList{"x2"} << QByteArrayList{"x"} << QByteArray("2");
    QTest::newRow("shot and letter") << QByteArrayList{"20x"} << QByteArrayList{"20x"} << QByteArray();
    QTest::newRow("shot and letter then hit") << QByteArrayList{"20x3a"} << QByteArrayList{"20x", "3a"} << QByteArray();
    QTest::newRow("2abc") << QByteArrayList{"2abc"} << QByteArrayList{"2abc"} << QByteArray();
    QTest::newRow("2-1 holds its 1") << QByteArrayList{"2-1"} << QByteArrayList{"2-"} << QByteArray("1");
    QTest::newRow("2 5") << QByteArrayList{"2 5"} << QByteArrayList{"2 5"} << QByteArray();
    QTest::newRow("264, three digits, handed on") << QByteArrayList{"264"} << QByteArrayList{"264"} << QByteArray();
    QTest::newRow("thirteen digits") << QByteArrayList{"2999999999999"} << QByteArrayList{"2999999999999"} << QByteArray();
    QTest::newRow("digits, then a hit") << QByteArrayList{"99993a"} << QByteArrayList{"9999", "3a"} << QByteArray();
    QTest::newRow("no shot right after a digit") << QByteArrayList{"x92"} << QByteArrayList{"x92"} << QByteArray();
    QTest::newRow("2 and NUL") << QByteArrayList{"2" + nul} << QByteArrayList{"2" + nul} << QByteArray();
    QTest::newRow("NUL bytes") << QByteArrayList{nul + nul + nul} << QByteArrayList{nul + nul + nul} << QByteArray();
    QTest::newRow("NUL then hit") << QByteArrayList{nul + "3a"} << QByteArrayList{nul, "3a"} << QByteArray();
    QTest::newRow("hello with a NUL behind") << QByteArrayList{"0hello" + nul} << QByteArrayList{"0hello", nul} << QByteArray();
    QTest::newRow("type digits 5 to 9") << QByteArrayList{"5x9y"} << QByteArrayList{"5x9y"} << QByteArray();
    QTest::newRow("placement notice cut after its lead byte")
        << QByteArrayList{p.left(2)} << QByteArrayList{} << p.left(2);
    QTest::newRow("placement notice with a bad trail byte")
        << QByteArrayList{"1\x94\xFF"} << QByteArrayList{"1\x94\xFF"} << QByteArray();
    QTest::newRow("placement notice cut short then hit")
        << QByteArrayList{p.left(5) + "3a"} << QByteArrayList{p.left(5), "3a"} << QByteArray();
    QTest::newRow("lone lead byte") << QByteArrayList{"\x81"} << QByteArrayList{"\x81"} << QByteArray();
    QTest::newRow("UTF-8 placement notice is no message")
        << QByteArrayList{QString("1配置完了").toUtf8()} << QByteArrayList{QString("1配置完了").toUtf8()} << QByteArray();
    QTest::newRow("prefix of a prefix") << QByteArrayList{"4", "K", "a"} << QByteArrayList{} << QByteArray("4Ka");
}

void TestMessageStream::malformedInput()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArrayList, texts);
    QFETCH(QByteArray, pending);
    const Outcome outcome = feedAll(chunks);
    QCOMPARE(outcome.texts, texts);
    QCOMPARE(outcome.pending, pending);
    QCOMPARE(outcome.dropped, qint64(0));
}

void TestMessageStream::longOtherTextIsDropped_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("handedOn");
    QTest::newRow("at the limit") << MessageStream::maxOtherText << true;
    QTest::newRow("one over") << MessageStream::maxOtherText + 1 << false;
    QTest::newRow("a megabyte") << (1 << 20) << false;
}

void TestMessageStream::longOtherTextIsDropped()
{
    QFETCH(int, length);
    QFETCH(bool, handedOn);
    const QByteArray junk(length, 'x');
    const Outcome outcome = feedAll({junk + wire::hit() + "3"});
    const QByteArrayList expected = handedOn ? QByteArrayList{junk, wire::hit()} : QByteArrayList{wire::hit()};
    QCOMPARE(outcome.texts, expected);
    QCOMPARE(outcome.dropped, handedOn ? 0 : length);
    QCOMPARE(outcome.pending, QByteArray("3"));
}

void TestMessageStream::floodKeepsPendingBounded_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("mebibytes");
    QTest::newRow("64 MiB random bytes in 64 KiB reads") << QByteArray() << 65536 << 64;
    QTest::newRow("prefix over and over") << QByteArray("0hel") << 4099 << 8;
    QTest::newRow("endless 1s") << QByteArray("1") << 1000 << 8;
    QTest::newRow("endless 2s") << QByteArray("2") << 777 << 8;
    QTest::newRow("placement notice less its last byte")
        << wire::placed().chopped(1) << 997 << 8;
}

void TestMessageStream::floodKeepsPendingBounded()
{
    QFETCH(QByteArray, pattern);
    QFETCH(int, chunk);
    QFETCH(int, mebibytes);
    const qint64 total = qint64(mebibytes) << 20;
    std::mt19937 random(20240601);
    MessageStream stream;
    qint64 handedOn = 0;
    QByteArray piece(chunk, '\0');
    for (qint64 fed = 0; fed < total; fed += chunk) {
        for (int i = 0; i < chunk; ++i)
            piece[i] = pattern.isEmpty() ? char(random()) : pattern[(fed + i) % pattern.size()];
        for (const QByteArray &text : stream.feed(piece))
            handedOn += text.size();
        if (stream.pending().size() > MessageStream::maxPending)
            QFAIL(qPrintable(QString("pending grew to %1 bytes").arg(stream.pending().size())));
    }
    const qint64 fed = (total + chunk - 1) / chunk * chunk;
    QCOMPARE(handedOn + stream.dropped() + stream.pending().size(), fed);
    QVERIFY(stream.dropped() > fed / 2);

    const QByteArrayList after = stream.feed(wire::hello());
    QVERIFY(!after.isEmpty());
    QCOMPARE(after.back(), wire::hello());
}

QTEST_GUILESS_MAIN(TestMessageStream)
#include "tst_messagestream.moc"
