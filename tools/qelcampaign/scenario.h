#pragma once

#include "linkfaults.h"
#include "simdevice.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

class SimLoop;

// The starting flash, the flash faults and the link faults of one campaign
// run, drawn from its seed alone so that a failing run can be replayed.
struct Scenario
{
    static constexpr int MaxStoredEntries = 101;

    std::uint32_t seed = 0;
    QByteArray image;
    // Block 0 at the start: `listCopies` intact copies of `listedBad`
    // (0: no copy), optionally followed by a torn one.
    int listCopies = 0;
    std::set<int> listedBad;
    std::int16_t listedFactory = 0;
    bool tornCopy = false;
    std::set<int> factoryDefects;  // reported by ReadDefectList; erase and program fail there
    std::set<int> eraseFaults;
    std::vector<std::pair<int, int>> programFaults;  // block, page (-1: every page)
    LinkFaults::Rates rates;
    int lateTicks = 0;
    bool refuseWhenVanished = true;
    bool verify = false;
    // What the device's ReadChunk reaches; the campaign meets every kind.
    SimDevice::ReadReach reach = SimDevice::ReadReach::WholeFlash;

    static Scenario draw(std::uint32_t seed, SimDevice::ReadReach reach = SimDevice::ReadReach::WholeFlash);
    static QString reachName(SimDevice::ReadReach reach);
    // Sets up the loop's device and link faults.
    void apply(SimLoop &loop) const;
    QString describe() const;
    // The 101 lowest of `blocks`, as a stored copy keeps them.
    static std::set<int> lowestStored(const std::set<int> &blocks);
};
