// The platform layer's own promises: the random generator's fixed sequence, Qt's boxes
// with Japanese buttons and no icon, and an end of the program after which nothing
// else runs.
#include "platform/hostoffers.h"
#include "platform/programexit.h"
#include "platform/qtdialogs.h"
#include "platform/random.h"
#include "platform/servicebrowser.h"
#include "platform/servicepublisher.h"
#include "platform/twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Runs `inspect` on the modal box as soon as it is open. A check that fails inside
// returns before the box is answered; the box is then closed here, so that the test
// fails at once instead of waiting in the box until it is killed.
void whenBoxOpens(std::function<void(QWidget *)> inspect)
{
    QTimer::singleShot(0, qApp, [inspect] {
        QPointer<QWidget> box = QApplication::activeModalWidget();
        QVERIFY(box);
        inspect(box);
        if (box && box->isVisible()) {
            if (!QTest::currentTestFailed())
                QTest::qFail("the box was left open", __FILE__, __LINE__);
            if (auto *dialog = qobject_cast<QDialog *>(box.data()))
                dialog->reject();
            else
                box->close();
        }
    });
}

QStringList buttonTexts(QWidget *box)
{
    QStringList out;
    for (QAbstractButton *b : box->findChildren<QAbstractButton *>())
        if (b->isVisible())
            out << b->text();
    out.sort();
    return out;
}

QAbstractButton *buttonNamed(QWidget *box, const QString &text)
{
    for (QAbstractButton *b : box->findChildren<QAbstractButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("morsk")); }

    void randomStartsWhereEveryRunStarts()
    {
        // The classic generator's first draws from its starting state.
        LcgRandom r;
        QCOMPARE(r.Rnd(), 11837123.0f / 16777216.0f); // 0.7055475
        QCOMPARE(r.Rnd(), 8949370.0f / 16777216.0f);  // 0.5334240
        QCOMPARE(r.Rnd(), 9722709.0f / 16777216.0f);  // 0.5795186
    }

    void randomIsTheSameSequenceEveryTimeAndStaysInRange()
    {
        LcgRandom a, b;
        int below = 0;
        for (int i = 0; i < 100000; ++i) {
            const float x = a.Rnd();
            QCOMPARE(b.Rnd(), x);
            QVERIFY(x >= 0.0f && x < 1.0f);
            below += x < 0.5f ? 1 : 0;
        }
        // Both first shooters come up about as often.
        QVERIFY2(below > 49000 && below < 51000, qPrintable(QString::number(below)));
    }

    void twipsMapToWholePixels_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("client window width") << 15360 << 1024;
        QTest::newRow("client window height") << 11520 << 768;
        QTest::newRow("host window height") << 12000 << 800;
        QTest::newRow("grid cell") << 285 << 19;
        QTest::newRow("grid origin") << 720 << 48;
        QTest::newRow("one twip rounds to nothing") << 1 << 0;
        QTest::newRow("eight twips round up") << 8 << 1;
    }
    void twipsMapToWholePixels()
    {
        QFETCH(int, twips);
        QFETCH(int, pixels);
        QCOMPARE(twips::toPixels(twips), pixels);
    }

    void okBoxHasOneJapaneseButtonNoIconAndTheDefaultTitle()
    {
        QtDialogs dialogs;
        bool seen = false;
        whenBoxOpens([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->windowTitle(), QStringLiteral("morsk"));
            QCOMPARE(buttonTexts(box), QStringList{QStringLiteral("OK")});
            // CR LF shows as one line break.
            QCOMPARE(box->text(), QStringLiteral("一行目\n二行目"));
            seen = true;
            buttonNamed(box, QStringLiteral("OK"))->click();
        });
        QCOMPARE(dialogs.MsgBox(QStringLiteral("一行目\r\n二行目")), Dialogs::Answer::Ok);
        QVERIFY(seen);
    }

    void yesNoBoxAnswersWhatWasClicked_data()
    {
        QTest::addColumn<QString>("click");
        QTest::addColumn<int>("answer");
        QTest::newRow("はい is Yes") << QStringLiteral("はい") << int(Dialogs::Answer::Yes);
        QTest::newRow("いいえ is No") << QStringLiteral("いいえ") << int(Dialogs::Answer::No);
        QTest::newRow("Esc is No") << QString() << int(Dialogs::Answer::No);
    }
    void yesNoBoxAnswersWhatWasClicked()
    {
        QFETCH(QString, click);
        QFETCH(int, answer);
        QtDialogs dialogs;
        whenBoxOpens([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->windowTitle(), QStringLiteral("アゲイン？"));
            QCOMPARE(buttonTexts(box), (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい")}));
            if (click.isEmpty())
                QTest::keyClick(box, Qt::Key_Escape);
            else
                buttonNamed(box, click)->click();
        });
        QCOMPARE(int(dialogs.MsgBox(QStringLiteral("もう一度?"), Dialogs::Buttons::YesNo,
                                    QStringLiteral("アゲイン？"))),
                 answer);
    }

    void inputBoxReturnsTheTextOrNothingOnCancel_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("expected");
        QTest::newRow("typed and OK") << false << QStringLiteral("127.0.0.1");
        QTest::newRow("typed and キャンセル") << true << QString();
    }
    void inputBoxReturnsTheTextOrNothingOnCancel()
    {
        QFETCH(bool, cancel);
        QFETCH(QString, expected);
        QtDialogs dialogs;
        whenBoxOpens([&](QWidget *w) {
            auto *dialog = qobject_cast<QInputDialog *>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("接続"));
            QCOMPARE(dialog->labelText(), QStringLiteral("接続先のIPアドレスを入力してください。"));
            QCOMPARE(buttonTexts(dialog), (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));
            QLineEdit *edit = dialog->findChild<QLineEdit *>();
            QVERIFY(edit);
            QVERIFY(edit->text().isEmpty());
            QTest::keyClicks(edit, QStringLiteral("127.0.0.1"));
            buttonNamed(dialog, cancel ? QStringLiteral("キャンセル") : QStringLiteral("OK"))->click();
        });
        const QString got = dialogs.InputBox(QStringLiteral("接続先のIPアドレスを入力してください。"),
                                             QStringLiteral("接続"));
        QCOMPARE(got, expected);
    }

    // What the network announces, as the address box would offer it. Operations:
    // "+key|name|address", "-key", "*N": N hosts h0.. at 192.0.2.1.. (keys 0..).
    void offersAreNewestFirstBoundedAndClean_data()
    {
        QTest::addColumn<QStringList>("ops");
        QTest::addColumn<QStringList>("shown");
        const QStringList a = {u"+a6|kelvaro-a|fe80::1%eth0"_s, u"+a4|kelvaro-a|10.0.0.1"_s};
        QTest::newRow("one entry per name, its IPv4 address, newest first")
            << (a + QStringList{u"+b6|kelvaro-b|fe80::2%eth0"_s})
            << QStringList{u"kelvaro-b (fe80::2%eth0)"_s, u"kelvaro-a (10.0.0.1)"_s};
        QTest::newRow("a name stays while one sighting of it does")
            << (a + QStringList{u"-a4"_s}) << QStringList{u"kelvaro-a (fe80::1%eth0)"_s};
        QTest::newRow("gone with its last sighting") << (a + QStringList{u"-a4"_s, u"-a6"_s})
                                                     << QStringList{};
        QTest::newRow("no loopback, unspecified, multicast, scopeless link-local or junk")
            << QStringList{u"+1|l|127.0.0.1"_s, u"+2|l|::1"_s, u"+3|z|0.0.0.0"_s, u"+4|m|224.0.0.251"_s,
                           u"+5|s|fe80::1"_s, u"+6|j|not an address"_s, u"+7|j|"_s, u"+8|ok|192.0.2.7"_s}
            << QStringList{u"ok (192.0.2.7)"_s};
        QTest::newRow("control, format and bidi characters dropped, spaces made one")
            << QStringList{u"+k|\tkel\u200Fva\u202Ero\x07 \u3000 a\r\n|192.0.2.1"_s}
            << QStringList{u"kelvaro a (192.0.2.1)"_s};
        QTest::newRow("a full 63-byte label shortened")
            << QStringList{u"+k|"_s + QString(63, u'x') + u"|192.0.2.1"_s}
            << QStringList{QString(39, u'x') + u"\u2026 (192.0.2.1)"_s};
        const QString longKey(600, u'k');
        QTest::newRow("an over-long key replaced and removed as it was added")
            << QStringList{u"+"_s + longKey + u"|long|192.0.2.1"_s, u"+"_s + longKey + u"|long|fe80::1%eth0"_s,
                           u"+"_s + longKey + u"|long|192.0.2.2"_s, u"-"_s + longKey}
            << QStringList{};
        QStringList newest;
        for (int i = 69; i > 69 - HostOffers::maxShown; --i)
            newest << u"h%1 (192.0.2.%2)"_s.arg(i).arg(i + 1);
        QTest::newRow("at most 16 of 70") << QStringList{u"*70"_s} << newest;
        QStringList gone{u"*70"_s};
        for (int i = 69; i >= 10; --i)
            gone << u"-%1"_s.arg(i);
        QTest::newRow("beyond 64 kept, the oldest are forgotten")
            << gone << QStringList{u"h9 (192.0.2.10)"_s, u"h8 (192.0.2.9)"_s, u"h7 (192.0.2.8)"_s,
                                   u"h6 (192.0.2.7)"_s};
    }
    void offersAreNewestFirstBoundedAndClean()
    {
        QFETCH(QStringList, ops);
        QFETCH(QStringList, shown);
        HostOffers offers;
        for (const QString &op : ops) {
            const QStringList f = op.mid(1).split(u'|');
            if (op.startsWith(u'+'))
                offers.add(f[0], f[1], f[2]);
            else if (op.startsWith(u'-'))
                offers.remove(f[0]);
            for (int i = 0; op.startsWith(u'*') && i < f[0].toInt(); ++i)
                offers.add(QString::number(i), u"h%1"_s.arg(i), u"192.0.2.%1"_s.arg(i + 1));
        }
        QStringList texts;
        for (const HostOffers::Offer &o : offers.shown())
            texts << o.text();
        QCOMPARE(texts, shown);
    }

    // A system bus that takes the connection and then fails to answer as a bus does
    // (a hung daemon, something else on its socket) must not hold up the program: the
    // publisher and the browser are made, and the loop keeps turning, within `bound`,
    // whatever the socket says. Each row is how the socket answers the first line of
    // the handshake.
    void aBusThatDoesNotAnswerHoldsNothingUp_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("never answers") << QByteArray();
        QTest::newRow("answers what no bus says, then nothing") << QByteArray("OK 0123\r\n");
    }
    void aBusThatDoesNotAnswerHoldsNothingUp()
    {
        QFETCH(QByteArray, answer);
        constexpr qint64 bound = 200;
        QTemporaryDir dir;
        QLocalServer bus;
        QVERIFY(bus.listen(dir.filePath(u"system_bus_socket"_s)));
        const QByteArray before = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
        const auto restore = qScopeGuard([&] { qputenv("DBUS_SYSTEM_BUS_ADDRESS", before); });
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + bus.fullServerName().toUtf8());
        int asked = 0;
        qint64 askedAt = 0; // when the last client's first line came
        int left = 0;
        qint64 lateness = 0; // the longest an answered client took to read it and go
        QElapsedTimer clock;
        connect(&bus, &QLocalServer::newConnection, this, [&] {
            while (QLocalSocket *peer = bus.nextPendingConnection()) {
                connect(peer, &QLocalSocket::readyRead, peer, [&, peer] {
                    if (!peer->peek(64).contains("\r\n"))
                        return;
                    QCOMPARE(peer->readAll(), QByteArray("\0AUTH\r\n", 7));
                    ++asked;
                    askedAt = clock.elapsed();
                    if (answer.isEmpty())
                        return;
                    peer->write(answer);
                    const qint64 answered = clock.elapsed();
                    connect(peer, &QLocalSocket::disconnected, peer, [&, answered] {
                        ++left;
                        lateness = std::max(lateness, clock.elapsed() - answered);
                    });
                });
            }
        });
        clock.start();
        ServicePublisher publisher;
        publisher.publish(u"_kelvaro._tcp"_s, 1020);
        ServiceBrowser browser(u"_kelvaro._tcp"_s);
        QVERIFY2(clock.elapsed() < bound, qPrintable(u"made in %1 ms"_s.arg(clock.elapsed())));
        QVERIFY(browser.available());
        QTRY_COMPARE_WITH_TIMEOUT(asked, 2, 5000);
        QVERIFY2(askedAt < bound, qPrintable(u"asked after %1 ms"_s.arg(askedAt)));
        if (answer.isEmpty())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(left, 2, 5000);
        QVERIFY2(lateness < bound, qPrintable(u"gone %1 ms after the answer"_s.arg(lateness)));
    }

    void endingRunsNothingAfterIt()
    {
        // In a child process: End() must not come back, must not run exit handlers
        // (no further step of the program), and must pass the status on.
        int pipefd[2];
        QCOMPARE(::pipe(pipefd), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(pipefd[0]);
            static int fd = pipefd[1];
            std::atexit([] { (void)!::write(fd, "atexit", 6); });
            ImmediateExit().End(3);
            (void)!::write(fd, "returned", 8);
            std::_Exit(99);
        }
        ::close(pipefd[1]);
        char buffer[32] = {};
        const ssize_t n = ::read(pipefd[0], buffer, sizeof buffer);
        ::close(pipefd[0]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(n, ssize_t(0));
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 3);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
