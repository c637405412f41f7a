// The exit of the socket tests: closes the program's sockets as the process's end would.
#include "closingexit.h"

#include "client/client.h"
#include "host/host.h"

void ClosingExit::End(int status)
{
    ++calls;
    this->status = status;
    if (boxAnswered.isValid())
        msFromAnswerToEnd = boxAnswered.elapsed();
    if (m_close)
        m_close();
}

void ClosingExit::closes(Host &host)
{
    m_close = [&host] {
        for (Winsock &s : host.sckTrans)
            s.Close();
        host.sckListen.Close();
    };
}

void ClosingExit::closes(Client &client)
{
    m_close = [&client] { client.Winsock1.Close(); };
}
