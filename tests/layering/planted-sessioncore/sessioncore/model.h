#pragma once
// Planted fault: the session's logic built on the device model it talks to.
#include "simdevice.h"
