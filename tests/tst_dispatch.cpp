// Dispatch of received texts on the host and the client: every branch, the texts each
// side ignores, and malformed shots and other junk that must change nothing.
#include "protocol/dispatch.h"

#include "protocol/messages.h"

#include <QTest>

namespace {

// Writes down every handler call as a short word, so a row states the one call expected.
class RecordingHandler : public MessageHandler
{
public:
    void onHello() override { calls << "hello"; }
    void onPlaced() override { calls << "placed"; }
    void onFirstShot(bool clientFirst) override { calls << (clientFirst ? "first:client" : "first:host"); }
    void onShot(int cell) override { calls << "shot:" + QString::number(cell); }
    void onResult(bool hit) override { calls << (hit ? "result:hit" : "result:miss"); }
    void onMake() override { calls << "make"; }
    void onKati() override { calls << "kati"; }
    QStringList calls;
};

} // namespace

class TestDispatch : public QObject
{
    Q_OBJECT

private slots:
    void dispatchText_data();
    void dispatchText();
    void shotIndex_data();
    void shotIndex();
};

void TestDispatch::dispatchText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("onClient");
    QTest::addColumn<QString>("call"); // empty: nothing may be called

    const auto both = [](const char *name, const QByteArray &text, const QString &call) {
        QTest::newRow(qPrintable(QString("client: %1").arg(name))) << text << true << call;
        QTest::newRow(qPrintable(QString("host: %1").arg(name))) << text << false << call;
    };
    const QByteArray nul(1, '\0');

    QTest::newRow("client: 0hello") << wire::hello() << true << "hello";
    QTest::newRow("host: 0hello ignored") << wire::hello() << false << "";
    both("0busy", wire::busy(), "");
    both("0hello with a NUL behind", wire::hello() + nul, "");
    both("0HELLO", QByteArray("0HELLO"), "");
    both("1配置完了", wire::placed(), "placed");
    both("1配置完了 in UTF-8", QString("1配置完了").toUtf8(), "");
    both("1配置完了 cut short", wire::placed().chopped(1), "");
    QTest::newRow("client: 1s") << wire::youFirst() << true << "first:client";
    QTest::newRow("client: 1k") << wire::meFirst() << true << "first:host";
    QTest::newRow("host: 1s ignored") << wire::youFirst() << false << "";
    QTest::newRow("host: 1k ignored") << wire::meFirst() << false << "";
    both("1S", QByteArray("1S"), "");
    both("1 alone", QByteArray("1"), "");
    both("shot at 0", wire::shot(0), "shot:0");
    both("shot at 7", wire::shot(7), "shot:7");
    both("shot at 63", wire::shot(63), "shot:63");
    both("shot at 64", QByteArray("264"), "");
    both("2 alone", QByteArray("2"), "");
    both("2abc", QByteArray("2abc"), "");
    both("2-1", QByteArray("2-1"), "");
    both("2 5", QByteArray("2 5"), "");
    both("20x", QByteArray("20x"), "");
    both("2999999999999", QByteArray("2999999999999"), "");
    both("2 and NUL", "2" + nul, "");
    both("3a", wire::hit(), "result:hit");
    both("3b", wire::miss(), "result:miss");
    both("3c is a miss", QByteArray("3c"), "result:miss");
    both("3 alone is a miss", QByteArray("3"), "result:miss");
    both("3a with a space is a miss", QByteArray("3a "), "result:miss");
    both("3A is a miss", QByteArray("3A"), "result:miss");
    both("4Make", wire::make(), "make");
    both("4Kati", wire::kati(), "kati");
    both("4make", QByteArray("4make"), "");
    both("4Make with a space", QByteArray("4Make "), "");
    both("4Kat", QByteArray("4Kat"), "");
    for (const char digit : QByteArray("56789")) {
        const QByteArray text = QByteArray(1, digit) + "hello";
        both(text.constData(), text, "");
    }
    both("letter first", QByteArray("hello"), "");
    both("space first", QByteArray(" 3a"), "");
    both("NUL first", nul + "3a", "");
    both("lead byte first", QByteArray("\x94\x7A"), "");
    both("never Shift-JIS", QByteArray("\xFF\xFE"), "");
    both("empty", QByteArray(), "");
}

void TestDispatch::dispatchText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, onClient);
    QFETCH(QString, call);
    RecordingHandler handler;
    const bool acted = dispatch(text, onClient ? Side::Client : Side::Host, handler);
    QCOMPARE(handler.calls, call.isEmpty() ? QStringList() : QStringList{call});
    QCOMPARE(acted, !call.isEmpty());
}

void TestDispatch::shotIndex_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("cell");
    QTest::newRow("20") << QByteArray("20") << 0;
    QTest::newRow("29") << QByteArray("29") << 9;
    QTest::newRow("210") << QByteArray("210") << 10;
    QTest::newRow("263") << QByteArray("263") << 63;
    QTest::newRow("264") << QByteArray("264") << -1;
    QTest::newRow("299") << QByteArray("299") << -1;
    QTest::newRow("leading zero 205") << QByteArray("205") << -1;
    QTest::newRow("leading zero 200") << QByteArray("200") << -1;
    QTest::newRow("three digits 2063") << QByteArray("2063") << -1;
    QTest::newRow("byte overflow 2256") << QByteArray("2256") << -1;
    QTest::newRow("plus sign") << QByteArray("2+5") << -1;
    QTest::newRow("digit then letter") << QByteArray("25x") << -1;
    QTest::newRow("full-width digit") << wire::encode(QString("2５")) << -1;
    QTest::newRow("not type 2") << QByteArray("35") << -1;
    QTest::newRow("2 alone") << QByteArray("2") << -1;
}

void TestDispatch::shotIndex()
{
    QFETCH(QByteArray, text);
    QFETCH(int, cell);
    QCOMPARE(::shotIndex(text), cell);
}

QTEST_GUILESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"
