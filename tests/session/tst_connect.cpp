// Connect over a wire that loses or delays messages: the Identify and the
// reads timed after it are asked again within the wait. The test is the
// device and the clock: each tick one answer comes off the wire, ten
// milliseconds after the one before.

#include "devicereplies.h"
#include "qtbytes.h"
#include "testmidiservice.h"
#include "updatesession.h"

#include <QSignalSpy>
#include <QTest>

#include <deque>

namespace {

constexpr qint64 TickUs = UpdateSession::TickIntervalMs * 1000;
constexpr int Wait = 3000 / UpdateSession::TickIntervalMs;  // as long as the command line waits

// What becomes of each message sent, in order: 'a' answered, 'l' lost (the
// message or its answer), 'd' answered late, after the next message is sent.
// Messages past the end of the plan are answered.
struct Wire
{
    TestMidiService *service;
    QString plan;
    std::deque<QByteArray> answers;
    QByteArray late;
    QString sent;  // 'I' Identify, 'R' ReadChunk

    void take(const QByteArray &message)
    {
        const auto command = Command(quint8(message.at(SysEx::CommandOffset)));
        sent += command == Command::Identify ? QLatin1Char('I') : QLatin1Char('R');
        const qsizetype index = sent.size() - 1;
        const QChar fate = index < plan.size() ? plan.at(index) : QLatin1Char('a');
        if (!late.isEmpty())
            answers.push_back(std::exchange(late, QByteArray()));
        if (fate == QLatin1Char('l'))
            return;
        const std::uint8_t chunk[64] = {};
        const QByteArray answer = toQByteArray(command == Command::Identify
                                                   ? DeviceReply::identity(7, 0x0801, "Qel")
                                                   : DeviceReply::data(DeviceReply::answerType(command), chunk, sizeof chunk));
        if (fate == QLatin1Char('d'))
            late = answer;
        else
            answers.push_back(answer);
    }
    void deliverOne()
    {
        if (answers.empty())
            return;
        service->inject(answers.front());
        answers.pop_front();
    }
};

} // namespace

class TestConnect : public QObject
{
    Q_OBJECT

private slots:
    void lossesAtConnect_data();
    void lossesAtConnect();
};

void TestConnect::lossesAtConnect_data()
{
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<qint64>("dataTripUs");  // 0: no read was timed

    const qint64 oneTick = TickUs;
    QTest::newRow("nothing lost") << "" << "IRRRRR" << true << oneTick;
    QTest::newRow("Identify lost") << "l" << "IIRRRRR" << true << oneTick;
    QTest::newRow("Identify lost three times") << "lll" << "IIIIRRRRR" << true << oneTick;
    QTest::newRow("Identify answered late") << "d" << "IIRRRRR" << true << oneTick;
    QTest::newRow("every Identify lost") << "llll" << "IIII" << false << qint64(0);
    QTest::newRow("a timed read lost") << "aal" << "IRRIRRRR" << true << oneTick;
    QTest::newRow("a timed read answered late") << "aad" << "IRRIRRRR" << true << oneTick;
    QTest::newRow("a timed read and the Identify after it lost") << "aall" << "IRRIIRRRR" << true << oneTick;
    QTest::newRow("more reads lost than asked again") << "aallll" << "IRRIII" << true << oneTick;
}

void TestConnect::lossesAtConnect()
{
    QFETCH(QString, plan);
    QFETCH(bool, connected);

    auto midi = std::make_unique<TestMidiService>();
    Wire wire{midi.get(), plan, {}, {}, {}};
    midi->onSend = [&wire](const QByteArray &message) { wire.take(message); };
    UpdateSession session(std::move(midi));
    qint64 nowUs = 0;
    session.setClock([&nowUs] { return nowUs; });
    session.setIdentifyTimeout(Wait);
    QSignalSpy timedOut(&session, &UpdateSession::identifyTimedOut);
    QSignalSpy measured(&session, &UpdateSession::measured);

    QVERIFY(session.connectDevice(0, 0));
    for (int tick = 0; tick < 2 * Wait && measured.isEmpty(); ++tick) {
        nowUs += TickUs;
        wire.deliverOne();
        session.deviceLink().ports().takeWaiting();
        session.tick();
    }
    QTEST(wire.sent, "sent");
    // No read is left in flight to pass for a later one.
    QVERIFY(wire.answers.empty());
    QCOMPARE(session.connectionState(), connected ? UpdateSession::Connected : UpdateSession::Connecting);
    QCOMPARE(timedOut.size(), connected ? 0 : 1);
    QCOMPARE(measured.size(), connected ? 1 : 0);
    QTEST(session.dataRoundTripUs(), "dataTripUs");
}

QTEST_GUILESS_MAIN(TestConnect)
#include "tst_connect.moc"
