// The queue between the MIDI system's thread and the GUI thread: bounded,
// in order, whole messages, and safe with one thread on each end (this test
// also runs under ThreadSanitizer).

#include "receivequeue.h"

#include <QTest>

#include <array>
#include <thread>
#include <vector>

namespace {

// Message n: its length and every byte follow from n, so a torn or
// misplaced copy shows.
std::vector<std::uint8_t> message(std::uint32_t n)
{
    std::vector<std::uint8_t> bytes(1 + n % ReceiveQueue::SlotSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t((n * 31 + i) & 0x7F);
    return bytes;
}

bool push(ReceiveQueue &queue, const std::vector<std::uint8_t> &bytes)
{
    return queue.push(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> pop(ReceiveQueue &queue)
{
    std::array<std::uint8_t, ReceiveQueue::SlotSize> out;
    const std::size_t length = queue.pop(out.data());
    return std::vector<std::uint8_t>(out.begin(), out.begin() + length);
}

} // namespace

class TestReceiveQueue : public QObject
{
    Q_OBJECT

private slots:
    void boundedInOrderAndCut()
    {
        ReceiveQueue queue(5);
        QCOMPARE(queue.capacity(), std::size_t(8));
        QVERIFY(pop(queue).empty());
        // Around the ring twice, so that slots are reused.
        for (std::uint32_t round = 0; round < 2; ++round) {
            for (std::uint32_t n = 0; n < 8; ++n)
                QVERIFY(push(queue, message(round * 8 + n)));
            QVERIFY(!push(queue, message(99)));  // full: dropped, nothing overwritten
            for (std::uint32_t n = 0; n < 8; ++n)
                QCOMPARE(pop(queue), message(round * 8 + n));
            QVERIFY(pop(queue).empty());
        }
        QCOMPARE(queue.dropped(), std::uint64_t(2));

        const std::vector<std::uint8_t> tooLong(ReceiveQueue::SlotSize + 300, 0x55);
        QVERIFY(push(queue, tooLong) && push(queue, message(3)));
        QCOMPARE(pop(queue), std::vector<std::uint8_t>(ReceiveQueue::SlotSize, 0x55));
        QVERIFY(push(queue, message(4)));
        queue.clear();
        QVERIFY(pop(queue).empty());
        QVERIFY(push(queue, message(5)));
        QCOMPARE(pop(queue), message(5));
    }

    // A small queue, so that the producer often finds it full and the two
    // threads meet on the same slots.
    void producerAndConsumerThreads()
    {
        constexpr std::uint32_t Messages = 20000;
        ReceiveQueue queue(4);
        std::thread producer([&] {
            for (std::uint32_t n = 0; n < Messages; ++n) {
                const std::vector<std::uint8_t> bytes = message(n);
                while (!push(queue, bytes))
                    std::this_thread::yield();
            }
        });
        std::uint32_t received = 0;
        std::uint32_t wrong = 0;
        while (received < Messages) {
            const std::vector<std::uint8_t> got = pop(queue);
            if (got.empty()) {
                std::this_thread::yield();
                continue;
            }
            wrong += got == message(received) ? 0 : 1;
            ++received;
        }
        producer.join();
        QCOMPARE(wrong, 0u);
        QVERIFY(pop(queue).empty());
    }
};

QTEST_GUILESS_MAIN(TestReceiveQueue)
#include "tst_receivequeue.moc"
