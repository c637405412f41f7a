// morsk: the host program. Listens on TCP port 1020 and waits for the opponent.
#include "host/host.h"
#include "platform/programexit.h"
#include "platform/qtdialogs.h"
#include "platform/random.h"
#include "platform/translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installQtTranslations(app);
    QApplication::setApplicationName(QStringLiteral("morsk"));
    QtDialogs dialogs;
    ImmediateExit exit;
    LcgRandom random;
    Host host(1020, dialogs, exit, random);
    if (!host.startUp())
        return 1;
    host.window().show();
    return app.exec();
}
