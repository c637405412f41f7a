// How strong and how quick the computer player is, and how evenly it hides its fleet.
// Each level plays GAMES games (default 2000), each against a fleet drawn uniformly
// and with a fresh player, and the table gives the shots it needed to sink the fleet
// and the time each move took (nextShot() and record() together). The strong level's
// memory is what its shared fleet table and its largest per-match vector hold, and
// what the resident set grew by when the table was built. The placement line compares
// the cells of 100,000 drawn fleets with the exact share of the 270,000 fleets that
// covers each cell.
//
//   bench_strategy [GAMES [SEED]]     (SEED: default 20240611; runs in seconds)
#include "cpu/fleettable.h"
#include "cpu/strategy.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The resident set in KiB, from /proc/self/status.
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The upper regularized incomplete gamma function Q(a, x): a series below a + 1, a
// continued fraction (modified Lentz) above.
double upperGamma(double a, double x)
{
    if (x <= 0)
        return 1;
    const double logFront = a * std::log(x) - x - std::lgamma(a);
    if (x < a + 1) {
        double term = 1 / a, sum = term;
        for (int n = 1; n < 1000 && std::abs(term) > std::abs(sum) * 1e-15; ++n) {
            term *= x / (a + n);
            sum += term;
        }
        return 1 - sum * std::exp(logFront);
    }
    const double tiny = 1e-300;
    double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
    for (int i = 1; i < 1000; ++i) {
        const double an = -i * (i - a);
        b += 2;
        d = an * d + b;
        d = std::abs(d) < tiny ? tiny : d;
        c = b + an / c;
        c = std::abs(c) < tiny ? tiny : c;
        d = 1 / d;
        const double step = d * c;
        h *= step;
        if (std::abs(step - 1) < 1e-15)
            break;
    }
    return std::exp(logFront) * h;
}

// The cell counts of `draws` fleets against their exact distribution: the distance of
// the counts from their means in the metric of their exact covariance (one fleet's
// cells' covariance from the table, times draws). Each fleet marks 12 cells, so the 64
// counts have one degree of freedom less: the last cell is left out and the statistic
// is chi-square with 63 degrees of freedom for large samples.
void placementLine(int draws, std::uint64_t seed)
{
    const FleetTable &table = FleetTable::instance();
    constexpr int k = 63;
    std::vector<double> pairs(64 * 64, 0.0);
    for (std::uint64_t fleet : table.unions()) {
        for (std::uint64_t a = fleet; a; a &= a - 1) {
            const int c = std::countr_zero(a);
            for (std::uint64_t b = fleet; b; b &= b - 1)
                pairs[c * 64 + std::countr_zero(b)] += 1;
        }
    }
    const double n = double(table.size());
    std::vector<double> p(64), cov(k * k);
    for (int c = 0; c < 64; ++c)
        p[c] = table.cellCounts()[c] / n;
    for (int c = 0; c < k; ++c)
        for (int d = 0; d < k; ++d)
            cov[c * k + d] = draws * (pairs[c * 64 + d] / n - p[c] * p[d]);

    std::vector<double> observed(64, 0.0);
    std::mt19937_64 rng(seed);
    for (int i = 0; i < draws; ++i) {
        for (std::uint64_t b = Strategy::drawFleet(rng).cells(); b; b &= b - 1)
            observed[std::countr_zero(b)] += 1;
    }
    double pearson = 0;
    for (int c = 0; c < 64; ++c)
        pearson += std::pow(observed[c] - draws * p[c], 2) / (draws * p[c]);

    // Cholesky: cov = L L^T, then solve L y = deviation; the statistic is |y|^2.
    for (int j = 0; j < k; ++j) {
        for (int i = j; i < k; ++i) {
            double s = cov[i * k + j];
            for (int m = 0; m < j; ++m)
                s -= cov[i * k + m] * cov[j * k + m];
            if (i == j) {
                if (s <= 0) {
                    std::printf("placement: covariance not positive definite\n");
                    return;
                }
                cov[j * k + j] = std::sqrt(s);
            } else {
                cov[i * k + j] = s / cov[j * k + j];
            }
        }
    }
    std::vector<double> y(k);
    double chiSquare = 0;
    for (int i = 0; i < k; ++i) {
        double s = observed[i] - draws * p[i];
        for (int m = 0; m < i; ++m)
            s -= cov[i * k + m] * y[m];
        y[i] = s / cov[i * k + i];
        chiSquare += y[i] * y[i];
    }
    std::printf("placement: %d fleets drawn (seed %llu), cell counts against the exact "
                "marginals of the %zu fleets: chi-square %.2f, 63 df (full covariance, "
                "last cell left out), p = %.3f; Pearson sum over 64 cells %.2f "
                "(expected %.0f)\n",
                draws, static_cast<unsigned long long>(seed), table.size(), chiSquare,
                upperGamma(k / 2.0, chiSquare / 2), pearson, 64.0 - 12.0);
}

double percentile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(q * double(values.size())))];
}

struct LevelResult
{
    std::vector<double> shots;
    std::vector<double> moveMicros;
    std::size_t peakBytes = 0;
};

// One game until the fleet is sunk; returns the shots it took.
int playGame(Strategy &player, std::uint64_t fleet, LevelResult *result)
{
    std::uint64_t hit = 0;
    int shots = 0;
    while (hit != fleet) {
        const auto start = Clock::now();
        const int cell = player.nextShot();
        const bool isHit = cell >= 0 && (fleet >> cell & 1);
        player.record(cell, isHit);
        const auto end = Clock::now();
        if (cell < 0) {
            std::printf("the player ran out of cells before sinking the fleet\n");
            std::exit(1);
        }
        hit |= std::uint64_t(isHit) << cell;
        ++shots;
        if (result) {
            result->moveMicros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
            result->peakBytes = std::max(result->peakBytes, player.bytes());
        }
    }
    return shots;
}

} // namespace

int main(int argc, char *argv[])
{
    const int games = argc > 1 ? std::atoi(argv[1]) : 2000;
    const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20240611;
    if (games < 1) {
        std::fprintf(stderr, "usage: bench_strategy [GAMES [SEED]]\n");
        return 2;
    }

    const long rssBefore = residentKiB();
    const auto buildStart = Clock::now();
    const FleetTable &table = FleetTable::instance();
    const double buildMillis = std::chrono::duration<double, std::milli>(Clock::now() - buildStart).count();
    const long rssTable = residentKiB() - rssBefore;
    std::unordered_set<std::uint64_t> distinct(table.unions().begin(), table.unions().end());
    std::printf("fleets: %zu legal (%zu distinct sets of cells), table built in %.1f ms\n",
                table.size(), distinct.size(), buildMillis);

    placementLine(100000, seed);

    std::printf("\n%d games per level against uniformly drawn fleets, seed %llu\n\n", games,
                static_cast<unsigned long long>(seed));
    std::printf("| level  | mean shots | median | worst | move p50 µs | move p99 µs | move max µs |\n");
    std::printf("|--------|-----------:|-------:|------:|------------:|------------:|------------:|\n");
    const std::pair<const char *, Strategy::Level> levels[]{{"weak", Strategy::Level::Weak},
                                                            {"normal", Strategy::Level::Normal},
                                                            {"strong", Strategy::Level::Strong}};
    std::size_t strongPeak = 0;
    long rssStrong = 0;
    for (const auto &[name, level] : levels) {
        std::mt19937_64 rng(seed);
        LevelResult result;
        const long rssStart = residentKiB();
        for (int g = 0; g < games; ++g) {
            Strategy player(level, seed + std::uint64_t(g));
            result.shots.push_back(playGame(player, Strategy::drawFleet(rng).cells(), &result));
        }
        double sum = 0;
        for (double s : result.shots)
            sum += s;
        std::printf("| %-6s | %10.3f | %6.0f | %5.0f | %11.2f | %11.2f | %11.2f |\n", name,
                    sum / games, percentile(result.shots, 0.5),
                    *std::max_element(result.shots.begin(), result.shots.end()),
                    percentile(result.moveMicros, 0.5), percentile(result.moveMicros, 0.99),
                    *std::max_element(result.moveMicros.begin(), result.moveMicros.end()));
        if (level == Strategy::Level::Strong) {
            strongPeak = result.peakBytes;
            rssStrong = residentKiB() - rssStart;
        }
    }

    std::printf("\nstrong memory: shared fleet table %.2f MiB (resident set grew by %.2f MiB "
                "building it), largest vector of one player %.2f MiB (resident set grew by "
                "%.2f MiB over its games)\n",
                table.bytes() / 1048576.0, rssTable / 1024.0, strongPeak / 1048576.0,
                rssStrong / 1024.0);

    // A match: the strong player wins the first game, then plays the same fleet again.
    const int matches = std::max(1, games / 4);
    std::mt19937_64 rng(seed + 1);
    double second = 0;
    int worstSecond = 0;
    for (int m = 0; m < matches; ++m) {
        const std::uint64_t fleet = Strategy::drawFleet(rng).cells();
        Strategy player(Strategy::Level::Strong, seed + std::uint64_t(m));
        playGame(player, fleet, nullptr);
        player.newGame();
        const int shots = playGame(player, fleet, nullptr);
        second += shots;
        worstSecond = std::max(worstSecond, shots);
    }
    std::printf("strong, second game of a match after winning the first: mean %.3f shots, "
                "worst %d, over %d matches\n",
                second / matches, worstSecond, matches);
    return 0;
}
