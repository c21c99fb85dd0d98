#include "scenario.h"

#include "pageframe.h"
#include "replytimer.h"
#include "simloop.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr int PageBytes = PageFrame::DataSize;
constexpr int PagesPerBlock = 64;
constexpr int BlockBytes = PageBytes * PagesPerBlock;
constexpr int MaxImageBlocks = 3;
constexpr int FlashBlocks = 1024;
constexpr int NearBlocks = 12;       // faults where a small image goes
constexpr double LowRate = -5.0;     // link fault rates, log10
constexpr double HighRate = -2.7;
constexpr double HighLossRate = -2.0;  // lost commands and replies: up to 1 in 100
constexpr int MinLateTicks = ReplyTimer::FloorTicks + 1;  // past the shortest reply time-out
constexpr int LateTicksSpread = 55;

// Raw mt19937 output only: its sequence is fixed by the standard, the
// distributions are not.
class Draw
{
public:
    explicit Draw(std::uint32_t seed) : rng(seed) {}
    double unit() { return double(rng()) / 4294967296.0; }
    int below(int bound) { return bound > 0 ? int(rng() % std::uint32_t(bound)) : 0; }
    bool chance(double p) { return unit() < p; }
    double rate(double lowLog, double highLog) { return std::pow(10.0, lowLog + unit() * (highLog - lowLog)); }
    int block() { return chance(0.6) ? 1 + below(NearBlocks) : 1 + below(FlashBlocks - 1); }

private:
    std::mt19937 rng;
};

QString blocks(const std::set<int> &set)
{
    QStringList list;
    for (int b : set)
        list << QString::number(b);
    return list.join(QLatin1Char(','));
}

} // namespace

std::set<int> Scenario::lowestStored(const std::set<int> &blocks)
{
    std::set<int> kept;
    for (int b : blocks) {
        if (int(kept.size()) == MaxStoredEntries)
            break;
        kept.insert(b);
    }
    return kept;
}

QString Scenario::reachName(SimDevice::ReadReach reach)
{
    switch (reach) {
    case SimDevice::ReadReach::WholeFlash: return QStringLiteral("whole-flash");
    case SimDevice::ReadReach::BlockZero: return QStringLiteral("block-0");
    case SimDevice::ReadReach::BlockZeroAliased: return QStringLiteral("block-0 aliased");
    case SimDevice::ReadReach::BlockZeroSilent: return QStringLiteral("block-0 silent");
    }
    return {};
}

Scenario Scenario::draw(std::uint32_t seed, SimDevice::ReadReach reach)
{
    Scenario s;
    s.seed = seed;
    s.reach = reach;
    Draw d(seed);

    // A few blocks of image; sometimes a whole number of pages.
    const int pages = 1 + d.below(MaxImageBlocks * PagesPerBlock);
    const int size = d.chance(0.2) ? pages * PageBytes : pages * PageBytes - d.below(PageBytes - 1);
    s.image.resize(size);
    for (char &c : s.image)
        c = char(d.below(256));
    // Pages of nothing but 0xFF read back the same whether programmed or not.
    for (int n = d.chance(0.5) ? 1 + d.below(4) : 0; n > 0; --n) {
        const int at = d.below(pages) * PageBytes;
        s.image.replace(at, std::min(PageBytes, size - at), QByteArray(std::min(PageBytes, size - at), char(0xFF)));
    }

    // Factory defects: usually none, at times more than the 3 allowed.
    const int factoryCount = d.chance(0.6) ? 0 : 1 + d.below(d.chance(0.9) ? 3 : 5);
    while (int(s.factoryDefects.size()) < factoryCount)
        s.factoryDefects.insert(d.chance(0.02) ? 0 : d.block());

    if (d.chance(0.75)) {
        s.listCopies = 1 + (d.chance(0.8) ? d.below(8) : d.below(PagesPerBlock));
        std::set<int> runtime;
        const int marks = d.chance(0.9) ? d.below(6) : d.below(140);
        while (int(runtime.size()) < marks)
            runtime.insert(d.block());
        std::set<int> all = runtime;
        all.insert(s.factoryDefects.begin(), s.factoryDefects.end());
        s.listedBad = lowestStored(all);
        s.listedFactory = std::int16_t(d.chance(0.9) ? int(s.factoryDefects.size()) : d.below(40));
        s.tornCopy = s.listCopies < PagesPerBlock && d.chance(0.25);
    }

    for (int n = d.below(3); n > 0; --n)
        s.eraseFaults.insert(d.block());
    for (int n = d.below(3); n > 0; --n)
        s.programFaults.push_back({d.block(), d.chance(0.3) ? -1 : d.below(PagesPerBlock)});
    if (d.chance(0.01))
        s.programFaults.push_back({0, -1});  // block 0 cannot keep a list
    if (d.chance(0.01)) {
        // No room: every block after the first few fails to erase.
        for (int b = 2 + d.below(4); b < FlashBlocks; ++b)
            s.eraseFaults.insert(b);
    }

    const auto rate = [&d](double enabled, double highLog = HighRate) {
        return d.chance(enabled) ? d.rate(LowRate, highLog) : 0.0;
    };
    s.rates.lose = rate(0.5, HighLossRate);
    s.rates.late = rate(0.5);
    s.rates.duplicate = rate(0.5);
    s.rates.corrupt = rate(0.5);
    s.rates.cutShort = rate(0.5);
    s.rates.foreign = rate(0.5);
    s.rates.shortMessage = rate(0.5);
    s.rates.vanish = d.chance(0.1) ? d.rate(LowRate, -3.5) : 0.0;
    s.lateTicks = MinLateTicks + d.below(LateTicksSpread);
    s.refuseWhenVanished = d.chance(0.5);
    s.rates.loseCommand = rate(0.5, HighLossRate);
    s.verify = d.chance(0.2);
    return s;
}

void Scenario::apply(SimLoop &loop) const
{
    SimDevice &device = loop.device;
    device.setReadReach(reach);
    device.setFactoryDefects(factoryDefects);
    if (listCopies > 0)
        device.storeListCopies(listCopies, listedBad, listedFactory);
    if (tornCopy) {
        // Bits not yet programmed still read 1, and the marker did not make it.
        std::array<std::uint8_t, FlashBlocks> table{};
        for (int b : listedBad)
            table[std::size_t(b)] = 1;
        PageFrame frame;
        buildBblFrame(frame, table.data(), FlashBlocks, listedFactory);
        std::mt19937 rng(seed ^ 0x7042u);
        for (std::uint8_t &byte : frame.bytes)
            byte |= std::uint8_t(rng());
        std::uint8_t &first = frame.bytes[std::size_t(PageFrame::frameOffset(0))];
        first = std::uint8_t(first & 0x7F);  // in use, and not the marker
        device.storeRawPage(0, listCopies, Bytes(frame.bytes.begin(), frame.bytes.end()));
    }
    for (int b : eraseFaults)
        device.failErase(b);
    for (const auto &[b, page] : programFaults)
        device.failProgram(b, page);
    loop.faults.setRates(rates, seed);
    loop.lateTicks = lateTicks;
    loop.refuseWhenVanished = refuseWhenVanished;
}

QString Scenario::describe() const
{
    return QStringLiteral("%19 device%20, seed %1: image %2 bytes; block 0 %3 copies%4, listed [%5] factory count %6; "
                          "factory defects [%7]; erase faults %8; program faults %9; "
                          "rates lose %10 late %11 dup %12 corrupt %13 cut %14 foreign %15 short %16 vanish %17 "
                          "lose command %18")
        .arg(seed).arg(image.size()).arg(listCopies).arg(tornCopy ? QStringLiteral(" + torn") : QString())
        .arg(blocks(listedBad)).arg(listedFactory).arg(blocks(factoryDefects))
        .arg(eraseFaults.size() > 20 ? QStringLiteral("%1 blocks").arg(eraseFaults.size()) : blocks(eraseFaults))
        .arg(programFaults.size())
        .arg(rates.lose, 0, 'g', 2).arg(rates.late, 0, 'g', 2).arg(rates.duplicate, 0, 'g', 2)
        .arg(rates.corrupt, 0, 'g', 2).arg(rates.cutShort, 0, 'g', 2).arg(rates.foreign, 0, 'g', 2)
        .arg(rates.shortMessage, 0, 'g', 2).arg(rates.vanish, 0, 'g', 2).arg(rates.loseCommand, 0, 'g', 2)
        .arg(reachName(reach), verify ? QStringLiteral(", verifying") : QString());
}
