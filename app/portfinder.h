#pragma once

#include "discovery.h"

#include <QObject>

class QLabel;
class QListWidget;

// Asks every port pair for a Qel and preselects the pair it answers on, in
// the window's two port lists, until the user picks a port. Says in the
// status line what it found.
class PortFinder : public QObject
{
    Q_OBJECT

public:
    PortFinder(Discovery::ServiceFactory factory, QListWidget *inList, QListWidget *outList, QLabel *status,
               QObject *parent);

    // Starts a search unless one runs or the user already chose.
    void search();
    // Stops a search under way and closes its ports.
    void stop();
    void tick() { discovery.tick(); }
    bool userChose() const { return chosen; }

private:
    void show(const QList<FoundDevice> &devices);

    Discovery discovery;
    QListWidget *inList;
    QListWidget *outList;
    QLabel *status;
    bool chosen = false;
};
