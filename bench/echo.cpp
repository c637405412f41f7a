// The floor for the shot latency: a plain TCP echo server on the loopback that sends
// back every byte it receives, with blocking I/O and nothing else in the way. It
// prints the port it listens on, then serves one caller after another until killed.
//
//   echo [PORT]    (0 or nothing: any free port)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(argc > 1 ? std::atoi(argv[1]) : 0);
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || listen(listener, 4) != 0) {
        std::perror("echo");
        return 1;
    }
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);

    for (;;) {
        const int peer = accept(listener, nullptr, nullptr);
        if (peer < 0)
            continue;
        setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        char buffer[4096];
        for (ssize_t n; (n = read(peer, buffer, sizeof buffer)) > 0;) {
            for (ssize_t sent = 0; sent < n;) {
                const ssize_t w = write(peer, buffer + sent, n - sent);
                if (w <= 0)
                    break;
                sent += w;
            }
        }
        close(peer);
    }
}
