#include "core/gamemodel.h"

#include <algorithm>

GameModel::GameModel(Program program, QObject *parent) : QObject(parent), m_program(program)
{
    if (program == Program::Client) {
        command2Caption = QStringLiteral("ここをクリックして再接続してください");
        Label1 = QStringLiteral("どこにも接続されていません");
        frame6Visible = false;
    } else {
        command2Visible = false;
        Label1 = QStringLiteral("相手からの接続を待っています");
        frame6Visible = true;
    }
}

int GameModel::selectedShip() const
{
    for (int i = 0; i < 3; ++i)
        if (Option4[i])
            return i;
    return -1;
}

void GameModel::selectShip(int item)
{
    for (int i = 0; i < 3; ++i)
        Option4[i] = (i == item);
}

int GameModel::waterCount() const
{
    return int(std::count_if(Command1.begin(), Command1.end(),
                             [](const OwnCell &c) { return c.code == CellCode::clrWater; }));
}

int GameModel::hitCount() const
{
    return int(std::count_if(Command1.begin(), Command1.end(),
                             [](const OwnCell &c) { return c.mark == marks::hit; }));
}
