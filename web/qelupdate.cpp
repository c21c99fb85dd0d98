#include "qelupdate.h"

#include "reply.h"
#include "updateengine.h"

#include <cstring>
#include <deque>
#include <vector>

// Commands wait in an outbox until the page takes them; a reply is stamped
// with how many the page had taken when it came, so a late one cannot pass
// for the answer to a later command.
struct QelUpdate : CommandSink, EngineListener
{
    UpdateEngine engine{*this, *this};
    std::deque<std::vector<std::uint8_t>> outbox;
    std::uint32_t taken = 0;
    int outcome = QEL_RUNNING;
    int pagesDone = 0;
    int pagesTotal = 0;

    bool send(const SysExMessage &message) override
    {
        outbox.emplace_back(message.data(), message.data() + message.size());
        return true;
    }
    std::uint32_t sentCount() const override { return taken; }
    void traced(const TraceLine &) override {}
    void blockShown(int) override {}
    void pageShown(int) override {}
    void progressChanged(int done, int total) override
    {
        pagesDone = done;
        pagesTotal = total;
    }
    void finished(const Ending &ending) override { outcome = int(ending.outcome); }
};

extern "C" {

QelUpdate *qel_update_new(void)
{
    return new QelUpdate;
}

void qel_update_free(QelUpdate *update)
{
    delete update;
}

void qel_update_start(QelUpdate *update, const uint8_t *image, size_t size, int verify)
{
    update->outbox.clear();
    update->outcome = QEL_RUNNING;
    update->engine.start(image, size, verify != 0);  // it keeps a copy
}

size_t qel_update_next_command(QelUpdate *update, uint8_t *out, size_t capacity)
{
    if (update->outbox.empty())
        return 0;
    const std::vector<std::uint8_t> &next = update->outbox.front();
    if (next.size() > capacity)
        return next.size();
    const size_t length = next.size();
    std::memcpy(out, next.data(), length);
    update->outbox.pop_front();
    ++update->taken;
    return length;
}

void qel_update_take_message(QelUpdate *update, const uint8_t *data, size_t length)
{
    Reply reply = decodeReply(data, int(length));
    reply.sentBefore = update->taken;
    update->engine.handleReply(reply);
}

void qel_update_tick(QelUpdate *update)
{
    update->engine.tick();
}

void qel_update_cancel(QelUpdate *update)
{
    update->engine.cancel();
}

int qel_update_outcome(const QelUpdate *update)
{
    return update->outcome;
}

const char *qel_outcome_name(int outcome)
{
    if (outcome == QEL_RUNNING)
        return "running";
    return outcomeName(UpdateOutcome(outcome));
}

int qel_update_pages_done(const QelUpdate *update)
{
    return update->pagesDone;
}

int qel_update_pages_total(const QelUpdate *update)
{
    return update->pagesTotal;
}

} // extern "C"
