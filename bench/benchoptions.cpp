#include "benchoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

const QStringList AllModes{QStringLiteral("sim"), QStringLiteral("inline"), QStringLiteral("jack")};

int wholeNumber(const QCommandLineParser &parser, const QString &name, int atLeast)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < atLeast) {
        std::fprintf(stderr, "--%s wants a whole number of at least %d\n", qPrintable(name), atLeast);
        std::exit(EXIT_FAILURE);
    }
    return value;
}

} // namespace

BenchOptions readBenchOptions(const QCoreApplication &app)
{
    BenchOptions options;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times the whole update, headless, against the bare link it runs on.\n"
        "inline: the tool's own work per exchange, the device answering on the same thread.\n"
        "sim:    through the sim service's worker thread, beside a bare cross-thread ping-pong.\n"
        "jack:   over a private JACK server against qel-simulator, beside a bare RtMidi ping-pong."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("mode"), QStringLiteral("Comma-separated: sim, inline, jack (default: all)."),
         QStringLiteral("list"), AllModes.join(QLatin1Char(','))},
        {QStringLiteral("pages"), QStringLiteral("Write only the first n pages of the image (default: all)."),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("pairs"), QStringLiteral("sim: alternating pairs of one-block runs for the ratio (default: %1).")
                                      .arg(options.pairs),
         QStringLiteral("n"), QString::number(options.pairs)},
        {QStringLiteral("rounds"), QStringLiteral("inline: runs of each measurement (default: %1).").arg(options.rounds),
         QStringLiteral("n"), QString::number(options.rounds)},
        {QStringLiteral("jack-pairs"), QStringLiteral("jack: alternating pairs of one-block runs for the ratio "
                                                      "(default: %1; 0: none).").arg(options.jackPairs),
         QStringLiteral("n"), QString::number(options.jackPairs)},
        {QStringLiteral("jack-period"), QStringLiteral("JACK period in frames at 48 kHz (default: %1).").arg(options.jackPeriod),
         QStringLiteral("frames"), QString::number(options.jackPeriod)},
        {QStringLiteral("simulator"), QStringLiteral("The qel-simulator program."),
         QStringLiteral("path"), QStringLiteral(QEL_SIMULATOR_PATH)},
    });
    parser.process(app);

    for (const QString &mode : parser.value(QStringLiteral("mode")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!AllModes.contains(mode.trimmed())) {
            std::fprintf(stderr, "unknown mode %s (known: %s)\n", qPrintable(mode),
                         qPrintable(AllModes.join(QStringLiteral(", "))));
            std::exit(EXIT_FAILURE);
        }
        options.modes << mode.trimmed();
    }
    options.pages = wholeNumber(parser, QStringLiteral("pages"), 0);
    options.pairs = wholeNumber(parser, QStringLiteral("pairs"), 1);
    options.rounds = wholeNumber(parser, QStringLiteral("rounds"), 1);
    options.jackPairs = wholeNumber(parser, QStringLiteral("jack-pairs"), 0);
    options.jackPeriod = wholeNumber(parser, QStringLiteral("jack-period"), 1);
    options.simulator = parser.value(QStringLiteral("simulator"));
    return options;
}
