// The in-memory match of the game tests: two game cores, each with its boxes and exit,
// joined by the programs' own in-memory link, and the standard fleet they place.
#include "testpeers.h"

#include "core/texts.h"
#include "protocol/messages.h"

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
