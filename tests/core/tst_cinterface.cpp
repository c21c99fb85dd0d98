// The browser's C interface to one device's session, driven as
// web/driveupdate.js drives it in node: Connect and its timed reads, then a
// whole update; commands taken one at a time, replies handed back, a tick
// whenever nothing is in flight, the clock the test's own.

#include "corerig.h"
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
    int progressBetweenTicks = 0;  // progress handed out by a reply, not by a tick nor at the end
    std::vector<std::string> traces;
    int copies = 1;  // each reply is handed over this many times
    std::array<std::uint8_t, 1024> command{};
    std::array<std::uint8_t, 1024> reply{};

    Wire(int reads, double loss, std::uint32_t seed) : device(qel_device_new(reads, loss, seed)) {}
    ~Wire()
    {
        qel_session_free(session);
        qel_device_free(device);
    }

    void takeEvents(bool ticked = true)
    {
        int progress = 0;
        bool finished = false;
        for (int e; (e = qel_session_next_event(session)) != QEL_EVENT_NONE;) {
            finished = finished || e == QEL_EVENT_FINISHED;
            ++seen.at(std::size_t(e));
            progress += e == QEL_EVENT_PROGRESS;
            if (e == QEL_EVENT_TRACE)
                traces.emplace_back(qel_session_trace(session));
        }
        mostProgressInACall = std::max(mostProgressInACall, progress);
        if (!ticked && !finished && qel_session_updating(session))
            progressBetweenTicks += progress;
    }

    bool step()
    {
        const std::size_t length = qel_session_next_command(session, command.data(), command.size());
        const bool ticked = length == 0;
        if (ticked) {
            now += TickMs;
            qel_session_tick(session, now);
            ++ticks;
        } else {
            ++commands;
            now += ExchangeMs;
            const std::size_t replies = qel_device_handle(device, command.data(), length);
            for (std::size_t i = 0; i < replies; ++i) {
                const std::size_t size = qel_device_reply(device, i, reply.data(), reply.size());
                for (int copy = 0; copy < copies; ++copy)
                    qel_session_take_message(session, reply.data(), size, now);
            }
        }
        takeEvents(ticked);
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
    // The outcomes themselves are the engine's (tst_coreupdate, tst_updateengine);
    // these rows take the outbox, the stamps and the queue through resends.
    const Case cases[] = {
        {"block 0, verifying", QEL_READS_BLOCK_ZERO, 0, 1, true, "not_verified"},
        {"whole flash, losses, verifying", QEL_READS_WHOLE_FLASH, 0.004, 7, true, "success"},
        {"every reply twice", QEL_READS_WHOLE_FLASH, 0, 1, true, "success"},
        {"nothing arrives", QEL_READS_WHOLE_FLASH, 1, 1, false, "device_silent"},
    };
    const std::vector<std::uint8_t> image = makeImage(70 * 2048 - 77);
    for (const Case &c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        Wire wire(c.reads, c.loss, c.seed);
        // A reply is stamped with the commands the page had taken when it came,
        // so the second copy cannot pass for the answer to a later command.
        wire.copies = name == "every reply twice" ? 2 : 1;
        qel_session_connect(wire.session, wire.now);
        wire.runUntil([&] { return wire.seen[QEL_EVENT_MEASURED] > 0 || wire.seen[QEL_EVENT_NO_ANSWER] > 0; });
        const bool answers = c.loss < 1;
        CHECK((qel_session_state(wire.session) == QEL_CONNECTED) == answers);
        if (answers) {
            CHECK(qel_session_measuring(wire.session) == 0);
            CHECK(std::string(qel_session_serial_text(wire.session)).size() > 0);
        }

        qel_session_start_update(wire.session, image.data(), image.size(), c.verify, wire.now);
        wire.runUntil([&] { return wire.seen[QEL_EVENT_FINISHED] > 0; });
        const std::string outcome = qel_outcome_name(qel_session_outcome(wire.session));
        CHECK(outcome == c.outcome);
        CHECK(wire.seen[QEL_EVENT_FINISHED] == 1);
        CHECK(wire.mostProgressInACall <= 1);
        CHECK(wire.progressBetweenTicks == 0);
        REQUIRE(!wire.traces.empty());
        CHECK(wire.traces.front() == "\"Reset NAND\"");
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

TEST_CASE("commands the page has not taken wait, whole and in order")
{
    Wire wire(QEL_READS_WHOLE_FLASH, 0, 1);
    std::array<std::uint8_t, 1024> buffer{};
    const auto commandsWaiting = [&] {
        std::string taken;  // 'I' Identify, 'R' ReadChunk
        for (std::size_t length; (length = qel_session_next_command(wire.session, buffer.data(), buffer.size())) > 0;) {
            CHECK(buffer[length - 1] == 0xF7);
            taken += buffer[9] == 0 ? 'I' : buffer[9] == 9 ? 'R' : '?';
        }
        return taken;
    };
    // Identify is asked four times while nothing is taken.
    qel_session_connect(wire.session, 0);
    for (int tick = 1; tick <= 300; ++tick)
        qel_session_tick(wire.session, tick * TickMs);
    wire.takeEvents();
    CHECK(wire.seen[QEL_EVENT_NO_ANSWER] == 1);
    CHECK(commandsWaiting() == "IIII");
    CHECK(std::string(qel_no_answer_phrase()).find("did not answer") != std::string::npos);

    // Answered: the first timed read goes out, and while it is not taken,
    // the Identify that fences it and the next one wait behind it.
    qel_session_free(wire.session);
    wire.session = qel_session_new();
    qel_session_connect(wire.session, 0);
    const std::size_t identify = qel_session_next_command(wire.session, wire.command.data(), wire.command.size());
    REQUIRE(qel_device_handle(wire.device, wire.command.data(), identify) == 1);
    qel_session_take_message(wire.session, wire.reply.data(),
                             qel_device_reply(wire.device, 0, wire.reply.data(), wire.reply.size()), 1);
    for (int tick = 1; tick <= 120; ++tick)
        qel_session_tick(wire.session, tick * TickMs);
    CHECK(commandsWaiting() == "RII");
}

TEST_CASE("a port that leaves or refuses ends the update and says so")
{
    for (const bool refused : {false, true}) {
        CAPTURE(refused);
        Wire wire(QEL_READS_WHOLE_FLASH, 0, 1);
        qel_session_connect(wire.session, 0);
        wire.runUntil([&] { return wire.seen[QEL_EVENT_MEASURED] > 0; });
        const std::vector<std::uint8_t> image = makeImage(70 * 2048);
        qel_session_start_update(wire.session, image.data(), image.size(), 0, wire.now);
        for (int i = 0; i < 300; ++i)
            wire.step();
        REQUIRE(qel_session_updating(wire.session) == 1);
        if (refused)
            qel_session_send_refused(wire.session);
        else
            qel_session_port_gone(wire.session);
        wire.runUntil([&] { return wire.seen[QEL_EVENT_FINISHED] > 0; });
        CHECK(std::string(qel_outcome_name(qel_session_outcome(wire.session))) == (refused ? "port_lost" : "port_gone"));
        CHECK(std::string(qel_session_message(wire.session)).find(refused ? "refused a message" : "went away")
              != std::string::npos);
    }
}

TEST_CASE("the version, the duration and the confirmation as the page reads them")
{
    // The order and the rounding are tst_sessionwords'; here, what reaches the page.
    CHECK(std::string(qel_version_text(0x0801)) == "1.08");
    CHECK(qel_version_order(0x0801) == -1);
    CHECK(qel_version_order(0x0901) == 0);
    CHECK(qel_version_order(0x0002) == 1);
    CHECK(std::string(qel_expected_phrase(44000)) == "{\"text\":\"about %1 s\",\"args\":[\"40\"]}");
    CHECK(std::string(qel_remaining_phrase(151000)) == "{\"text\":\"about %1 min left\",\"args\":[\"3\"]}");

    Wire wire(QEL_READS_WHOLE_FLASH, 0, 1);
    qel_session_connect(wire.session, 0);
    wire.runUntil([&] { return wire.seen[QEL_EVENT_MEASURED] > 0; });
    CHECK(qel_session_firmware(wire.session) == 0x0801);
    CHECK(std::string(qel_session_verdict(wire.session))
          == "{\"text\":\"Firmware %1 is older than %2: an update is recommended.\",\"args\":[\"1.08\",\"1.09\"]}");
    const std::string question = qel_session_confirmation(wire.session, 3915900, 0);
    CHECK(question.rfind("[{\"text\":\"Update the Qel from firmware %1 to %2?\",\"args\":[\"1.08\",\"1.09\"]},\"\\n\\n\",", 0) == 0);
    // Reads of half a millisecond each on the test's clock; the built-in
    // image takes 1913 pages of 35 exchanges, 30 erases and the set-up.
    CHECK(qel_session_expected_ms(wire.session, 3915900, 0) == (1913 * 35 + 30 + 16) / 2);
}
