// Building the game window from its control table, mirroring the model, and the thin
// handlers that turn window events into calls of the Game.
#include "core/form1.h"

#include "core/cellbutton.h"
#include "core/framebox.h"
#include "core/game.h"
#include "core/layout.h"
#include "core/optionitem.h"
#include "core/texts.h"
#include "platform/colors.h"
#include "platform/fonts.h"
#include "platform/twips.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace {

QColor colorOf(CellCode code)
{
    switch (code) {
    case CellCode::clrLarge:
        return colors::large();
    case CellCode::clrMedium:
        return colors::medium();
    case CellCode::clrSmall:
        return colors::small();
    case CellCode::clrWater:
        break;
    }
    return colors::buttonFace();
}

const QString &shipName(CellCode code)
{
    switch (code) {
    case CellCode::clrLarge:
        return texts::large;
    case CellCode::clrMedium:
        return texts::medium;
    case CellCode::clrSmall:
        return texts::small;
    case CellCode::clrWater:
        break;
    }
    return texts::water;
}

QString markName(const QString &mark)
{
    if (mark == marks::hit)
        return texts::hitMark;
    if (mark == marks::miss)
        return texts::missMark;
    return mark;
}

// What a cell holds, for assistive technology; the widget announces a change itself.
void describe(CellButton *b, const QString &state)
{
    if (b->accessibleDescription() != state)
        b->setAccessibleDescription(state);
}

// The status texts break lines with CR LF.
QString labelText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

void place(QWidget *w, const Place &p)
{
    w->setGeometry(p.pixels());
}

bool isArrow(int qtKey)
{
    return qtKey == Qt::Key_Left || qtKey == Qt::Key_Right || qtKey == Qt::Key_Up || qtKey == Qt::Key_Down;
}

// The cell an arrow key takes the cursor to: one step, or none at the edge it points at.
int moved(int index, int qtKey)
{
    const int r = cell::row(index), c = cell::column(index);
    switch (qtKey) {
    case Qt::Key_Left:
        return cell::index(r, std::max(c - 1, 0));
    case Qt::Key_Right:
        return cell::index(r, std::min(c + 1, 7));
    case Qt::Key_Up:
        return cell::index(std::max(r - 1, 0), c);
    case Qt::Key_Down:
        return cell::index(std::min(r + 1, 7), c);
    default:
        return index;
    }
}

} // namespace

Form1::Form1(Game &game, QWidget *parent) : QWidget(parent), m_game(game)
{
    const Layout &l = layout::of(game.model().program());
    setWindowTitle(l.caption);
    setFont(fonts::window());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colors::buttonFace());
    setPalette(pal);
    setAutoFillBackground(true);

    // Created first, so that it is first in the tab order.
    m_aaa = new QPushButton(QStringLiteral("Command6"), this);
    place(m_aaa, l.Aaa);

    buildFrames(l);
    buildOwnBoard(l);
    buildOpponentBoard();
    buildPictures(l);
    buildStatus(l);

    m_label2 = new QLabel(QStringLiteral("Escボタンで終了"), this);
    place(m_label2, l.Label2);

    setFixedSize(twips::toPixels(l.clientWidth), twips::toPixels(l.clientHeight));
    move(0, 0);
    m_aaa->setFocus();

    connect(&game.model(), &GameModel::changed, this, &Form1::refresh);
    connect(&game.model(), &GameModel::focusToAaa, m_aaa, [this] { m_aaa->setFocus(); });
    // The keyboard has gone to another control of the window (Tab): the board is not
    // where the keys act any more.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && now != m_aaa && now->window() == this)
            showCursor(false);
    });
    qApp->installEventFilter(this);
    refresh();
}

void Form1::buildFrames(const Layout &l)
{
    const std::array<std::pair<const QString &, Place>, 6> frames{{
        {texts::ownBoard, l.Frame1}, {texts::opponentBoard, l.Frame2}, {texts::large, l.Frame3},
        {texts::medium, l.Frame4},   {texts::small, l.Frame5},         {texts::status, l.Frame6},
    }};
    for (std::size_t n = 0; n < frames.size(); ++n) {
        m_frames[n] = new FrameBox(frames[n].first, this);
        place(m_frames[n], frames[n].second);
    }
    // Only the host reacts to the pointer over the own board's margin.
    if (m_game.model().isHost())
        connect(Frame(1), &FrameBox::mouseMovedOverSelf, this, [this] { m_game.frame1MouseMove(); });
}

void Form1::buildOwnBoard(const Layout &l)
{
    for (int i = 0; i < cell::count; ++i) {
        auto *b = new CellButton(Frame(1));
        b->setAccessibleName(texts::cellName(texts::ownBoard, cell::row(i), cell::column(i)));
        place(b, layout::cell(i));
        connect(b, &CellButton::mouseMoved, this, [this, i] { m_game.ownCellMouseMove(i); });
        connect(b, &CellButton::mouseDown, this, [this, i] { m_game.ownCellMouseDown(i); });
        m_command1[i] = b;
    }
    const std::array<const char *, 3> captions{"大を配置", "中を配置", "小を配置"};
    const std::array<const char *, 3> tips{"ここにチェックを入れて、大潜水艦を設置します。",
                                           "ここにチェックを入れて、中潜水艦を設置します。",
                                           "ここにチェックを入れて、小潜水艦を設置します。"};
    for (int item = 0; item < 3; ++item) {
        auto *o = new OptionItem(QString::fromUtf8(captions[item]), Frame(1));
        o->setToolTip(QString::fromUtf8(tips[item]));
        place(o, l.Option4[item]);
        connect(o, &OptionItem::clicked, this, [this, item] { m_game.option4Click(item); });
        m_option4[item] = o;
    }
    m_command5 = new QPushButton(QStringLiteral("配置完了"), Frame(1));
    place(m_command5, l.Command5);
    connect(m_command5, &QPushButton::clicked, this, [this] { m_game.command5Click(); });
}

void Form1::buildOpponentBoard()
{
    for (int i = 0; i < cell::count; ++i) {
        auto *b = new CellButton(Frame(2));
        b->setAccessibleName(texts::cellName(texts::opponentBoard, cell::row(i), cell::column(i)));
        b->setColor(colors::buttonFace());
        place(b, layout::cell(i));
        connect(b, &CellButton::clicked, this, [this, i] { m_game.command3Click(i); });
        m_command3[i] = b;
    }
}

void Form1::buildPictures(const Layout &l)
{
    for (std::size_t i = 0; i < l.Command4.size(); ++i) {
        const PictureCell &pc = l.Command4[i];
        auto *b = new CellButton(Frame(pc.frame));
        b->setColor(colorOf(pc.code));
        b->setAccessibleName(shipName(pc.code));
        b->setEnabled(false);
        place(b, pc.place);
        m_command4[i] = b;
    }
    // The captions are cut off to the circle; the description says what each item
    // chooses. Item 0 is vertical for the large and the small submarine, horizontal for
    // the medium one.
    const std::array<std::array<const QString *, 2>, 3> orientations{{
        {&texts::vertical, &texts::horizontal},
        {&texts::horizontal, &texts::vertical},
        {&texts::vertical, &texts::horizontal},
    }};
    for (int selector = 0; selector < 3; ++selector) {
        for (int item = 0; item < 2; ++item) {
            auto *o = new OptionItem(QStringLiteral("Option%1").arg(selector + 1), Frame(3 + selector));
            o->setAccessibleDescription(*orientations[selector][item]);
            place(o, l.orientation[selector][item]);
            connect(o, &OptionItem::clicked, this,
                    [this, selector, item] { m_game.orientationClick(selector, item); });
            m_orientation[selector][item] = o;
        }
    }
}

void Form1::buildStatus(const Layout &l)
{
    m_label1 = new QLabel(Frame(6));
    m_label1->setFont(fonts::statusLabel());
    m_label1->setTextFormat(Qt::PlainText);
    m_label1->setWordWrap(true);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(m_label1, l.Label1);
    // Created after the label, which it overlaps: a button stands above a label.
    if (l.Command2) {
        m_command2 = new QPushButton(Frame(6));
        place(m_command2, *l.Command2);
        connect(m_command2, &QPushButton::clicked, this, &Form1::command2Clicked);
    }
}

void Form1::moveAaaOutOfSight()
{
    // One twip rounds to no pixel at all; the holder keeps one pixel so that it stays
    // a real widget that can hold the focus.
    QRect r = layout::aaaOutOfSight.pixels();
    r.setSize(r.size().expandedTo(QSize(1, 1)));
    m_aaa->setGeometry(r);
}

void Form1::takeStartPositions()
{
    moveAaaOutOfSight();
    move(0, 0);
}

void Form1::refresh()
{
    const GameModel &m = m_game.model();
    // The model changes a cell or two at a time (a shot, its answer) but tells of every
    // change: only the cells that differ from what is shown are worked on.
    for (int i = 0; i < cell::count; ++i) {
        if (!m_shownOwn[i] || *m_shownOwn[i] != m.Command1[i]) {
            CellButton *own = m_command1[i];
            own->setColor(colorOf(m.Command1[i].code));
            own->setText(m.Command1[i].mark);
            own->setEnabled(m.Command1[i].enabled);
            const QString ownMark = markName(m.Command1[i].mark);
            describe(own, ownMark.isEmpty()
                              ? shipName(m.Command1[i].code)
                              : shipName(m.Command1[i].code) + QStringLiteral("、") + ownMark);
            m_shownOwn[i] = m.Command1[i];
        }
        if (!m_shownOpponent[i] || *m_shownOpponent[i] != m.Command3[i]) {
            CellButton *opp = m_command3[i];
            opp->setText(m.Command3[i].mark);
            opp->setEnabled(m.Command3[i].enabled);
            describe(opp, markName(m.Command3[i].mark));
            m_shownOpponent[i] = m.Command3[i];
        }
    }
    for (int item = 0; item < 3; ++item) {
        m_option4[item]->setChecked(m.Option4[item]);
        m_option4[item]->setVisible(m.option4Visible);
    }
    for (int selector = 0; selector < 3; ++selector)
        for (int item = 0; item < 2; ++item)
            m_orientation[selector][item]->setChecked(m.orientation[selector] == item);
    m_command5->setVisible(m.command5Visible);
    if (m_command2) {
        m_command2->setText(m.command2Caption);
        m_command2->setVisible(m.command2Visible);
    }
    Frame(6)->setVisible(m.frame6Visible);
    m_label1->setText(labelText(m.Label1));
    if (m_framed && m_framed != cursorCell())
        showCursor(false);
}

int Form1::cursorGrid() const
{
    const QString &phase = m_game.model().sPhase;
    if (phase == texts::phasePlacement)
        return 0;
    if (phase == texts::phaseGame)
        return 1;
    return -1;
}

CellButton *Form1::cursorCell() const
{
    const int grid = cursorGrid();
    if (grid < 0)
        return nullptr;
    return (grid == 0 ? m_command1 : m_command3).at(m_cursorIndex.at(grid));
}

void Form1::showCursor(bool shown)
{
    m_cursorShown = shown;
    CellButton *now = shown ? cursorCell() : nullptr;
    if (now == m_framed)
        return;
    if (m_framed)
        m_framed->setCursorShown(false);
    m_framed = now;
    if (m_framed)
        m_framed->setCursorShown(true);
}

bool Form1::cursorKey(int qtKey)
{
    const bool act = qtKey == Qt::Key_Space || qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter;
    const int grid = cursorGrid();
    // Space and Return still press a button that Tab has reached.
    if (grid < 0 || !(isArrow(qtKey) || (act && focusWidget() == m_aaa)))
        return false;
    m_aaa->setFocus();
    const bool wasShown = m_cursorShown;
    int &index = m_cursorIndex.at(grid);
    if (wasShown)
        index = moved(index, qtKey);
    showCursor(true);
    if (grid == 0)
        m_game.ownCellMouseMove(index);
    if (wasShown && act) {
        if (grid == 0)
            m_game.ownCellMouseDown(index);
        else
            m_game.command3Click(index);
    }
    return true;
}

int Form1::keyCodeOf(int qtKey)
{
    // Only Esc means anything to the game; other keys pass with Qt's code.
    return qtKey == Qt::Key_Escape ? 27 : qtKey;
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (!watched->isWidgetType())
        return false;
    auto *w = static_cast<QWidget *>(watched);
    if (event->type() == QEvent::MouseButtonPress && w->window() == this)
        showCursor(false);
    if (event->type() != QEvent::KeyPress)
        return false;
    // A key press travels from the focused control up through its parents, passing the
    // application's filters at each step; only the first step counts.
    QWidget *first = focusWidget() ? focusWidget() : this;
    if (w != first || w->window() != this || QApplication::activeModalWidget())
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    m_game.keyDown(keyCodeOf(key));
    return cursorKey(key);
}
