// The whole update, headless, timed against the bare link it runs on: the
// tool's job is to add nothing to the link's own round trip.

#include "benchimage.h"
#include "benchoptions.h"
#include "figures.h"
#include "inlinebench.h"
#include "jackbench.h"
#include "pageframe.h"
#include "simbench.h"

#include <QCoreApplication>

using namespace Figures;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qel_bench_update"));
    const BenchOptions options = readBenchOptions(app);

    const ImageFile image(builtInImage(options.pages));
    if (image.size() == 0 || !image.isValid()) {
        say(QStringLiteral("cannot read the built-in flash image or write it to a file"));
        return EXIT_FAILURE;
    }
    say(QStringLiteral("Machine: %1").arg(machine()));
    say(QStringLiteral("Image: %1 bytes, %2 pages")
            .arg(image.size())
            .arg((image.size() + PageFrame::DataSize - 1) / PageFrame::DataSize));

    // First, while nothing else has grown the process, so its memory figure holds.
    if (options.wants(QStringLiteral("sim")))
        runSimBench(image, options.pairs);

    if (options.wants(QStringLiteral("inline")) || options.wants(QStringLiteral("jack"))) {
        const Conversation conversation = recordUpdate(image);
        if (conversation.empty())
            return EXIT_FAILURE;
        if (options.wants(QStringLiteral("inline")))
            runInlineBench(image, conversation, options.rounds);
        if (options.wants(QStringLiteral("jack")))
            runJackBench(image, conversation, options);
    }
    return EXIT_SUCCESS;
}
