#include "threadpingpong.h"

#include <QCoreApplication>
#include <QEvent>

const int ThreadPingPong::ReplyType = QEvent::registerEventType();

ThreadPingPong::ThreadPingPong()
    : worker(&ThreadPingPong::work, this)
{
}

ThreadPingPong::~ThreadPingPong()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    worker.join();
}

std::chrono::nanoseconds ThreadPingPong::run(int exchanges)
{
    left = exchanges;
    const auto started = std::chrono::steady_clock::now();
    if (left > 0) {
        hand();
        loop.exec();
    }
    return std::chrono::steady_clock::now() - started;
}

bool ThreadPingPong::event(QEvent *e)
{
    if (e->type() != QEvent::Type(ReplyType))
        return QObject::event(e);
    if (--left > 0)
        hand();
    else
        loop.quit();
    return true;
}

void ThreadPingPong::hand()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++commands;
    }
    wake.notify_one();
}

void ThreadPingPong::work()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || commands > 0; });
        if (stopping)
            return;
        --commands;
        lock.unlock();
        QCoreApplication::postEvent(this, new QEvent(QEvent::Type(ReplyType)));
        lock.lock();
    }
}
