#include "cpu/matches.h"

#include "client/client.h"
#include "cpu/computerdialogs.h"
#include "cpu/player.h"
#include "host/host.h"
#include "host/hosttexts.h"
#include "platform/homereach.h"
#include "platform/localaddresses.h"
#include "platform/random.h"
#include "platform/termination.h"
#include "protocol/messages.h"

#include <QCoreApplication>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>

namespace {

constexpr quint16 gamePort = 1020;

void say(FILE *to, const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), to);
    std::fflush(to);
}

QString cells(const QList<int> &list)
{
    QStringList out;
    for (int c : list)
        out << QString::number(c);
    return out.join(QLatin1Char(' '));
}

} // namespace

int playOverNetwork(int &argc, char **argv, const CpuOptions &options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvaro-cpu"));
    const bool listening = options.mode == CpuOptions::Mode::Listen;

    ComputerDialogs dialogs;
    QString notice; // the last box that was no game's result: why start-up failed
    // Whether the game's connection is still up: at the end of a match it is down only
    // when the far end closed it (the peer left or vanished).
    std::function<bool()> connectionUp;
    int played = 0;
    MatchExit exit([&](int status) {
        const bool peerGone = connectionUp && !connectionUp();
        if (status == 0)
            say(stdout, QStringLiteral("match over after %1 game(s): %2").arg(played)
                            .arg(peerGone ? QStringLiteral("the peer left")
                                          : QStringLiteral("no rematch wanted")));
        QCoreApplication::exit(status);
    });

    LcgRandom random = LcgRandom::fromEntropy(); // the host's draw of who fires first, as in morsk
    // Declared before the host, so that the router's mapping is removed after the host
    // has gone, whichever way the match ended.
    std::unique_ptr<HomeReach> reach;
    std::unique_ptr<Host> host;
    std::unique_ptr<Client> client;
    if (listening) {
        reach = std::make_unique<HomeReach>(wire::serviceType, options.router);
        host = std::make_unique<Host>(gamePort, dialogs, exit, random, Presentation::Headless);
        host->reachVia(*reach);
        // The same states the host window shows, one line each.
        QObject::connect(reach.get(), &Reachability::routerStatusChanged, [](const RouterStatus &status) {
            say(stderr, QStringLiteral("kelvaro-cpu: ")
                            + hosttexts::reachLine(status, localaddresses::lan(),
                                                   localaddresses::globalIPv6(), gamePort));
        });
    } else {
        client = std::make_unique<Client>(gamePort, dialogs, exit, options.address,
                                          Presentation::Headless);
    }
    Winsock &connection = host ? host->sckTrans[0] : client->Winsock1;
    connectionUp = [&connection] { return connection.State() == Winsock::sckConnected; };
    // A signal to end still removes the router's mapping, on the way out of the loop.
    Termination termination;
    QObject::connect(&termination, &Termination::received,
                     [](int signalNumber) { QCoreApplication::exit(128 + signalNumber); });
    Game &game = host ? host->game() : client->game();

    const Player::Settings settings{options.level.value_or(Strategy::Level::Normal),
                                    options.thinkMs, options.games, std::random_device()()};
    Player player(game, dialogs, settings);
    QObject::connect(&player, &Player::notice, [&notice](const QString &text) { notice = text; });
    QObject::connect(&player, &Player::connected, [&] {
        say(stdout, QStringLiteral("connected to ")
                        + (host ? host->sckTrans[0].RemoteHostIP() : options.address));
    });
    QObject::connect(&player, &Player::gameOver,
                     [&played](int n, bool won, const QList<int> &mine, const QList<int> &theirs) {
        played = n;
        say(stdout, QStringLiteral("game %1: %2 (this side %3 shots, the peer %4) this side: %5 peer: %6")
                        .arg(n).arg(won ? QStringLiteral("won") : QStringLiteral("lost"))
                        .arg(mine.size()).arg(theirs.size()).arg(cells(mine), cells(theirs)));
    });

    const QString where = listening ? QStringLiteral("cannot listen on port %1").arg(gamePort)
                                    : QStringLiteral("cannot connect to %1").arg(options.address);
    if (client)
        QObject::connect(client.get(), &Client::attemptFailed, [&where](const QString &why) {
            say(stderr, QStringLiteral("kelvaro-cpu: %1: %2").arg(where, why));
            QCoreApplication::exit(1);
        });
    if (!(host ? host->startUp() : client->startUp())) {
        say(stderr, QStringLiteral("kelvaro-cpu: %1: %2")
                        .arg(where, QString(notice).replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
        return 1;
    }
    if (host)
        say(stdout, QStringLiteral("waiting for the opponent on port %1").arg(gamePort));
    return app.exec();
}
