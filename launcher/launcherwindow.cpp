#include "launcher/launcherwindow.h"

#include "launcher/wrappingbutton.h"
#include "platform/dialogs.h"
#include "platform/launch.h"
#include "platform/fonts.h"
#include "platform/twips.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>

static void initLauncherResources()
{
    // The icon lives in this folder's static library, whose resource registration the
    // linker would otherwise drop; must be called outside any namespace.
    Q_INIT_RESOURCE(launcher);
}

QString LauncherWindow::hostCommandLine()
{
    return QStringLiteral("Orrin/morsk");
}

QString LauncherWindow::clientCommandLine()
{
    return QStringLiteral("Velk/trelvin");
}

LauncherWindow::LauncherWindow(Dialogs &dialogs, QString hostCommand, QString clientCommand,
                               QWidget *parent)
    : QWidget(parent),
      m_dialogs(dialogs),
      m_hostCommand(std::move(hostCommand)),
      m_clientCommand(std::move(clientCommand))
{
    initLauncherResources();
    setWindowTitle(QStringLiteral("Kelvaro"));
    setWindowIcon(QIcon(QStringLiteral(":/launcher/kelvaro.png")));
    setFont(fonts::window());
    setFixedSize(twips::toPixels(4680), twips::toPixels(3195));

    Label1 = new QLabel(QStringLiteral("このゲームは2人ネット対戦専用ゲームです。"), this);
    Label1->setGeometry(twips::rect(630, 405, 4545, 285));

    Command1 = new WrappingButton(QStringLiteral("サーバー(接続される側)になるならここをクリック"),
                                  this);
    Command1->setGeometry(twips::rect(180, 1290, 4275, 585));
    Command2 = new WrappingButton(
        QStringLiteral("クライアント(接続する側)になるならここをクリック"), this);
    Command2->setGeometry(twips::rect(165, 2130, 4320, 585));

    // Label1 comes first in the tab order but never takes the focus itself.
    setTabOrder(Command1, Command2);
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &LauncherWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &LauncherWindow::Command2_Click);
}

void LauncherWindow::Command1_Click()
{
    start(m_hostCommand);
}

void LauncherWindow::Command2_Click()
{
    start(m_clientCommand);
}

void LauncherWindow::start(const QString &commandLine)
{
    QString program;
    if (launch::startDetached(commandLine, &program))
        return;
    const QString reason = QFileInfo::exists(program)
        ? QStringLiteral("このファイルを実行できません。")
        : QStringLiteral("このファイルが見つかりません。");
    m_dialogs.MsgBox(QStringLiteral("%1 を起動できませんでした。\r\n%2\r\n%3")
                         .arg(QDir::toNativeSeparators(commandLine), reason,
                              QDir::toNativeSeparators(program)));
}
