#include "qelsession.h"

#include "deviceconversation.h"
#include "firmwareversion.h"
#include "sessiontexts.h"
#include "updateduration.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Connect had no answer within this long: the desktop window's wait.
constexpr int NoAnswerTicks = 3000 / DeviceConversation::TickIntervalMs;

std::int64_t microseconds(double ms)
{
    return std::int64_t(std::llround(ms * 1000.0));
}

// Messages waiting to be taken, in a ring that grows only when the page falls
// behind: commands are as long as SysExMessage holds, so none is allocated
// while an update runs.
class Outbox
{
public:
    Outbox() : ring(8) {}

    void push(const SysExMessage &message)
    {
        if (count == ring.size()) {
            std::vector<SysExMessage> larger(ring.size() * 2);
            for (std::size_t i = 0; i < count; ++i)
                larger[i] = ring[(first + i) % ring.size()];
            ring.swap(larger);
            first = 0;
        }
        ring[(first + count) % ring.size()] = message;
        ++count;
    }
    bool empty() const { return count == 0; }
    const SysExMessage &front() const { return ring[first]; }
    void pop()
    {
        first = (first + 1) % ring.size();
        --count;
    }
    void clear()
    {
        first = 0;
        count = 0;
    }

private:
    std::vector<SysExMessage> ring;
    std::size_t first = 0;
    std::size_t count = 0;
};

} // namespace

// Commands wait in the outbox until the page takes them; a reply is stamped
// with how many the page had taken when it came, so a late one cannot pass
// for the answer to a later command. Events wait in a queue the page empties
// after each call.
struct QelSession : CommandSink, ConversationListener
{
    DeviceConversation conversation{*this, *this};
    Outbox outbox;
    std::uint32_t taken = 0;
    // The page's output refused a message: every later send fails, as the
    // desktop's port does, and the engine ends with PortLost.
    bool refused = false;

    struct Event
    {
        int kind;
        TraceLine line;
    };
    std::vector<Event> events;
    std::size_t nextEvent = 0;

    int outcome = QEL_RUNNING;
    Phrase message;

    // Strings handed out, kept until the next call of the same function.
    std::string traceJson;
    std::string verdictJson;
    std::string confirmationJson;
    std::string messageJson;

    QelSession()
    {
        events.reserve(512);
        conversation.setIdentifyTimeout(NoAnswerTicks);
    }

    void post(int kind, TraceLine line = {TraceKind::ResetNand, 0})
    {
        if (nextEvent == events.size()) {
            events.clear();
            nextEvent = 0;
        }
        events.push_back({kind, line});
    }

    bool send(const SysExMessage &message) override
    {
        if (refused)
            return false;
        outbox.push(message);
        return true;
    }
    std::uint32_t sentCount() const override { return taken; }

    void connectionChanged(Connection) override {}
    void identified() override { post(QEL_EVENT_CONNECTED); }
    void identifyTimedOut() override { post(QEL_EVENT_NO_ANSWER); }
    void measured() override { post(QEL_EVENT_MEASURED); }
    void verdictChanged() override { post(QEL_EVENT_VERDICT); }
    void transferStateChanged(bool) override {}
    void progressChanged(const Progress &) override { post(QEL_EVENT_PROGRESS); }
    void traced(const TraceLine &line) override { post(QEL_EVENT_TRACE, line); }
    void finished(UpdateOutcome ending, const Phrase &words) override
    {
        outcome = int(ending);
        message = words;
        post(QEL_EVENT_FINISHED);
    }
};

namespace {

const char *json(std::string &keep, const Phrase &phrase)
{
    keep.clear();
    phrase.appendJson(keep);
    return keep.c_str();
}

} // namespace

extern "C" {

QelSession *qel_session_new(void)
{
    return new QelSession;
}

void qel_session_free(QelSession *session)
{
    delete session;
}

void qel_session_connect(QelSession *session, double nowMs)
{
    session->outbox.clear();
    session->refused = false;
    session->conversation.connect(microseconds(nowMs));
}

void qel_session_disconnect(QelSession *session)
{
    session->conversation.disconnect();
    session->outbox.clear();
}

int qel_session_state(const QelSession *session)
{
    return int(session->conversation.connection());
}

size_t qel_session_next_command(QelSession *session, uint8_t *out, size_t capacity)
{
    if (session->outbox.empty())
        return 0;
    const SysExMessage &next = session->outbox.front();
    if (next.size() > capacity)
        return next.size();
    const size_t length = next.size();
    std::memcpy(out, next.data(), length);
    session->outbox.pop();
    ++session->taken;
    return length;
}

void qel_session_take_message(QelSession *session, const uint8_t *data, size_t length, double nowMs)
{
    if (length > size_t(SysEx::MaxReplyLength))
        length = size_t(SysEx::MaxReplyLength);
    Reply reply = decodeReply(data, int(length));
    reply.sentBefore = session->taken;
    session->conversation.takeReply(reply, microseconds(nowMs));
}

void qel_session_tick(QelSession *session, double nowMs)
{
    session->conversation.tick(microseconds(nowMs));
}

void qel_session_port_gone(QelSession *session)
{
    session->refused = true;
    session->conversation.portGone();
}

void qel_session_send_refused(QelSession *session)
{
    session->refused = true;
}

int qel_session_next_event(QelSession *session)
{
    if (session->nextEvent == session->events.size())
        return QEL_EVENT_NONE;
    const QelSession::Event &event = session->events[session->nextEvent++];
    if (event.kind == QEL_EVENT_TRACE)
        json(session->traceJson, SessionTexts::traceLine(event.line));
    return event.kind;
}

const char *qel_session_trace(const QelSession *session)
{
    return session->traceJson.c_str();
}

const char *qel_session_serial_text(const QelSession *session)
{
    return session->conversation.serialText().c_str();
}

uint32_t qel_session_firmware(const QelSession *session)
{
    return session->conversation.firmwareVersion();
}

const char *qel_session_verdict(QelSession *session)
{
    return json(session->verdictJson, session->conversation.verdict());
}

int qel_session_measuring(const QelSession *session)
{
    return session->conversation.isMeasuring() ? 1 : 0;
}

double qel_session_expected_ms(const QelSession *session, size_t imageBytes, int verify)
{
    return double(session->conversation.expectedDurationMs(std::int64_t(imageBytes), verify != 0));
}

const char *qel_session_confirmation(QelSession *session, size_t imageBytes, int verify)
{
    return json(session->confirmationJson, session->conversation.confirmation(std::int64_t(imageBytes), verify != 0));
}

void qel_session_start_update(QelSession *session, const uint8_t *image, size_t size, int verify, double nowMs)
{
    session->outcome = QEL_RUNNING;
    session->message = Phrase();
    session->conversation.startUpdate(image, size, verify != 0, microseconds(nowMs));  // it keeps a copy
}

void qel_session_cancel(QelSession *session)
{
    session->conversation.cancelUpdate();
}

int qel_session_updating(const QelSession *session)
{
    return session->conversation.isUpdating() ? 1 : 0;
}

int qel_session_outcome(const QelSession *session)
{
    return session->outcome;
}

const char *qel_session_message(QelSession *session)
{
    return json(session->messageJson, session->message);
}

int qel_session_after_update(const QelSession *session)
{
    return int(session->conversation.afterUpdate());
}

int qel_session_pages_done(const QelSession *session)
{
    return session->conversation.progress().pagesDone;
}

int qel_session_pages_total(const QelSession *session)
{
    return session->conversation.progress().pagesTotal;
}

int qel_session_block(const QelSession *session)
{
    return session->conversation.progress().block;
}

int qel_session_page(const QelSession *session)
{
    return session->conversation.progress().page;
}

double qel_session_remaining_ms(const QelSession *session)
{
    return double(session->conversation.progress().remainingMs);
}

const char *qel_outcome_name(int outcome)
{
    if (outcome == QEL_RUNNING)
        return "running";
    return outcomeName(UpdateOutcome(outcome));
}

uint32_t qel_carried_version(void)
{
    return FirmwareVersion::carried();
}

const char *qel_version_text(uint32_t word)
{
    static std::string kept;
    kept = FirmwareVersion::text(word);
    return kept.c_str();
}

int qel_version_order(uint32_t word)
{
    switch (FirmwareVersion::compareWithCarried(word)) {
    case FirmwareVersion::Order::Older: return -1;
    case FirmwareVersion::Order::Same: return 0;
    case FirmwareVersion::Order::Newer: break;
    }
    return 1;
}

const char *qel_expected_phrase(double ms)
{
    static std::string kept;
    return json(kept, UpdateDuration::expectedText(std::int64_t(std::llround(ms))));
}

const char *qel_remaining_phrase(double ms)
{
    static std::string kept;
    return json(kept, UpdateDuration::remainingText(std::int64_t(std::llround(ms))));
}

const char *qel_no_answer_phrase(void)
{
    static std::string kept;
    return json(kept, SessionTexts::noAnswer());
}

const char *qel_image_damaged_phrase(void)
{
    static std::string kept;
    return json(kept, SessionTexts::imageDamaged());
}

} // extern "C"
