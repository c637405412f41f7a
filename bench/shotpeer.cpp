// A scripted opponent for the shot latency: connects to a port on the loopback, reads
// the greeting, then fires shots one at a time and times each answer, from just
// before the shot is written until the whole answer has been read. Blocking I/O, one
// shot in flight, so every figure is one full round trip.
//
//   shotpeer PORT COUNT [--greeting TEXT] [--echo]
//
// Shots go to the cells 0..63 in turn, skipping any cell that has answered "3a" once,
// so that the opponent never loses its whole fleet and keeps answering. With --echo
// the answer expected is the shot itself (for the echo server). The first 50 shots
// warm up and are not counted. Prints one line:
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
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int warmUp = 50;

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

double percentile(const std::vector<double> &sorted, double p)
{
    const std::size_t at = std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())));
    return sorted[at];
}

int fail(const char *what)
{
    std::fprintf(stderr, "shotpeer: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return fail("usage: shotpeer PORT COUNT [--greeting TEXT] [--echo]");
    const int port = std::atoi(argv[1]);
    const int count = std::atoi(argv[2]);
    std::string greeting;
    bool echo = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--greeting") == 0 && i + 1 < argc)
            greeting = argv[++i];
        else if (std::strcmp(argv[i], "--echo") == 0)
            echo = true;
        else
            return fail("unknown argument");
    }
    if (count < 1)
        return fail("COUNT must be at least 1");

    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // An opponent that stops answering ends the run instead of hanging it.
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return fail("cannot connect");

    if (!greeting.empty()) {
        std::string got(greeting.size(), '\0');
        if (!readExactly(fd, got.data(), got.size()) || got != greeting)
            return fail("no greeting");
    }

    std::array<bool, 64> hit{};
    std::vector<double> times;
    times.reserve(std::size_t(count));
    int hits = 0;
    int cell = 0;
    for (int shot = 0; shot < warmUp + count; ++shot) {
        while (hit[std::size_t(cell)])
            cell = (cell + 1) % 64;
        const std::string message = "2" + std::to_string(cell);
        std::string answer(echo ? message.size() : 2, '\0');
        const auto start = std::chrono::steady_clock::now();
        if (!writeAll(fd, message) || !readExactly(fd, answer.data(), answer.size()))
            return fail("the opponent stopped answering");
        const auto end = std::chrono::steady_clock::now();
        if (echo ? answer != message : answer != "3a" && answer != "3b")
            return fail(("unexpected answer " + answer).c_str());
        if (!echo && answer == "3a") {
            hit[std::size_t(cell)] = true;
            if (++hits == 12)
                return fail("twelve hits: the opponent has lost and stops answering");
        }
        if (shot >= warmUp)
            times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        cell = (cell + 1) % 64;
    }
    close(fd);

    std::sort(times.begin(), times.end());
    std::printf("n=%zu p50_us=%.1f p99_us=%.1f max_us=%.1f hits=%d\n", times.size(),
                percentile(times, 0.50), percentile(times, 0.99), times.back(), hits);
    return 0;
}
