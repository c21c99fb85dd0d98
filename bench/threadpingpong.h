#pragma once

#include <QEventLoop>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// The bare hand-over that the sim service makes, with nothing else: a command
// handed to a worker thread as the simulated device gets it (a mutex and a
// condition variable), the reply posted back to this thread as an event.
class ThreadPingPong : public QObject
{
public:
    ThreadPingPong();
    ~ThreadPingPong() override;
    ThreadPingPong(const ThreadPingPong &) = delete;
    ThreadPingPong &operator=(const ThreadPingPong &) = delete;

    // Time for `exchanges` round trips, one outstanding at a time.
    std::chrono::nanoseconds run(int exchanges);

protected:
    bool event(QEvent *event) override;

private:
    void work();
    void hand();

    static const int ReplyType;

    std::mutex mutex;
    std::condition_variable wake;
    int commands = 0;
    bool stopping = false;
    int left = 0;
    QEventLoop loop;
    std::thread worker;  // last: starts with everything above in place
};
