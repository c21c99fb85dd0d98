// One device from Connect to the end of its update, without ports or Qt: the
// greeting asked again, the reads timed after it and the duration they give,
// what the views are handed at the tick, and the device asked again after a
// success. The test is the wire and the clock; nothing runs by itself.

#include "devicereplies.h"
#include "deviceconversation.h"
#include "corerig.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t TickUs = DeviceConversation::TickIntervalMs * 1000;
constexpr int Wait = 3000 / DeviceConversation::TickIntervalMs;  // as long as the command line waits

Reply decoded(const Bytes &message, std::uint32_t stamp = Reply::Unstamped)
{
    Reply reply = decodeReply(message.data(), int(message.size()));
    reply.sentBefore = stamp;
    return reply;
}

// What the conversation reported, in order, as short words.
struct Heard : ConversationListener
{
    std::vector<std::string> said;
    std::vector<Progress> progress;
    std::vector<UpdateOutcome> outcomes;
    std::vector<std::string> messages;
    int traces = 0;

    int count(const std::string &word) const
    {
        int n = 0;
        for (const std::string &s : said)
            n += s == word;
        return n;
    }
    void connectionChanged(Connection state) override { said.push_back("state " + std::to_string(int(state))); }
    void identified() override { said.push_back("identified"); }
    void identifyTimedOut() override { said.push_back("timed out"); }
    void measured() override { said.push_back("measured"); }
    void verdictChanged() override { said.push_back("verdict"); }
    void transferStateChanged(bool on) override { said.push_back(on ? "on" : "off"); }
    void progressChanged(const Progress &p) override { progress.push_back(p); }
    void traced(const TraceLine &) override { ++traces; }
    void finished(UpdateOutcome outcome, const Phrase &message) override
    {
        outcomes.push_back(outcome);
        messages.push_back(message.english());
    }
};

// What becomes of each message sent, in order: 'a' answered, 'l' lost (the
// message or its answer), 'd' answered late, after the next message is sent.
// Messages past the end of the plan are answered.
struct ScriptedWire : CommandSink
{
    std::string plan;
    std::deque<Bytes> answers;
    Bytes late;
    std::string sent;  // 'I' Identify, 'R' ReadChunk

    bool send(const SysExMessage &message) override
    {
        const auto command = Command(message.bytes[SysEx::CommandOffset]);
        sent += command == Command::Identify ? 'I' : 'R';
        const std::size_t index = sent.size() - 1;
        const char fate = index < plan.size() ? plan[index] : 'a';
        if (!late.empty())
            answers.push_back(std::exchange(late, Bytes()));
        if (fate == 'l')
            return true;
        const std::uint8_t chunk[64] = {};
        Bytes answer = command == Command::Identify
            ? DeviceReply::identity(7, 0x0801, "Qel")
            : DeviceReply::data(DeviceReply::answerType(command), chunk, sizeof chunk);
        if (fate == 'd')
            late = std::move(answer);
        else
            answers.push_back(std::move(answer));
        return true;
    }
};

// A conversation with the same-thread simulated device; the clock moves only
// where the test moves it. Replies wait in an inbox, as the ports' queue
// holds them, so that one step is one hand-over.
struct Rig : CommandSink
{
    SimLoop loop;
    Heard heard;
    DeviceConversation conversation{*this, heard};
    std::int64_t nowUs = 0;
    std::vector<Reply> inbox;

    Rig()
    {
        loop.device.storeListCopies(1, {}, 0);
        loop.receiver = [this](const Bytes &message) { inbox.push_back(decoded(message, loop.arrivalStamp())); };
    }
    bool send(const SysExMessage &message) override { return loop.send(message.data(), message.size()); }
    std::uint32_t sentCount() const override { return std::uint32_t(loop.sentCount()); }

    // Hands over what is on the wire now; false when nothing was.
    bool step()
    {
        loop.pump();
        const std::vector<Reply> waiting = std::exchange(inbox, {});
        for (const Reply &reply : waiting)
            conversation.takeReply(reply, nowUs);
        return !waiting.empty();
    }
    void tick()
    {
        nowUs += TickUs;
        loop.tick();
        conversation.tick(nowUs);
    }
    bool connect()
    {
        conversation.connect(nowUs);
        while (step()) {
        }
        return conversation.connection() == DeviceConversation::Connection::Connected && !conversation.isMeasuring();
    }
    // Until the update running has ended.
    void finish()
    {
        for (int t = 0; heard.outcomes.empty() && t < 100000; ++t) {
            while (step()) {
            }
            tick();
        }
    }
};

} // namespace

TEST_CASE("Connect through lost and late messages: Identify and the timed reads are asked again")
{
    struct Case
    {
        const char *name;
        const char *plan;
        const char *sent;
        bool connected;
    };
    const Case cases[] = {
        {"nothing lost", "", "IRRRRR", true},
        {"Identify lost", "l", "IIRRRRR", true},
        {"Identify lost three times", "lll", "IIIIRRRRR", true},
        {"Identify answered late", "d", "IIRRRRR", true},
        {"every Identify lost", "llll", "IIII", false},
        {"a timed read lost", "aal", "IRRIRRRR", true},
        {"a timed read answered late", "aad", "IRRIRRRR", true},
        {"a timed read and the Identify after it lost", "aall", "IRRIIRRRR", true},
        {"more reads lost than asked again", "aallll", "IRRIII", true},
    };
    for (const Case &c : cases) {
        CAPTURE(std::string(c.name));
        ScriptedWire wire;
        wire.plan = c.plan;
        Heard heard;
        DeviceConversation conversation(wire, heard);
        conversation.setIdentifyTimeout(Wait);
        std::int64_t nowUs = 0;
        conversation.connect(nowUs);
        // Each tick one answer comes off the wire, ten milliseconds after the one before.
        for (int tick = 0; tick < 2 * Wait && heard.count("measured") == 0; ++tick) {
            nowUs += TickUs;
            if (!wire.answers.empty()) {
                const Bytes answer = wire.answers.front();
                wire.answers.pop_front();
                conversation.takeReply(decoded(answer), nowUs);
            }
            conversation.tick(nowUs);
        }
        CHECK(wire.sent == c.sent);
        // No read is left in flight to pass for a later one.
        CHECK(wire.answers.empty());
        CHECK(conversation.connection()
              == (c.connected ? DeviceConversation::Connection::Connected : DeviceConversation::Connection::Connecting));
        CHECK(heard.count("timed out") == (c.connected ? 0 : 1));
        CHECK(heard.count("measured") == (c.connected ? 1 : 0));
        CHECK(conversation.dataRoundTripUs() == (c.connected ? TickUs : 0));
        CHECK(conversation.roundTripUs() == (c.connected ? TickUs : 0));
    }
}

TEST_CASE("the greeting's own time-out")
{
    struct Case
    {
        const char *name;
        int timeout;      // ticks; 0 waits for ever
        int answerAfter;  // ticks before the answer is handed over; 0: never
        int timeouts;
    };
    const Case cases[] = {
        {"silent", 3, 0, 1},
        {"silent, no time-out set", 0, 0, 0},
        {"answered in time", 3, 2, 0},
        {"answered too late", 3, 3, 1},
    };
    for (const Case &c : cases) {
        CAPTURE(std::string(c.name));
        Rig rig;
        rig.conversation.setIdentifyTimeout(c.timeout);
        rig.conversation.connect(0);
        rig.loop.clearWire();  // the answer is handed over when the case says
        for (int tick = 1; tick <= 10; ++tick) {
            rig.tick();
            if (tick == c.answerAfter)
                rig.conversation.takeReply(decoded(DeviceReply::identity(7, 0x0801, "Qel")), rig.nowUs);
        }
        CHECK(rig.heard.count("timed out") == c.timeouts);
        CHECK(rig.conversation.connection()
              == (c.answerAfter ? DeviceConversation::Connection::Connected : DeviceConversation::Connection::Connecting));
    }
}

TEST_CASE("the identity comes only from answers to Identify, and not after Disconnect")
{
    struct Case
    {
        const char *name;
        Bytes message;
        bool disconnectFirst;
        const char *serial;
    };
    const std::string kept = "586-638-764";
    const Case cases[] = {
        {"another device", {0xf0, 0x00, 0x11, 0x22, 0x0b, 0x00, 0x00, 0x00, 0x00, 0x20, 0x01, 0x12, 0x7f}, false, kept.c_str()},
        {"unknown type", {0xf0, 0x00, 0x11, 0x22, 0x0a, 0x00, 0x00, 0x00, 0x00, 0x35, 0xf7}, false, kept.c_str()},
        {"cut short", {0xf0, 0x00}, false, kept.c_str()},
        {"a new identity", DeviceReply::identity(42, 0x0A02, "Qel"), false, "040-000-020"},
        {"after Disconnect", DeviceReply::identity(42, 0x0A02, "Qel"), true, ""},
    };
    for (const Case &c : cases) {
        CAPTURE(std::string(c.name));
        Rig rig;
        REQUIRE(rig.connect());
        CHECK(rig.conversation.serialText() == kept);
        if (c.disconnectFirst)
            rig.conversation.disconnect();
        const int before = rig.heard.count("identified");
        rig.conversation.takeReply(decoded(c.message), rig.nowUs);
        CHECK(rig.conversation.serialText() == c.serial);
        CHECK(rig.heard.count("identified") - before == (std::string(c.serial) == "040-000-020" ? 1 : 0));
    }
}

// Replies move the update on at once; what the views are handed comes with
// the next tick, all of it at once, and only when there is something new.
TEST_CASE("views are handed progress and trace lines at the tick")
{
    Rig rig;
    REQUIRE(rig.connect());
    const Bytes image = makeImage(20 * 2048);
    rig.conversation.startUpdate(image.data(), image.size(), false, rig.nowUs);
    for (int i = 0; i < 200; ++i)
        REQUIRE(rig.step());
    CHECK(rig.conversation.exchanges() == 200);
    CHECK(rig.heard.progress.empty());
    CHECK(rig.heard.traces == 0);
    rig.conversation.tick(rig.nowUs);
    REQUIRE(rig.heard.progress.size() == 1);
    CHECK(rig.heard.progress[0].pagesDone == rig.conversation.progress().pagesDone);
    CHECK(rig.heard.progress[0].pagesDone > 0);
    CHECK(rig.heard.traces > 0);
    const int lines = rig.heard.traces;
    rig.conversation.tick(rig.nowUs);
    CHECK(rig.heard.progress.size() == 1);
    CHECK(rig.heard.traces == lines);

    // A view that asks for fewer updates gets them every so many ticks.
    rig.conversation.setViewTicks(3);
    for (int tick = 1; tick <= 6; ++tick) {
        for (int i = 0; i < 40; ++i)  // more than a page each time
            REQUIRE(rig.step());
        rig.conversation.tick(rig.nowUs);
        CHECK(rig.heard.progress.size() == std::size_t(1 + tick / 3));
    }
}

// On a link where every byte takes as long, the duration named before
// writing is the one the update then takes.
TEST_CASE("the duration named before writing is the one the update takes")
{
    constexpr std::int64_t UsPerByte = 320;  // a serial MIDI cable
    struct Case
    {
        const char *name;
        bool verify;
        int lost;  // the message whose answer is lost; -1: none
    };
    const Case cases[] = {
        {"writing", false, -1},
        {"writing and reading back", true, -1},
        {"a timed read's answer lost", false, 3},
    };
    for (const Case &c : cases) {
        CAPTURE(std::string(c.name));
        Rig rig;
        rig.loop.responder = [&rig](const Bytes &command) {
            const std::vector<Bytes> replies = rig.loop.device.handle(command);
            rig.nowUs += UsPerByte * std::int64_t(command.size());
            for (const Bytes &reply : replies)
                rig.nowUs += UsPerByte * std::int64_t(reply.size());
            return replies;
        };
        const int lost = c.lost;
        rig.loop.fate = [lost](const Bytes &, int index) {
            return index == lost ? SimLoop::Fate::Lose : SimLoop::Fate::Deliver;
        };
        rig.conversation.connect(rig.nowUs);
        while (rig.step()) {
        }
        // A lost answer is asked again after its time-out.
        for (int tick = 0; tick < DeviceConversation::ProbeTimeoutTicks && rig.conversation.isMeasuring(); ++tick) {
            rig.conversation.tick(rig.nowUs);
            while (rig.step()) {
            }
        }
        REQUIRE(!rig.conversation.isMeasuring());
        const Bytes image = makeImage(3 * 64 * 2048);
        const std::int64_t expectedMs = rig.conversation.expectedDurationMs(std::int64_t(image.size()), c.verify);
        const std::int64_t startUs = rig.nowUs;
        rig.conversation.startUpdate(image.data(), image.size(), c.verify, rig.nowUs);
        while (rig.step()) {
        }
        const std::int64_t tookMs = (rig.nowUs - startUs) / 1000;
        REQUIRE(rig.heard.outcomes == std::vector<UpdateOutcome>{UpdateOutcome::Success});
        CAPTURE(expectedMs);
        CAPTURE(tookMs);
        // Within a fifth either way.
        CHECK(std::llabs(expectedMs - tookMs) * 5 <= tookMs);
    }
}

TEST_CASE("a success is told once the device has said which firmware it runs")
{
    struct Case
    {
        const char *name;
        std::uint32_t reportsAfter;  // 0: says nothing
        int answerAfterTicks;
        bool disconnect;             // the user disconnects while it is asked
        DeviceConversation::AfterUpdate after;
        const char *message;
    };
    using A = DeviceConversation::AfterUpdate;
    const char *runs = "The update is complete: the device now carries firmware 1.09.";
    const char *restart = "The firmware 1.09 was written. The Qel starts it after it is switched off and on.";
    const Case cases[] = {
        {"runs it", 0x0901, 0, false, A::Running, runs},
        {"still reports the old one", 0x0801, 0, false, A::NotRunning, restart},
        {"answers just in time", 0x0901, 3000 / DeviceConversation::TickIntervalMs - 1, false, A::Running, runs},
        {"silent for 3 s", 0, 0, false, A::NotRunning, restart},
        {"disconnected while asked", 0, 0, true, A::NotRunning, restart},
    };
    for (const Case &c : cases) {
        CAPTURE(std::string(c.name));
        Rig rig;
        REQUIRE(rig.connect());
        const Bytes image = makeImage(3 * 2048 + 100);
        // The Identify after the update is the test's to answer.
        rig.loop.responder = [&rig](const Bytes &command) {
            if (command[SysEx::CommandOffset] == std::uint8_t(Command::Identify))
                return std::vector<Bytes>{};
            return rig.loop.device.handle(command);
        };
        rig.conversation.startUpdate(image.data(), image.size(), false, rig.nowUs);
        while (rig.step()) {
        }
        REQUIRE(rig.conversation.afterUpdate() == A::Asking);
        CHECK(rig.heard.outcomes.empty());
        CHECK(rig.conversation.verdict().english() == "The firmware 1.09 was written.");
        int ticks = 0;
        for (; rig.heard.outcomes.empty() && ticks < 2 * DeviceConversation::AfterUpdateAnswerTicks; ++ticks) {
            if (c.disconnect)
                rig.conversation.disconnect();
            if (c.reportsAfter != 0 && ticks == c.answerAfterTicks)
                rig.conversation.takeReply(decoded(DeviceReply::identity(7, c.reportsAfter, "Qel")), rig.nowUs);
            rig.tick();
        }
        REQUIRE(rig.heard.outcomes == std::vector<UpdateOutcome>{UpdateOutcome::Success});
        CHECK(rig.heard.messages[0] == c.message);
        if (c.disconnect)
            CHECK(rig.conversation.afterUpdate() == A::NotAsked);  // forgotten with the device
        else
            CHECK(rig.conversation.afterUpdate() == c.after);
        if (!c.disconnect) {
            // The status line says what the ending said.
            CHECK(rig.conversation.verdict().english() == c.message);
            if (c.reportsAfter == 0)
                CHECK(ticks * DeviceConversation::TickIntervalMs == 3000);
        }
    }
}

// Answers owed to timed reads come before the update's ResetNand answer, if
// at all; none of them may be taken for an answer of the update's own reads.
TEST_CASE("an update started while a timed read is out")
{
    for (const SimLoop::Fate fate : {SimLoop::Fate::Lose, SimLoop::Fate::Hold}) {
        const bool lost = fate == SimLoop::Fate::Lose;
        CAPTURE(lost);
        Rig rig;
        rig.loop.fate = [fate](const Bytes &, int index) { return index == 1 ? fate : SimLoop::Fate::Deliver; };
        rig.conversation.connect(rig.nowUs);
        REQUIRE(rig.step());  // the Identify's answer; the first timed read goes out
        REQUIRE(rig.conversation.isMeasuring());
        const Bytes image = makeImage(2 * 64 * 2048);
        rig.conversation.startUpdate(image.data(), image.size(), false, rig.nowUs);
        CHECK(!rig.conversation.isMeasuring());
        rig.loop.releaseHeld();
        rig.finish();
        CHECK(rig.heard.outcomes == std::vector<UpdateOutcome>{UpdateOutcome::Success});
        CHECK(rig.conversation.updateEngine().retryCount() == 0);
        CHECK(rig.heard.count("measured") == 0);  // an update's start is no measurement
    }
}
