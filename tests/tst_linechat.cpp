// pellu against a real loopback server on a free port: the bytes of a sent line, the log
// that joins whatever arrives and keeps the newest 4096 characters, Shift-JIS cut
// between reads, the peer's close, and sending or connecting when that cannot work.
#include "linechat/chatwindow.h"
#include "platform/winsock.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using Pieces = QList<QByteArray>;

class TestLineChat : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void windowItself();
    void tabOrder();
    void sendLine_data();
    void sendLine();
    void logKeepsNewest_data();
    void logKeepsNewest();
    void piecesJoin_data();
    void piecesJoin();
    void leftoverByteStaysWithItsConnection();
    void peerCloses_data();
    void peerCloses();
    void ownDisconnectLogsNothing();
    void sendWhileNotConnected_data();
    void sendWhileNotConnected();
    void connectFailsAtOnce_data();
    void connectFailsAtOnce();

private:
    // Presses the connect button and waits until both ends are connected.
    void connectWindow(ChatWindow &w);
    // Sends bytes from the peer and waits until the window has taken them.
    void deliver(ChatWindow &w, const QByteArray &bytes);

    QTcpServer *m_server = nullptr;
    QTcpSocket *m_peer = nullptr;
};

namespace {

const QString notConnectedLine = QStringLiteral("接続していないので送信できません。\r\n");
const QString disconnectedLine = QStringLiteral("サーバから切断されました\r\n");

// n characters, each different from its neighbours, so a cut in the wrong place shows.
QString sample(int n, bool japanese, int offset = 0)
{
    QString s;
    for (int i = 0; i < n; ++i) {
        const int k = i + offset;
        s += japanese ? QChar(0x3042 + k % 80) : QChar(u'!' + k % 90);
    }
    return s;
}

QByteArray shiftJis(const QString &text)
{
    QStringEncoder encoder("Shift_JIS");
    return encoder.encode(text);
}

} // namespace

void TestLineChat::init()
{
    m_server = new QTcpServer(this);
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
    m_peer = nullptr;
}

void TestLineChat::cleanup()
{
    delete m_server;
    m_server = nullptr;
    m_peer = nullptr;
}

void TestLineChat::connectWindow(ChatWindow &w)
{
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QCOMPARE(w.Command2->text(), QStringLiteral("終了！"));
    QVERIFY(m_server->waitForNewConnection(5000));
    m_peer = m_server->nextPendingConnection();
    QVERIFY(m_peer);
    QTRY_COMPARE(w.Winsock1->State(), int(Winsock::sckConnected));
}

void TestLineChat::deliver(ChatWindow &w, const QByteArray &bytes)
{
    QSignalSpy arrived(w.Winsock1, &Winsock::DataArrival);
    m_peer->write(bytes);
    QVERIFY(m_peer->waitForBytesWritten(5000));
    QVERIFY(arrived.wait(5000));
}

void TestLineChat::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QRect>("pixels");

    QTest::newRow("log") << "Text1" << QString() << QRect(0, 0, 441, 221);
    QTest::newRow("name label") << "Label1" << QStringLiteral("お名前") << QRect(4, 224, 35, 12);
    QTest::newRow("name box") << "txtName" << QStringLiteral("trelvin") << QRect(52, 224, 133, 15);
    QTest::newRow("line box") << "Text2" << QString() << QRect(4, 240, 433, 17);
    QTest::newRow("connect button") << "Command2" << QStringLiteral("接続！") << QRect(4, 260, 81, 33);
    QTest::newRow("send button") << "Command1" << QStringLiteral("発射") << QRect(356, 260, 81, 33);
}

void TestLineChat::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, content);
    QFETCH(QRect, pixels);

    ChatWindow w(QStringLiteral("127.0.0.1"), m_server->serverPort());
    QWidget *c = nullptr;
    QString text;
    if (name == QLatin1String("Text1")) {
        c = w.Text1;
        text = w.Text1->toPlainText();
    } else if (name == QLatin1String("Label1")) {
        c = w.Label1;
        text = w.Label1->text();
    } else if (name == QLatin1String("txtName") || name == QLatin1String("Text2")) {
        auto *edit = name == QLatin1String("txtName") ? w.txtName : w.Text2;
        c = edit;
        text = edit->text();
    } else {
        auto *button = name == QLatin1String("Command1") ? w.Command1 : w.Command2;
        c = button;
        text = button->text();
    }
    QCOMPARE(c->geometry(), pixels);
    QCOMPARE(text, content);
}

void TestLineChat::windowItself()
{
    ChatWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("trelvin"));
    QCOMPARE(w.size(), QSize(442, 310));
    QCOMPARE(w.logText(), QString());
    // The name label's text fits its small box whole.
    QVERIFY(w.Label1->fontMetrics().horizontalAdvance(w.Label1->text()) <= w.Label1->width());
}

void TestLineChat::tabOrder()
{
    ChatWindow w(QStringLiteral("127.0.0.1"), m_server->serverPort());
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const QList<QWidget *> order{w.Text1, w.Command1, w.Text2, w.Command2, w.txtName, w.Text1};
    QCOMPARE(QApplication::focusWidget(), order.first());
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order[i]);
    }
}

void TestLineChat::sendLine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<QByteArray>("wire");

    // "＞" is 81 84 in Shift-JIS, "こんにちは" 82 b1 82 f1 82 c9 82 bf 82 cd.
    const QByteArray hello("\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd");
    QTest::newRow("name and Japanese line, clicked")
        << "trelvin" << QStringLiteral("こんにちは") << false
        << QByteArray("trelvin\x81\x84") + hello + "\r\n";
    QTest::newRow("name and Japanese line, Enter")
        << "trelvin" << QStringLiteral("こんにちは") << true
        << QByteArray("trelvin\x81\x84") + hello + "\r\n";
    QTest::newRow("empty name") << "" << "2 12" << false << QByteArray("\x81\x84" "2 12\r\n");
    QTest::newRow("empty line") << "taro" << "" << true << QByteArray("taro\x81\x84\r\n");
    QTest::newRow("both empty") << "" << "" << false << QByteArray("\x81\x84\r\n");
    QTest::newRow("character Shift-JIS cannot hold goes as ?")
        << "a" << QStringLiteral("x😀é") << false << QByteArray("a\x81\x84x??\r\n");
}

void TestLineChat::sendLine()
{
    QFETCH(QString, name);
    QFETCH(QString, line);
    QFETCH(bool, byEnter);
    QFETCH(QByteArray, wire);

    ChatWindow w(QStringLiteral("127.0.0.1"), m_server->serverPort());
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    connectWindow(w);
    if (QTest::currentTestFailed())
        return;

    w.txtName->setText(name);
    w.Text2->setText(line);
    if (byEnter)
        QTest::keyClick(w.Text2, Qt::Key_Return);
    else
        QTest::mouseClick(w.Command1, Qt::LeftButton);

    QByteArray got;
    QTRY_VERIFY((got += m_peer->readAll()).size() >= wire.size());
    QCOMPARE(got, wire);
    QCOMPARE(w.Text2->text(), QString());
    QCOMPARE(QApplication::focusWidget(), w.Text2);
    // The own line is not echoed into the log.
    QCOMPARE(w.logText(), QString());
}

void TestLineChat::logKeepsNewest_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("japanese");

    QTest::newRow("4000 + 200 drops the oldest 104") << 4000 << 200 << false;
    QTest::newRow("4000 + 200 Japanese, one character each") << 4000 << 200 << true;
    QTest::newRow("exactly 4096 stays whole") << 3896 << 200 << true;
    QTest::newRow("4096 + 1 drops one") << 4096 << 1 << false;
    QTest::newRow("one piece over the limit") << 5000 << 0 << true;
}

void TestLineChat::logKeepsNewest()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, japanese);

    ChatWindow w(QStringLiteral("127.0.0.1"), m_server->serverPort());
    w.show();
    connectWindow(w);
    if (QTest::currentTestFailed())
        return;

    const QString a = sample(first, japanese);
    const QString b = sample(second, japanese, first);
    m_peer->write(shiftJis(a));
    QTRY_COMPARE(w.logText(), a.right(4096));
    m_peer->write(shiftJis(b));
    const QString all = a + b;
    QTRY_COMPARE(w.logText(), all.right(4096));
    QCOMPARE(w.logText().size(), std::min<qsizetype>(all.size(), 4096));
    QCOMPARE(w.Text1->toPlainText(), w.logText());
    QVERIFY2(w.Text1->textCursor().atEnd(), "the caret follows the newest text");
}

void TestLineChat::piecesJoin_data()
{
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("shown");

    QTest::newRow("host greeting, then more on the same line")
        << Pieces{"0hello", "2 12"} << "0hello2 12" << "0hello2 12";
    QTest::newRow("Shift-JIS character cut after its lead byte")
        << Pieces{"\x82", "\xa0"} << QStringLiteral("あ") << QStringLiteral("あ");
    // "名前＞テスト": 96 bc 91 4f 81 84 83 65 83 58 83 67
    QTest::newRow("Japanese line cut inside a character twice")
        << Pieces{"\x96\xbc\x91", "\x4f\x81\x84\x83\x65\x83", "\x58\x83\x67"}
        << QStringLiteral("名前＞テスト") << QStringLiteral("名前＞テスト");
    QTest::newRow("trail byte that is also ASCII is not taken alone")
        << Pieces{"A\x91", "\x4f" "B"} << QStringLiteral("A前B") << QStringLiteral("A前B");
    QTest::newRow("CR LF across two pieces is one line break")
        << Pieces{"abc\r", "\ndef"} << "abc\r\ndef" << "abc\ndef";
}

void TestLineChat::piecesJoin()
{
    QFETCH(Pieces, pieces);
    QFETCH(QString, log);
    QFETCH(QString, shown);

    ChatWindow w(QStringLiteral("127.0.0.1"), m_server->serverPort());
    w.show();
    connectWindow(w);
    if (QTest::currentTestFailed())
        return;

    for (const QByteArray &piece : pieces) {
        deliver(w, piece);
        if (QTest::currentTestFailed())
            return;
        // Never a broken character between pieces.
        QVERIFY2(!w.logText().contains(QChar::ReplacementCharacter)
                     && !w.logText().contains(QChar(0x1a)),
                 qPrintable(w.logText()));
    }
    QCOMPARE(w.logText(), log);
    QCOMPARE(w.Text1->toPlainText(), shown);
    QVERIFY(w.Text1->textCursor().atEnd());
}

void TestLineChat::leftoverByteStaysWithItsConnection()
{
    ChatWindow w(QStringLiteral("127.0.0.1"), m_server->serverPort());
    w.show();
    connectWindow(w);
    if (QTest::currentTestFailed())
        return;
    deliver(w, "x\x82");
    QTest::mouseClick(w.Command2, Qt::LeftButton); // 終了！
    QCOMPARE(w.Command2->text(), QStringLiteral("接続！"));

    connectWindow(w);
    if (QTest::currentTestFailed())
        return;
    deliver(w, "\xa0y");
    QVERIFY2(!w.logText().contains(QStringLiteral("あ")),
             "a lead byte of the old connection joined a byte of the new one");
    QVERIFY(w.logText().startsWith(QLatin1Char('x')));
    QVERIFY(w.logText().endsWith(QLatin1Char('y')));
}

void TestLineChat::peerCloses_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("shown");
    QTest::newRow("after text without a line end")
        << QByteArray("0hello") << QStringLiteral("0hello") + disconnectedLine
        << QStringLiteral("0helloサーバから切断されました\n");
    QTest::newRow("after a whole line")
        << QByteArray("abc\r\n") << QStringLiteral("abc\r\n") + disconnectedLine
        << QStringLiteral("abc\nサーバから切断されました\n");
    QTest::newRow("with nothing received")
        << QByteArray() << disconnectedLine << QStringLiteral("サーバから切断されました\n");
}

void TestLineChat::peerCloses()
{
    QFETCH(QByteArray, received);
    QFETCH(QString, log);
    QFETCH(QString, shown);

    ChatWindow w(QStringLiteral("127.0.0.1"), m_server->serverPort());
    w.show();
    connectWindow(w);
    if (QTest::currentTestFailed())
        return;
    if (!received.isEmpty())
        deliver(w, received);
    m_peer->disconnectFromHost();

    QTRY_COMPARE(w.Command2->text(), QStringLiteral("接続！"));
    QCOMPARE(w.logText(), log);
    QCOMPARE(w.Text1->toPlainText(), shown);
    QVERIFY(w.Text1->textCursor().atEnd());
    QCOMPARE(w.Winsock1->State(), int(Winsock::sckClosed));

    // The window can connect again.
    connectWindow(w);
}

void TestLineChat::ownDisconnectLogsNothing()
{
    ChatWindow w(QStringLiteral("127.0.0.1"), m_server->serverPort());
    w.show();
    connectWindow(w);
    if (QTest::currentTestFailed())
        return;
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QCOMPARE(w.Command2->text(), QStringLiteral("接続！"));
    QTRY_COMPARE(m_peer->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(w.logText(), QString());
}

void TestLineChat::sendWhileNotConnected_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("caption");
    QTest::newRow("never connected") << "nothing" << QByteArray() << QStringLiteral("接続！");
    QTest::newRow("after disconnecting") << "disconnect" << QByteArray() << QStringLiteral("接続！");
    // The note follows the received text as it stands, with no line end put in.
    QTest::newRow("after 0hello and disconnecting")
        << "disconnect" << QByteArray("0hello") << QStringLiteral("接続！");
    // A refused attempt fails later and silently; the button still offers to end.
    QTest::newRow("connection refused") << "refused" << QByteArray() << QStringLiteral("終了！");
}

void TestLineChat::sendWhileNotConnected()
{
    QFETCH(QString, before);
    QFETCH(QByteArray, received);
    QFETCH(QString, caption);

    quint16 port = m_server->serverPort();
    if (before == QLatin1String("refused")) {
        m_server->close(); // nothing listens on that port any more
    }
    ChatWindow w(QStringLiteral("127.0.0.1"), port);
    w.show();
    if (before == QLatin1String("disconnect")) {
        connectWindow(w);
        if (QTest::currentTestFailed())
            return;
        if (!received.isEmpty())
            deliver(w, received);
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        QTRY_COMPARE(m_peer->state(), QAbstractSocket::UnconnectedState);
    } else if (before == QLatin1String("refused")) {
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        QTRY_COMPARE(w.Winsock1->State(), int(Winsock::sckClosed));
    }

    w.Text2->setText(QStringLiteral("届かない行"));
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    const QString log = QString::fromLatin1(received);
    QCOMPARE(w.logText(), log + notConnectedLine);
    // The line is kept for when the connection is there.
    QCOMPARE(w.Text2->text(), QStringLiteral("届かない行"));
    QCOMPARE(w.Command2->text(), caption);
    if (m_peer)
        QCOMPARE(m_peer->bytesAvailable(), qint64(0));

    // A second press says so once more, one line each time.
    QTest::keyClick(w.Text2, Qt::Key_Return);
    QCOMPARE(w.logText(), log + notConnectedLine + notConnectedLine);
}

void TestLineChat::connectFailsAtOnce_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("line");
    QTest::newRow("empty address") << "" << 1020 << QStringLiteral(" のポート 1020 に接続できませんでした。\r\n");
    QTest::newRow("malformed address")
        << "127.0.0.1 x" << 1020 << QStringLiteral("127.0.0.1 x のポート 1020 に接続できませんでした。\r\n");
    QTest::newRow("port 0") << "127.0.0.1" << 0 << QStringLiteral("127.0.0.1 のポート 0 に接続できませんでした。\r\n");
}

void TestLineChat::connectFailsAtOnce()
{
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, line);

    ChatWindow w(address, quint16(port));
    w.show();
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QCOMPARE(w.logText(), line);
    QCOMPARE(w.Command2->text(), QStringLiteral("接続！"));
    QCOMPARE(w.Winsock1->State(), int(Winsock::sckClosed));
    // And the window still works: a send says it is not connected.
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QCOMPARE(w.logText(), line + notConnectedLine);
}

QTEST_MAIN(TestLineChat)
#include "tst_linechat.moc"
