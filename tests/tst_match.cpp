// Two game cores joined back to back by an in-memory link play whole games: the first
// shooter's draw, shots and results, the end of a game, the rematch and the quit
// question, with every box answered by a script.
#include "support/testpeers.h"

#include "core/texts.h"
#include "protocol/messages.h"

#include <QSignalSpy>
#include <QtTest>

using Answer = Dialogs::Answer;

namespace {

// Cells of the standard fleet.
const QList<int> fleet = Link::fleetCells();

// Fires from `shooter` at `cell`, and delivers the shot and its answer.
void fire(Link &link, MatchSide &shooter, int cell)
{
    shooter.game->command3Click(cell);
    link.pump();
}

} // namespace

class TestMatch : public QObject
{
    Q_OBJECT

private:
    // Both sides placed, confirmed (host first), and play started with `draw`.
    void startPlay(Link &link)
    {
        link.startUp();
        link.greet();
        Link::placeFleet(*link.host.game);
        Link::placeFleet(*link.client.game);
        Link::confirm(link.host);
        link.pump();
        Link::confirm(link.client);
        link.pump();
        // Only the boxes of play from here on: forget the greeting and confirmations.
        link.host.dialogs.clear();
        link.client.dialogs.clear();
    }

private slots:
    void firstShooterFollowsTheDraw_data()
    {
        QTest::addColumn<float>("draw");
        QTest::addColumn<bool>("hostFirst");
        QTest::newRow("0.0 gives the client the first shot") << 0.0f << false;
        QTest::newRow("just below 0.5 gives the client the first shot") << 0.49999997f << false;
        QTest::newRow("exactly 0.5 gives the host the first shot") << 0.5f << true;
        QTest::newRow("just below 1 gives the host the first shot") << 0.99999994f << true;
    }
    void firstShooterFollowsTheDraw()
    {
        QFETCH(float, draw);
        QFETCH(bool, hostFirst);
        ScriptedRandom random{draw};
        Link link(&random);
        startPlay(link);

        QCOMPARE(random.draws, 1);
        QCOMPARE(link.host.sent.count(hostFirst ? wire::meFirst() : wire::youFirst()), 1);
        QCOMPARE(link.host.sent.count(hostFirst ? wire::youFirst() : wire::meFirst()), 0);
        QCOMPARE(link.host.model().bMyTurn, hostFirst);
        QCOMPARE(link.client.model().bMyTurn, !hostFirst);
        QCOMPARE(link.host.model().Label1, hostFirst ? texts::yourTurn : texts::theirTurn);
        QCOMPARE(link.client.model().Label1, hostFirst ? texts::theirTurn : texts::yourTurn);
        for (MatchSide *s : {&link.host, &link.client}) {
            QCOMPARE(s->model().sPhase, texts::phaseGame);
            for (int i = 0; i < 64; ++i) {
                QVERIFY(!s->model().Command1[i].enabled);
                QVERIFY(s->model().Command3[i].enabled);
            }
        }
    }

    void confirmationsInEveryOrderStartPlayOnce_data()
    {
        QTest::addColumn<QString>("order");
        QTest::newRow("host confirms first") << "host-first";
        QTest::newRow("client confirms first") << "client-first";
        QTest::newRow("both at once, crossing on the wire") << "crossing";
    }
    void confirmationsInEveryOrderStartPlayOnce()
    {
        QFETCH(QString, order);
        ScriptedRandom random{0.7f};
        Link link(&random);
        link.startUp();
        link.greet();
        Link::placeFleet(*link.host.game);
        Link::placeFleet(*link.client.game);
        if (order == "host-first") {
            Link::confirm(link.host);
            link.pump();
            QCOMPARE(link.client.model().Label1, texts::peerPlaced);
            QCOMPARE(link.client.model().sPhase, texts::phasePlacement);
            Link::confirm(link.client);
        } else if (order == "client-first") {
            Link::confirm(link.client);
            link.pump();
            QCOMPARE(link.host.model().Label1, texts::peerPlaced);
            QCOMPARE(link.host.model().sPhase, texts::phasePlacement);
            Link::confirm(link.host);
            // The host that confirms last sends its notice and the first-shot message
            // back to back; the client reads them as one read.
            QCOMPARE(link.host.unread, wire::placed() + wire::meFirst());
        } else {
            Link::confirm(link.host);
            Link::confirm(link.client);
        }
        link.pump();
        QCOMPARE(random.draws, 1);
        QCOMPARE(link.host.sent.count(wire::meFirst()) + link.host.sent.count(wire::youFirst()), 1);
        QCOMPARE(link.host.model().sPhase, texts::phaseGame);
        QCOMPARE(link.client.model().sPhase, texts::phaseGame);
        QVERIFY(link.host.model().bMyTurn);
        QVERIFY(!link.client.model().bMyTurn);
        QCOMPARE(link.client.model().Label1, texts::theirTurn);
    }

    void aShotIsAnsweredAndTheTurnPasses()
    {
        ScriptedRandom random{0.9f}; // host first
        Link link(&random);
        startPlay(link);
        QSignalSpy hostFocus(&link.host.model(), &GameModel::focusToAaa);

        link.host.game->command3Click(63);
        QCOMPARE(link.host.sent.last(), QByteArray("263"));
        QCOMPARE(link.host.model().nLastShot, quint8(63));
        QVERIFY(!link.host.model().Command3[63].enabled);
        QVERIFY(link.host.model().Command3[63].mark.isEmpty()); // result not back yet
        QCOMPARE(link.host.model().Label1, texts::theirTurn);
        QCOMPARE(hostFocus.count(), 1);
        link.pump();

        // Cell 63 is water: the client marks its own cell and answers a miss.
        QCOMPARE(link.client.model().Command1[63].mark, marks::miss);
        QCOMPARE(link.client.sent.last(), wire::miss());
        QCOMPARE(link.client.model().Label1, texts::yourTurn);
        QVERIFY(link.client.model().bMyTurn);
        QCOMPARE(link.host.model().Command3[63].mark, marks::miss);
        QVERIFY(!link.host.model().Command3[63].enabled);

        link.client.game->command3Click(0);
        QCOMPARE(link.client.sent.last(), QByteArray("20"));
        link.pump();
        QCOMPARE(link.host.model().Command1[0].mark, marks::hit);
        QCOMPARE(link.host.model().Command1[0].code, CellCode::clrLarge); // colour stays
        QCOMPARE(link.client.model().Command3[0].mark, marks::hit);
    }

    void aClickOutOfTurnOnlyMovesTheFocus()
    {
        ScriptedRandom random{0.9f};
        Link link(&random);
        startPlay(link);
        QSignalSpy focus(&link.client.model(), &GameModel::focusToAaa);
        const int before = link.client.sent.size();
        link.client.game->command3Click(5);
        QCOMPARE(focus.count(), 1);
        QCOMPARE(link.client.sent.size(), before);
        QVERIFY(link.client.model().Command3[5].enabled);
        QCOMPARE(link.client.model().Label1, texts::theirTurn);
        // A second click right after firing is out of turn too.
        link.host.game->command3Click(5);
        link.host.game->command3Click(6);
        QCOMPARE(link.host.sent.count("26"), 0);
        QVERIFY(link.host.model().Command3[6].enabled);
    }

    void theTwelfthHitEndsTheGame()
    {
        ScriptedRandom random{0.9f}; // host first
        Link link(&random);
        startPlay(link);
        link.host.dialogs.answer(Answer::No);
        link.client.dialogs.answer(Answer::No);
        QList<int> misses = Link::waterCells();
        for (int k = 0; k < 11; ++k) {
            fire(link, link.host, fleet[k]);
            fire(link, link.client, misses.takeFirst());
        }
        QCOMPARE(link.client.model().hitCount(), 11);
        QCOMPARE(link.client.sent.count(wire::make()), 0);

        link.host.game->command3Click(fleet[11]);
        link.deliverFrom(link.host);
        // The 11th hit sent "3a" alone; the 12th sends "3a" and right after it "4Make",
        // and the loser still takes the turn until "4Kati" arrives.
        QCOMPARE(link.client.unread, wire::hit() + wire::make());
        QCOMPARE(link.client.model().Label1, texts::yourTurn);
        QVERIFY(link.client.model().bMyTurn);
        // Its fleet is sunk: a click now fires nothing, since the shot would land on the
        // board of the next game.
        link.client.game->command3Click(misses.first());
        QCOMPARE(link.client.sent.last(), wire::make());
        QVERIFY(link.client.model().Command3[misses.first()].enabled);
        QVERIFY(link.client.dialogs.shown().isEmpty());

        link.deliverFrom(link.client);
        // The winner has seen its box and the rematch question, and sent "4Kati" between.
        QCOMPARE(link.host.dialogs.texts(), (QStringList{texts::won, texts::again}));
        QCOMPARE(link.host.dialogs.shown()[0].title, texts::wonTitle);
        QCOMPARE(link.host.dialogs.shown()[1].title, texts::againTitle);
        QCOMPARE(link.host.dialogs.shown()[1].buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(link.host.sent.last(), wire::kati());
        QCOMPARE(link.host.model().Command3[fleet[11]].mark, marks::hit);
        QVERIFY(link.host.exit.ended());
        QVERIFY(link.client.dialogs.shown().isEmpty());

        link.deliverFrom(link.host);
        QCOMPARE(link.client.dialogs.texts(), (QStringList{texts::lost, texts::again}));
        QCOMPARE(link.client.dialogs.shown()[0].title, texts::lostTitle);
        QVERIFY(link.client.exit.ended());
        // "4Kati" is answered with nothing.
        QCOMPARE(link.client.sent.last(), wire::make());
    }

    void eachSideWinsAWholeGame_data()
    {
        QTest::addColumn<bool>("hostWins");
        QTest::addColumn<float>("draw");
        QTest::newRow("host wins, firing first") << true << 0.9f;
        QTest::newRow("host wins, firing second") << true << 0.1f;
        QTest::newRow("client wins, firing first") << false << 0.1f;
        QTest::newRow("client wins, firing second") << false << 0.9f;
    }
    void eachSideWinsAWholeGame()
    {
        QFETCH(bool, hostWins);
        QFETCH(float, draw);
        ScriptedRandom random{draw};
        Link link(&random);
        startPlay(link);
        MatchSide &winner = hostWins ? link.host : link.client;
        MatchSide &loser = hostWins ? link.client : link.host;
        winner.dialogs.answer(Answer::No);
        loser.dialogs.answer(Answer::No);
        QList<int> misses = Link::waterCells();
        for (int k = 0; k < fleet.size(); ++k) {
            if (!winner.model().bMyTurn)
                fire(link, loser, misses.takeFirst());
            QVERIFY(winner.model().bMyTurn);
            fire(link, winner, fleet[k]);
        }
        QCOMPARE(loser.model().hitCount(), 12);
        QCOMPARE(winner.dialogs.texts().first(), texts::won);
        QCOMPARE(loser.dialogs.texts().first(), texts::lost);
        QCOMPARE(winner.sent.count(wire::kati()), 1);
        QCOMPARE(loser.sent.count(wire::make()), 1);
        QCOMPARE(loser.sent.count(wire::kati()), 0);
        QVERIFY(winner.exit.ended());
        QVERIFY(loser.exit.ended());
        // No after the rematch question sends nothing more.
        QCOMPARE(winner.sent.last(), wire::kati());
        QCOMPARE(loser.sent.last(), wire::make());
    }

    void aRepeatedShotIsMarkedAgainButCountsOnce()
    {
        Link link;
        link.startUp();
        link.greet();
        Link::placeFleet(*link.client.game);
        // Before play a shot is no shot: nothing is marked or answered.
        link.client.game->onShot(0);
        QCOMPARE(link.client.model().Command1[0].mark, QString());
        startPlay(link);
        link.client.sent.clear();
        link.client.game->onShot(0);
        link.client.game->onShot(0);
        link.client.game->onShot(63);
        link.client.game->onShot(63);
        QCOMPARE(link.client.sent, (QByteArrayList{wire::hit(), wire::hit(), wire::miss(), wire::miss()}));
        QCOMPARE(link.client.model().hitCount(), 1);
        QCOMPARE(link.client.model().Command1[0].mark, marks::hit);
        QCOMPARE(link.client.model().Command1[63].mark, marks::miss);
    }

    void anyTypeThreeTextButHitIsAMiss()
    {
        ScriptedRandom random{0.9f};
        Link link(&random);
        startPlay(link);
        auto resultOf = [&](int cell, const QByteArray &text) -> QString {
            // The peer answers the shot with `text`, then takes its turn with a miss.
            link.host.game->command3Click(cell);
            link.host.unread.clear();
            link.host.game->receive(text);
            if (link.host.model().bMyTurn) // results never touch the turn
                return QStringLiteral("the result gave the turn");
            link.host.game->receive(wire::shot(63));
            link.host.unread.clear();
            return link.host.model().Command3[cell].mark;
        };
        QCOMPARE(resultOf(7, "3b"), marks::miss);
        QCOMPARE(resultOf(8, "3a"), marks::hit);
        QCOMPARE(resultOf(9, "3x"), marks::miss);
        QCOMPARE(resultOf(10, "3"), marks::miss);
        // A result that answers no shot of ours marks nothing.
        link.host.game->receive("3a");
        QCOMPARE(link.host.model().Command3[10].mark, marks::miss);
        QVERIFY(link.host.model().Command3[11].mark.isEmpty());
    }

    void rematchKeepsTheFleetAndDrawsAgain()
    {
        ScriptedRandom random{0.9f, 0.2f};
        Link link(&random);
        startPlay(link);
        link.host.dialogs.answer(Answer::Yes);
        link.client.dialogs.answer(Answer::Yes);
        QList<int> misses = Link::waterCells();
        for (int k = 0; k < fleet.size(); ++k) {
            fire(link, link.host, fleet[k]);
            if (k < fleet.size() - 1)
                fire(link, link.client, misses.takeFirst());
        }
        for (MatchSide *s : {&link.host, &link.client}) {
            const GameModel &m = s->model();
            QVERIFY(!s->exit.ended());
            QCOMPARE(m.sPhase, texts::phaseGame);
            QVERIFY(m.command5Visible);
            QVERIFY(m.option4Visible);
            QCOMPARE(m.selectedShip(), -1);
            QVERIFY(!m.bMyTurn);
            QVERIFY(!m.bMyReady);
            QCOMPARE(m.waterCount(), 52);
            for (int i = 0; i < 64; ++i) {
                QVERIFY(m.Command1[i].enabled);
                QVERIFY(m.Command1[i].mark.isEmpty());
                QVERIFY(!m.Command3[i].enabled);
                QVERIFY(m.Command3[i].mark.isEmpty());
            }
            for (int c : fleet)
                QVERIFY(m.Command1[c].code != CellCode::clrWater);
        }
        // The label keeps the last turn text until something replaces it.
        QCOMPARE(link.client.model().Label1, texts::yourTurn);
        // Placement does nothing in the second game: the fleet stays put.
        link.client.game->option4Click(0);
        link.client.game->ownCellMouseMove(40);
        QCOMPARE(link.client.model().Command1[0].code, CellCode::clrLarge);
        QCOMPARE(link.client.model().Command1[40].code, CellCode::clrSmall);

        Link::confirm(link.client);
        link.pump();
        QCOMPARE(link.host.model().Label1, texts::peerPlaced);
        QCOMPARE(link.host.model().sPhase, texts::phaseGame);
        QCOMPARE(random.draws, 1);
        Link::confirm(link.host);
        link.pump();
        QCOMPARE(random.draws, 2);
        QCOMPARE(link.host.sent.count(wire::youFirst()), 1);
        QVERIFY(link.client.model().bMyTurn);
        QCOMPARE(link.client.model().Label1, texts::yourTurn);
        for (int i = 0; i < 64; ++i)
            QVERIFY(link.client.model().Command3[i].enabled);

        // The second game is played to its end with the same fleet.
        link.host.dialogs.answer(Answer::No);
        link.client.dialogs.answer(Answer::No);
        misses = Link::waterCells();
        for (int k = 0; k < fleet.size(); ++k) {
            fire(link, link.client, fleet[k]);
            if (k < fleet.size() - 1)
                fire(link, link.host, misses.takeFirst());
        }
        QCOMPARE(link.client.sent.count(wire::kati()), 1);
        QCOMPARE(link.host.sent.count(wire::make()), 1);
        QVERIFY(link.host.exit.ended());
        QVERIFY(link.client.exit.ended());
    }

    // The peer may confirm its next fleet while this side still shows its result box or
    // its rematch question: its notice is handled after this side's handler ends, and
    // each side starts play once, the host drawing once.
    void nextConfirmationDuringTheResultBoxes_data()
    {
        QTest::addColumn<QString>("loserBox");
        QTest::addColumn<bool>("hostWins");
        QTest::newRow("client confirms while host shows the loss box") << texts::lost << false;
        QTest::newRow("client confirms while host asks the rematch question") << texts::again << false;
        QTest::newRow("host confirms while client shows the loss box") << texts::lost << true;
        QTest::newRow("host confirms while client asks the rematch question") << texts::again << true;
    }
    void nextConfirmationDuringTheResultBoxes()
    {
        QFETCH(QString, loserBox);
        QFETCH(bool, hostWins);
        ScriptedRandom random{hostWins ? 0.9f : 0.1f, 0.6f};
        Link link(&random);
        startPlay(link);
        MatchSide &winner = hostWins ? link.host : link.client;
        MatchSide &loser = hostWins ? link.client : link.host;
        winner.dialogs.answer(Answer::Yes);
        loser.dialogs.answer(Answer::Yes);

        // While the loser's box is open, the winner confirms its next fleet and the
        // notice is delivered to the loser.
        bool injected = false;
        loser.dialogs.onShow([&](const ScriptedDialogs::Shown &s) {
            if (injected || s.text != loserBox)
                return;
            injected = true;
            Link::confirm(winner);
            link.deliverFrom(winner);
            // Not handled yet: the loser is still inside its handler.
            QVERIFY(loser.model().Label1 != texts::peerPlaced);
        });
        QList<int> misses = Link::waterCells();
        for (int k = 0; k < fleet.size(); ++k) {
            if (!winner.model().bMyTurn)
                fire(link, loser, misses.takeFirst());
            fire(link, winner, fleet[k]);
        }
        link.pump();
        QVERIFY(injected);
        QCOMPARE(random.draws, 1);
        QCOMPARE(loser.model().Label1, texts::peerPlaced);
        QVERIFY(loser.model().bPeerReady);
        QCOMPARE(loser.model().command5Visible, true);

        Link::confirm(loser);
        link.pump();
        QCOMPARE(random.draws, 2);
        QCOMPARE(link.host.sent.count(wire::meFirst()) + link.host.sent.count(wire::youFirst()), 2);
        QVERIFY(link.host.model().bMyTurn); // second draw 0.6: host first
        QVERIFY(!link.client.model().bMyTurn);
        for (MatchSide *s : {&link.host, &link.client})
            for (int i = 0; i < 64; ++i)
                QVERIFY(s->model().Command3[i].enabled);
        // Nobody starts play a second time on a late notice.
        link.host.game->receive(wire::placed());
        link.client.game->receive(wire::placed());
        link.pump();
        QCOMPARE(random.draws, 2);
    }

    // Only a misbehaving peer sends its placement notice in the middle of play; it must
    // not start the next game before that game's confirmations.
    void aPlacementNoticeDuringPlayIsIgnored()
    {
        ScriptedRandom random{0.9f, 0.9f};
        Link link(&random);
        startPlay(link);
        link.client.game->receive(wire::placed());
        QVERIFY(!link.client.model().bPeerReady);
        QCOMPARE(link.client.model().Label1, texts::theirTurn);
        link.host.game->receive(wire::placed());
        QCOMPARE(random.draws, 1);
        QVERIFY(!link.host.model().bPeerReady);
    }

    void escAsksWhetherToQuit()
    {
        Link link;
        link.startUp();
        link.host.dialogs.answer({Answer::No, Answer::Yes});
        link.host.game->keyDown(65); // any other key does nothing
        QVERIFY(link.host.dialogs.shown().isEmpty());
        link.host.game->keyDown(27);
        QCOMPARE(link.host.dialogs.texts(), QStringList{texts::quit});
        QCOMPARE(link.host.dialogs.shown()[0].title, texts::confirmTitle);
        QVERIFY(!link.host.exit.ended());
        link.host.game->keyDown(27);
        QVERIFY(link.host.exit.ended());
        // After the end nothing runs and nothing is sent.
        link.host.game->receive("20");
        link.host.game->keyDown(27);
        QCOMPARE(link.host.dialogs.shown().size(), 2);
        QVERIFY(link.host.sent.isEmpty());
    }

    void confirmationChecksTheFleet()
    {
        Link link;
        link.startUp();
        link.greet();
        link.client.dialogs.clear(); // the greeting box
        GameModel &m = link.client.model();
        // Only the large and the medium submarine: 55 water cells.
        m.Command1[0].code = m.Command1[1].code = m.Command1[2].code = m.Command1[3].code
            = m.Command1[4].code = CellCode::clrLarge;
        for (int i = 8; i < 12; ++i)
            m.Command1[i].code = CellCode::clrMedium;
        link.client.game->command5Click();
        QCOMPARE(link.client.dialogs.texts(), QStringList{texts::notAllPlaced});
        QCOMPARE(link.client.dialogs.shown()[0].title, QString());
        QCOMPARE(link.client.dialogs.shown()[0].buttons, Dialogs::Buttons::Ok);
        QVERIFY(m.command5Visible);
        QVERIFY(!m.bMyReady);

        for (int i = 16; i < 19; ++i)
            m.Command1[i].code = CellCode::clrSmall;
        link.client.dialogs.answer(Answer::No);
        link.client.game->command5Click();
        QCOMPARE(link.client.dialogs.shown()[1].text, texts::placementOk);
        QCOMPARE(link.client.dialogs.shown()[1].title, texts::confirmTitle);
        QVERIFY(m.command5Visible);
        QVERIFY(!m.bMyReady);
        QVERIFY(link.client.sent.isEmpty());

        Link::confirm(link.client);
        QVERIFY(!m.command5Visible);
        QVERIFY(!m.option4Visible);
        QVERIFY(m.bMyReady);
        QCOMPARE(link.client.sent, QByteArrayList{wire::placed()});
    }

    void confirmationBeforeAnyPeerSendsNothing()
    {
        Link link;
        link.startUp();
        Link::placeFleet(*link.host.game);
        Link::confirm(link.host);
        QVERIFY(link.host.model().bMyReady);
        QVERIFY(link.host.sent.isEmpty());
    }

    // A submarine still selected when the player confirms must stay where it was
    // confirmed: neither the preview nor the host's frame reaction may move it.
    void theConfirmedFleetCannotMove()
    {
        Link link;
        link.startUp();
        link.greet();
        Game &host = *link.host.game;
        Link::placeFleet(host);
        host.option4Click(2); // small submarine selected again, still at 40
        Link::confirm(link.host);
        QVERIFY(link.host.model().Option4[2]);
        host.ownCellMouseMove(45);
        host.ownCellMouseMove(7);  // would vanish at the edge
        host.frame1MouseMove();    // would vanish over the margin
        QCOMPARE(link.host.model().waterCount(), 52);
        QCOMPARE(link.host.model().Command1[40].code, CellCode::clrSmall);
        QCOMPARE(link.host.model().Command1[56].code, CellCode::clrSmall);
    }

    void frameReactionIsTheHostsAndOnlyWhilePlacing()
    {
        Link link;
        link.startUp();
        for (MatchSide *s : {&link.host, &link.client}) {
            s->game->ownCellMouseMove(0); // large vertical at 0, 8, .., 32
            s->game->ownCellMouseDown(0);
            s->game->ownCellMouseMove(3); // medium horizontal at 3..6, floating
            s->game->frame1MouseMove();
        }
        QCOMPARE(link.host.model().waterCount(), 64 - 5);
        QCOMPARE(link.host.model().Command1[0].code, CellCode::clrLarge);
        QCOMPARE(link.client.model().waterCount(), 64 - 9);
    }

    void greetingShowsTheBoxBeforeTheLabel()
    {
        Link link;
        link.startUp();
        bool checked = false;
        link.client.dialogs.onShow([&](const ScriptedDialogs::Shown &s) {
            QCOMPARE(s.text, texts::connected);
            QCOMPARE(s.title, texts::connectedTitle);
            QVERIFY(!link.client.model().bConnected);
            QVERIFY(!link.client.model().command5Visible);
            checked = true;
        });
        link.greet();
        QVERIFY(checked);
        const GameModel &m = link.client.model();
        QCOMPARE(m.Label1, QStringLiteral("127.0.0.1と接続されました\r\n潜水艦を配置しましょう"));
        QVERIFY(m.bConnected);
        QVERIFY(m.command5Visible);
        QVERIFY(!m.command2Visible);
        // The host greeted through its own greeting step: the same text on its side.
        QCOMPARE(link.host.sent, QByteArrayList{wire::hello()});
        QCOMPARE(link.host.model().Label1, m.Label1);
        QVERIFY(link.host.model().command5Visible);
        // A second greeting changes nothing.
        link.client.game->receive(wire::hello());
        QCOMPARE(link.client.dialogs.shown().size(), 1);
    }

    void messagesThatFitNoBranchChangeNothing_data()
    {
        QTest::addColumn<bool>("host");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("host ignores 0hello") << true << wire::hello();
        QTest::newRow("host ignores 1s") << true << wire::youFirst();
        QTest::newRow("host ignores 1k") << true << wire::meFirst();
        QTest::newRow("client ignores 0busy") << false << wire::busy();
        QTest::newRow("type 5") << false << QByteArray("5hello");
        QTest::newRow("type 9 on the host") << true << QByteArray("9");
        QTest::newRow("other type 4") << false << QByteArray("4Draw");
        QTest::newRow("out of range shot") << false << QByteArray("264");
    }
    void messagesThatFitNoBranchChangeNothing()
    {
        QFETCH(bool, host);
        QFETCH(QByteArray, text);
        Link link;
        link.startUp();
        MatchSide &side = host ? link.host : link.client;
        const QString label = side.model().Label1;
        side.game->receive(text);
        QCOMPARE(side.model().Label1, label);
        QVERIFY(!side.model().bMyTurn);
        QVERIFY(side.sent.isEmpty());
        QVERIFY(side.dialogs.shown().isEmpty());
        for (int i = 0; i < 64; ++i)
            QVERIFY(side.model().Command1[i].mark.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMatch)
#include "tst_match.moc"
