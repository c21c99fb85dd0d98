#pragma once

#include "privatejack.h"

#include <QtTest>

// Starts `jack`, or ends the test function: a failure under CI, a skip elsewhere.
#define QEL_START_JACK(jack)                                                                                           \
    do {                                                                                                               \
        const QString whyNot = (jack).start();                                                                         \
        if (!whyNot.isEmpty() && PrivateJackServer::mustRun())                                                         \
            QFAIL(qPrintable(whyNot));                                                                                 \
        if (!whyNot.isEmpty())                                                                                         \
            QSKIP(qPrintable(whyNot));                                                                                 \
    } while (false)
