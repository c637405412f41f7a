#include "linechat/chatwindow.h"

#include "platform/fonts.h"
#include "platform/twips.h"
#include "platform/winsock.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

const QString connectCaption = QStringLiteral("接続！");
const QString endCaption = QStringLiteral("終了！");
const QString crLf = QStringLiteral("\r\n");

// Keeps the newest `limit` characters. A character outside the BMP is one character
// though it takes two UTF-16 units, and is never cut in half.
QString newest(const QString &text, int limit)
{
    qsizetype cut = text.size();
    for (int kept = 0; cut > 0 && kept < limit; ++kept) {
        --cut;
        if (cut > 0 && text.at(cut).isLowSurrogate() && text.at(cut - 1).isHighSurrogate())
            --cut;
    }
    return text.mid(cut);
}

QByteArray shiftJis(const QString &text)
{
    QStringEncoder whole("Shift_JIS");
    const QByteArray bytes = whole.encode(text);
    if (!whole.hasError())
        return bytes;
    // A character Shift-JIS cannot hold goes out as "?", as the Windows code page does,
    // instead of the converter's own substitute bytes.
    QByteArray out;
    for (qsizetype i = 0; i < text.size();) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size()
            && text.at(i + 1).isLowSurrogate();
        const qsizetype n = pair ? 2 : 1;
        QStringEncoder one("Shift_JIS");
        const QByteArray encoded = one.encode(QStringView(text).mid(i, n));
        out += one.hasError() ? QByteArray("?") : encoded;
        i += n;
    }
    return out;
}

} // namespace

ChatWindow::ChatWindow(QString address, quint16 port, QWidget *parent)
    : QWidget(parent), m_address(std::move(address)), m_port(port)
{
    setWindowTitle(QStringLiteral("trelvin"));
    setFont(fonts::window());
    setFixedSize(twips::toPixels(6630), twips::toPixels(4650));

    Text1 = new QPlainTextEdit(this);
    Text1->setGeometry(twips::rect(0, 0, 6615, 3315));
    // The log shows what arrived; typing into it would be lost at the next arrival.
    Text1->setReadOnly(true);
    Text1->setTabChangesFocus(true);
    Text1->setFocusPolicy(Qt::StrongFocus);

    Label1 = new QLabel(QStringLiteral("お名前"), this);
    Label1->setGeometry(twips::rect(60, 3360, 525, 180));
    txtName = new QLineEdit(QStringLiteral("trelvin"), this);
    txtName->setGeometry(twips::rect(780, 3360, 1995, 225));
    Text2 = new QLineEdit(this);
    Text2->setGeometry(twips::rect(60, 3600, 6495, 255));
    Command2 = new QPushButton(connectCaption, this);
    Command2->setGeometry(twips::rect(60, 3900, 1215, 495));
    Command1 = new QPushButton(QStringLiteral("発射"), this);
    Command1->setGeometry(twips::rect(5340, 3900, 1215, 495));
    Winsock1 = new Winsock(this);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Text2);
    setTabOrder(Text2, Command2);
    setTabOrder(Command2, txtName);
    Text1->setFocus();

    connect(Command2, &QPushButton::clicked, this, &ChatWindow::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &ChatWindow::Command1_Click);
    // Enter in the line box presses the send button.
    connect(Text2, &QLineEdit::returnPressed, Command1, &QPushButton::click);
    connect(Winsock1, &Winsock::DataArrival, this, &ChatWindow::Winsock1_DataArrival);
    connect(Winsock1, &Winsock::Closed, this, &ChatWindow::Winsock1_Close);
}

void ChatWindow::Command2_Click()
{
    if (Command2->text() == connectCaption) {
        Command2->setText(endCaption);
        Winsock1->setRemoteHost(m_address);
        Winsock1->setRemotePort(m_port);
        m_decoder.emplace("Shift_JIS");
        try {
            Winsock1->Connect();
        } catch (const WinsockError &) {
            // Nothing is pending, so the button goes back to connecting.
            Command2->setText(connectCaption);
            appendLine(
                QStringLiteral("%1 のポート %2 に接続できませんでした。").arg(m_address).arg(m_port));
        }
    } else {
        Command2->setText(connectCaption);
        Winsock1->Close();
        Winsock1->setLocalPort(0);
    }
}

void ChatWindow::Command1_Click()
{
    if (Winsock1->State() == Winsock::sckConnected) {
        Winsock1->SendData(
            shiftJis(txtName->text() + QStringLiteral("＞") + Text2->text() + crLf));
        Text2->clear();
    } else {
        // The typed line stays in the box, to be sent once connected.
        appendLine(QStringLiteral("接続していないので送信できません。"));
    }
    Text2->setFocus();
}

void ChatWindow::Winsock1_DataArrival()
{
    const QByteArray bytes = Winsock1->GetData();
    if (m_decoder)
        appendToLog(m_decoder->decode(bytes));
}

void ChatWindow::Winsock1_Close()
{
    Command2->setText(connectCaption);
    Winsock1->Close();
    Winsock1->setLocalPort(0);
    appendLine(QStringLiteral("サーバから切断されました"));
}

void ChatWindow::appendToLog(const QString &text)
{
    m_log = newest(m_log + text, logLimit);
    // A CR LF is one line break on screen. A lone CR or LF breaks the line too.
    Text1->setPlainText(QString(m_log).replace(crLf, QStringLiteral("\n")));
    Text1->moveCursor(QTextCursor::End);
}

void ChatWindow::appendLine(const QString &line)
{
    // The window's own notes follow what arrived directly, with no line end put in
    // before them: the log shows the peer's bytes as they came, so a line end in it is
    // always one the peer sent. Each note ends its own line.
    appendToLog(line + crLf);
}
