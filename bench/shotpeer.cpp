// A scripted opponent for the shot latency: connects on the loopback to the game host
// and to the echo server, reads the host's greeting, then fires shots one at a time,
// turn about at the host and at the echo server, and times each answer from just
// before the shot is written until the whole answer has been read. Blocking I/O, one
// shot in flight, so every figure is one full round trip; taking turns puts both
// under the same load of a shared machine.
//
//   shotpeer COUNT GAME_PORT ECHO_PORT [PAUSE_US]
//
// PAUSE_US (default 0) is a pause before each pair of shots.
// Shots go to the cells 0..63 in turn, skipping any cell that has answered "3a" once,
// so that the host never loses its whole fleet and keeps answering. The echo server
// is expected to send the shot back. The first 50 shots at each warm up and are not
// counted. Prints two lines, "game ..." and "echo ...", each
// "n=N p50_us=F p99_us=F max_us=F hits=N".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int warmUp = 50;
const std::string greeting = "0hello";

bool readExactly(int fd, char *into, std::size_t count)
{
    for (std::size_t got = 0; got < count;) {
        const ssize_t n = read(fd, into + got, count - got);
        if (n <= 0)
            return false;
        got += std::size_t(n);
    }
    return true;
}

bool writeAll(int fd, const std::string &text)
{
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t n = write(fd, text.data() + sent, text.size() - sent);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

int connectTo(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A side that stops answering ends the run instead of hanging it.
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One round trip: the shot out, the answer in. Returns microseconds, or -1.
double roundTrip(int fd, const std::string &shot, std::string &answer)
{
    const auto start = std::chrono::steady_clock::now();
    if (!writeAll(fd, shot) || !readExactly(fd, answer.data(), answer.size()))
        return -1;
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(end - start).count();
}

void report(const char *name, std::vector<double> times, int hits)
{
    std::sort(times.begin(), times.end());
    const auto at = [&](double p) {
        return times[std::min(times.size() - 1, std::size_t(p * double(times.size())))];
    };
    std::printf("%s n=%zu p50_us=%.1f p99_us=%.1f max_us=%.1f hits=%d\n", name, times.size(),
                at(0.50), at(0.99), times.back(), hits);
}

int fail(const std::string &what)
{
    std::fprintf(stderr, "shotpeer: %s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4 && argc != 5)
        return fail("usage: shotpeer COUNT GAME_PORT ECHO_PORT [PAUSE_US]");
    const std::chrono::microseconds pause(argc == 5 ? std::atoi(argv[4]) : 0);
    const int count = std::atoi(argv[1]);
    if (count < 1)
        return fail("COUNT must be at least 1");
    const int game = connectTo(std::atoi(argv[2]));
    const int echo = connectTo(std::atoi(argv[3]));
    if (game < 0 || echo < 0)
        return fail("cannot connect");
    std::string got(greeting.size(), '\0');
    if (!readExactly(game, got.data(), got.size()) || got != greeting)
        return fail("no greeting from the host");

    std::array<bool, 64> hit{};
    std::vector<double> gameTimes, echoTimes;
    gameTimes.reserve(std::size_t(count));
    echoTimes.reserve(std::size_t(count));
    int hits = 0;
    int cell = 0;
    for (int shot = 0; shot < warmUp + count; ++shot) {
        while (hit[std::size_t(cell)])
            cell = (cell + 1) % 64;
        const std::string message = "2" + std::to_string(cell);
        if (pause.count() > 0)
            std::this_thread::sleep_for(pause);

        std::string answer(2, '\0');
        const double g = roundTrip(game, message, answer);
        if (g < 0)
            return fail("the host stopped answering");
        if (answer == "3a") {
            hit[std::size_t(cell)] = true;
            if (++hits == 12)
                return fail("twelve hits: the host has lost and stops answering");
        } else if (answer != "3b") {
            return fail("unexpected answer from the host: " + answer);
        }

        std::string echoed(message.size(), '\0');
        const double e = roundTrip(echo, message, echoed);
        if (e < 0 || echoed != message)
            return fail("the echo server stopped answering");

        if (shot >= warmUp) {
            gameTimes.push_back(g);
            echoTimes.push_back(e);
        }
        cell = (cell + 1) % 64;
    }
    close(game);
    close(echo);
    report("game", gameTimes, hits);
    report("echo", echoTimes, 0);
    return 0;
}
