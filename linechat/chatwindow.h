// pellu's one window: a line chat test client for whatever listens on port 1020 of this
// machine. It sends each typed line as name, "＞", line and CR LF in Shift-JIS, and
// appends whatever arrives to its log unchanged, keeping the newest 4096 characters.
// The peer's address and port are fixed in the program and given here so that tests
// can talk to a server of their own.
#pragma once

#include <QString>
#include <QStringDecoder>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Winsock;

class ChatWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr quint16 peerPort = 1020;
    static constexpr int logLimit = 4096;
    static QString peerAddress() { return QStringLiteral("127.0.0.1"); }

    explicit ChatWindow(QString address = peerAddress(), quint16 port = peerPort,
                        QWidget *parent = nullptr);

    // The log as received, CR LF included; Text1 shows it with CR LF as line breaks.
    const QString &logText() const { return m_log; }

    QPlainTextEdit *Text1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtName = nullptr;
    QLineEdit *Text2 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command1 = nullptr;
    Winsock *Winsock1 = nullptr;

private:
    void Command2_Click();
    void Command1_Click();
    void Winsock1_DataArrival();
    void Winsock1_Close();

    void appendToLog(const QString &text);
    void appendLine(const QString &line);

    const QString m_address;
    const quint16 m_port;
    QString m_log;
    // One per connection: a double-byte character cut between two reads waits here for
    // its second byte, and nothing of one connection leaks into the next. Made afresh in
    // place: a converter assigned over another loses its error state in Qt 6.4.
    std::optional<QStringDecoder> m_decoder;
};
