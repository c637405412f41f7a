// Bad input on the wire, against the real host and the real client in the middle of a
// game: a flood of bytes that form no message, and a corpus of malformed texts (hand
// written, plus the protocol fuzzer's seeds). Whatever arrives, the program must stay
// up, keep its memory, and still handle the valid messages that follow.
#include "faults/rig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime; GCC ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace faults;
using Answer = Dialogs::Answer;

namespace {

// The memory the process holds. Under AddressSanitizer freed blocks sit in its
// quarantine and keep the resident size up whatever the program does, so there the
// allocator's count of live bytes is what tells.
qint64 memoryInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
#endif
}

enum class Junk { Letters, RandomWithoutTypeDigits, TypeDigitRuns };

QByteArray junkChunk(Junk kind, int size)
{
    QByteArray chunk(size, 'x');
    QRandomGenerator random(20240917);
    for (char &c : chunk) {
        switch (kind) {
        case Junk::Letters:
            break;
        case Junk::RandomWithoutTypeDigits: {
            // Any byte but "0" to "4", which are the only ones a message can start with.
            int v = int(random.bounded(256 - 5));
            if (v >= '0')
                v += 5;
            c = char(v);
            break;
        }
        case Junk::TypeDigitRuns:
            // Type digits with no message behind them: one unbroken run of digits.
            c = char('0' + random.bounded(5));
            break;
        }
    }
    return chunk;
}

// Printable form of a text for a row name.
QByteArray printable(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes.left(24)) {
        if (c >= 0x21 && c < 0x7F)
            out += c;
        else
            out += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
    }
    return bytes.size() > 24 ? out + "..." : out;
}

// Texts that no program of the game sends and that do not contain a whole message
// either, so that nothing at all may come of them.
QList<std::pair<QByteArray, QByteArray>> malformedTexts()
{
    const QByteArray placed = wire::placed();
    QList<std::pair<QByteArray, QByteArray>> rows{
        {"letters", "hello"},
        {"a line of the chat client", wire::encode(QStringLiteral("名前＞こんにちは\r\n"))},
        {"CR LF alone", "\r\n"},
        {"an HTTP request", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"},
        {"telnet negotiation", "\xFF\xFD\x18\xFF\xFB\x01"},
        {"a UTF-8 byte order mark", "\xEF\xBB\xBF"},
        {"a NUL byte", QByteArray(1, '\0')},
        {"sixteen NUL bytes", QByteArray(16, '\0')},
        {"a NUL inside a shot", QByteArray("2\0" "5", 3)},
        {"a shot followed by NUL", QByteArray("25\0", 3)},
        {"a NUL inside the placement notice", placed.left(3) + QByteArray(1, '\0') + placed.mid(3)},
        {"a lone Shift-JIS lead byte", "\x81"},
        {"Shift-JIS lead bytes only", "\x81\x82\x83\x84\x9F\xE0"},
        {"a lead byte with an invalid trail", "1\x94\x20"},
        {"bytes that are never Shift-JIS", "\xFD\xFE\xFF"},
        {"the placement notice in UTF-8", "1" + QStringLiteral("配置完了").toUtf8()},
        {"the placement notice in UTF-16",
         "1" + QByteArray(reinterpret_cast<const char *>(QStringLiteral("配置完了").utf16()), 8)},
        {"the placement notice with its last byte wrong", placed.left(8) + "\xB8"},
        {"the placement notice short of its last character", placed.left(7) + "x"},
        {"half-width katakana after type 1", "1\xB1\xB2"},
        {"a bare 2", "2"},
        {"2abc", "2abc"},
        {"264", "264"},
        {"2-1", "2-1"},
        {"2 5", "2 5"},
        {"20x", "20x"},
        {"2999999999999", "2999999999999"},
        {"2+5", "2+5"},
        {"205 (leading zero)", "205"},
        {"2 followed by a space", "2 "},
        {"a shot with CR LF", "25\r\n"},
        {"2.5", "2.5"},
        {"2e1", "2e1"},
        {"2100 (above the board, within a byte)", "2100"},
        {"2256 (above a byte)", "2256"},
        {"2-0", "2-0"},
        {"a full-width digit", "2" + wire::encode(QStringLiteral("５"))},
        {"type 5", "5"},
        {"type 6 with a greeting", "6hello"},
        {"type 7 with a result", "7Make"},
        {"type 8 with a result", "8Kati"},
        {"type 9 digits", "9999"},
        {"type 5 with the notice's text", "5" + placed.mid(1)},
        {"type 0 alone", "0"},
        {"0HELLO", "0HELLO"},
        {"0 hello", "0 hello"},
        {"0hell0", "0hell0"},
        {"type 1 alone", "1"},
        {"1S", "1S"},
        {"1K", "1K"},
        {"1 s", "1 s"},
        {"type 4 alone", "4"},
        {"4make", "4make"},
        {"4KATI", "4KATI"},
        {"4 Make", "4 Make"},
        {"4Kat!", "4Kat!"},
        {"1 MiB of one letter", QByteArray(1 << 20, 'x')},
        {"1 MiB of Shift-JIS lead bytes", QByteArray(1 << 20, '\x81')},
        {"4 KiB of type-0 junk run together", QByteArray("0x").repeated(2048)},
    };
    // Every message cut after each of its bytes, each cut followed by junk.
    for (const QByteArray &message :
         {wire::hello(), wire::busy(), placed, wire::youFirst(), wire::meFirst(), wire::shot(0),
          wire::shot(63), wire::hit(), wire::miss(), wire::make(), wire::kati()}) {
        QByteArray cuts;
        for (int at = 1; at < message.size(); ++at)
            cuts += message.left(at) + "~";
        rows.append({"cuts of " + printable(message), cuts});
    }
    return rows;
}

// The protocol fuzzer's seeds, written by its own script: its first byte is a count of
// cuts, then that many cut positions, then the bytes received. Returns the pieces of
// each seed as the reads it stands for.
QList<std::pair<QString, QByteArrayList>> fuzzSeeds(QString &error)
{
    QList<std::pair<QString, QByteArrayList>> seeds;
    const QString script = QFINDTESTDATA("fuzz/make_seeds.sh");
    QTemporaryDir dir;
    if (script.isEmpty() || !dir.isValid()) {
        error = QStringLiteral("no seed script");
        return seeds;
    }
    QProcess run;
    run.start(QStringLiteral("bash"), {script, dir.path()});
    if (!run.waitForFinished(10000) || run.exitCode() != 0) {
        error = QString::fromLocal8Bit(run.readAllStandardError());
        return seeds;
    }
    const QDir out(dir.path());
    for (const QString &name : out.entryList(QDir::Files, QDir::Name)) {
        QFile f(out.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = f.readAll();
        if (data.isEmpty())
            continue;
        const int cuts = uchar(data[0]) % 4;
        if (data.size() < 1 + cuts)
            continue;
        const QByteArray input = data.mid(1 + cuts);
        QByteArrayList pieces;
        qsizetype from = 0;
        for (int i = 0; i < cuts; ++i) {
            const qsizetype room = input.size() - from;
            const qsizetype to = from + (room > 0 ? uchar(data[1 + i]) % (room + 1) : 0);
            pieces << input.mid(from, to - from);
            from = to;
        }
        pieces << input.mid(from);
        pieces.removeAll(QByteArray());
        seeds.append({name + " " + QString::fromLatin1(printable(input)), pieces});
    }
    return seeds;
}

} // namespace

Q_DECLARE_METATYPE(Junk)

class TestFaultsInput : public QObject
{
    Q_OBJECT

private:
    // Greeting, both fleets confirmed, play started with the peer to fire first.
    void toPlay(Survivor &s)
    {
        GameModel &m = s.model();
        QVERIFY(s.connectPeer());
        QVERIFY(s.greet());
        s.peer.send(wire::placed());
        QVERIFY(waitUntil([&] { return m.Label1 == texts::peerPlaced; }));
        s.confirm();
        QVERIFY(s.startPlay(false));
        QVERIFY(waitUntil([&] { return m.sPhase == texts::phaseGame && m.Label1 == texts::theirTurn; }));
    }

private slots:
    void flood_data()
    {
        QTest::addColumn<bool>("hostSurvives");
        QTest::addColumn<Junk>("junk");
        for (const bool host : {true, false}) {
            const char *side = host ? "host" : "client";
            QTest::addRow("%s, one letter", side) << host << Junk::Letters;
            QTest::addRow("%s, random bytes without a type digit", side)
                << host << Junk::RandomWithoutTypeDigits;
            QTest::addRow("%s, type digits", side) << host << Junk::TypeDigitRuns;
        }
    }
    void flood()
    {
        QFETCH(bool, hostSurvives);
        QFETCH(Junk, junk);
        const std::unique_ptr<Survivor> rig = makeSurvivor(hostSurvives, {0.1f});
        Survivor &s = *rig;
        toPlay(s);
        if (QTest::currentTestFailed())
            return;

        qint64 total = qint64(64) << 20;
#if defined(__SANITIZE_ADDRESS__)
        // Type digits take the stream's slow path (each may start a message), some 16 MB/s
        // in the optimised build and fifteen times slower in the sanitizer's debug build,
        // where 64 MiB would outlast the test's time limit. A tenth still shows the bound.
        if (junk == Junk::TypeDigitRuns)
            total = qint64(6) << 20;
#endif
        const QByteArray chunk = junkChunk(junk, 64 << 10);
        QTcpSocket *socket = s.peer.socket();
        const qint64 before = memoryInUse();
        QVERIFY(before > 0);
        QElapsedTimer clock;
        clock.start();
        // Keep a few chunks queued on our side, no more: the rest waits for the program
        // to drain its socket, so what piles up anywhere is the program's doing.
        for (qint64 sent = 0; sent < total;) {
            while (socket->bytesToWrite() < 4 * chunk.size() && sent < total) {
                socket->write(chunk);
                sent += chunk.size();
            }
            QVERIFY2(waitUntil([&] { return socket->bytesToWrite() < 2 * chunk.size(); }, 5000),
                     qPrintable(QStringLiteral("stalled after %1 bytes").arg(sent)));
        }
        QVERIFY(waitUntil([&] { return socket->bytesToWrite() == 0; }, 5000));

        // A shot at water is still answered once everything before it has been read. A
        // digit run is read whole, so the junk is closed with a letter first, or the shot
        // would be part of it.
        s.peer.send("x" + wire::shot(5));
        QVERIFY2(waitUntil([&] { return s.peer.inbox.size() >= 2; }, 10000), "the shot got no answer");
        QCOMPARE(s.peer.inbox, wire::miss());
        QCOMPARE(s.model().Command1[5].mark, marks::miss);
        QVERIFY(!s.exit.ended());
        const qint64 after = memoryInUse();
        qInfo("%lld MiB in %lld ms; memory in use before %lld KiB, after %lld KiB", total >> 20,
              clock.elapsed(), before >> 10, after >> 10);
        QVERIFY2(after - before <= qint64(8) << 20,
                 qPrintable(QStringLiteral("grew by %1 KiB").arg((after - before) >> 10)));
    }

    void malformed_data()
    {
        QTest::addColumn<bool>("hostSurvives");
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<bool>("mayAct"); // the text may hold whole messages (fuzz seeds)
        const auto malformed = malformedTexts();
        QString error;
        const auto seeds = fuzzSeeds(error);
        QVERIFY2(!seeds.isEmpty(), qPrintable(error));
        for (const bool host : {true, false}) {
            const char *side = host ? "host" : "client";
            for (const auto &[name, bytes] : malformed)
                QTest::addRow("%s, %s", side, name.constData()) << host << QByteArrayList{bytes} << false;
            for (const auto &[name, pieces] : seeds)
                QTest::addRow("%s, fuzz %s", side, qPrintable(name)) << host << pieces << true;
        }
    }
    void malformed()
    {
        QFETCH(bool, hostSurvives);
        QFETCH(QByteArrayList, reads);
        QFETCH(bool, mayAct);
        const std::unique_ptr<Survivor> rig = makeSurvivor(hostSurvives, {0.1f});
        Survivor &s = *rig;
        GameModel &m = s.model();
        toPlay(s);
        if (QTest::currentTestFailed())
            return;
        // A seed may end the game: the rematch is accepted, so the program goes on.
        s.dialogs.answer({Answer::Yes, Answer::Yes, Answer::Yes, Answer::Yes});
        const qsizetype boxes = s.dialogs.shown().size();
        QStringList labels;
        QObject watching; // ends the connection before `labels` goes
        connect(&m, &GameModel::changed, &watching, [&] {
            if (labels.isEmpty() || labels.last() != m.Label1)
                labels << m.Label1;
        });

        for (const QByteArray &read : reads) {
            s.peer.send(read);
            QVERIFY(waitUntil([&] { return s.peer.socket()->bytesToWrite() == 0; }));
        }
        // A seed that ended the game leaves the next one waiting for both confirmations:
        // shots count again once it has started.
        const QByteArray all = reads.join();
        if (all.contains(wire::make()) || all.contains(wire::kati())) {
            QVERIFY(waitUntil([&] { return s.dialogs.texts().contains(texts::again); }));
            s.confirm();
        }
        // Valid messages right behind it, in whatever reads TCP makes of them. A
        // placement notice in the middle of play is a peer's fault and is ignored.
        s.peer.send(wire::placed());
        s.peer.send(wire::shot(5));
        QVERIFY2(waitUntil([&] { return m.Command1[5].mark == marks::miss && s.peer.inbox.endsWith(wire::miss()); }),
                 qPrintable("received: " + printable(s.peer.inbox)));
        if (!mayAct)
            QVERIFY(!labels.contains(texts::peerPlaced));
        QCOMPARE(m.Label1, texts::yourTurn);
        QVERIFY(!s.exit.ended());
        QVERIFY(s.peer.connected());
        if (mayAct)
            return;

        // Nothing came of the text itself: no answer, no box, no mark on the own board.
        QCOMPARE(s.peer.inbox, wire::miss());
        QCOMPARE(s.dialogs.shown().size(), boxes);
        for (int i = 0; i < 64; ++i)
            QCOMPARE(m.Command1[i].mark, i == 5 ? marks::miss : QString());
        QCOMPARE(m.sPhase, texts::phaseGame);
        QVERIFY(m.bMyTurn);
    }
};

QTEST_MAIN(TestFaultsInput)
#include "tst_faults_input.moc"
