// The game window over a real Game: placement through real pointer events on the cell
// widgets, the confirmation with scripted boxes, the host's own-board frame, the Esc
// key from any focused control, the focus holder, the keyboard cursor that plays as
// the pointer does, the layout of both windows against
// the game's tables, and what the widgets show (colours read back and painted, fonts
// that cover the texts, captions that fit), and what assistive technology reads of
// every control.
#include "core/cellbutton.h"
#include "core/form1.h"
#include "core/framebox.h"
#include "core/game.h"
#include "core/optionitem.h"
#include "platform/colors.h"
#include "platform/twips.h"
#include "support/testpeers.h"

#include <QAccessible>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QtTest>
#include <memory>

using Program = GameModel::Program;
using Answer = Dialogs::Answer;

namespace {

// One game program's window over its Game, with recorded sends, scripted boxes and a
// recorded exit.
struct Rig
{
    explicit Rig(Program p)
        : game(p, sink, dialogs, exit, p == Program::Host ? &random : nullptr), form(game)
    {
    }
    // What the programs do at start-up before showing the window.
    void startUp()
    {
        form.moveAaaOutOfSight();
        game.MasHaiti();
        game.OptionValue();
        game.model().sPhase = QStringLiteral("Haiti");
        game.model().notify();
    }
    GameModel &model() { return game.model(); }

    RecordingSink sink;
    ScriptedDialogs dialogs;
    RecordingExit exit;
    LcgRandom random;
    Game game;
    Form1 form;
};

std::unique_ptr<Rig> shownRig(Program p)
{
    auto rig = std::make_unique<Rig>(p);
    rig->startUp();
    rig->form.show();
    if (!QTest::qWaitForWindowExposed(&rig->form))
        return nullptr;
    return rig;
}

// Moves the pointer (no button held) into `w`; one pixel off the middle when the
// pointer is there already, so that every call is a real movement.
void hover(QWidget *w, QPoint at = {})
{
    if (at.isNull())
        at = w->rect().center();
    if (QCursor::pos() == w->mapToGlobal(at))
        at += QPoint(1, 1);
    QTest::mouseMove(w, at);
}

void press(QWidget *w, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(w, button, {}, w->rect().center());
}

QColor shown(const CellButton *b)
{
    return b->property("color").value<QColor>();
}

QColor painted(CellButton *b)
{
    return b->grab().toImage().pixelColor(b->width() / 2, b->height() / 2);
}

QColor shipColour(int ship)
{
    const QColor c[3] = {colors::large(), colors::medium(), colors::small()};
    return c[ship];
}

QList<int> cellsShowing(const Form1 &f, const QColor &c)
{
    QList<int> out;
    for (int i = 0; i < 64; ++i)
        if (shown(f.Command1(i)) == c)
            out << i;
    return out;
}

QList<int> run(int from, int step, int length)
{
    QList<int> out;
    for (int k = 0; k < length; ++k)
        out << from + k * step;
    return out;
}

int checkedShip(const Form1 &f)
{
    for (int i = 0; i < 3; ++i)
        if (f.Option4(i)->isChecked())
            return i;
    return -1;
}

// Large vertical from 0, medium horizontal from 1, small vertical from 13, each
// dropped with a press, through the default orientations.
void placeFleet(Rig &r, bool withSmall = true)
{
    hover(r.form.Command1(0));
    press(r.form.Command1(0));
    hover(r.form.Command1(1));
    press(r.form.Command1(1));
    if (withSmall) {
        hover(r.form.Command1(13));
        press(r.form.Command1(13));
    }
}

const QList<int> fleetLarge{0, 8, 16, 24, 32};
const QList<int> fleetMedium{1, 2, 3, 4};
const QList<int> fleetSmall{13, 21, 29};

// The controls by the game's names: "Frame3", "Option4(1)", "Option2(0)",
// "Command4(17)", "Label1", "window"...
QWidget *control(Form1 &f, const QString &name)
{
    static const QRegularExpression re(QStringLiteral("^([A-Za-z]+)(\\d*)(?:\\((\\d+)\\))?$"));
    const auto m = re.match(name);
    if (!m.hasMatch())
        return nullptr;
    const QString kind = m.captured(1);
    const int n = m.captured(2).toInt();
    const int index = m.captured(3).toInt();
    if (name == QLatin1String("window"))
        return &f;
    if (kind == QLatin1String("Frame"))
        return f.Frame(n);
    if (name == QLatin1String("Label1"))
        return f.Label1();
    if (name == QLatin1String("Label2"))
        return f.Label2();
    if (name == QLatin1String("Aaa"))
        return f.Aaa();
    if (name == QLatin1String("Command2"))
        return f.Command2();
    if (name == QLatin1String("Command5"))
        return f.Command5();
    if (kind == QLatin1String("Option") && n == 4)
        return f.Option4(index);
    if (kind == QLatin1String("Option"))
        return f.orientationItem(n - 1, index);
    if (kind == QLatin1String("Command") && n == 4)
        return f.Command4(index);
    return nullptr;
}

QString captionOf(QWidget *w)
{
    if (auto *frame = qobject_cast<FrameBox *>(w))
        return frame->caption();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    return {};
}

// What assistive technology reads of a widget.
QAccessibleInterface *accessible(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w);
}
QString accessibleText(QWidget *w, QAccessible::Text t = QAccessible::Name)
{
    QAccessibleInterface *a = accessible(w);
    return a ? a->text(t) : QStringLiteral("(not accessible)");
}

// The role each kind of control presents: frames are groups, option items radio buttons.
QAccessible::Role roleOf(const QString &name)
{
    if (name.startsWith(QLatin1String("Frame")))
        return QAccessible::Grouping;
    if (name.startsWith(QLatin1String("Option")))
        return QAccessible::RadioButton;
    if (name.startsWith(QLatin1String("Label")))
        return QAccessible::StaticText;
    return QAccessible::Button;
}

bool fontCovers(const QFont &font, const QString &text)
{
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Japanese);
    for (const QChar ch : text)
        if (!ch.isSpace() && !raw.supportsCharacter(ch))
            return false;
    return true;
}

// Counts paint events per widget.
class PaintCounter : public QObject
{
public:
    QHash<QObject *, int> paints;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints[o];
        return false;
    }
};

const QByteArray placedBytes("1\x94\x7A\x92\x75\x8A\xAE\x97\xB9");

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // Placement through the pointer.
    void placementRuns_data();
    void placementRuns();
    void blockedByAnotherSubmarine_data();
    void blockedByAnotherSubmarine();
    void drop_data();
    void drop();
    void dropSequenceAndLifting();
    void disabledCellDeliversNothing_data();
    void disabledCellDeliversNothing();
    void confirmation_data();
    void confirmation();
    void frame1Margin_data();
    void frame1Margin();

    // Play, as far as the window carries it.
    void firingAndMarks();

    // Keys and focus.
    void escape_data();
    void escape();
    void escapeInsideModalBoxIsTheBoxs();
    void focusHolder_data();
    void focusHolder();
    void keyboardCursor_data();
    void keyboardCursor();

    // What the window shows.
    void windowItself_data();
    void windowItself();
    void controls_data();
    void controls();
    void grids_data();
    void grids();
    void shipPictures_data();
    void shipPictures();
    void cellColours_data();
    void cellColours();
    void onlyShipSelectorHasTooltips_data();
    void onlyShipSelectorHasTooltips();
    void captionsFitAndRender_data();
    void captionsFitAndRender();
    void statusLabel_data();
    void statusLabel();
    void statusFrameAndReconnectButton();
    void repaintTouchesOnlyChangedCells();
};

void TestForm1::initTestCase()
{
    // Every pointer test relies on a plain move (no button held) reaching a cell.
    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    QSignalSpy moved(rig->form.Command1(9), &CellButton::mouseMoved);
    hover(rig->form.Command1(9));
    QCOMPARE(moved.count(), 1);
}

// --- placement ----------------------------------------------------------------------

void TestForm1::placementRuns_data()
{
    QTest::addColumn<int>("ship");
    QTest::addColumn<int>("orientation"); // the item of the ship's orientation selector
    QTest::addColumn<QList<int>>("hovers");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("large horizontal from column 3") << 0 << 1 << QList{3} << run(3, 1, 5);
    QTest::newRow("large horizontal from column 3 of the last row") << 0 << 1 << QList{59} << run(59, 1, 5);
    QTest::newRow("large horizontal at column 4 vanishes") << 0 << 1 << QList{3, 4} << QList<int>{};
    QTest::newRow("large vertical from index 31") << 0 << 0 << QList{31} << run(31, 8, 5);
    QTest::newRow("large vertical at index 32 vanishes") << 0 << 0 << QList{31, 32} << QList<int>{};
    QTest::newRow("medium horizontal from column 4") << 1 << 0 << QList{4} << run(4, 1, 4);
    QTest::newRow("medium horizontal at column 5 vanishes") << 1 << 0 << QList{4, 5} << QList<int>{};
    QTest::newRow("medium vertical from index 39") << 1 << 1 << QList{39} << run(39, 8, 4);
    QTest::newRow("medium vertical at index 40 vanishes") << 1 << 1 << QList{39, 40} << QList<int>{};
    QTest::newRow("small horizontal from column 5") << 2 << 1 << QList{5} << run(5, 1, 3);
    QTest::newRow("small horizontal at column 6 vanishes") << 2 << 1 << QList{5, 6} << QList<int>{};
    QTest::newRow("small vertical from index 47") << 2 << 0 << QList{47} << run(47, 8, 3);
    QTest::newRow("small vertical at index 48 vanishes") << 2 << 0 << QList{47, 48} << QList<int>{};
    QTest::newRow("slides right over its own cells") << 0 << 1 << QList{0, 1} << run(1, 1, 5);
    QTest::newRow("slides down over its own cells") << 0 << 0 << QList{0, 8} << run(8, 8, 5);
    QTest::newRow("moving within one cell keeps the run") << 0 << 1 << QList{2, 2} << run(2, 1, 5);
    QTest::newRow("comes back after vanishing") << 2 << 1 << QList{6, 0} << run(0, 1, 3);
}

void TestForm1::placementRuns()
{
    QFETCH(int, ship);
    QFETCH(int, orientation);
    QFETCH(QList<int>, hovers);
    QFETCH(QList<int>, expected);

    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    Form1 &f = rig->form;
    press(f.Option4(ship));
    press(f.orientationItem(ship, orientation));
    QVERIFY(f.Option4(ship)->isChecked());
    QVERIFY(f.orientationItem(ship, orientation)->isChecked());
    QVERIFY(!f.orientationItem(ship, 1 - orientation)->isChecked());

    for (int i : hovers)
        hover(f.Command1(i));

    QCOMPARE(cellsShowing(f, shipColour(ship)), expected);
    QCOMPARE(cellsShowing(f, colors::buttonFace()).size(), 64 - int(expected.size()));
    // The chosen item describes the way the run goes; the run's cells name the ship.
    const QString shipName = captionOf(f.Frame(3 + ship));
    if (!expected.isEmpty()) {
        QCOMPARE(accessibleText(f.orientationItem(ship, orientation), QAccessible::Description),
                 expected[1] - expected[0] == 1 ? QStringLiteral("横向き") : QStringLiteral("縦向き"));
        QCOMPARE(accessibleText(f.Command1(expected.back()), QAccessible::Description), shipName);
    }
    QVERIFY(accessible(f.orientationItem(ship, orientation))->state().checked);
}

void TestForm1::blockedByAnotherSubmarine_data()
{
    QTest::addColumn<int>("mediumOrientation"); // Option2: 0 horizontal, 1 vertical
    QTest::addColumn<QList<int>>("hovers");
    QTest::addColumn<QList<int>>("expected");

    // The large submarine lies on 16..20 (row 2, columns 0 to 4).
    QTest::newRow("run onto the large one keeps the last place") << 0 << QList{8, 16} << run(8, 1, 4);
    QTest::newRow("run starting on the large one keeps the last place") << 0 << QList{8, 20} << run(8, 1, 4);
    QTest::newRow("run right beside the large one is drawn") << 0 << QList{8, 24} << run(24, 1, 4);
    QTest::newRow("blocked with no earlier place stays off the board") << 1 << QList{0} << QList<int>{};
    QTest::newRow("vertical run past its end is drawn") << 1 << QList{5} << run(5, 8, 4);
    QTest::newRow("vertical run into it keeps the last place") << 1 << QList{5, 4} << run(5, 8, 4);
}

void TestForm1::blockedByAnotherSubmarine()
{
    QFETCH(int, mediumOrientation);
    QFETCH(QList<int>, hovers);
    QFETCH(QList<int>, expected);

    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    Form1 &f = rig->form;
    press(f.orientationItem(0, 1));
    hover(f.Command1(16));
    press(f.Command1(16));
    QCOMPARE(checkedShip(f), 1);
    press(f.orientationItem(1, mediumOrientation));

    for (int i : hovers)
        hover(f.Command1(i));

    QCOMPARE(cellsShowing(f, colors::medium()), expected);
    QCOMPARE(cellsShowing(f, colors::large()), run(16, 1, 5));
}

void TestForm1::drop_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("cell");
    QTest::addColumn<int>("selectedAfter");

    // The large submarine floats on 0, 8, 16, 24, 32.
    QTest::newRow("left press on the preview drops it") << int(Qt::LeftButton) << 16 << 1;
    QTest::newRow("right press on the preview drops it") << int(Qt::RightButton) << 32 << 1;
    QTest::newRow("middle press on the preview drops it") << int(Qt::MiddleButton) << 0 << 1;
    QTest::newRow("press on water does nothing") << int(Qt::LeftButton) << 1 << 0;
    QTest::newRow("right press on water does nothing") << int(Qt::RightButton) << 63 << 0;
}

void TestForm1::drop()
{
    QFETCH(int, button);
    QFETCH(int, cell);
    QFETCH(int, selectedAfter);

    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    Form1 &f = rig->form;
    hover(f.Command1(0));
    // Pressing right there, before the pointer goes anywhere else.
    QTest::mouseClick(f.Command1(cell), Qt::MouseButton(button), {}, f.Command1(cell)->rect().center());

    QCOMPARE(checkedShip(f), selectedAfter);
    QCOMPARE(cellsShowing(f, colors::large()), fleetLarge);
    QCOMPARE(f.focusWidget(), f.Aaa());
}

void TestForm1::dropSequenceAndLifting()
{
    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    Form1 &f = rig->form;
    hover(f.Command1(0));
    press(f.Command1(0));
    hover(f.Command1(1));
    // A press on a cell of the dropped large submarine does not drop the medium one.
    press(f.Command1(8));
    QCOMPARE(checkedShip(f), 1);
    press(f.Command1(1), Qt::RightButton);
    QCOMPARE(checkedShip(f), 2);
    hover(f.Command1(13));
    press(f.Command1(21));
    QCOMPARE(checkedShip(f), -1);
    QCOMPARE(cellsShowing(f, colors::large()), fleetLarge);
    QCOMPARE(cellsShowing(f, colors::medium()), fleetMedium);
    QCOMPARE(cellsShowing(f, colors::small()), fleetSmall);

    // Nothing selected: the pointer changes nothing.
    hover(f.Command1(40));
    hover(f.Command1(7));
    QCOMPARE(cellsShowing(f, colors::buttonFace()).size(), 52);

    // Choosing the large one again lifts it to the pointer.
    press(f.Option4(0));
    QCOMPARE(checkedShip(f), 0);
    hover(f.Command1(7));
    QCOMPARE(cellsShowing(f, colors::large()), run(7, 8, 5));
    QCOMPARE(cellsShowing(f, colors::medium()), fleetMedium);
    QCOMPARE(cellsShowing(f, colors::small()), fleetSmall);
}

void TestForm1::disabledCellDeliversNothing_data()
{
    QTest::addColumn<int>("program");
    QTest::newRow("client") << int(Program::Client);
    QTest::newRow("host") << int(Program::Host);
}

void TestForm1::disabledCellDeliversNothing()
{
    QFETCH(int, program);
    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    Form1 &f = rig->form;
    hover(f.Command1(0));
    rig->model().Command1[16].enabled = false;
    rig->model().Command1[40].enabled = false;
    rig->model().notify();
    QVERIFY(!f.Command1(16)->isEnabled());

    // A press on the disabled cell of the preview does not drop it; a move over a
    // disabled water cell neither previews there nor counts as the frame's margin
    // (which in the host would take the preview away).
    press(f.Command1(16));
    QCOMPARE(checkedShip(f), 0);
    hover(f.Command1(40));
    QCOMPARE(cellsShowing(f, colors::large()), fleetLarge);
    // Nor does a move handed to the disabled cell itself.
    CellButton *disabled = f.Command1(40);
    const QPointF at = disabled->rect().center();
    QMouseEvent move(QEvent::MouseMove, at, disabled->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(disabled, &move);
    QCOMPARE(cellsShowing(f, colors::large()), fleetLarge);
}

void TestForm1::confirmation_data()
{
    QTest::addColumn<bool>("complete");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("peerReady");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<bool>("playStarts");

    const QString incomplete = QStringLiteral("潜水艦が全て配置されてないよ");
    const QString question = QStringLiteral("配置はこれでOK?");
    const QString confirm = QStringLiteral("確認");
    QTest::newRow("55 water cells are refused") << false << int(Answer::Yes) << false << incomplete
                                                << QString() << false << false;
    QTest::newRow("complete fleet, No changes nothing") << true << int(Answer::No) << false
                                                        << question << confirm << false << false;
    QTest::newRow("complete fleet, Yes tells the peer and waits")
        << true << int(Answer::Yes) << false << question << confirm << true << false;
    QTest::newRow("complete fleet, Yes after the peer's notice starts play")
        << true << int(Answer::Yes) << true << question << confirm << true << true;
}

void TestForm1::confirmation()
{
    QFETCH(bool, complete);
    QFETCH(int, answer);
    QFETCH(bool, peerReady);
    QFETCH(QString, box);
    QFETCH(QString, title);
    QFETCH(bool, confirmed);
    QFETCH(bool, playStarts);

    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    Form1 &f = rig->form;
    placeFleet(*rig, complete);
    QCOMPARE(cellsShowing(f, colors::buttonFace()).size(), complete ? 52 : 55);
    // As the greeting would.
    rig->model().bConnected = true;
    rig->model().command5Visible = true;
    rig->model().bPeerReady = peerReady;
    rig->model().notify();
    QVERIFY(f.Command5()->isVisible());
    rig->dialogs.answer(Answer(answer));

    press(f.Command5());

    QCOMPARE(rig->dialogs.texts(), QStringList{box});
    QCOMPARE(rig->dialogs.shown().first().title, title);
    QCOMPARE(f.Command5()->isVisible(), !confirmed);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(f.Option4(i)->isVisible(), !confirmed);
    QCOMPARE(rig->sink.sent, confirmed ? QByteArrayList{placedBytes} : QByteArrayList{});
    for (int i = 0; i < 64; ++i) {
        QCOMPARE(f.Command1(i)->isEnabled(), !playStarts);
        QCOMPARE(f.Command3(i)->isEnabled(), playStarts);
    }
    // The fleet stays as placed whatever the answer.
    QCOMPARE(cellsShowing(f, colors::large()), fleetLarge);
    QCOMPARE(cellsShowing(f, colors::medium()), fleetMedium);
}

void TestForm1::frame1Margin_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<bool>("vanishes");
    QTest::newRow("host: the floating ship vanishes") << int(Program::Host) << true;
    QTest::newRow("client: the floating ship stays") << int(Program::Client) << false;
}

void TestForm1::frame1Margin()
{
    QFETCH(int, program);
    QFETCH(bool, vanishes);

    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    Form1 &f = rig->form;
    hover(f.Command1(0));
    QCOMPARE(cellsShowing(f, colors::large()), fleetLarge);

    // Over the frame's caption, then over its left margin beside row 3.
    hover(f.Frame(1), QPoint(30, 5));
    hover(f.Frame(1), QPoint(20, 48 + 19 * 3 + 9));

    QCOMPARE(cellsShowing(f, colors::large()), vanishes ? QList<int>{} : fleetLarge);
    QCOMPARE(checkedShip(f), 0);
}

// --- play ---------------------------------------------------------------------------

void TestForm1::firingAndMarks()
{
    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    Form1 &f = rig->form;
    placeFleet(*rig);
    rig->model().bConnected = true;
    rig->model().bPeerReady = true;
    rig->model().command5Visible = true;
    rig->model().notify();
    rig->dialogs.answer(Answer::Yes);
    press(f.Command5());
    QVERIFY(f.Command3(5)->isEnabled());

    // Before the turn arrives a click only moves the focus, and the keys fire nothing.
    f.orientationItem(0, 1)->setFocus();
    press(f.Command3(5));
    QCOMPARE(f.focusWidget(), f.Aaa());
    QVERIFY(f.Command3(5)->isEnabled());
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    rig->sink.sent.clear();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Space, Qt::Key_Return})
        QTest::keyClick(f.windowHandle(), key);
    QVERIFY(rig->sink.sent.isEmpty());
    QVERIFY(accessible(f.Command3(1))->state().focused);
    rig->game.receive("1s");
    QCOMPARE(f.Label1()->text(), QStringLiteral("あなたのターンです。砲撃しましょう"));

    rig->sink.sent.clear();
    press(f.Command3(5));
    QCOMPARE(rig->sink.sent, QByteArrayList{"25"});
    // The pointer took the cursor away.
    QVERIFY(!accessible(f.Command3(1))->state().focused);
    QVERIFY(!f.Command3(5)->isEnabled());
    QCOMPARE(f.Command3(5)->text(), QString());
    QCOMPARE(f.Label1()->text(), QStringLiteral("相手のターンです。"));
    // A disabled cell takes no click.
    press(f.Command3(5));
    QCOMPARE(rig->sink.sent.size(), 1);

    QCOMPARE(accessibleText(f.Command3(5), QAccessible::Description), QString());
    rig->game.receive("3a");
    QCOMPARE(f.Command3(5)->text(), QStringLiteral("●"));
    QCOMPARE(accessibleText(f.Command3(5), QAccessible::Description), QStringLiteral("命中（●）"));
    QCOMPARE(accessibleText(f.Command1(0), QAccessible::Description), QStringLiteral("大潜水艦"));
    rig->game.receive("20");  // onto the large submarine
    rig->game.receive("263"); // into water
    QCOMPARE(f.Command1(0)->text(), QStringLiteral("●"));
    QCOMPARE(f.Command1(63)->text(), QStringLiteral("×"));
    QCOMPARE(accessibleText(f.Command1(0), QAccessible::Description), QStringLiteral("大潜水艦、命中（●）"));
    QCOMPARE(accessibleText(f.Command1(63), QAccessible::Description), QStringLiteral("海、はずれ（×）"));
    QCOMPARE(accessibleText(f.Command1(63)), QStringLiteral("自分の陣地 8行8列"));
    // Marks leave the colours alone.
    QCOMPARE(shown(f.Command1(0)), colors::large());
    QCOMPARE(shown(f.Command1(63)), colors::buttonFace());

    // In the turn, the first key shows the cursor where it was and Space fires there,
    // once: the cell is closed to the keys as to the pointer.
    rig->sink.sent.clear();
    QTest::keyClick(f.windowHandle(), Qt::Key_Down);
    QVERIFY(rig->sink.sent.isEmpty());
    QTest::keyClick(f.windowHandle(), Qt::Key_Space);
    QCOMPARE(rig->sink.sent, QByteArrayList{"21"});
    rig->game.receive("3b");
    rig->game.receive("262");
    QTest::keyClick(f.windowHandle(), Qt::Key_Return);
    QCOMPARE(rig->sink.sent.size(), 2); // the answer to the shot at 62 only
    QVERIFY(accessible(f.Command3(1))->state().focused);
}

// --- keys and focus -----------------------------------------------------------------

void TestForm1::escape_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("ends");

    QTest::newRow("Esc on Aaa, No keeps running") << "Aaa" << int(Qt::Key_Escape) << int(Answer::No) << true << false;
    QTest::newRow("Esc on a ship item, Yes ends") << "Option4(1)" << int(Qt::Key_Escape) << int(Answer::Yes) << true << true;
    QTest::newRow("Esc on an orientation item") << "Option2(1)" << int(Qt::Key_Escape) << int(Answer::No) << true << false;
    QTest::newRow("Esc on the confirm button, Yes ends") << "Command5" << int(Qt::Key_Escape) << int(Answer::Yes) << true << true;
    QTest::newRow("another key asks nothing") << "Aaa" << int(Qt::Key_A) << int(Answer::Yes) << false << false;
    QTest::newRow("Enter asks nothing") << "Command5" << int(Qt::Key_Return) << int(Answer::Yes) << false << false;
}

void TestForm1::escape()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, ends);

    auto rig = shownRig(Program::Host);
    QVERIFY(rig);
    Form1 &f = rig->form;
    rig->model().command5Visible = true;
    rig->model().notify();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QWidget *target = control(f, focus);
    QVERIFY(target);
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    rig->dialogs.answer(Answer(answer));

    QTest::keyClick(f.windowHandle(), Qt::Key(key));

    if (asked) {
        QCOMPARE(rig->dialogs.shown().size(), 1);
        QCOMPARE(rig->dialogs.shown().first().text, QStringLiteral("Kelvaroを終了しますか?"));
        QCOMPARE(rig->dialogs.shown().first().title, QStringLiteral("確認"));
        QCOMPARE(rig->dialogs.shown().first().buttons, Dialogs::Buttons::YesNo);
    } else {
        QVERIFY(rig->dialogs.shown().isEmpty());
    }
    QCOMPARE(rig->exit.ended(), ends);
}

void TestForm1::escapeInsideModalBoxIsTheBoxs()
{
    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    QDialog box(&rig->form);
    box.setModal(true);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));

    QTest::keyClick(box.windowHandle(), Qt::Key_Escape);

    QTRY_VERIFY(!box.isVisible());
    QVERIFY(rig->dialogs.shown().isEmpty());

    // Nor does a key meant for the game window reach the game while a box is open.
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(QApplication::activeModalWidget());
    QTest::keyClick(rig->form.windowHandle(), Qt::Key_Escape);
    QTest::keyClick(rig->form.Aaa(), Qt::Key_Escape);
    QVERIFY(rig->dialogs.shown().isEmpty());
}

void TestForm1::focusHolder_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<QRect>("design"); // twips
    QTest::newRow("client") << int(Program::Client) << QRect(11745, 7890, 330, 285);
    QTest::newRow("host") << int(Program::Host) << QRect(12000, 9225, 105, 180);
}

void TestForm1::focusHolder()
{
    QFETCH(int, program);
    QFETCH(QRect, design);

    Rig rig{Program(program)};
    Form1 &f = rig.form;
    QCOMPARE(f.Aaa()->text(), QStringLiteral("Command6"));
    QCOMPARE(f.Aaa()->geometry(), twips::rect(design.x(), design.y(), design.width(), design.height()));
    rig.startUp();
    // Out of sight: beyond the window's client area.
    QCOMPARE(f.Aaa()->pos(), QPoint(twips::toPixels(15360), twips::toPixels(12000)));
    QVERIFY(!f.rect().intersects(f.Aaa()->geometry()));

    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QCOMPARE(QApplication::focusWidget(), f.Aaa());

    // First in the tab order: the first control that takes Tab after the window.
    QWidget *first = f.nextInFocusChain();
    while (first != &f && !(first->focusPolicy() & Qt::TabFocus))
        first = first->nextInFocusChain();
    QCOMPARE(first, f.Aaa());

    for (int i = 0; i < 64; ++i) {
        QCOMPARE(f.Command1(i)->focusPolicy(), Qt::NoFocus);
        QCOMPARE(f.Command3(i)->focusPolicy(), Qt::NoFocus);
    }
    // A press on an own cell takes the focus back to Aaa, wherever it was.
    f.Option4(2)->setFocus();
    QCOMPARE(QApplication::focusWidget(), f.Option4(2));
    press(f.Command1(50), Qt::RightButton);
    QCOMPARE(QApplication::focusWidget(), f.Aaa());
}

void TestForm1::keyboardCursor_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QList<int>>("large");
    QTest::addColumn<QList<int>>("medium");
    QTest::addColumn<int>("selectedAfter");

    const int left = Qt::Key_Left, right = Qt::Key_Right, up = Qt::Key_Up, down = Qt::Key_Down;
    const int space = Qt::Key_Space;
    // The large submarine is selected, vertical; the cursor starts hidden on 1行1列. A
    // whole game with the keys is tests/keyboard_xvfb.sh; these are the corners of it.
    QTest::newRow("Space while hidden only shows the cursor") << QList{space} << 0 << run(0, 8, 5) << QList<int>{} << 0;
    QTest::newRow("stops at the top edge") << QList{right, up} << 0 << run(0, 8, 5) << QList<int>{} << 0;
    QTest::newRow("stops at the left edge") << QList{right, left} << 0 << run(0, 8, 5) << QList<int>{} << 0;
    QTest::newRow("stops at the right edge")
        << QList{right, right, right, right, right, right, right, right, right} << 7 << run(7, 8, 5) << QList<int>{} << 0;
    QTest::newRow("stops at the bottom edge, where the preview vanishes")
        << QList{right, down, down, down, down, down, down, down, down} << 56 << QList<int>{} << QList<int>{} << 0;
    QTest::newRow("a blocked preview under it places nothing")
        << QList{right, down, down, space, space} << 16 << run(16, 8, 5) << QList<int>{} << 1;
    QTest::newRow("the next one moves on from the blocked place")
        << QList{right, down, down, space, space, right} << 17 << run(16, 8, 5) << run(17, 1, 4) << 1;
}

void TestForm1::keyboardCursor()
{
    QFETCH(QList<int>, keys);
    QFETCH(int, cursor);
    QFETCH(QList<int>, large);
    QFETCH(QList<int>, medium);
    QFETCH(int, selectedAfter);

    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    Form1 &f = rig->form;
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));

    for (int key : keys)
        QTest::keyClick(f.windowHandle(), Qt::Key(key));

    QCOMPARE(cellsShowing(f, colors::large()), large);
    QCOMPARE(cellsShowing(f, colors::medium()), medium);
    QCOMPARE(checkedShip(f), selectedAfter);
    QCOMPARE(QApplication::focusWidget(), f.Aaa());
    // Assistive technology is told of the cell under the cursor, and of no other.
    QList<int> focused;
    for (int i = 0; i < 64; ++i) {
        if (accessible(f.Command1(i))->state().focused)
            focused << i;
        QVERIFY(!accessible(f.Command3(i))->state().focused);
    }
    QCOMPARE(focused, QList{cursor});
    CellButton *b = f.Command1(cursor);
    QCOMPARE(b->grab().toImage().pixelColor(2, b->height() / 2), b->palette().color(QPalette::Active, QPalette::WindowText));
}

// --- what the window shows ----------------------------------------------------------

void TestForm1::windowItself_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("size");
    QTest::newRow("client") << int(Program::Client) << QStringLiteral("Kelvaro(クライアント側)") << QSize(1024, 768);
    QTest::newRow("host") << int(Program::Host) << QStringLiteral("Kelvaro(サーバー側)") << QSize(1024, 800);
}

void TestForm1::windowItself()
{
    QFETCH(int, program);
    QFETCH(QString, title);
    QFETCH(QSize, size);

    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    Form1 &f = rig->form;
    QCOMPARE(f.windowTitle(), title);
    QCOMPARE(f.size(), size);
    QCOMPARE(f.minimumSize(), size);
    QCOMPARE(f.maximumSize(), size);
    QCOMPARE(f.pos(), QPoint(0, 0));
    QVERIFY(f.autoFillBackground());
    QCOMPARE(f.palette().color(QPalette::Window), colors::buttonFace());
    for (int n = 1; n <= 6; ++n)
        QCOMPARE(f.Frame(n)->palette().color(QPalette::Window), colors::buttonFace());
    // The background as painted, in a corner with no control.
    QCOMPARE(f.grab(QRect(2, 2, 4, 4)).toImage().pixelColor(1, 1), colors::buttonFace());
}

void TestForm1::controls_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("place"); // twips
    QTest::addColumn<bool>("visible");

    struct Row
    {
        const char *name, *container, *caption;
        int left, top, width, height;
        bool visible;
    };
    const Row client[] = {
        {"Frame6", "window", "状態", 8235, 4620, 4305, 1575, false},
        {"Command2", "Frame6", "ここをクリックして再接続してください", 600, 885, 3075, 420, true},
        {"Label1", "Frame6", "どこにも接続されていません", 225, 450, 3945, 1065, true},
        {"Frame1", "window", "自分の陣地", 3615, 645, 4155, 3855, true},
        {"Frame2", "window", "相手の陣地", 8325, 645, 4155, 3855, true},
        {"Frame3", "window", "大潜水艦", 3585, 4620, 4335, 1815, true},
        {"Frame4", "window", "中潜水艦", 3585, 6495, 4350, 1635, true},
        {"Frame5", "window", "小潜水艦", 3600, 8205, 4335, 1500, true},
        {"Label2", "window", "Escボタンで終了", 11910, 10020, 1590, 255, true},
    };
    const Row host[] = {
        {"Frame6", "window", "状態", 7890, 4950, 4635, 1995, true},
        {"Label1", "Frame6", "相手からの接続を待っています", 60, 420, 4530, 2070, true},
        {"Frame1", "window", "自分の陣地", 3345, 900, 4155, 3855, true},
        {"Frame2", "window", "相手の陣地", 8055, 900, 4155, 3855, true},
        {"Frame3", "window", "大潜水艦", 3315, 4875, 4335, 1815, true},
        {"Frame4", "window", "中潜水艦", 3315, 6750, 4350, 1635, true},
        {"Frame5", "window", "小潜水艦", 3330, 8460, 4335, 1500, true},
        {"Label2", "window", "Escボタンで終了", 12825, 10065, 1335, 315, true},
    };
    const Row both[] = {
        {"Option4(0)", "Frame1", "大を配置", 2985, 2985, 1080, 240, true},
        {"Option4(1)", "Frame1", "中を配置", 2985, 3225, 1080, 240, true},
        {"Option4(2)", "Frame1", "小を配置", 2985, 3465, 1080, 240, true},
        {"Command5", "Frame1", "配置完了", 1965, 3420, 900, 330, false},
        {"Option1(0)", "Frame3", "Option1", 120, 735, 240, 285, true},
        {"Option1(1)", "Frame3", "Option1", 1995, 705, 240, 285, true},
        {"Option2(0)", "Frame4", "Option2", 135, 675, 195, 210, true},
        {"Option2(1)", "Frame4", "Option2", 2115, 720, 195, 210, true},
        {"Option3(0)", "Frame5", "Option3", 135, 630, 180, 180, true},
        {"Option3(1)", "Frame5", "Option3", 2085, 660, 180, 180, true},
    };
    auto add = [](const char *prog, Program p, const Row &r) {
        QTest::addRow("%s %s", prog, r.name)
            << int(p) << QString::fromUtf8(r.name) << QString::fromUtf8(r.container)
            << QString::fromUtf8(r.caption) << QRect(r.left, r.top, r.width, r.height) << r.visible;
    };
    for (const Row &r : client)
        add("client", Program::Client, r);
    for (const Row &r : host)
        add("host", Program::Host, r);
    for (const Row &r : both) {
        add("client", Program::Client, r);
        add("host", Program::Host, r);
    }
}

void TestForm1::controls()
{
    QFETCH(int, program);
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, place);
    QFETCH(bool, visible);

    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    Form1 &f = rig->form;
    QWidget *w = control(f, name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget(), control(f, container));
    QCOMPARE(captionOf(w), caption);
    // Read as a screen reader reads it: the caption as the name, and the kind of control.
    QCOMPARE(accessibleText(w), caption);
    QCOMPARE(accessible(w)->role(), roleOf(name));
    QCOMPARE(w->geometry(), twips::rect(place.x(), place.y(), place.width(), place.height()));
    QCOMPARE(!w->isHidden(), visible);
}

void TestForm1::grids_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("frame");
    QTest::newRow("client own board") << int(Program::Client) << 1;
    QTest::newRow("client opponent board") << int(Program::Client) << 2;
    QTest::newRow("host own board") << int(Program::Host) << 1;
    QTest::newRow("host opponent board") << int(Program::Host) << 2;
}

void TestForm1::grids()
{
    QFETCH(int, program);
    QFETCH(int, frame);

    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    Form1 &f = rig->form;
    QRegion covered;
    int area = 0;
    for (int i = 0; i < 64; ++i) {
        CellButton *b = frame == 1 ? f.Command1(i) : f.Command3(i);
        QCOMPARE(b->parentWidget(), f.Frame(frame));
        const int r = i / 8, c = i % 8;
        QCOMPARE(b->geometry(), twips::rect(720 + 285 * c, 720 + 285 * r, 285, 285));
        QCOMPARE(b->text(), QString());
        QCOMPARE(b->isEnabled(), frame == 1);
        QCOMPARE(shown(b), colors::buttonFace());
        const QString board = frame == 1 ? QStringLiteral("自分の陣地") : QStringLiteral("相手の陣地");
        QCOMPARE(accessibleText(b), QStringLiteral("%1 %2行%3列").arg(board).arg(r + 1).arg(c + 1));
        QCOMPARE(accessibleText(b, QAccessible::Description), frame == 1 ? QStringLiteral("海") : QString());
        covered += b->geometry();
        area += b->width() * b->height();
    }
    // Square cells that tile one square with no gap and no overlap.
    const QRect square = covered.boundingRect();
    QCOMPARE(square.width(), square.height());
    QCOMPARE(f.Command1(0)->width(), f.Command1(0)->height());
    QCOMPARE(covered.rectCount(), 1);
    QCOMPARE(area, square.width() * square.height());
}

void TestForm1::shipPictures_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QPoint>("place"); // twips
    QTest::addColumn<QColor>("colour");

    struct Row
    {
        int index, frame, left, top;
        QColor colour;
    };
    const QColor white(0xFF, 0xFF, 0xFF), blue(0x00, 0x00, 0xFF), red(0xFF, 0x00, 0x00);
    const Row rows[] = {
        {0, 3, 975, 135, white},   {1, 3, 975, 435, white},   {2, 3, 975, 705, white},
        {3, 3, 975, 990, white},   {4, 3, 975, 1275, white},  {5, 3, 2265, 690, white},
        {6, 3, 3405, 690, white},  {7, 3, 2550, 690, white},  {8, 3, 2835, 690, white},
        {9, 3, 3120, 690, white},  {10, 4, 2865, 345, blue},  {11, 4, 2865, 630, blue},
        {12, 4, 2865, 915, blue},  {13, 4, 2865, 1200, blue}, {14, 4, 1560, 675, blue},
        {15, 4, 705, 675, blue},   {16, 4, 990, 675, blue},   {17, 4, 1275, 675, blue},
        {18, 5, 1005, 285, red},   {19, 5, 1005, 570, red},   {20, 5, 1005, 855, red},
        {21, 5, 3210, 600, red},   {22, 5, 2640, 600, red},   {23, 5, 2925, 600, red},
    };
    for (const char *prog : {"client", "host"})
        for (const Row &r : rows)
            QTest::addRow("%s Command4(%d)", prog, r.index)
                << int(qstrcmp(prog, "host") == 0 ? Program::Host : Program::Client) << r.index
                << r.frame << QPoint(r.left, r.top) << r.colour;
}

void TestForm1::shipPictures()
{
    QFETCH(int, program);
    QFETCH(int, index);
    QFETCH(int, frame);
    QFETCH(QPoint, place);
    QFETCH(QColor, colour);

    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    CellButton *b = rig->form.Command4(index);
    QCOMPARE(b->parentWidget(), rig->form.Frame(frame));
    QCOMPARE(b->geometry(), twips::rect(place.x(), place.y(), 285, 285));
    QVERIFY(!b->isEnabled());
    QCOMPARE(b->text(), QString());
    QCOMPARE(shown(b), colour);
    QCOMPARE(painted(b), colour);
    QCOMPARE(accessibleText(b), captionOf(rig->form.Frame(frame)));
}

void TestForm1::cellColours_data()
{
    QTest::addColumn<int>("cell");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("water shows the button face") << 63 << colors::buttonFace();
    QTest::newRow("large shows white") << 24 << QColor(0xFF, 0xFF, 0xFF);
    QTest::newRow("medium shows blue") << 3 << QColor(0x00, 0x00, 0xFF);
    QTest::newRow("small shows red") << 29 << QColor(0xFF, 0x00, 0x00);
}

void TestForm1::cellColours()
{
    QFETCH(int, cell);
    QFETCH(QColor, colour);

    auto rig = shownRig(Program::Host);
    QVERIFY(rig);
    placeFleet(*rig);
    QCOMPARE(shown(rig->form.Command1(cell)), colour);
    QCOMPARE(painted(rig->form.Command1(cell)), colour);
    // The opponent board never shows anything but the button face.
    QCOMPARE(painted(rig->form.Command3(cell)), colors::buttonFace());
}

void TestForm1::onlyShipSelectorHasTooltips_data()
{
    QTest::addColumn<int>("program");
    QTest::newRow("client") << int(Program::Client);
    QTest::newRow("host") << int(Program::Host);
}

void TestForm1::onlyShipSelectorHasTooltips()
{
    QFETCH(int, program);
    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    Form1 &f = rig->form;
    QCOMPARE(f.Option4(0)->toolTip(), QStringLiteral("ここにチェックを入れて、大潜水艦を設置します。"));
    QCOMPARE(f.Option4(1)->toolTip(), QStringLiteral("ここにチェックを入れて、中潜水艦を設置します。"));
    QCOMPARE(f.Option4(2)->toolTip(), QStringLiteral("ここにチェックを入れて、小潜水艦を設置します。"));
    QList<QWidget *> withTips;
    for (QWidget *w : f.findChildren<QWidget *>())
        if (!w->toolTip().isEmpty())
            withTips << w;
    QCOMPARE(withTips.size(), 3);
}

void TestForm1::captionsFitAndRender_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<QString>("name");
    for (const char *n : {"Frame1", "Frame2", "Frame3", "Frame4", "Frame5", "Frame6", "Option4(0)",
                          "Option4(1)", "Option4(2)", "Command5", "Label2"}) {
        QTest::addRow("client %s", n) << int(Program::Client) << QString::fromUtf8(n);
        QTest::addRow("host %s", n) << int(Program::Host) << QString::fromUtf8(n);
    }
    QTest::newRow("client Command2") << int(Program::Client) << QStringLiteral("Command2");
}

void TestForm1::captionsFitAndRender()
{
    QFETCH(int, program);
    QFETCH(QString, name);

    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    rig->model().command5Visible = true;
    rig->model().notify();
    QWidget *w = control(rig->form, name);
    QVERIFY(w);
    const QString caption = captionOf(w);
    QVERIFY2(fontCovers(w->font(), caption), qPrintable(QFontInfo(w->font()).family()));
    // The room the caption needs (an option item's includes its circle, a button's its
    // bevel, a frame's the indent before the caption), within the room the table gives.
    const QFontMetrics fm = w->fontMetrics();
    int needed = fm.horizontalAdvance(caption);
    if (qobject_cast<QRadioButton *>(w))
        needed = w->sizeHint().width();
    else if (qobject_cast<QPushButton *>(w))
        needed += 4;
    else if (qobject_cast<FrameBox *>(w))
        needed += 8 + 4;
    QVERIFY2(needed <= w->width(), qPrintable(QStringLiteral("%1 > %2").arg(needed).arg(w->width())));
    QVERIFY2(fm.height() <= w->height(), qPrintable(QStringLiteral("%1 > %2").arg(fm.height()).arg(w->height())));
}

void TestForm1::statusLabel_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<QString>("text");
    const char *texts[] = {
        "どこにも接続されていません",
        "相手からの接続を待っています",
        "255.255.255.255と接続されました\r\n潜水艦を配置しましょう",
        "相手の陣地の配置が完了しました。",
        "あなたのターンです。砲撃しましょう",
        "相手のターンです。",
    };
    for (const char *t : texts) {
        const QString text = QString::fromUtf8(t);
        const QByteArray name = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" / ")).toUtf8();
        QTest::addRow("client %s", name.constData()) << int(Program::Client) << text;
        QTest::addRow("host %s", name.constData()) << int(Program::Host) << text;
    }
}

void TestForm1::statusLabel()
{
    QFETCH(int, program);
    QFETCH(QString, text);

    auto rig = shownRig(Program(program));
    QVERIFY(rig);
    QLabel *label = rig->form.Label1();
    rig->model().Label1 = text;
    rig->model().notify();

    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QCOMPARE(label->text(), lines);
    QCOMPARE(accessibleText(label), lines);
    QCOMPARE(label->font().pointSizeF(), 14.25);
    QCOMPARE(label->font().families().first(), QStringLiteral("ＭＳ Ｐゴシック"));
    QVERIFY2(fontCovers(label->font(), text), qPrintable(QFontInfo(label->font()).family()));
    // Word-wrapped within its place, nothing cut off at the bottom.
    QVERIFY(label->wordWrap());
    QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
             qPrintable(QStringLiteral("%1 > %2").arg(label->heightForWidth(label->width())).arg(label->height())));
}

void TestForm1::statusFrameAndReconnectButton()
{
    auto client = shownRig(Program::Client);
    QVERIFY(client);
    Form1 &f = client->form;
    QVERIFY(!f.Frame(6)->isVisible());
    client->model().frame6Visible = true;
    client->model().notify();
    QVERIFY(f.Frame(6)->isVisible());
    QVERIFY(f.Command2()->isVisible());

    QSignalSpy clicked(&f, &Form1::command2Clicked);
    press(f.Command2());
    QCOMPARE(clicked.count(), 1);
    client->model().command2Caption = QStringLiteral("再接続");
    client->model().command2Visible = false;
    client->model().notify();
    QCOMPARE(f.Command2()->text(), QStringLiteral("再接続"));
    QVERIFY(!f.Command2()->isVisible());

    auto host = shownRig(Program::Host);
    QVERIFY(host);
    QVERIFY(host->form.Frame(6)->isVisible());
    QCOMPARE(host->form.Command2(), nullptr);
    QCOMPARE(host->form.Frame(6)->findChildren<QPushButton *>().size(), 0);
}

void TestForm1::repaintTouchesOnlyChangedCells()
{
    auto rig = shownRig(Program::Client);
    QVERIFY(rig);
    Form1 &f = rig->form;
    press(f.orientationItem(0, 1));
    hover(f.Command1(0));
    QCoreApplication::processEvents();

    PaintCounter counter;
    for (int i = 0; i < 64; ++i)
        f.Command1(i)->installEventFilter(&counter);
    // From 0..4 to 8..12: ten cells change.
    hover(f.Command1(8));
    QTRY_VERIFY(!counter.paints.isEmpty());
    QCoreApplication::processEvents();

    QList<int> repainted;
    for (int i = 0; i < 64; ++i)
        if (counter.paints.value(f.Command1(i)) > 0)
            repainted << i;
    QCOMPARE(repainted, run(0, 1, 5) + run(8, 1, 5));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
