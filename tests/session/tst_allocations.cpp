// The steady exchange of an update allocates no memory: not where the MIDI
// thread hands a reply on, not on the way to the engine, not in building and
// sending the next command; nor in the page's C interface, between a message
// handed in and the next command taken. The device answers on this thread
// between the counted stretches, so only the updater's own work is counted.

#include "malloccounter.h"
#include "qelsession.h"
#include "simdevice.h"
#include "updatesession.h"

#include <QTest>

#include <array>

namespace {

// Keeps what the session sends in fixed buffers, so that sending allocates
// nothing of the test's; the test answers it as the device.
class WireService : public MidiService
{
public:
    std::optional<QString> inPortName(int index) const override { return name(index); }
    std::optional<QString> outPortName(int index) const override { return name(index); }
    bool openIn(int, ReceiveCallback callback) override
    {
        receive = std::move(callback);
        return true;
    }
    bool openOut(int) override { return outOpen = true; }
    void closeIn() override { receive = nullptr; }
    void closeOut() override { outOpen = false; }
    bool isInOpen() const override { return bool(receive); }
    bool isOutOpen() const override { return outOpen; }
    bool send(const std::uint8_t *data, std::size_t length) override
    {
        if (waiting == sent.size() || length > Command().bytes.size()) {
            overflowed = true;
            return true;
        }
        Command &command = sent[waiting++];
        std::copy(data, data + length, command.bytes.begin());
        command.length = length;
        return true;
    }

    struct Command
    {
        std::array<std::uint8_t, SysEx::MaxMessageLength> bytes;
        std::size_t length = 0;
    };
    std::array<Command, 8> sent;
    std::size_t waiting = 0;
    bool overflowed = false;
    ReceiveCallback receive;

private:
    static std::optional<QString> name(int index)
    {
        return index == 0 ? std::optional<QString>(QStringLiteral("Wire")) : std::nullopt;
    }
    bool outOpen = false;
};

} // namespace

class TestAllocations : public QObject
{
    Q_OBJECT

private slots:
    void noneInTheSteadyExchange()
    {
        auto owned = std::make_unique<WireService>();
        WireService &wire = *owned;
        UpdateSession session(std::move(owned));
        // Views listen, as the window does; what they are shown comes at the tick.
        int shown = 0;
        connect(&session, &UpdateSession::traced, this, [&](const QString &line) { shown += int(line.size()); });
        connect(&session, &UpdateSession::progressChanged, this, [&](const UpdateSession::Progress &) { ++shown; });
        SimDevice device;
        device.storeListCopies(1, {}, 0);

        // The device's part: answers every command sent so far, through the
        // receive callback as the MIDI thread would; then the updater's part,
        // counted: the queue, the reply intake, the engine and the next send.
        std::vector<Bytes> replies;
        auto exchange = [&]() -> std::uint64_t {
            replies.clear();
            for (std::size_t i = 0; i < wire.waiting; ++i) {
                for (Bytes &reply : device.handle(wire.sent[i].bytes.data(), wire.sent[i].length))
                    replies.push_back(std::move(reply));
            }
            wire.waiting = 0;
            const std::uint64_t before = MallocCounter::allocations();
            for (const Bytes &reply : replies)
                wire.receive(reply.data(), reply.size());
            session.deviceLink().ports().takeWaiting();
            return MallocCounter::allocations() - before;
        };

        QVERIFY(session.connectDevice(0, 0));
        while (session.isMeasuring() || session.connectionState() != UpdateSession::Connected)
            exchange();
        session.startUpdate();
        QVERIFY(session.isUpdating());

        // Past the bad-block list and the first block; short of the end.
        constexpr int WarmUp = 300;
        constexpr int Counted = 6000;
        std::uint64_t allocations = 0;
        for (int n = 0; n < WarmUp + Counted && session.isUpdating(); ++n) {
            const std::uint64_t counted = exchange();
            if (n >= WarmUp)
                allocations += counted;
            if (n % 25 == 0)
                session.tick();  // the views' turn, as a 10 ms tick would come
        }
        QVERIFY(!wire.overflowed);
        QVERIFY2(session.isUpdating(), "the update ended before the counted stretch did");
        QCOMPARE(session.counters().exchanges, WarmUp + Counted);
        QVERIFY(shown > 0);
        QCOMPARE(allocations, std::uint64_t(0));
    }

    void noneInThePagesExchange()
    {
        std::unique_ptr<QelSession, void (*)(QelSession *)> session(qel_session_new(), qel_session_free);
        SimDevice device;
        device.storeListCopies(1, {}, 0);
        std::array<std::uint8_t, SysEx::MaxMessageLength> command{};
        double nowMs = 0;
        int exchanges = 0;
        // The device answers the command taken; counted: the replies handed
        // in, the engine, and the next command taken. Events are the page's
        // to take at its tick, as words for the log.
        auto exchange = [&]() -> std::uint64_t {
            std::uint64_t counted = 0;
            std::uint64_t before = MallocCounter::allocations();
            const std::size_t length = qel_session_next_command(session.get(), command.data(), command.size());
            counted += MallocCounter::allocations() - before;
            if (length == 0) {
                qel_session_tick(session.get(), nowMs += 10);
                while (qel_session_next_event(session.get()) != QEL_EVENT_NONE) {
                }
                return counted;
            }
            ++exchanges;
            const std::vector<Bytes> replies = device.handle(command.data(), length);
            before = MallocCounter::allocations();
            for (const Bytes &reply : replies)
                qel_session_take_message(session.get(), reply.data(), reply.size(), nowMs);
            return counted + MallocCounter::allocations() - before;
        };

        qel_session_connect(session.get(), nowMs);
        while (qel_session_measuring(session.get()) || qel_session_state(session.get()) != QEL_CONNECTED)
            exchange();
        const QByteArray image(3915900, '\x5a');
        qel_session_start_update(session.get(), reinterpret_cast<const std::uint8_t *>(image.constData()),
                                 std::size_t(image.size()), 0, nowMs);
        constexpr int WarmUp = 300;
        constexpr int Counted = 6000;
        std::uint64_t allocations = 0;
        exchanges = 0;
        for (int n = 0; exchanges < WarmUp + Counted && qel_session_updating(session.get()); ++n) {
            const std::uint64_t counted = exchange();
            if (exchanges > WarmUp)
                allocations += counted;
            if (n % 25 == 0) {
                qel_session_tick(session.get(), nowMs += 10);
                while (qel_session_next_event(session.get()) != QEL_EVENT_NONE) {
                }
            }
        }
        QVERIFY2(qel_session_updating(session.get()), "the update ended before the counted stretch did");
        QVERIFY(qel_session_pages_done(session.get()) > 0);
        QCOMPARE(allocations, std::uint64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestAllocations)
#include "tst_allocations.moc"
