// qel-soak-window: the real window (start-up, form, session, teardown) through
// one update, driven as a person would, for the JACK soak (jacksoak.sh).
// Usage: qel-soak-window PORT-NAME IMAGE, with QEL_MIDI_API set.

#include "startup.h"
#include "windowdriver.h"

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PORT-NAME IMAGE\n", argv[0]);
        return 2;
    }
    const QString portName = QString::fromLocal8Bit(argv[1]);
    const QString image = QString::fromLocal8Bit(argv[2]);
    std::unique_ptr<WindowDriver> driver;
    return runUpdater(argc, argv, [&](MainWindow &window) {
        driver = std::make_unique<WindowDriver>(window, portName, image);
        driver->start();
    });
}
