#include "replypump.h"

#include "devicelink.h"
#include "midievent.h"

ReplyPump::ReplyPump(DeviceLink &link, QObject *parent)
    : QObject(parent), link(link)
{
}

bool ReplyPump::event(QEvent *e)
{
    if (e->type() != MidiEvent::EventType)
        return QObject::event(e);
    emit replied(link.takeReply(*static_cast<MidiEvent *>(e)));
    return true;
}
