// The browser's C interface to one device's session, driven as
// web/driveupdate.js drives it in node: Connect and its timed reads, then a
// whole update; commands taken one at a time, replies handed back, a tick
// whenever nothing is in flight, the clock the test's own.

#include "qeldevice.h"
#include "qelsession.h"

#include <doctest/doctest.h>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr int MaxTicks = 200000;
constexpr int MaxCommands = 200000;  // an update that talks in circles ends the run, it does not hang it
constexpr double TickMs = 10;
constexpr double ExchangeMs = 0.5;

std::vector<std::uint8_t> makeImage(std::size_t size)
{
    std::vector<std::uint8_t> image(size);
    std::uint32_t x = 0xC0FFEEu;
    for (std::uint8_t &b : image)
        b = std::uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    return image;
}

// A session and a simulated Qel joined by the test.
struct Wire
{
    QelDevice *device;
    QelSession *session = qel_session_new();
    double now = 0;
    int commands = 0;
    int ticks = 0;
    std::array<int, 8> seen{};
    int mostProgressInACall = 0;
    std::array<std::uint8_t, 1024> command{};
    std::array<std::uint8_t, 1024> reply{};

    Wire(int reads, double loss, std::uint32_t seed) : device(qel_device_new(reads, loss, seed)) {}
    ~Wire()
    {
        qel_session_free(session);
        qel_device_free(device);
    }

    void takeEvents()
    {
        int progress = 0;
        for (int e; (e = qel_session_next_event(session)) != QEL_EVENT_NONE;) {
            ++seen.at(std::size_t(e));
            progress += e == QEL_EVENT_PROGRESS;
        }
        mostProgressInACall = std::max(mostProgressInACall, progress);
    }

    bool step()
    {
        const std::size_t length = qel_session_next_command(session, command.data(), command.size());
        if (length == 0) {
            now += TickMs;
            qel_session_tick(session, now);
            ++ticks;
        } else {
            ++commands;
            now += ExchangeMs;
            const std::size_t replies = qel_device_handle(device, command.data(), length);
            for (std::size_t i = 0; i < replies; ++i)
                qel_session_take_message(session, reply.data(),
                                         qel_device_reply(device, i, reply.data(), reply.size()), now);
        }
        takeEvents();
        return ticks < MaxTicks && commands < MaxCommands;
    }

    template <typename Done>
    void runUntil(Done done)
    {
        while (!done() && step()) {
        }
    }
};

} // namespace

TEST_CASE("whole updates through the session's C interface")
{
    struct Case
    {
        const char *name;
        int reads;
        double loss;
        std::uint32_t seed;
        bool verify;
        const char *outcome;
    };
    const Case cases[] = {
        {"whole flash", QEL_READS_WHOLE_FLASH, 0, 1, false, "success"},
        {"block 0, verifying", QEL_READS_BLOCK_ZERO, 0, 1, true, "not_verified"},
        {"whole flash, losses, verifying", QEL_READS_WHOLE_FLASH, 0.004, 7, true, "success"},
        {"block 0, losses", QEL_READS_BLOCK_ZERO, 0.004, 11, false, "success"},
        {"nothing arrives", QEL_READS_WHOLE_FLASH, 1, 1, false, "device_silent"},
    };
    const std::vector<std::uint8_t> image = makeImage(70 * 2048 - 77);
    for (const Case &c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        Wire wire(c.reads, c.loss, c.seed);
        qel_session_connect(wire.session, wire.now);
        wire.runUntil([&] { return wire.seen[QEL_EVENT_MEASURED] > 0 || wire.seen[QEL_EVENT_NO_ANSWER] > 0; });
        const bool answers = c.loss < 1;
        CHECK((qel_session_state(wire.session) == QEL_CONNECTED) == answers);
        if (answers) {
            CHECK(qel_session_measuring(wire.session) == 0);
            // Five reads of half a millisecond each way: the duration is measured, not guessed.
            CHECK(qel_session_expected_ms(wire.session, image.size(), c.verify) > 0);
            CHECK(std::string(qel_session_serial_text(wire.session)).size() > 0);
        }

        qel_session_start_update(wire.session, image.data(), image.size(), c.verify, wire.now);
        wire.runUntil([&] { return wire.seen[QEL_EVENT_FINISHED] > 0; });
        const std::string outcome = qel_outcome_name(qel_session_outcome(wire.session));
        CHECK(outcome == c.outcome);
        CHECK(wire.seen[QEL_EVENT_FINISHED] == 1);
        CHECK(wire.mostProgressInACall <= 1);
        CHECK(qel_device_violations(wire.device) == 0);
        CHECK((qel_device_losses(wire.device) > 0) == (c.loss > 0));
        const bool written = outcome == "success" || outcome == "not_verified";
        CHECK((qel_device_holds(wire.device, image.data(), image.size()) == 1) == written);
        if (outcome == "success") {
            CHECK(qel_session_pages_done(wire.session) == qel_session_pages_total(wire.session));
            CHECK(qel_session_after_update(wire.session) >= QEL_AFTER_RUNNING);
        }
    }
}

TEST_CASE("the C interface hands out a command only whole, and a duplicate reply is passed over")
{
    Wire wire(QEL_READS_WHOLE_FLASH, 0, 1);
    qel_session_connect(wire.session, 0);
    std::array<std::uint8_t, 1024> buffer{};
    const std::size_t needed = qel_session_next_command(wire.session, buffer.data(), 4);
    CHECK(needed > 4);
    // Too small a buffer takes nothing: the same command comes whole next time.
    CHECK(qel_session_next_command(wire.session, buffer.data(), buffer.size()) == needed);
    CHECK(buffer[0] == 0xF0);
    CHECK(buffer[needed - 1] == 0xF7);
    CHECK(qel_session_next_command(wire.session, buffer.data(), buffer.size()) == 0);
    CHECK(qel_session_state(wire.session) == QEL_CONNECTING);

    const std::vector<std::uint8_t> image = makeImage(100);
    qel_session_start_update(wire.session, image.data(), image.size(), 0, 0);
    CHECK(std::string(qel_outcome_name(qel_session_outcome(wire.session))) == "running");
    qel_session_cancel(wire.session);
    wire.runUntil([&] { return wire.seen[QEL_EVENT_FINISHED] > 0; });
    CHECK(std::string(qel_outcome_name(qel_session_outcome(wire.session))) == "cancelled");

    qel_session_start_update(wire.session, nullptr, 0, 0, 0);
    CHECK(std::string(qel_outcome_name(qel_session_outcome(wire.session))) == "no_image");
    CHECK(qel_session_next_command(wire.session, buffer.data(), buffer.size()) == 0);
}
