#include "devicereplies.h"
#include "discovery.h"
#include "qtbytes.h"
#include "testmidiservice.h"

#include <QCoreApplication>
#include <QTest>

#include <functional>
#include <map>

namespace {

// MIDI ports as a test wires them: Identify on an output is answered by the
// device behind it, on the input it sends to, through every service that has
// that input open. Foreign messages come first on every open input.
struct World
{
    class Service;
    QStringList ins;
    QStringList outs;
    std::map<int, std::pair<int, std::uint32_t>> devices;  // output -> input, serial
    QList<QByteArray> noise;
    std::vector<Service *> services;
    // True while an Identify sent now gets no answer.
    std::function<bool()> loses;

    void route(int out, const QByteArray &command);
};

class World::Service : public TestMidiService
{
public:
    explicit Service(World &world) : world(world)
    {
        inNames = world.ins;
        outNames = world.outs;
        onSend = [this](const QByteArray &command) { this->world.route(out, command); };
        world.services.push_back(this);
    }
    ~Service() override { world.services.erase(std::find(world.services.begin(), world.services.end(), this)); }
    bool openIn(int index, ReceiveCallback receive) override
    {
        in = index;
        return TestMidiService::openIn(index, std::move(receive));
    }
    bool openOut(int index) override
    {
        out = index;
        return TestMidiService::openOut(index);
    }
    void closeIn() override
    {
        in = -1;
        TestMidiService::closeIn();
    }
    int in = -1;
    int out = -1;

private:
    World &world;
};

void World::route(int out, const QByteArray &command)
{
    const auto device = devices.find(out);
    const bool lost = loses && loses();
    for (Service *service : services) {
        for (const QByteArray &message : std::as_const(noise))
            service->inject(message);
        if (device != devices.end() && !lost && quint8(command.at(SysEx::CommandOffset)) == quint8(Command::Identify)
            && service->in == device->second.first)
            service->inject(toQByteArray(DeviceReply::identity(device->second.second, 0x0801, "Qel")));
    }
}

QStringList ports(const char *prefix, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("%1 %2").arg(QLatin1String(prefix)).arg(i);
    return names;
}

} // namespace

using Wiring = std::map<int, std::pair<int, std::uint32_t>>;  // output -> input, serial
using Found = QList<QPair<int, int>>;                          // in, out; sorted by serial
Q_DECLARE_METATYPE(Wiring)

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void find_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<Wiring>("devices");
        QTest::addColumn<bool>("noise");
        QTest::addColumn<int>("lostAsks");  // the first so many asks of every round get no answer
        QTest::addColumn<Found>("found");

        // The rounds themselves are tested in tests/core; these rows check
        // what this class adds: ports opened and closed, messages carried,
        // asks sent on their ticks, indexes named.
        QTest::newRow("a pair swapped") << 2 << 2 << Wiring{{1, {0, 7}}} << false << 0 << Found{{0, 1}};
        QTest::newRow("two Qels, by serial") << 3 << 3 << Wiring{{0, {1, 900}}, {2, {0, 400}}} << false << 0
                                             << Found{{0, 2}, {1, 0}};
        QTest::newRow("foreign and channel messages while asking")
            << 2 << 2 << Wiring{{1, {1, 7}}} << true << 0 << Found{{1, 1}};
        QTest::newRow("more inputs than outputs") << 5 << 2 << Wiring{{1, {4, 7}}} << false << 0 << Found{{4, 1}};
        QTest::newRow("no outputs") << 2 << 0 << Wiring{} << false << 0 << Found{};
        QTest::newRow("the first two asks of every round lost")
            << 4 << 4 << Wiring{{3, {1, 7}}, {2, {2, 8}}} << false << 2 << Found{{1, 3}, {2, 2}};
    }

    // Which pair each Qel sits on, every port closed after.
    void find()
    {
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        QFETCH(Wiring, devices);
        QFETCH(bool, noise);
        QFETCH(int, lostAsks);
        QFETCH(Found, found);

        World world{ports("In", inputs), ports("Out", outputs), devices, {}, {}, {}};
        if (noise)
            world.noise = {QByteArray::fromHex("f0 00 11 23 0a 00 00 00 00 20 01 f7"), QByteArray::fromHex("90 40 7f")};
        Discovery discovery([&world] { return std::make_unique<World::Service>(world); });
        QList<FoundDevice> reported;
        int endings = 0;
        connect(&discovery, &Discovery::finished, this, [&](const QList<FoundDevice> &d) { reported = d, ++endings; });
        int ticks = 0;
        world.loses = [&] { return ticks % Discovery::RoundTicks < lostAsks * Discovery::AskAgainTicks; };
        discovery.start();
        QCOMPARE(int(world.services.size()), inputs && outputs ? std::max(inputs, outputs) : 0);
        while (discovery.isRunning() && ticks < 100 * Discovery::RoundTicks) {
            QCoreApplication::sendPostedEvents();
            ++ticks;
            discovery.tick();
        }
        QCOMPARE(endings, 1);
        QCOMPARE(ticks, inputs && outputs ? Discovery::durationTicks(outputs) : 0);
        QVERIFY(world.services.empty());
        Found pairs;
        for (const FoundDevice &d : reported) {
            pairs << qMakePair(d.inIndex, d.outIndex);
            QCOMPARE(d.inName, world.ins.at(d.inIndex));
            QCOMPARE(d.outName, world.outs.at(d.outIndex));
            QCOMPARE(d.serialNumber, devices.at(d.outIndex).second);
        }
        QCOMPARE(pairs, found);
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
