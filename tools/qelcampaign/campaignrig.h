#pragma once

#include "simloop.h"
#include "updateengine.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// One update on a SimLoop, driven to its end: replies are pumped, then one
// tick passes for the wire and the engine, until the engine stops or a tick
// limit is reached.
class CampaignRig : private CommandSink, private EngineListener
{
public:
    CampaignRig();

    SimLoop loop;
    UpdateEngine engine{*this, *this};

    // How the update ended; nothing while it runs or when it never said.
    std::optional<UpdateOutcome> outcome;
    QString message;  // what the user would read about the ending
    int endings = 0;  // finished() calls; exactly one per start()
    int ticks = 0;
    // What the recovery from lost answers cost, from the engine's trace.
    struct Recovery
    {
        int answersLost = 0;
        int pagesRestarted = 0;
        int blocksRestarted = 0;
        int readBackWrong = 0;
    } recovery;
    // Every trace line of the engine, when set.
    std::function<void(const TraceLine &)> onTrace;

    void start(const QByteArray &image, bool verify = false);
    // Runs until the engine stops or `maxTicks` ticks have passed; returns
    // whether it stopped.
    bool drive(int maxTicks);

private:
    bool send(const SysExMessage &message) override;
    std::uint32_t sentCount() const override;
    void traced(const TraceLine &line) override;
    void blockShown(int) override {}
    void pageShown(int) override {}
    void progressChanged(int, int) override {}
    void finished(const Ending &ending) override;
};
