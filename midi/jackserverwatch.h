#pragma once

#include <atomic>

typedef struct _jack_client jack_client_t;

// A JACK client of our own that exists only to be told when the server shuts
// down. RtMidi's clients are never told, and RtMidi's JACK send spins for ever
// once its ring buffer fills, so a send must first ask this watch.
class JackServerWatch
{
public:
    JackServerWatch() = default;
    ~JackServerWatch();
    JackServerWatch(const JackServerWatch &) = delete;
    JackServerWatch &operator=(const JackServerWatch &) = delete;

    // Connects to the running server unless already connected; false when no
    // server runs. Never starts a server.
    bool attach();
    // True once the server this watch was attached to has shut down. After
    // that no new JACK client may be opened in this process while the old
    // ones live: libjack then crashes when they are closed.
    bool serverGone() const { return gone.load(); }
    // Returns once a process cycle under way now has surely ended: the
    // server's clock has moved on by two periods (half a second at most).
    // RtMidi's JACK output frees its ring buffer before it stops its client,
    // so a cycle that saw the port still open must be over before that.
    void waitForCycleEnd() const;

private:
    static constexpr int CycleEndPeriods = 2;
    static constexpr int CycleEndLimitMs = 500;

    static void onShutdown(void *watch);

    jack_client_t *client = nullptr;
    std::atomic<bool> gone{false};
};
