#include "portfinder.h"

#include "texts.h"

#include <QLabel>
#include <QListWidget>

PortFinder::PortFinder(Discovery::ServiceFactory factory, QListWidget *inList, QListWidget *outList, QLabel *status,
                       QObject *parent)
    : QObject(parent), discovery(std::move(factory)), inList(inList), outList(outList), status(status)
{
    connect(&discovery, &Discovery::finished, this, &PortFinder::show);
    // Only a click is the user's choice; the window selects rows itself too.
    for (QListWidget *list : {inList, outList})
        connect(list, &QListWidget::itemClicked, this, [this] {
            chosen = true;
            stop();
        });
}

void PortFinder::search()
{
    if (!chosen && !discovery.isRunning())
        discovery.start();
}

void PortFinder::stop()
{
    discovery.cancel();
}

void PortFinder::show(const QList<FoundDevice> &devices)
{
    // Nothing found: the selection by name stays; a choice of the user's is never overridden.
    if (devices.isEmpty() || chosen)
        return;
    const FoundDevice &first = devices.constFirst();
    const auto select = [](QListWidget *list, const QString &name) {
        const QList<QListWidgetItem *> items = list->findItems(name, Qt::MatchExactly);
        if (!items.isEmpty())
            list->setCurrentItem(items.constFirst());
    };
    select(inList, first.inName);
    select(outList, first.outName);
    status->setText(devices.size() == 1
                        ? Texts::tr("Qel %1 found on %2 and %3.").arg(first.serialText, first.inName, first.outName)
                        : Texts::tr("%1 Qels found; Qel %2 on %3 and %4 is chosen.")
                              .arg(devices.size())
                              .arg(first.serialText, first.inName, first.outName));
}
