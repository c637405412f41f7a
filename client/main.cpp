// trelvin: the client program. Asks for the host's address and connects to port 1020.
#include "client/client.h"
#include "platform/programexit.h"
#include "platform/qtdialogs.h"
#include "platform/translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installQtTranslations(app);
    QApplication::setApplicationName(QStringLiteral("trelvin"));
    QtDialogs dialogs;
    ImmediateExit exit;
    Client client(1020, dialogs, exit);
    if (!client.startUp())
        return 1;
    client.window().show();
    return app.exec();
}
