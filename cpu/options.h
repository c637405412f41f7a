// The command line of kelvaro-cpu: where it plays (in a window here, or over the
// network as client or host), its strength, how many games, and how long it thinks.
#pragma once

#include "cpu/strategy.h"

#include <QString>
#include <QStringList>
#include <optional>

struct CpuOptions
{
    enum class Mode { Window, Connect, Listen };

    Mode mode = Mode::Window;
    std::optional<Strategy::Level> level; // none: ask (window) or normal (network)
    QString address;                      // with Mode::Connect
    std::optional<int> games;             // network only
    int thinkMs = 1000;
    bool router = true; // with Mode::Listen: ask the router to open the port (--no-router: not)

    // Parses the arguments after the program's name. On a mistake returns nothing and
    // sets `error` to a line that says what is wrong.
    static std::optional<CpuOptions> parse(const QStringList &arguments, QString &error);
    static const QString usage;
};
