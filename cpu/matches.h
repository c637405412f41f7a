// kelvaro-cpu's two ways of playing, each a thin wiring of parts the other programs
// share. Here, in a window: the person holds the host's side in the host's own game
// window, the computer the client's, the two game cores joined in memory. Over the
// network: the computer drives the host's or the client's own connection code
// (Host, Client) without a window, and reports each game on standard output.
#pragma once

#include "cpu/options.h"

// Each returns the program's exit status.
int playHere(int &argc, char **argv, const CpuOptions &options);
int playOverNetwork(int &argc, char **argv, const CpuOptions &options);
