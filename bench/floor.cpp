// The floor the game programs' start-up and memory are measured against: the least a
// Qt Widgets program must do to show a window of the same size holding the same number
// of push buttons. With --dialog it builds that window hidden and shows an input box
// first, as the client does with its address box.
//
//   floor WIDTH HEIGHT BUTTONS TITLE [--dialog DIALOG_TITLE]
#include <QApplication>
#include <QInputDialog>
#include <QPushButton>
#include <QWidget>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 5 && !(argc == 7 && std::strcmp(argv[5], "--dialog") == 0)) {
        std::fprintf(stderr, "usage: floor WIDTH HEIGHT BUTTONS TITLE [--dialog DIALOG_TITLE]\n");
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

    if (argc == 7) {
        QInputDialog dialog;
        dialog.setWindowTitle(QString::fromUtf8(argv[6]));
        dialog.setLabelText(QStringLiteral("Address"));
        if (dialog.exec() != QDialog::Accepted)
            return 0;
    }
    window.show();
    return app.exec();
}
