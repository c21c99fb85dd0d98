#pragma once

#include "replycode.h"

#include <QObject>

class DeviceLink;

// Receives the MidiEvents of a port pair where no window does: decodes each
// on this object's thread and reports its code.
class ReplyPump : public QObject
{
    Q_OBJECT

public:
    explicit ReplyPump(DeviceLink &link, QObject *parent = nullptr);

signals:
    void replied(ReplyCode code);

protected:
    bool event(QEvent *event) override;

private:
    DeviceLink &link;
};
