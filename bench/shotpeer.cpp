// A scripted opponent for the shot latency: connects on the loopback to the game host
// and to the echo server, reads the host's greeting and starts play as a client would
// (it waits for the host's placement notice, sends its own, and reads the host's draw
// of who fires first), then fires shots one at a time, turn about at the host and at
// the echo server, and times each answer from just before the shot is written until
// the whole answer has been read. Blocking I/O, one shot in flight, so every figure is
// one full round trip; taking turns puts both under the same load of a shared machine.
// A host drops shots outside play, which is why play must have started.
//
//   shotpeer COUNT GAME_PORT ECHO_PORT GAME_PID ECHO_PID
//
// Says "greeted" on a line of its own once the host has greeted it: then the host's
// fleet is to be placed and confirmed (it waits 60 s at most for that).
// Shots go to the cells 0..63 in turn, skipping any cell that has answered "3a" once;
// after eleven hits only cells known to be water, so that the host never loses its
// whole fleet and keeps answering. The echo server is expected to send the shot back.
// The first 50 shots at each warm up and are not counted. The CPU time of the two
// processes (all threads, from /proc/PID/task/*/schedstat) is read around the counted
// shots. Prints two lines, "game ..." and "echo ...", each
// "n=N p50_us=F p99_us=F max_us=F hits=N cpu_us=F" (cpu_us: CPU time per shot).
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
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int warmUp = 50;
const std::string greeting = "0hello";
const std::string placed = "1\x94\x7a\x92\x75\x8a\xae\x97\xb9"; // 1配置完了 in Shift-JIS

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

void setReadLimit(int fd, int seconds)
{
    timeval limit{seconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

// Nanoseconds on the CPU of every thread of process `pid` so far; -1 if it is gone.
long long cpuNs(int pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = opendir(tasks.c_str());
    if (!dir)
        return -1;
    long long total = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
        long long ns = 0;
        if (stat >> ns)
            total += ns;
    }
    closedir(dir);
    return total;
}

int connectTo(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A side that stops answering ends the run instead of hanging it.
    setReadLimit(fd, 5);
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

void report(const char *name, std::vector<double> times, int hits, long long cpuNs)
{
    std::sort(times.begin(), times.end());
    const auto at = [&](double p) {
        return times[std::min(times.size() - 1, std::size_t(p * double(times.size())))];
    };
    std::printf("%s n=%zu p50_us=%.1f p99_us=%.1f max_us=%.1f hits=%d cpu_us=%.1f\n", name,
                times.size(), at(0.50), at(0.99), times.back(), hits,
                double(cpuNs) / 1000.0 / double(times.size()));
}

enum class Known { Unknown, Water, Hit };

// The first cell from `from` on (round the board) that may be fired at: never a known
// hit, and after eleven hits only known water, since the twelfth would sink the fleet
// and end play. -1 if there is none.
int nextCell(const std::array<Known, 64> &known, int from, int hits)
{
    for (int i = 0; i < 64; ++i) {
        const Known k = known[std::size_t((from + i) % 64)];
        if (k == Known::Water || (k == Known::Unknown && hits < 11))
            return (from + i) % 64;
    }
    return -1;
}

// The greeting, then the start of play: the host's placement notice (its player places
// the fleet meanwhile), ours, and the host's draw ("1k" or "1s").
bool startPlay(int game)
{
    std::string got(greeting.size(), '\0');
    if (!readExactly(game, got.data(), got.size()) || got != greeting)
        return false;
    std::printf("greeted\n");
    std::fflush(stdout);
    setReadLimit(game, 60);
    got.assign(placed.size(), '\0');
    if (!readExactly(game, got.data(), got.size()) || got != placed)
        return false;
    setReadLimit(game, 5);
    got.assign(2, '\0');
    if (!writeAll(game, placed) || !readExactly(game, got.data(), got.size()))
        return false;
    return got == "1k" || got == "1s";
}

int fail(const std::string &what)
{
    std::fprintf(stderr, "shotpeer: %s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 6)
        return fail("usage: shotpeer COUNT GAME_PORT ECHO_PORT GAME_PID ECHO_PID");
    const int count = std::atoi(argv[1]);
    if (count < 1)
        return fail("COUNT must be at least 1");
    const int gamePid = std::atoi(argv[4]);
    const int echoPid = std::atoi(argv[5]);
    const int game = connectTo(std::atoi(argv[2]));
    const int echo = connectTo(std::atoi(argv[3]));
    if (game < 0 || echo < 0)
        return fail("cannot connect");
    if (!startPlay(game))
        return fail("the host did not greet, place its fleet and draw who fires first");

    std::array<Known, 64> known{};
    std::vector<double> gameTimes, echoTimes;
    gameTimes.reserve(std::size_t(count));
    echoTimes.reserve(std::size_t(count));
    long long gameCpu = 0, echoCpu = 0;
    int hits = 0;
    int cell = 0;
    for (int shot = 0; shot < warmUp + count; ++shot) {
        cell = nextCell(known, cell, hits);
        if (cell < 0)
            return fail("no cell left that is sure to miss");
        const std::string message = "2" + std::to_string(cell);
        if (shot == warmUp) {
            gameCpu = cpuNs(gamePid);
            echoCpu = cpuNs(echoPid);
        }

        std::string answer(2, '\0');
        const double g = roundTrip(game, message, answer);
        if (g < 0)
            return fail("the host stopped answering");
        if (answer == "3a") {
            known[std::size_t(cell)] = Known::Hit;
            ++hits;
        } else if (answer == "3b") {
            known[std::size_t(cell)] = Known::Water;
        } else {
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
        ++cell;
    }
    gameCpu = cpuNs(gamePid) - gameCpu;
    echoCpu = cpuNs(echoPid) - echoCpu;
    close(game);
    close(echo);
    report("game", gameTimes, hits, gameCpu);
    report("echo", echoTimes, 0, echoCpu);
    return 0;
}
