// Runs the real updater on the simulated device and saves screenshots of it.
// Usage: qel-screenshots OUTDIR LANGUAGE-TAG. The language itself comes from
// the "language" setting, as at every start; take-screenshots.sh sets it.

#include "screenshotdriver.h"
#include "startup.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTDIR LANGUAGE-TAG\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString language = QString::fromLocal8Bit(argv[2]);
    qputenv("QEL_MIDI_API", "sim");
    std::unique_ptr<ScreenshotDriver> driver;
    return runUpdater(argc, argv, [&](MainWindow &window) {
        driver = std::make_unique<ScreenshotDriver>(window, QDir(outDir), language);
        driver->start();
    });
}
