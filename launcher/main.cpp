// Kelvaro, the launcher: one window whose two buttons start the host or the client of
// the game from the folders beside it.
#include "launcher/launcherwindow.h"
#include "platform/qtdialogs.h"
#include "platform/translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installQtTranslations(app);
    QtDialogs dialogs;
    LauncherWindow window(dialogs);
    window.show();
    return app.exec();
}
