// morsk: the host program. Listens on TCP port 1020 and waits for the opponent; offers
// itself on the local network and asks the home router to open its port for a player
// on the internet.
#include "host/host.h"
#include "platform/homereach.h"
#include "platform/programexit.h"
#include "platform/qtdialogs.h"
#include "platform/random.h"
#include "platform/termination.h"
#include "platform/translations.h"
#include "protocol/messages.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installQtTranslations(app);
    QApplication::setApplicationName(QStringLiteral("morsk"));
    QtDialogs dialogs;
    HomeReach reach(wire::serviceType);
    // Every way out removes the router's mapping first: the game's own end, a signal, and
    // (through reach's destructor) the window closed.
    ExitAfter exit([&reach] { reach.end(); });
    Termination termination;
    QObject::connect(&termination, &Termination::received, [&exit](int signalNumber) {
        exit.End(128 + signalNumber);
    });
    LcgRandom random = LcgRandom::fromEntropy();
    Host host(1020, dialogs, exit, random);
    host.reachVia(reach);
    if (!host.startUp())
        return 1;
    host.window().show();
    return app.exec();
}
