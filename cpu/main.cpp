// kelvaro-cpu: the computer opponent. Plays a person here in the host's game window, or
// plays over the network as the client (--connect) or the host (--listen).
#include "cpu/matches.h"
#include "cpu/options.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString error;
    const std::optional<CpuOptions> options = CpuOptions::parse(arguments, error);
    if (!options) {
        std::fprintf(stderr, "kelvaro-cpu: %s\n%s", qPrintable(error), qPrintable(CpuOptions::usage));
        return 2;
    }
    if (options->mode == CpuOptions::Mode::Window)
        return playHere(argc, argv, *options);
    return playOverNetwork(argc, argv, *options);
}
