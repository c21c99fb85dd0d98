#pragma once

#include "devicelink.h"
#include "simloop.h"
#include "updateengine.h"

#include <QByteArray>
#include <QString>

#include <optional>

// One update on a SimLoop, driven to its end: replies are pumped, then one
// tick passes for the wire and the engine, until the engine stops or a tick
// limit is reached.
class CampaignRig
{
public:
    CampaignRig();

    SimLoop loop;
    DeviceLink link;
    UpdateEngine engine;

    // How the update ended; nothing while it runs or when it never said.
    std::optional<UpdateOutcome> outcome;
    QString message;
    int endings = 0;  // finished() signals; exactly one per start()
    int ticks = 0;

    void start(const QByteArray &image);
    // Runs until the engine stops or `maxTicks` ticks have passed; returns
    // whether it stopped.
    bool drive(int maxTicks);
};
