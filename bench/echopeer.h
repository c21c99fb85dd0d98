#pragma once

#include "conversation.h"

#include <RtMidi.h>

#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The far end of the bare RtMidi ping-pong. It answers the i-th message it
// gets with what the device sent in answer to the i-th command of a recorded
// update. Built like the stand-alone simulator, it copies each message on the
// JACK thread and hands it to a thread of its own that sends the answer; it
// only leaves out the device's own work.
class EchoPeer
{
public:
    EchoPeer();
    ~EchoPeer();
    EchoPeer(const EchoPeer &) = delete;
    EchoPeer &operator=(const EchoPeer &) = delete;

    // Opens the virtual ports "<name> MIDI IN" and "<name> MIDI OUT" on JACK.
    bool open(const QString &name, QString *error);
    // From the next message on, answers as the device did in `conversation`,
    // from its command 0; the recording must outlive its use.
    void answer(const Conversation &conversation);

private:
    static void onMessage(double stamp, std::vector<unsigned char> *message, void *peer);
    void work();

    RtMidiIn in;
    RtMidiOut out;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<QByteArray> queue;
    const Conversation *script = nullptr;
    std::size_t answered = 0;
    bool stopping = false;
    std::thread worker;  // last: starts with everything above in place
};
