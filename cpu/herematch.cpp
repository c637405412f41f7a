#include "cpu/matches.h"

#include "core/form1.h"
#include "core/game.h"
#include "core/memorylink.h"
#include "cpu/computerdialogs.h"
#include "cpu/cputexts.h"
#include "cpu/levelbox.h"
#include "cpu/player.h"
#include "host/hosttexts.h"
#include "platform/programexit.h"
#include "platform/qtdialogs.h"
#include "platform/random.h"
#include "platform/translations.h"

#include <QApplication>
#include <random>

int playHere(int &argc, char **argv, const CpuOptions &options)
{
    QApplication app(argc, argv);
    installQtTranslations(app);
    QApplication::setApplicationName(QStringLiteral("Kelvaro"));
    const std::optional<Strategy::Level> level = options.level ? options.level : askLevel();
    if (!level)
        return 0;

    // The person's side: the host's game, boxes, exit and draw, as in morsk.
    QtDialogs dialogs;
    ImmediateExit exit;
    LcgRandom random = LcgRandom::fromEntropy();
    LinkEnd personEnd;
    Game person(GameModel::Program::Host, personEnd, dialogs, exit, &random);

    // The computer's side. Should it ever end its match, the person hears that the
    // opponent left, as from a client that quits.
    LinkEnd computerEnd;
    ComputerDialogs computerDialogs;
    MatchExit computerExit([&person](int) { person.peerLeft(hosttexts::opponentLeft); });
    Game computer(GameModel::Program::Client, computerEnd, computerDialogs, computerExit, nullptr);

    personEnd.game = &person;
    computerEnd.game = &computer;
    MemoryLink link(personEnd, computerEnd, MemoryLink::Delivery::EventLoop);

    Form1 window(person);
    window.takeStartPositions();
    person.beginPlacement();
    window.setWindowTitle(cputexts::windowTitle(*level));
    computer.beginPlacement();

    Player player(computer, computerDialogs,
                  {*level, options.thinkMs, std::nullopt, std::random_device()()});
    window.show();
    link.accept(cputexts::opponentName(*level));
    return app.exec();
}
