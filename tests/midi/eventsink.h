#pragma once

#include "midievent.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QThread>

// Stands in for the main window: keeps every MidiEvent it is handed.
class EventSink : public QObject
{
public:
    QList<QByteArray> messages;
    bool allOnOwnThread = true;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != MidiEvent::EventType)
            return QObject::event(event);
        messages << static_cast<MidiEvent *>(event)->message;
        allOnOwnThread = allOnOwnThread && QThread::currentThread() == thread();
        return true;
    }
};
