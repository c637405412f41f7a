// The launcher window: its layout, that its captions fit, its tab order, and that real
// clicks start the right program from the current directory, one independent copy per
// click, with a named box when a program cannot be started.
#include "launcher/launcherwindow.h"
#include "launcher/wrappingbutton.h"
#include "platform/scripteddialogs.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

class TestLauncher : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void windowItself();
    void captionsFit_data();
    void captionsFit();
    void tabOrder();
    void clickStartsProgram_data();
    void clickStartsProgram();
    void twoClicksStartTwoCopies();
    void unstartableProgram_data();
    void unstartableProgram();

private:
    // A stand-in for a game program: it notes its pid and working directory in
    // started-<name>, stays a while, then notes that it ended.
    void writeStandIn(const QString &commandLine, const QString &name);
    QStringList startedLines(const QString &name) const;
    QWidget *control(LauncherWindow &w, const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
};

void TestLauncher::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    writeStandIn(LauncherWindow::hostCommandLine(), QStringLiteral("morsk"));
    writeStandIn(LauncherWindow::clientCommandLine(), QStringLiteral("trelvin"));
}

void TestLauncher::cleanup()
{
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

void TestLauncher::writeStandIn(const QString &commandLine, const QString &name)
{
    const QString path = m_dir->filePath(commandLine);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile script(path);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\n"
                                "exec 2>/dev/null\n"
                                "echo \"$$ $(pwd -P)\" >> started-%1\n"
                                "sleep 2\n"
                                "echo \"$$ ended\" >> started-%1\n")
                     .arg(name)
                     .toUtf8());
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QStringList TestLauncher::startedLines(const QString &name) const
{
    QFile f(m_dir->filePath(QStringLiteral("started-") + name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QWidget *TestLauncher::control(LauncherWindow &w, const QString &name) const
{
    if (name == QLatin1String("Label1"))
        return w.Label1;
    if (name == QLatin1String("Command1"))
        return w.Command1;
    return w.Command2;
}

void TestLauncher::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("pixels");

    // 15 twips to a pixel, rounded to the nearest.
    QTest::newRow("label")
        << "Label1" << QStringLiteral("このゲームは2人ネット対戦専用ゲームです。")
        << QRect(42, 27, 303, 19);
    QTest::newRow("server button")
        << "Command1" << QStringLiteral("サーバー(接続される側)になるならここをクリック")
        << QRect(12, 86, 285, 39);
    QTest::newRow("client button")
        << "Command2" << QStringLiteral("クライアント(接続する側)になるならここをクリック")
        << QRect(11, 142, 288, 39);
}

void TestLauncher::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, pixels);

    ScriptedDialogs dialogs;
    LauncherWindow w(dialogs);
    QWidget *c = control(w, name);
    QCOMPARE(c->geometry(), pixels);
    const QString text = name == QLatin1String("Label1")
        ? w.Label1->text()
        : static_cast<QPushButton *>(c)->text();
    QCOMPARE(text, caption);
}

void TestLauncher::windowItself()
{
    ScriptedDialogs dialogs;
    LauncherWindow w(dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("Kelvaro"));
    QCOMPARE(w.size(), QSize(312, 213));
    const QList<QSize> sizes = w.windowIcon().availableSizes();
    QVERIFY2(sizes.contains(QSize(32, 32)), "the window carries the 32 x 32 icon");
}

void TestLauncher::captionsFit_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("server button") << "Command1";
    QTest::newRow("client button") << "Command2";
}

void TestLauncher::captionsFit()
{
    QFETCH(QString, name);
    ScriptedDialogs dialogs;
    LauncherWindow w(dialogs);
    auto *button = static_cast<WrappingButton *>(control(w, name));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    const QRect space = button->captionSpace();
    QVERIFY2(space.contains(button->captionRect()), "the caption stays inside the bevel");
    // Every character of the caption is drawn, in order, whatever the wrapping did.
    QCOMPARE(button->captionLines().join(QString()), button->text());
    // The drawn lines really are no wider than the room they were wrapped into.
    const QFontMetrics fm(button->captionFont());
    for (const QString &line : button->captionLines())
        QVERIFY2(fm.horizontalAdvance(line) <= space.width(), qPrintable(line));
    QVERIFY(fm.height() * button->captionLines().size() <= space.height());

    // A caption longer than one line wraps instead of running out of the button.
    button->setText(button->text().repeated(2));
    QVERIFY(button->captionLines().size() >= 2);
    QVERIFY(space.contains(button->captionRect()));
    QCOMPARE(button->captionLines().join(QString()), button->text());
}

void TestLauncher::tabOrder()
{
    ScriptedDialogs dialogs;
    LauncherWindow w(dialogs);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), w.Command1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.Command2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.Command1);
}

void TestLauncher::clickStartsProgram_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("started");
    QTest::addColumn<QString>("notStarted");
    QTest::newRow("server button starts Orrin/morsk") << "Command1" << "morsk" << "trelvin";
    QTest::newRow("client button starts Velk/trelvin") << "Command2" << "trelvin" << "morsk";
}

void TestLauncher::clickStartsProgram()
{
    QFETCH(QString, button);
    QFETCH(QString, started);
    QFETCH(QString, notStarted);

    // The stand-ins exist only beside the current directory, never in the folder of
    // this executable, so a launcher resolving against its own folder finds nothing.
    QVERIFY(QDir(QCoreApplication::applicationDirPath()).canonicalPath()
            != QDir(m_dir->path()).canonicalPath());
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/")
                               + LauncherWindow::hostCommandLine()));

    ScriptedDialogs dialogs;
    LauncherWindow w(dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(control(w, button), Qt::LeftButton);
    // The click came back while the program still runs: the launcher does not wait.
    for (const QString &line : startedLines(started))
        QVERIFY2(!line.endsWith(QLatin1String(" ended")), "the launcher waited");

    QTRY_COMPARE(startedLines(started).size(), 1);
    const QString where = startedLines(started).first().section(QLatin1Char(' '), 1);
    QCOMPARE(where, QDir(m_dir->path()).canonicalPath());
    QVERIFY(startedLines(notStarted).isEmpty());
    QVERIFY(dialogs.shown().isEmpty());
    QVERIFY(w.isVisible());
}

void TestLauncher::twoClicksStartTwoCopies()
{
    ScriptedDialogs dialogs;
    LauncherWindow w(dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QTRY_COMPARE(startedLines(QStringLiteral("morsk")).size(), 2);
    const QStringList lines = startedLines(QStringLiteral("morsk"));
    QVERIFY2(lines[0].section(QLatin1Char(' '), 0, 0) != lines[1].section(QLatin1Char(' '), 0, 0),
             "two separate processes");
    QVERIFY(w.isVisible());
}

void TestLauncher::unstartableProgram_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder missing") << "folder" << QStringLiteral("このファイルが見つかりません。");
    QTest::newRow("file missing") << "file" << QStringLiteral("このファイルが見つかりません。");
    QTest::newRow("not executable") << "mode" << QStringLiteral("このファイルを実行できません。");
}

void TestLauncher::unstartableProgram()
{
    QFETCH(QString, damage);
    QFETCH(QString, reason);

    const QString host = m_dir->filePath(LauncherWindow::hostCommandLine());
    if (damage == QLatin1String("folder"))
        QVERIFY(QDir(QFileInfo(host).path()).removeRecursively());
    else if (damage == QLatin1String("file"))
        QVERIFY(QFile::remove(host));
    else
        QVERIFY(QFile::setPermissions(host, QFile::ReadOwner | QFile::WriteOwner));

    ScriptedDialogs dialogs;
    LauncherWindow w(dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.Command1, Qt::LeftButton);

    QCOMPARE(dialogs.shown().size(), 1);
    const ScriptedDialogs::Shown &box = dialogs.shown().first();
    QCOMPARE(box.buttons, Dialogs::Buttons::Ok);
    const QStringList lines = box.text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("Orrin/morsk を起動できませんでした。"));
    QCOMPARE(lines[1], reason);
    QCOMPARE(lines[2], QDir(m_dir->path()).canonicalPath() + QStringLiteral("/Orrin/morsk"));

    // The launcher is still there and its other button still works.
    QVERIFY(w.isVisible());
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QTRY_COMPARE(startedLines(QStringLiteral("trelvin")).size(), 1);
    QCOMPARE(dialogs.shown().size(), 1);
}

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"
