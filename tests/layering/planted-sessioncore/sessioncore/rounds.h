#pragma once
// Planted fault: what the session and the page share, reaching up into the session.
#include "updatesession.h"
