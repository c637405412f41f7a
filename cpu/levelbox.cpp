#include "cpu/levelbox.h"

#include "cpu/cputexts.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

std::optional<Strategy::Level> askLevel()
{
    QDialog box;
    box.setWindowTitle(cputexts::chooserTitle);
    auto *layout = new QVBoxLayout(&box);
    layout->addWidget(new QLabel(cputexts::chooserPrompt, &box));
    auto *buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    std::optional<Strategy::Level> chosen;
    for (Strategy::Level level : {Strategy::Level::Weak, Strategy::Level::Normal, Strategy::Level::Strong}) {
        auto *button = new QPushButton(cputexts::levelName(level), &box);
        buttons->addWidget(button);
        if (level == Strategy::Level::Normal)
            button->setDefault(true);
        QObject::connect(button, &QPushButton::clicked, &box, [&box, &chosen, level] {
            chosen = level;
            box.accept();
        });
    }
    box.exec();
    return chosen;
}
