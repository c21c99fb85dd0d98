// The whole update, headless, timed against the bare link it runs on: the
// tool's job is to add nothing to the link's own round trip.

#include "benchimage.h"
#include "figures.h"
#include "inlinebench.h"
#include "jackbench.h"
#include "pageframe.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>

using namespace Figures;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times the update, headless, against the bare link it runs on.\n"
        "inline: the tool's own work per exchange, on recorded replies on the same thread.\n"
        "jack:   over a private JACK server against qel-simulator, beside a bare RtMidi ping-pong."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("mode"), QStringLiteral("Comma-separated: inline, jack (default: both)."), QStringLiteral("list"),
         QStringLiteral("inline,jack")},
        {QStringLiteral("pages"), QStringLiteral("inline: only the first n pages of the image (default: all)."),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("rounds"), QStringLiteral("inline: runs of the measurement (default: 5)."), QStringLiteral("n"),
         QStringLiteral("5")},
        {QStringLiteral("jack-pairs"), QStringLiteral("jack: alternating pairs of one-block runs (default: 15)."),
         QStringLiteral("n"), QStringLiteral("15")},
        {QStringLiteral("jack-period"), QStringLiteral("jack: period in frames at 48 kHz (default: 16)."),
         QStringLiteral("frames"), QStringLiteral("16")},
        {QStringLiteral("simulator"), QStringLiteral("The qel-simulator program."), QStringLiteral("path"),
         QStringLiteral(QEL_SIMULATOR_PATH)},
    });
    parser.process(app);
    const QStringList modes = parser.value(QStringLiteral("mode")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &mode : modes) {
        if (mode != QLatin1String("inline") && mode != QLatin1String("jack")) {
            say(QStringLiteral("unknown mode %1 (known: inline, jack)").arg(mode));
            return EXIT_FAILURE;
        }
    }

    // Numbers that do not read as whole ones count as the least that makes sense.
    const auto number = [&](const char *name, int least) {
        return std::max(least, parser.value(QString::fromLatin1(name)).toInt());
    };
    const ImageFile image(builtInImage(number("pages", 0)));
    if (image.size() == 0 || !image.isValid()) {
        say(QStringLiteral("cannot read the built-in flash image or write it to a file"));
        return EXIT_FAILURE;
    }
    say(QStringLiteral("Machine: %1").arg(machine()));
    say(QStringLiteral("Image: %1 bytes, %2 pages")
            .arg(image.size())
            .arg((image.size() + PageFrame::DataSize - 1) / PageFrame::DataSize));
    if (modes.contains(QStringLiteral("inline"))) {
        const Conversation conversation = recordUpdate(image);
        if (conversation.empty())
            return EXIT_FAILURE;
        runInlineBench(image, conversation, number("rounds", 1));
    }
    if (modes.contains(QStringLiteral("jack")))
        runJackBench(image, number("jack-period", 1), number("jack-pairs", 1), parser.value(QStringLiteral("simulator")));
    return EXIT_SUCCESS;
}
