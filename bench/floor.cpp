// The floor the game programs' start-up and memory are measured against: the least a
// Qt Widgets program must do to show a window of the same size holding the same number
// of push buttons. With --dialog it builds that window hidden and shows an input box
// first, as the client does with its address box. With --japanese it also shows one
// line of Japanese text, which costs a CJK font that the plain floor never loads.
//
//   floor WIDTH HEIGHT BUTTONS TITLE [--japanese] [--dialog DIALOG_TITLE]
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <optional>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    bool japanese = false;
    std::optional<QString> dialogTitle;
    bool usage = argc < 5;
    for (int i = 5; i < argc && !usage; ++i) {
        if (std::strcmp(argv[i], "--japanese") == 0)
            japanese = true;
        else if (std::strcmp(argv[i], "--dialog") == 0 && i + 1 < argc)
            dialogTitle = QString::fromUtf8(argv[++i]);
        else
            usage = true;
    }
    if (usage) {
        std::fprintf(stderr, "usage: floor WIDTH HEIGHT BUTTONS TITLE [--japanese] [--dialog DIALOG_TITLE]\n");
        return 2;
    }
    const int width = QByteArray(argv[1]).toInt();
    const int height = QByteArray(argv[2]).toInt();
    const int buttons = QByteArray(argv[3]).toInt();

    QWidget window;
    window.setWindowTitle(QString::fromUtf8(argv[4]));
    window.setFixedSize(width, height);
    // Laid out in rows of 16 squares of 19 pixels, about the size of the game's cells.
    for (int i = 0; i < buttons; ++i) {
        auto *b = new QPushButton(&window);
        b->setGeometry(8 + (i % 16) * 20, 8 + (i / 16) * 20, 19, 19);
    }
    const QString text = japanese ? QStringLiteral("相手からの接続を待っています") : QStringLiteral("Waiting");
    auto *label = new QLabel(text, &window);
    label->setGeometry(8, height - 40, 400, 24);

    if (dialogTitle) {
        QInputDialog dialog;
        dialog.setWindowTitle(*dialogTitle);
        dialog.setLabelText(text);
        if (dialog.exec() != QDialog::Accepted)
            return 0;
    }
    window.show();
    return app.exec();
}
