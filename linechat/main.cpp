// pellu, the line chat test client: one window that talks to whatever listens on port
// 1020 of this machine.
#include "linechat/chatwindow.h"
#include "platform/translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installQtTranslations(app);
    ChatWindow window;
    window.show();
    return app.exec();
}
