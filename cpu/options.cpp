#include "cpu/options.h"

const QString CpuOptions::usage = QStringLiteral(
    "usage: kelvaro-cpu [--level weak|normal|strong] [--think-ms MS]\n"
    "       kelvaro-cpu --connect ADDRESS [--level L] [--games N] [--think-ms MS]\n"
    "       kelvaro-cpu --listen [--no-router] [--level L] [--games N] [--think-ms MS]\n"
    "ADDRESS may name a port, as ADDRESS:PORT or [IPv6]:PORT; without one it is 1020.\n");

namespace {

std::optional<int> number(const QString &text, int least, int most)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < least || n > most)
        return std::nullopt;
    return n;
}

} // namespace

std::optional<CpuOptions> CpuOptions::parse(const QStringList &arguments, QString &error)
{
    CpuOptions o;
    bool modeGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        const QString value = hasValue ? arguments[i + 1] : QString();
        auto fail = [&error](const QString &why) {
            error = why;
            return std::nullopt;
        };
        if (a == QLatin1String("--listen") || a == QLatin1String("--connect")) {
            if (modeGiven)
                return fail(QStringLiteral("choose one of --connect and --listen"));
            modeGiven = true;
            if (a == QLatin1String("--listen")) {
                o.mode = Mode::Listen;
                continue;
            }
            if (!hasValue || value.trimmed().isEmpty())
                return fail(QStringLiteral("--connect needs the host's address"));
            o.mode = Mode::Connect;
            o.address = value;
        } else if (a == QLatin1String("--no-router")) {
            o.router = false;
            continue;
        } else if (a == QLatin1String("--level")) {
            if (value == QLatin1String("weak"))
                o.level = Strategy::Level::Weak;
            else if (value == QLatin1String("normal"))
                o.level = Strategy::Level::Normal;
            else if (value == QLatin1String("strong"))
                o.level = Strategy::Level::Strong;
            else
                return fail(QStringLiteral("--level takes weak, normal or strong"));
        } else if (a == QLatin1String("--games")) {
            o.games = number(value, 1, 1000000);
            if (!o.games)
                return fail(QStringLiteral("--games takes a number from 1 to 1000000"));
        } else if (a == QLatin1String("--think-ms")) {
            const std::optional<int> ms = number(value, 0, 60000);
            if (!ms)
                return fail(QStringLiteral("--think-ms takes a number from 0 to 60000"));
            o.thinkMs = *ms;
        } else {
            return fail(QStringLiteral("unknown argument: ") + a);
        }
        ++i; // the option's value
    }
    if (!o.router && o.mode != Mode::Listen) {
        error = QStringLiteral("--no-router is for --listen");
        return std::nullopt;
    }
    if (o.games && o.mode == Mode::Window) {
        error = QStringLiteral("--games is for --connect and --listen");
        return std::nullopt;
    }
    return o;
}
