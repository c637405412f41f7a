#include "testpeers.h"

#include "core/texts.h"
#include "protocol/messages.h"

#include <QTest>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

MatchSide::MatchSide(GameModel::Program program, RandomSource *random)
    : owned(std::make_unique<Game>(program, *this, dialogs, exit, random))
{
    game = owned.get();
}

void MatchSide::send(const QByteArray &message)
{
    sent << message;
    LinkEnd::send(message);
}

Link::Link(RandomSource *hostRandom)
    : host(GameModel::Program::Host, hostRandom ? hostRandom : &m_defaultRandom),
      client(GameModel::Program::Client, nullptr),
      m_link(host, client, MemoryLink::Delivery::ByHand)
{
    client.game->setRemoteAddressSource([] { return QStringLiteral("127.0.0.1"); });
}

void Link::startUp()
{
    for (MatchSide *s : {&host, &client}) {
        s->game->beginPlacement();
        s->model().frame6Visible = true;
        s->model().notify();
    }
}

void Link::greet()
{
    m_link.accept(QStringLiteral("127.0.0.1"));
    pump();
}

void Link::deliverFrom(MatchSide &from)
{
    m_link.deliverFrom(from);
}

int Link::pump()
{
    return m_link.pump();
}

void Link::placeFleet(Game &game)
{
    game.option4Click(0);
    game.orientationClick(0, 1); // large horizontal
    game.ownCellMouseMove(0);
    game.ownCellMouseDown(0);
    game.orientationClick(1, 0); // medium horizontal
    game.ownCellMouseMove(16);
    game.ownCellMouseDown(16);
    game.orientationClick(2, 0); // small vertical
    game.ownCellMouseMove(40);
    game.ownCellMouseDown(40);
}

void Link::confirm(MatchSide &side)
{
    side.dialogs.answer(Dialogs::Answer::Yes);
    side.game->command5Click();
}

QList<int> Link::waterCells()
{
    const QList<int> fleet = fleetCells();
    QList<int> out;
    for (int i = 0; i < 64; ++i)
        if (!fleet.contains(i))
            out << i;
    return out;
}

bool failOneAccept(quint16 port, const std::function<bool()> &recovered, int ms)
{
    // The caller's own descriptor is taken before the limit comes down.
    const int caller = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (caller < 0)
        return false;
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const int lowestFree = ::fcntl(caller, F_DUPFD_CLOEXEC, 0);
    ::close(lowestFree);
    rlimit lowered = saved;
    lowered.rlim_cur = rlim_t(lowestFree);
    bool ok = lowestFree >= 0 && ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    // Every descriptor below the limit is in use now: the next one asked for fails.
    ok = ok && ::fcntl(caller, F_DUPFD_CLOEXEC, 0) < 0 && errno == EMFILE;
    if (ok) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ok = (::connect(caller, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0
              || errno == EINPROGRESS)
             && QTest::qWaitFor(recovered, ms);
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ::close(caller);
    return ok;
}
