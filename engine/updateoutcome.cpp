#include "updateoutcome.h"

const char *outcomeName(UpdateOutcome outcome)
{
    switch (outcome) {
    case UpdateOutcome::Success: return "success";
    case UpdateOutcome::NoImage: return "no_image";
    case UpdateOutcome::FlashUnhealthy: return "flash_unhealthy";
    case UpdateOutcome::NoSpace: return "no_space";
    case UpdateOutcome::ListWriteFailed: return "list_write_failed";
    case UpdateOutcome::FirstListWriteFailed: return "first_list_write_failed";
    case UpdateOutcome::ListUnreadable: return "list_unreadable";
    case UpdateOutcome::FlashWornOut: return "flash_worn_out";
    case UpdateOutcome::DeviceSilent: return "device_silent";
    case UpdateOutcome::Stalled: return "stalled";
    case UpdateOutcome::PortLost: return "port_lost";
    case UpdateOutcome::PortGone: return "port_gone";
    case UpdateOutcome::Cancelled: return "cancelled";
    case UpdateOutcome::NotVerified: return "not_verified";
    case UpdateOutcome::ListLost: return "list_lost";
    }
    return "unknown";
}
